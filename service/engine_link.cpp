#include "engine_link.h"

#include <cctype>

#include "service_removal.h"
#include "settings.h"

namespace morvasvc {

namespace {
// An engine that hangs with a full connection queue answers nothing at all.
const uint32_t kConnectBoundMs = 3000;
// How long a stop waits for the engine to let go of its port.
const uint32_t kStopWaitBoundMs = 30000;
const uint32_t kStopProbeMs = 250;
// The window's look at the port holds its thread no longer than this.
const uint32_t kGlanceBoundMs = 250;
}  // namespace

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

std::string BuildEngineArguments(const std::vector<std::string>& jars) {
  std::string classPath = ".;help;";
  for (const std::string& jar : jars) classPath += jar + ";";
  // A blank in a jar name would split the class path into two arguments.
  if (classPath.find(' ') != std::string::npos) {
    classPath = "\"" + classPath + "\"";
  }
  return "-Xrs -cp " + classPath + " com.morva.engine.Engine";
}

bool EngineCommandLineFits(const std::string& javaExe,
                           const std::string& arguments) {
  // The quoted program, a blank, the arguments and the terminator.
  return javaExe.size() + 2 + 1 + arguments.size() + 1 <= kCommandLineLimit;
}

bool IsValidEnginePort(uint32_t port) { return port >= 1 && port <= 65535; }

const char kConfirmRunningCommand[] = "NTSERVICE^CONFIRM_RUNNING_TO_NTSERVICE";
const char kShutdownCommand[] = "NTSERVICE^SHUTDOWN_ENGINE";


void EngineLink::Remember(const LaunchedProcess& process) {
  Launched launched;
  launched.process = process;
  launched.atMs = clock_.TickMs();
  launched.what = "launched at " + StampNow(clock_) + " (process " +
                  std::to_string(process.id) + ")";
  launched_ = launched;
}

bool EngineLink::UnansweredRuns() {
  if (!launched_ || launched_->answered) return false;
  std::string error;
  switch (launches_.CheckProcess(launched_->process, &error)) {
    case ProcessState::kRunning:
      return true;
    case ProcessState::kUnknown:
      log_.Log("NT Service Module: WARNING: Could not tell whether the engine " +
               launched_->what + " still runs: " + error);
      break;
    case ProcessState::kGone:
      break;
  }
  launched_.reset();
  return false;
}

std::string EngineLink::Listener(uint32_t port, PortOwner* owner) {
  PortOwner found;
  std::string error;
  if (!IsValidEnginePort(port) ||
      !network_.ListenerOf(static_cast<uint16_t>(port), &found, &error)) {
    return error.empty() ? error
                         : "a program the system could not name (" + error +
                               ")";
  }
  if (owner) *owner = found;
  return "process " + std::to_string(found.processId) + " (" +
         (found.program.empty() ? std::string("program unknown")
                                : found.program) +
         ")";
}

namespace {
// Whether path begins with prefix, ASCII letters in either case: as the
// system spells a path back.
bool StartsWithPathText(const std::string& path, const std::string& prefix) {
  if (path.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(path[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

bool SamePathText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && StartsWithPathText(a, b);
}

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

JavaRuntime EngineLink::ResolveJava(const std::string& javaExe,
                                    const std::string& installDir) {
  JavaRuntime java;
  java.configured = NormalizeJavaExe(javaExe);
  java.bare = java.configured.find_first_of("\\/:") == std::string::npos;
  java.launched = java.configured;
  if (java.bare) {
    if (!files_.SearchFile(java.configured, &java.resolved)) {
      java.resolved.clear();
    }
    return java;
  }
  java.resolved = IsFullyQualifiedPath(java.configured)
                      ? java.configured
                      : installDir + "\\" + java.configured;
  if (process_.RunsUnderWow64()) {
    const std::string native = NativeSystemPath(
        java.resolved, process_.SystemFolder(), process_.WindowsFolder());
    java.sysnative = native != java.resolved;
    if (java.sysnative) java.launched = java.resolved = native;
  }
  return java;
}

void EngineLink::SayWhichJava(const JavaRuntime& java) {
  std::string said = "NT Service Module: Java runtime = ";
  std::string header;
  if (java.resolved.empty()) {
    said += java.configured + ", not found along the system's search path";
  } else if (files_.ReadWholeFile(java.resolved, &header) ==
             OpenResult::kMissing) {
    said += java.resolved + ", which does not exist";
  } else {
    const int bits = ProgramBits(header);
    const std::string version = files_.FileVersion(java.resolved);
    said += java.resolved +
            (bits ? ", a " + std::to_string(bits) + "-bit program" : "") +
            (version.empty() ? "" : ", file version " + version);
  }
  if (java.sysnative) {
    said += "; launched through Sysnative: this 32-bit program would "
            "otherwise reach the 32-bit system folder";
  }
  if (said == javaSaid_) return;
  javaSaid_ = said;
  log_.Log(said);
  if (java.bare) {
    log_.Log("NT Service Module: WARNING: Java path " + java.configured +
             " has no folder: a service sees changes to the system's search "
             "path only after Windows restarts; give the runtime's full "
             "path");
  }
}

void EngineLink::NoteAdopted(uint32_t port, const JavaRuntime& java) {
  PortOwner owner;
  const std::string listener = Listener(port, &owner);
  if (listener.empty()) return;
  log_.Log("NT Service Module: Engine port " + std::to_string(port) +
           " is answered by " + listener);
  if (owner.program.empty()) return;
  // The system names a runtime by its real path, never by Sysnative; one
  // not found along the search path can only be told by its name.
  const std::string& expected =
      java.sysnative ? java.configured : java.resolved;
  const bool same =
      expected.empty()
          ? SamePathText(owner.program.substr(
                             owner.program.find_last_of('\\') + 1),
                         java.configured)
          : SamePathText(owner.program, expected);
  if (!same) {
    log_.Log("NT Service Module: WARNING: The program answering on engine "
             "port " + std::to_string(port) + " is " + owner.program +
             ", not the configured Java runtime " + java.configured);
  }
}

void EngineLink::SayWhatItShows() {
  const uint64_t now = clock_.TickMs();
  for (auto it = boxesSaid_.begin(); it != boxesSaid_.end();) {
    it = now - it->second >= kRepeatedReportMs ? boxesSaid_.erase(it) : ++it;
  }
  for (const morva_common::ShownWindow& box :
       launches_.CloseDialogBoxes(launched_->process)) {
    const std::string shown =
        morva_common::DescribeShownWindows({box}, kBoxTextBound);
    if (!boxesSaid_.emplace(shown, now).second) continue;
    log_.LogError("NT Service Module: ERROR: The engine " + launched_->what +
                  " showed a box, closed as pressing OK does: " + shown);
  }
}

bool EngineLink::HoldsLaunch() {
  if (!UnansweredRuns()) return false;
  SayWhatItShows();
  if (clock_.TickMs() - launched_->atMs < kLaunchHoldMs) {
    if (!launched_->holdSaid) {
      log_.Log("NT Service Module: The engine " + launched_->what +
               " has not opened its port yet; no other is launched beside "
               "it");
      launched_->holdSaid = true;
    }
    return true;
  }
  std::string error;
  const std::string why = "NT Service Module: ERROR: The engine " +
                          launched_->what +
                          " has not opened its port in " +
                          std::to_string(kLaunchHoldMs / 60000) + " minutes";
  const std::string message =
      launches_.EndLaunchedProcess(launched_->process, &error)
          ? why + "; it was ended, and the engine is launched again"
          : why + " and could not be ended: " + error;
  log_.Log(message);
  log_.ReportStuckLaunch(message);
  launched_.reset();
  return false;
}

void EngineLink::EndUnanswered() {
  if (!UnansweredRuns()) return;
  std::string error;
  log_.Log("NT Service Module: The engine " + launched_->what +
           (launches_.EndLaunchedProcess(launched_->process, &error)
                ? " never opened its port; the stop ended it"
                : " never opened its port, and the stop could not end it: " +
                      error));
  launched_.reset();
}

void EngineLink::Launch(std::string* javaExe, const std::string& installDir) {
  const JavaRuntime java = ResolveJava(*javaExe, installDir);
  *javaExe = java.configured;
  SayWhichJava(java);
  const std::string arguments =
      BuildEngineArguments(files_.FindEntries("*.jar"));
  log_.Log("NT Service Module: Engine path = " + *javaExe);
  log_.Log("NT Service Module: Engine arguments = " + arguments);
  std::string error;
  // Cut off, the class path would lose a jar and the main class in silence.
  if (!EngineCommandLineFits(java.launched, arguments)) {
    error = "the engine path and arguments are longer than the " +
            std::to_string(kCommandLineLimit) +
            " characters a command line can hold";
  } else {
    // Only the service launches the engine, and nobody sees its desktop.
    LaunchedProcess process;
    if (process_.ShellOpen(java.launched, arguments, installDir,
                           ShellPrompts::kNever, &error, &process)) {
      launched_.reset();
      if (process.id != 0) Remember(process);
      return;
    }
  }
  const std::string message =
      "NT Service Module: ERROR: Engine could not be launched: " + error;
  log_.Log(message);
  log_.ReportLaunchFailure(message);
}

ConnectResult EngineLink::Connect(
    uint32_t port, std::string* statusText,
    std::unique_ptr<EngineConnection>* connection) {
  // Cut to 16 bits, a bad port would reach whatever program owns another.
  if (!IsValidEnginePort(port)) return ConnectResult::kFailed;
  const ConnectResult result = network_.ConnectToEngine(
      static_cast<uint16_t>(port), kConnectBoundMs, connection);
  if (result == ConnectResult::kSocketProblem) {
    *statusText = "NT Service Module: Socket Problem";
    log_.Log(*statusText);
  }
  return result;
}

bool EngineLink::IsRunning(uint32_t port, std::string* statusText) {
  std::unique_ptr<EngineConnection> connection;
  const ConnectResult result = Connect(port, statusText, &connection);
  if (result == ConnectResult::kFailed) {
    *statusText = "NT Service Module: Engine is not running";
    log_.Log(*statusText);
    // Hung, not dead: a program still listens and does not answer.
    PortOwner owner;
    const std::string listener = Listener(port, &owner);
    if (!listener.empty() && owner.processId != hungListenerSaid_) {
      hungListenerSaid_ = owner.processId;
      log_.Log("NT Service Module: WARNING: Engine port " +
               std::to_string(port) + " does not answer, but " + listener +
               " listens on it");
    }
  }
  if (result != ConnectResult::kConnected) return false;
  // Once answered, the runtime is the engine: the module never ends it.
  if (launched_) launched_->answered = true;
  connection->SendAll(kConfirmRunningCommand);
  return true;
}

bool EngineLink::RequestShutdown(uint32_t port, std::string* statusText) {
  std::unique_ptr<EngineConnection> connection;
  const ConnectResult result = Connect(port, statusText, &connection);
  if (result == ConnectResult::kFailed) {
    log_.Log(
        "NT Service Module: Engine is not running or not responding on "
        "selected port: " +
        std::to_string(static_cast<int32_t>(port)));
  }
  if (result != ConnectResult::kConnected) return false;
  log_.Log("NT Service Module: Sending Shutdown request to engine");
  connection->SendAll(kShutdownCommand);
  return true;
}

bool EngineLink::Answers(uint32_t port) {
  if (!IsValidEnginePort(port)) return false;
  std::unique_ptr<EngineConnection> connection;
  return network_.ConnectToEngine(static_cast<uint16_t>(port), kGlanceBoundMs,
                                  &connection) == ConnectResult::kConnected;
}

// Quiet probes; bounded by time and, should the clock stand, by count.
void EngineLink::WaitToLetGo(uint32_t port) {
  const uint64_t start = clock_.TickMs();
  const uint32_t probes = kStopWaitBoundMs / kStopProbeMs + 1;
  for (uint32_t probe = 0; probe < probes; ++probe) {
    std::unique_ptr<EngineConnection> connection;
    if (network_.ConnectToEngine(static_cast<uint16_t>(port), kConnectBoundMs,
                                &connection) != ConnectResult::kConnected) {
      return;
    }
    connection.reset();
    if (clock_.TickMs() - start >= kStopWaitBoundMs) break;
    clock_.Sleep(kStopProbeMs);
  }
  const std::string listener = Listener(port);
  const std::string warning =
      "NT Service Module: WARNING: Engine still answers on selected port " +
      std::to_string(static_cast<int32_t>(port)) + " after " +
      std::to_string(kStopWaitBoundMs / 1000) +
      " seconds; the service stops without waiting longer" +
      (listener.empty() ? std::string() : ". It is " + listener);
  log_.Log(warning);
  log_.ReportEvent(EventType::kWarning, warning);
}

}  // namespace morvasvc
