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
// The same warning reaches the event log at most this often.
const uint64_t kRelaunchReportMs = 600000;
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
  ++relaunchesUnreported_;
  const uint64_t now = system_.TickMs();
  if (lastRelaunchReportMs_ &&
      now - *lastRelaunchReportMs_ < kRelaunchReportMs) {
    return;
  }
  ReportEvent(
      EventType::kWarning,
      "NT Service Module: Engine is not running\r\nNT Service Module: "
      "launching scheduler engine\r\n\r\nLaunches after the engine was "
      "found not running, since the last report: " +
          std::to_string(relaunchesUnreported_));
  lastRelaunchReportMs_ = now;
  relaunchesUnreported_ = 0;
}

}  // namespace morvasvc
