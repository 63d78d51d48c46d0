#include "activity_log.h"

#include "busy_retry.h"
#include "module_texts.h"
#include "text_mode.h"

namespace morvasvc {

namespace {
// Another process holding the log gets this long to let go of it; a tick
// must never wait for long.
const uint32_t kLogBusyBoundMs = 200;
const uint32_t kLogRetryMs = 20;
// What may come on every tick reaches the event log at most this often.
const uint64_t kRepeatedReportMs = 600000;
}  // namespace

void AppendActivityEntry(ModuleSystem& system, const std::string& path,
                         const std::string& message) {
  std::tm localTime;
  const bool haveTime = system.ToLocalTime(system.Now(), &localTime);
  const std::string entry = ToTextMode(FormatLogEntry(
      FormatLogTimestamp(haveTime ? &localTime : nullptr), message));
  if (path.empty()) return;
  RetryWhileBusy(
      system, [&] { return system.AppendToFile(path, entry); },
      kLogBusyBoundMs, kLogRetryMs);
}

void ActivityLog::Log(const std::string& message) {
  AppendActivityEntry(system_, path_, message);
}

void ActivityLog::ReportEventsAs(const std::string& source,
                                 const std::string& installDir) {
  reportsEvents_ = true;
  eventSource_ = source;
  installDir_ = installDir;
}

void ActivityLog::ReportEvent(EventType type, const std::string& message) {
  if (!reportsEvents_) return;
  system_.ReportToEventLog(eventSource_, type,
                           message + "\r\n\r\nInstall folder: " + installDir_);
}

void ActivityLog::LogError(const std::string& message) {
  Log(message);
  ReportEvent(EventType::kError, message);
}

void ActivityLog::ReportRelaunch() {
  ReportRepeated(relaunches_,
                 "NT Service Module: Engine is not running\r\nNT Service "
                 "Module: launching scheduler engine");
}

void ActivityLog::ReportLaunchFailure(const std::string& message) {
  ReportRepeated(launchFailures_, message);
}

void ActivityLog::ReportPendingCounts() {
  if (relaunches_.unreported) ReportCount(relaunches_);
  if (launchFailures_.unreported) ReportCount(launchFailures_);
}

void ActivityLog::ReportRepeated(Repeated& repeated,
                                 const std::string& message) {
  ++repeated.unreported;
  repeated.lastMessage = message;
  if (repeated.lastReportMs &&
      system_.TickMs() - *repeated.lastReportMs < kRepeatedReportMs) {
    return;
  }
  ReportCount(repeated);
}

void ActivityLog::ReportCount(Repeated& repeated) {
  ReportEvent(repeated.type, repeated.lastMessage + "\r\n\r\n" +
                                 repeated.countText +
                                 std::to_string(repeated.unreported));
  repeated.lastReportMs = system_.TickMs();
  repeated.unreported = 0;
}

}  // namespace morvasvc
