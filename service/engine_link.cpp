#include "engine_link.h"

#include "path_text.h"

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

const char kConfirmRunningCommand[] = "NTSERVICE^CONFIRM_RUNNING_TO_NTSERVICE";
const char kShutdownCommand[] = "NTSERVICE^SHUTDOWN_ENGINE";

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

void EngineLink::NoteAdopted(uint32_t port, const JavaRuntime& java) {
  PortOwner owner;
  const std::string listener = Listener(port, &owner);
  if (listener.empty()) return;
  log_.Log("NT Service Module: Engine port " + std::to_string(port) +
           " is answered by " + listener);
  if (owner.program.empty()) return;
  // The same file by any path (a link, a short name, a substituted drive)
  // is the runtime; the text decides only where the files cannot tell. The
  // system names a runtime by its real path, never by Sysnative; one not
  // found along the search path can only be told by its name.
  const std::string& expected =
      java.sysnative ? java.configured : java.resolved;
  bool same = false;
  switch (java.resolved.empty()
              ? FileIdentity::kUnknown
              : files_.CompareFiles(owner.program, java.resolved)) {
    case FileIdentity::kSame:
      same = true;
      break;
    case FileIdentity::kOther:
      break;
    default:
      same = expected.empty()
                 ? SamePathText(owner.program.substr(
                                    owner.program.find_last_of('\\') + 1),
                                java.configured)
                 : SamePathText(owner.program, expected);
  }
  if (!same) {
    log_.Log("NT Service Module: WARNING: The program answering on engine "
             "port " + std::to_string(port) + " is " + owner.program +
             ", not the configured Java runtime " + java.configured);
  }
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
  if (!IsValidEnginePort(port)) return;
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
