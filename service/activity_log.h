#ifndef MORVASVC_ACTIVITY_LOG_H_
#define MORVASVC_ACTIVITY_LOG_H_

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "held_entries.h"
#include "module_system.h"

namespace morvasvc {

// What may come on every tick is reported at most this often.
const uint64_t kRepeatedReportMs = 600000;

// "\n%b %d, %Y %I:%M:%S %p" in the C locale; empty when it cannot be made.
std::string FormatLogTimestamp(const std::tm* localTime);
// The time stamp of an entry made now, without its line feed.
std::string StampNow(Clock& clock);
// A span of time as an entry says it: "45 seconds", "12 minutes",
// "3 hours 5 minutes", "2 days 4 hours".
std::string DurationText(uint64_t milliseconds);
// One activity log entry before the text-mode translation.
std::string FormatLogEntry(const std::string& timestamp,
                           const std::string& message);
// An event's text: the log's message, then the install folder.
std::string EventText(const std::string& message,
                      const std::string& installDir);

// One time-stamped entry appended to the activity log at path, for the
// service's own thread; an empty path, or a log that stays held, drops it.
void AppendActivityEntry(Clock& clock, ModuleFiles& files,
                         const std::string& path, const std::string& message);

// The operator's record of what the module did, and, run as the service,
// the Application event log for what an administrator must see. Never fails
// towards the caller, and never waits long: an entry that the log cannot
// take while another program holds it is kept and written before the next.
class ActivityLog {
 public:
  ActivityLog(Clock& clock, ModuleFiles& files, EventLog& events,
              LogPublisher& publisher)
      : clock_(clock), files_(files), events_(events), publisher_(publisher) {}

  // Each change of the path, the event source or the install folder goes
  // to the publisher: the service's own thread writes there when the
  // window's thread is held up.
  // The log's file; empty until the data folder is known.
  void SetPath(const std::string& path);
  const std::string& Path() const { return destination_.path; }

  void Log(const std::string& message);
  // Called when an entry is first kept back: the window retries soon.
  void OnHeld(std::function<void()> held) { onHeld_ = std::move(held); }
  // One more try for the entries kept back; true once none is left.
  bool RetryHeld();
  // A few seconds of tries for what is kept back; true once nothing is.
  bool Flush();
  // Before the process ends: Flush, then one warning event under source for
  // what still could not be written.
  void FlushBeforeEnd(const std::string& source);
  // How many entries are kept back or counted as lost.
  size_t Unwritten() const { return held_.Size() + held_.Lost(); }
  // The install folder that each event names.
  void SetInstallDir(const std::string& installDir);
  // From now on, events go to the event log under source; before, none
  // does: only the service has nobody to see.
  void ReportEventsAs(const std::string& source);
  void ReportEvent(EventType type, const std::string& message,
                   EventKind kind = EventKind::kOther);
  // One event under source, whoever reports events otherwise: what an
  // installer's switch could not do is seen where the log cannot be.
  void ReportEventUnder(const std::string& source, EventType type,
                        const std::string& message);
  // Logs the message and reports it as an error event.
  void LogError(const std::string& message,
                EventKind kind = EventKind::kOther);

 private:
  // Writes the entries kept back, in order, each try bounded by boundMs;
  // true once none is left.
  bool WriteHeld(uint32_t boundMs);
  bool WriteHeldAndPublish(uint32_t boundMs);
  // The service's thread counts what is kept back in an ending's event.
  void PublishKeptBack();

  Clock& clock_;
  ModuleFiles& files_;
  EventLog& events_;
  LogPublisher& publisher_;
  LogDestination destination_;
  HeldEntries held_;
  std::function<void()> onHeld_;
};

// An event that may come on every tick (a relaunch, a failed launch): it
// reaches the event log at most once in ten minutes, with the count since
// the last report. Each part owns the ones it reports.
class RepeatedEvent {
 public:
  RepeatedEvent(Clock& clock, ActivityLog& log, EventType type,
                EventKind kind, std::string countText)
      : clock_(clock),
        log_(log),
        type_(type),
        kind_(kind),
        countText_(std::move(countText)) {}

  void Report(const std::string& message);
  // At the stop: the count not yet reported.
  void ReportPending();

 private:
  void ReportCount();

  Clock& clock_;
  ActivityLog& log_;
  EventType type_;
  EventKind kind_;
  std::string countText_;
  uint32_t unreported_ = 0;
  std::string lastMessage_;
  std::optional<uint64_t> lastReportMs_;
};

}  // namespace morvasvc

#endif
