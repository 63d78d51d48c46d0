#ifndef MORVASVC_ENGINE_LINK_H_
#define MORVASVC_ENGINE_LINK_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "activity_log.h"
#include "module_system.h"

namespace morvasvc {

// Empty means the bundled runtime; doubled backslashes are collapsed, but
// for the leading pair of a network path.
std::string NormalizeJavaExe(const std::string& javaExe);
// The Java runtime's arguments with every jar on the class path.
std::string BuildEngineArguments(const std::vector<std::string>& jars);

// The longest command line the system starts a program with, terminator
// included; longer arguments would reach the engine cut off.
const size_t kCommandLineLimit = 32767;
// Whether "javaExe" and the arguments fit one command line.
bool EngineCommandLineFits(const std::string& javaExe,
                           const std::string& arguments);

// The machine a program's PE header says it is built for: 32 or 64 bits,
// 0 when the bytes are no program this can tell.
int ProgramBits(const std::string& header);

// The path of a file under the system folder as a 32-bit program on 64-bit
// Windows reaches the real one: through the Windows folder's "Sysnative"
// alias; the path itself when it is not under the system folder.
std::string NativeSystemPath(const std::string& path,
                             const std::string& systemFolder,
                             const std::string& windowsFolder);

// The Java runtime a configured path leads to.
struct JavaRuntime {
  std::string configured;  // as normalised
  bool bare = false;       // no folder: found along the search path
  std::string launched;    // what the shell is given
  bool sysnative = false;  // launched through the Sysnative alias
  std::string resolved;    // the file, as a full path; empty when not found
};

// A box's caption and text are quoted up to this many characters.
const size_t kBoxTextBound = 1000;
// A launched runtime that has not opened the port after this long is stuck.
const uint64_t kLaunchHoldMs = 600000;

// Whether an engine port read from the settings names a TCP port.
bool IsValidEnginePort(uint32_t port);

// The engine's control protocol.
extern const char kConfirmRunningCommand[];
extern const char kShutdownCommand[];

// The engine as a program and as a TCP peer on its control port. What it
// reads comes in, what it writes goes out: the status line, the Java path
// it normalised.
class EngineLink {
 public:
  EngineLink(Clock& clock, ModuleFiles& files, EngineNetwork& network,
             ThisProcess& process, LaunchedProcesses& launches,
             ActivityLog& log)
      : clock_(clock),
        files_(files),
        network_(network),
        process_(process),
        launches_(launches),
        log_(log) {}

  // Starts the Java runtime on every jar of the current folder, in
  // installDir; *javaExe gets the path as normalised. A refusal is logged,
  // never shown.
  void Launch(std::string* javaExe, const std::string& installDir);
  // One probe: the engine answers on its port and is told it was seen.
  // *statusText says when it is not running or sockets fail.
  bool IsRunning(uint32_t port, std::string* statusText);
  bool RequestShutdown(uint32_t port, std::string* statusText);
  // Whether anything accepts a connection on the port within a moment: a
  // connect and close, no command sent, nothing logged.
  bool Answers(uint32_t port);
  // A start right after a stop would otherwise adopt an engine on its way
  // out: waits, bounded, until the port no longer answers.
  void WaitToLetGo(uint32_t port);

  // Whether the runtime launched last still runs without ever having
  // answered, and was launched less than kLaunchHoldMs ago: nothing is
  // launched beside it, or two engines would race for the port and run
  // jobs twice. One that runs longer is stuck, and is ended.
  bool HoldsLaunch();
  // Where the configured runtime leads, in installDir.
  JavaRuntime ResolveJava(const std::string& javaExe,
                          const std::string& installDir);
  // Which Java runs: its file, 32 or 64 bits and its version, written when
  // it differs from what was last said; a bare name gets a warning.
  void SayWhichJava(const JavaRuntime& java);
  // An engine the start found answering: who it is, and a warning when it
  // is not the configured Java runtime.
  void NoteAdopted(uint32_t port, const JavaRuntime& java);
  // At a stop whose shutdown reached nobody: the runtime launched last,
  // still running and never answered, would outlive the service.
  void EndUnanswered();

 private:
  // A socket problem is reported here.
  ConnectResult Connect(uint32_t port, std::string* statusText,
                        std::unique_ptr<EngineConnection>* connection);

  Clock& clock_;
  ModuleFiles& files_;
  EngineNetwork& network_;
  ThisProcess& process_;
  LaunchedProcesses& launches_;
  ActivityLog& log_;
  // The runtime launched last, by number, until it is gone.
  struct Launched {
    LaunchedProcess process;
    uint64_t atMs = 0;
    std::string what;  // "launched at <time> (process <id>)"
    bool answered = false;
    bool holdSaid = false;
  };
  std::optional<Launched> launched_;
  // "process <id> (<program>)" of the port's listener; empty when nobody
  // listens; "a program the system could not name (<why>)".
  std::string Listener(uint32_t port, PortOwner* owner = nullptr);
  std::string javaSaid_;
  // The listener last named for a port that does not answer: said once.
  uint32_t hungListenerSaid_ = 0;
  // When each box's text was last said: every launch shows it again.
  std::map<std::string, uint64_t> boxesSaid_;
  void Remember(const LaunchedProcess& process);
  // Quotes and closes the boxes it shows: a runtime that cannot start the
  // engine says why in a box nobody sees on the service's desktop.
  void SayWhatItShows();
  // Whether it runs and never answered; forgets it once it is gone or
  // cannot be told.
  bool UnansweredRuns();
};

}  // namespace morvasvc

#endif
