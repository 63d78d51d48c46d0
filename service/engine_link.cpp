#include "engine_link.h"

#include "module_texts.h"

namespace morvasvc {

namespace {
// An engine that hangs with a full connection queue answers nothing at all.
const uint32_t kConnectBoundMs = 3000;
// How long a stop waits for the engine to let go of its port.
const uint32_t kStopWaitBoundMs = 30000;
const uint32_t kStopProbeMs = 250;
}  // namespace

void EngineLink::Launch(EngineFields fields) {
  fields.javaExe = NormalizeJavaExe(fields.javaExe);
  const std::string arguments =
      BuildEngineArguments(system_.FindEntries("*.jar"));
  log_.Log("NT Service Module: Engine path = " + fields.javaExe);
  log_.Log("NT Service Module: Engine arguments = " + arguments);
  std::string error;
  // Cut off, the class path would lose a jar and the main class in silence.
  if (!EngineCommandLineFits(fields.javaExe, arguments)) {
    error = "the engine path and arguments are longer than the " +
            std::to_string(kCommandLineLimit) +
            " characters a command line can hold";
  } else if (system_.ShellOpen(fields.javaExe, arguments, fields.installDir,
                               ShellPrompts::kNever, &error)) {
    // Only the service launches the engine, and nobody sees its desktop.
    return;
  }
  const std::string message =
      "NT Service Module: ERROR: Engine could not be launched: " + error;
  log_.Log(message);
  log_.ReportLaunchFailure(message);
}

ConnectResult EngineLink::Connect(
    EngineFields fields, std::unique_ptr<EngineConnection>* connection) {
  // Cut to 16 bits, a bad port would reach whatever program owns another.
  if (!IsValidEnginePort(fields.port)) return ConnectResult::kFailed;
  const ConnectResult result = system_.ConnectToEngine(
      static_cast<uint16_t>(fields.port), kConnectBoundMs, connection);
  if (result == ConnectResult::kSocketProblem) {
    fields.statusText = "NT Service Module: Socket Problem";
    log_.Log(fields.statusText);
  }
  return result;
}

bool EngineLink::IsRunning(EngineFields fields) {
  std::unique_ptr<EngineConnection> connection;
  const ConnectResult result = Connect(fields, &connection);
  if (result == ConnectResult::kFailed) {
    fields.statusText = "NT Service Module: Engine is not running";
    log_.Log(fields.statusText);
  }
  if (result != ConnectResult::kConnected) return false;
  connection->SendAll(kConfirmRunningCommand);
  return true;
}

bool EngineLink::RequestShutdown(EngineFields fields) {
  std::unique_ptr<EngineConnection> connection;
  const ConnectResult result = Connect(fields, &connection);
  if (result == ConnectResult::kFailed) {
    log_.Log(
        "NT Service Module: Engine is not running or not responding on "
        "selected port: " +
        std::to_string(static_cast<int32_t>(fields.port)));
  }
  if (result != ConnectResult::kConnected) return false;
  log_.Log("NT Service Module: Sending Shutdown request to engine");
  connection->SendAll(kShutdownCommand);
  return true;
}

// Quiet probes; bounded by time and, should the clock stand, by count.
void EngineLink::WaitToLetGo(uint32_t port) {
  const uint64_t start = system_.TickMs();
  const uint32_t probes = kStopWaitBoundMs / kStopProbeMs + 1;
  for (uint32_t probe = 0; probe < probes; ++probe) {
    std::unique_ptr<EngineConnection> connection;
    if (system_.ConnectToEngine(static_cast<uint16_t>(port), kConnectBoundMs,
                                &connection) != ConnectResult::kConnected) {
      return;
    }
    connection.reset();
    if (system_.TickMs() - start >= kStopWaitBoundMs) break;
    system_.Sleep(kStopProbeMs);
  }
  const std::string warning =
      "NT Service Module: WARNING: Engine still answers on selected port " +
      std::to_string(static_cast<int32_t>(port)) + " after " +
      std::to_string(kStopWaitBoundMs / 1000) +
      " seconds; the service stops without waiting longer";
  log_.Log(warning);
  log_.ReportEvent(EventType::kWarning, warning);
}

}  // namespace morvasvc
