#include "java_runtime.h"

#include <functional>

#include "path_text.h"
#include "settings.h"

namespace morvasvc {

std::string NormalizeJavaExe(const std::string& javaExe) {
  if (javaExe.empty()) return kDefaultJavaExe;
  std::string collapsed;
  for (size_t i = 0; i < javaExe.size(); ++i) {
    collapsed += javaExe[i];
    if (javaExe[i] == '\\' && i + 1 < javaExe.size() && javaExe[i + 1] == '\\') {
      ++i;
    }
  }
  // A network share's path begins with a pair that must stay a pair.
  if (javaExe.compare(0, 2, "\\\\") == 0 &&
      collapsed.compare(0, 2, "\\\\") != 0) {
    collapsed.insert(0, 1, '\\');
  }
  return collapsed;
}

namespace {
uint32_t Little(const std::string& bytes, size_t at, size_t size) {
  uint32_t value = 0;
  for (size_t i = size; i-- > 0;) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  }
  return value;
}
}  // namespace

int ProgramBits(const std::string& header) {
  if (header.size() < 0x40 || header.compare(0, 2, "MZ") != 0) return 0;
  const uint32_t pe = Little(header, 0x3C, 4);
  if (pe > header.size() || header.size() - pe < 6 ||
      header.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
    return 0;
  }
  switch (Little(header, pe + 4, 2)) {
    case 0x014C:  // x86
      return 32;
    case 0x8664:  // x64
    case 0xAA64:  // ARM64
      return 64;
    default:
      return 0;
  }
}

std::string NativeSystemPath(const std::string& path,
                             const std::string& systemFolder,
                             const std::string& windowsFolder) {
  const std::string folder = systemFolder + "\\";
  if (systemFolder.empty() || !StartsWithPathText(path, folder)) return path;
  return windowsFolder + "\\Sysnative\\" + path.substr(folder.size());
}

std::string ShellPath(const std::string& path,
                      const std::function<std::string(const std::string&)>&
                          environment) {
  std::string text = path;
  const size_t begin = text.find_first_not_of(' ');
  const size_t end = text.find_last_not_of(' ');
  text = begin == std::string::npos ? std::string()
                                    : text.substr(begin, end - begin + 1);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  // %NAME% as the system expands it: a name it does not know stays.
  std::string expanded;
  for (size_t at = 0; at < text.size();) {
    const size_t open = text.find('%', at);
    const size_t close =
        open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) {
      expanded += text.substr(at);
      break;
    }
    const std::string value =
        environment(text.substr(open + 1, close - open - 1));
    expanded += text.substr(at, open - at) +
                (value.empty() ? text.substr(open, close - open + 1) : value);
    at = close + 1;
  }
  for (char& c : expanded) {
    if (c == '/') c = '\\';
  }
  if (expanded.compare(0, 8, "\\\\?\\UNC\\") == 0) {
    return "\\\\" + expanded.substr(8);
  }
  if (expanded.compare(0, 4, "\\\\?\\") == 0) return expanded.substr(4);
  return expanded;
}

namespace {
// The extension of the path's last part, its dot included; empty for none.
std::string Extension(const std::string& path) {
  const size_t name = path.find_last_of('\\') + 1;
  const size_t dot = path.find_last_of('.');
  return dot == std::string::npos || dot < name ? std::string()
                                                : path.substr(dot);
}

std::string ProgramProblem(const std::string& path) {
  for (const char* program : {".exe", ".com", ".bat", ".cmd"}) {
    if (SamePathText(Extension(path), program)) return std::string();
  }
  return "not a program: the shell would open it with whatever program its "
         "type names";
}
}  // namespace

JavaRuntime ResolveJava(const std::string& javaExe,
                        const std::string& installDir, ModuleFiles& files,
                        ThisProcess& process) {
  JavaRuntime java;
  java.configured = NormalizeJavaExe(javaExe);
  // The path as the shell reads it: the file checked is the file started.
  std::string path =
      ShellPath(java.configured, [&process](const std::string& name) {
        return process.EnvironmentVariable(name);
      });
  java.bare = path.find_first_of("\\:") == std::string::npos;
  if (java.bare) {
    java.launched = path;
    if (!files.SearchFile(path, &java.resolved)) {
      java.resolved.clear();
    }
  } else {
    java.resolved = IsFullyQualifiedPath(path) ? path
                                                : installDir + "\\" + path;
    // The shell adds the extension a program has; a folder keeps its name.
    const size_t name = path.find_last_of('\\') + 1;
    if (path.find('.', name) == std::string::npos &&
        !files.IsFolder(java.resolved)) {
      path += ".exe";
      java.resolved += ".exe";
    }
    java.launched = path;
    if (process.RunsUnderWow64()) {
      const std::string native = NativeSystemPath(
          java.resolved, process.SystemFolder(), process.WindowsFolder());
      java.sysnative = native != java.resolved;
      if (java.sysnative) java.launched = java.resolved = native;
    }
  }
  // The runtime reads these itself: the service's environment (its
  // Environment value in the registry) is where an administrator sets them.
  for (const char* name : {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS"}) {
    const std::string value = process.EnvironmentVariable(name);
    if (value.empty()) continue;
    java.options += (java.options.empty() ? "" : ", ") + std::string(name) +
                    " = " + value;
  }
  if (java.resolved.empty()) return java;
  // The shell opens a folder in Explorer, which would run as LocalSystem.
  if (files.IsFolder(java.resolved)) {
    java.notAProgram = "a folder, not a program";
    return java;
  }
  std::string header, error;
  java.missing = files.ReadFileStart(java.resolved, kProgramHeaderBytes,
                                     &header, &error) == OpenResult::kMissing;
  if (!java.missing) {
    java.bits = ProgramBits(header);
    java.version = files.FileVersion(java.resolved);
    java.notAProgram = ProgramProblem(java.resolved);
  }
  return java;
}

void JavaReport::Say(const JavaRuntime& java) {
  std::string said = "NT Service Module: Java runtime = ";
  if (java.resolved.empty()) {
    said += java.configured + ", not found along the system's search path";
  } else if (java.missing) {
    said += java.resolved + ", which does not exist";
  } else {
    said += java.resolved +
            (java.bits ? ", a " + std::to_string(java.bits) + "-bit program"
                       : "") +
            (java.version.empty() ? "" : ", file version " + java.version);
  }
  if (java.sysnative) {
    said += "; launched through Sysnative: this 32-bit program would "
            "otherwise reach the 32-bit system folder";
  }
  if (!java.options.empty()) {
    said += "; the engine gets the options of the service's environment: " +
            java.options;
  }
  if (said == said_) return;
  said_ = said;
  log_.Log(said);
  // A bare name that the search did not find has no extension to tell.
  const std::string& file = java.resolved.empty() ? java.launched
                                                  : java.resolved;
  if (java.notAProgram.empty() && !(java.bare && java.resolved.empty()) &&
      !SamePathText(Extension(file), ".exe")) {
    log_.Log("NT Service Module: WARNING: Java path " + java.configured +
             " is not a program of its own (.exe): the module holds, ends "
             "and reads the boxes of the process the shell starts for it, "
             "not of a runtime that one starts in turn");
  }
  if (java.bare) {
    log_.Log("NT Service Module: WARNING: Java path " + java.configured +
             " has no folder: a service sees changes to the system's search "
             "path only after Windows restarts; give the runtime's full "
             "path");
  }
}

}  // namespace morvasvc
