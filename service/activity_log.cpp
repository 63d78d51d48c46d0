#include "activity_log.h"

#include "busy_retry.h"
#include "shown_windows.h"
#include "text_mode.h"

namespace morvasvc {

namespace {
// Another process holding the log gets this long to let go of it; a tick
// must never wait for long.
const uint32_t kLogBusyBoundMs = 200;
const uint32_t kLogRetryMs = 20;
// The end of a service or a switch waits this long for a held log.
const uint32_t kFlushBoundMs = 3000;

// An entry as stored, stamped with the time it was made. One entry is one
// line, whatever a path or a quoted text holds: a line break inside would
// stand in the log as a line of its own, without a time stamp.
std::string MakeEntry(Clock& clock, const std::string& message,
                      std::string* stamp) {
  *stamp = StampNow(clock);
  return ToTextMode(FormatLogEntry(stamp->empty() ? *stamp : "\n" + *stamp,
                                   morva_common::OneLine(message,
                                                         std::string::npos)));
}

OpenResult Append(Clock& clock, ModuleFiles& files, const std::string& path,
                  const std::string& bytes, uint32_t boundMs) {
  return RetryWhileBusy(
      clock, [&] { return files.AppendToFile(path, bytes); }, boundMs,
      kLogRetryMs);
}

}  // namespace

uint16_t EventId(EventKind kind, EventType type) {
  if (kind != EventKind::kOther) return static_cast<uint16_t>(kind);
  switch (type) {
    case EventType::kError:
      return 1;
    case EventType::kWarning:
      return 2;
    case EventType::kInformation:
      break;
  }
  return 3;
}

std::string FormatLogTimestamp(const std::tm* localTime) {
  if (!localTime) return std::string();
  char buffer[128];
  const size_t length = std::strftime(buffer, sizeof buffer,
                                      "\n%b %d, %Y %I:%M:%S %p", localTime);
  return std::string(buffer, length);
}

std::string StampNow(Clock& clock) {
  std::tm localTime;
  const bool haveTime = clock.ToLocalTime(clock.Now(), &localTime);
  std::string stamp = FormatLogTimestamp(haveTime ? &localTime : nullptr);
  if (!stamp.empty()) stamp.erase(0, 1);  // its line feed
  return stamp;
}

namespace {
std::string Count(uint64_t count, const char* unit) {
  return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}
}  // namespace

std::string DurationText(uint64_t milliseconds) {
  const uint64_t seconds = milliseconds / 1000, minutes = seconds / 60,
                 hours = minutes / 60;
  if (minutes == 0) return Count(seconds, "second");
  if (hours == 0) return Count(minutes, "minute");
  if (hours < 48) {
    return Count(hours, "hour") + " " + Count(minutes % 60, "minute");
  }
  return Count(hours / 24, "day") + " " + Count(hours % 24, "hour");
}

std::string FormatLogEntry(const std::string& timestamp,
                           const std::string& message) {
  return timestamp + "\t" + message + "\n";
}

std::string EventText(const std::string& message,
                      const std::string& installDir) {
  return message + "\r\n\r\nInstall folder: " + installDir;
}

void AppendActivityEntry(Clock& clock, ModuleFiles& files,
                         const std::string& path, const std::string& message) {
  std::string stamp;
  const std::string entry = MakeEntry(clock, message, &stamp);
  if (!path.empty()) Append(clock, files, path, entry, kLogBusyBoundMs);
}

void ActivityLog::SetPath(const std::string& path) {
  destination_.path = path;
  publisher_.PublishLog(destination_);
  // What was said before the path was known goes there now, first.
  if (path.empty()) return;
  held_.AssignPath(path);
  if (held_.Pending() && !WriteHeldAndPublish(kLogBusyBoundMs) && onHeld_) {
    onHeld_();
  }
}

void ActivityLog::Log(const std::string& message) {
  HeldEntries::Entry entry;
  entry.bytes = MakeEntry(clock_, message, &entry.stamp);
  entry.path = destination_.path;
  entry.message = message;
  // Made before the engine's settings name the log, it often says why they
  // could not be read: kept until the path is known.
  if (destination_.path.empty()) {
    held_.Add(std::move(entry));
  } else if (held_.Pending()) {
    // Behind the earlier ones, so that the file keeps the order they were
    // made; kept at once, as a start with many entries would otherwise wait
    // on the held log for each: the retry writes them all.
    held_.Add(std::move(entry));
  } else if (Append(clock_, files_, destination_.path, entry.bytes,
                    kLogBusyBoundMs) == OpenResult::kBusy) {
    held_.Add(std::move(entry));
    if (onHeld_) onHeld_();
  }
  PublishKeptBack();
}

bool ActivityLog::RetryHeld() { return WriteHeldAndPublish(kLogBusyBoundMs); }

bool ActivityLog::WriteHeldAndPublish(uint32_t boundMs) {
  const bool done = WriteHeld(boundMs);
  PublishKeptBack();
  return done;
}

void ActivityLog::PublishKeptBack() {
  if (destination_.keptBack == Unwritten()) return;
  destination_.keptBack = Unwritten();
  publisher_.PublishLog(destination_);
}

bool ActivityLog::WriteHeld(uint32_t boundMs) {
  while (!held_.Empty()) {
    if (held_.Front().path.empty()) return false;
    size_t count = 0;
    const std::string bytes = held_.FrontRun(&count);
    // Failed for another reason than a holder, they are lost as any entry.
    if (Append(clock_, files_, held_.Front().path, bytes, boundMs) ==
        OpenResult::kBusy) {
      return false;
    }
    held_.PopFront(count);
  }
  if (held_.Lost() == 0 || destination_.path.empty()) return true;
  std::string stamp;
  const std::string lost = MakeEntry(
      clock_,
      "NT Service Module: WARNING: " + std::to_string(held_.Lost()) +
          " activity log entries were lost while another program held the "
          "log, made between " +
          held_.FirstLostStamp() + " and " + held_.LastLostStamp(),
      &stamp);
  // Held again: the count stays pending until it is written.
  if (Append(clock_, files_, destination_.path, lost, boundMs) ==
      OpenResult::kBusy) {
    return false;
  }
  held_.ClearLost();
  return true;
}

bool ActivityLog::Flush() {
  if (!held_.Pending()) return true;
  const uint64_t start = clock_.TickMs();
  // Bounded by count too, should the clock stand still.
  for (uint32_t round = 0; round * kLogBusyBoundMs <= kFlushBoundMs; ++round) {
    if (WriteHeldAndPublish(kLogBusyBoundMs)) return true;
    if (clock_.TickMs() - start >= kFlushBoundMs) break;
  }
  return false;
}

void ActivityLog::FlushBeforeEnd(const std::string& source) {
  if (Flush()) return;
  const std::string count = std::to_string(Unwritten());
  if (held_.Empty()) {
    events_.ReportToEventLog(
        source, EventType::kWarning, EventKind::kEntriesLost,
        "NT Service Module: WARNING: " + count +
            " activity log entries could not be written to " +
            destination_.path + ": another program held it.\r\n\r\nThey "
            "were made between " + held_.FirstLostStamp() + " and " +
            held_.LastLostStamp());
    return;
  }
  const std::string why =
      held_.Front().path.empty()
          ? std::string(": its folder was never known")
          : " to " + held_.Front().path + ": another program held it";
  std::string text = "NT Service Module: WARNING: " + count +
                     " activity log entries could not be written" + why +
                     ".\r\n\r\nThe first: " +
                     held_.Front().stamp + " " + held_.Front().message;
  if (held_.Size() > 1 || held_.Lost() > 0) {
    text += "\r\nThe last kept: " + held_.Back().stamp + " " +
            held_.Back().message;
  }
  events_.ReportToEventLog(source, EventType::kWarning,
                           EventKind::kEntriesLost, text);
}

void ActivityLog::SetInstallDir(const std::string& installDir) {
  destination_.installDir = installDir;
  publisher_.PublishLog(destination_);
}

void ActivityLog::ReportEventsAs(const std::string& source) {
  destination_.eventSource = source;
  publisher_.PublishLog(destination_);
}

void ActivityLog::ReportEvent(EventType type, const std::string& message,
                              EventKind kind) {
  if (destination_.eventSource.empty()) return;
  events_.ReportToEventLog(destination_.eventSource, type, kind,
                           EventText(message, destination_.installDir));
}

void ActivityLog::ReportEventUnder(const std::string& source, EventType type,
                                   const std::string& message) {
  if (source.empty()) return;
  events_.ReportToEventLog(source, type, EventKind::kOther,
                           EventText(message, destination_.installDir));
}

void ActivityLog::LogError(const std::string& message, EventKind kind) {
  Log(message);
  ReportEvent(EventType::kError, message, kind);
}

void RepeatedEvent::Report(const std::string& message) {
  ++unreported_;
  lastMessage_ = message;
  if (lastReportMs_ && clock_.TickMs() - *lastReportMs_ < kRepeatedReportMs) {
    return;
  }
  ReportCount();
}

void RepeatedEvent::ReportPending() {
  if (unreported_) ReportCount();
}

void RepeatedEvent::ReportCount() {
  log_.ReportEvent(type_,
                   lastMessage_ + "\r\n\r\n" + countText_ +
                       std::to_string(unreported_),
                   kind_);
  lastReportMs_ = clock_.TickMs();
  unreported_ = 0;
}

}  // namespace morvasvc
