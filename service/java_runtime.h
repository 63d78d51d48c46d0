#ifndef MORVASVC_JAVA_RUNTIME_H_
#define MORVASVC_JAVA_RUNTIME_H_

#include <cstddef>
#include <functional>
#include <string>

#include "activity_log.h"
#include "module_system.h"

namespace morvasvc {

// Empty means the bundled runtime; doubled backslashes are collapsed, but
// for the leading pair of a network path.
std::string NormalizeJavaExe(const std::string& javaExe);

// The machine a program's PE header says it is built for: 32 or 64 bits,
// 0 when the bytes are no program this can tell.
int ProgramBits(const std::string& header);
// A program's header is looked for in this many bytes from its start.
const size_t kProgramHeaderBytes = 4096;

// The path of a file under the system folder as a 32-bit program on 64-bit
// Windows reaches the real one: through the Windows folder's "Sysnative"
// alias; the path itself when it is not under the system folder.
std::string NativeSystemPath(const std::string& path,
                             const std::string& systemFolder,
                             const std::string& windowsFolder);

// The Java runtime a configured path leads to, and what its file says.
struct JavaRuntime {
  std::string configured;  // as normalised
  bool bare = false;       // no folder: found along the search path
  std::string launched;    // what the shell is given
  bool sysnative = false;  // launched through the Sysnative alias
  std::string resolved;    // the file, as a full path; empty when not found
  bool missing = false;    // resolved names no file
  int bits = 0;            // 32 or 64; 0 when its header cannot tell
  std::string version;     // its file version; empty when it has none
  // "JAVA_TOOL_OPTIONS = ..." as the engine gets them from the service's
  // environment; empty when it gets none.
  std::string options;
  // Why the file is no program to launch (a folder, a document); empty
  // when it is one, or when it does not exist.
  std::string notAProgram;
};

// A path as the shell reads it: blanks and quotes around it stripped,
// %NAME% expanded through environment, "/" read as "\", a "\\?\" prefix
// understood.
std::string ShellPath(const std::string& path,
                      const std::function<std::string(const std::string&)>&
                          environment);

// Where the configured runtime leads, in installDir. Its file is read here,
// once: the launch, the permission check and the adoption check take what
// this found.
JavaRuntime ResolveJava(const std::string& javaExe,
                        const std::string& installDir, ModuleFiles& files,
                        ThisProcess& process);

// Which Java runs: its file, 32 or 64 bits and its version, written when it
// differs from what was last said; a bare name gets a warning.
class JavaReport {
 public:
  explicit JavaReport(ActivityLog& log) : log_(log) {}
  void Say(const JavaRuntime& java);

 private:
  ActivityLog& log_;
  std::string said_;
};

}  // namespace morvasvc

#endif
