#include "service_run.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <vector>

namespace morvasvc {
namespace {

using Strings = std::vector<std::string>;

// The manager and the window's thread as the service's thread sees them:
// each stage of the window is reached after a given wait, or never.
class FakeServiceHost : public ServiceHost {
 public:
  std::map<WindowStage, uint64_t> readyAfterMs;
  bool refusesPreshutdown = false;
  bool clockStands = false;
  Strings reports, events;
  ServiceStatus last;
  uint64_t tickMs = 0;

  // Each report as state:checkpoint, the accepted controls and any error.
  // The manager refuses reports of refusedState this many times.
  uint32_t refusedState = 0;
  uint32_t refusals = 0;
  bool ReportStatus(const ServiceStatus& s, uint32_t* error) override {
    last = s;
    reports.push_back(
        std::to_string(s.state) + ":" + std::to_string(s.checkPoint) +
        (s.controlsAccepted ? " accepts " + std::to_string(s.controlsAccepted)
                            : "") +
        (s.waitHintMs ? " hint " + std::to_string(s.waitHintMs) : ""));
    if (s.state == refusedState && refusals > 0) {
      --refusals;
      *error = 5;
      return false;
    }
    *error = kErrorInvalidParameter;
    return !refusesPreshutdown || !(s.controlsAccepted & kAcceptPreshutdown);
  }
  std::string ErrorText(uint32_t error) override {
    return "system error " + std::to_string(error);
  }
  bool WaitForWindow(WindowStage stage, uint32_t ms) override {
    auto it = readyAfterMs.find(stage);
    const bool ready = it != readyAfterMs.end() && it->second <= ms;
    const uint64_t waited = ready ? it->second : ms;
    if (it != readyAfterMs.end()) it->second -= waited;
    if (!clockStands) tickMs += waited;
    return ready;
  }
  void PostStart() override { events.push_back("start"); }
  void PostStop() override { events.push_back("stop"); }
  // The stop is asked for at this time; the window's thread handles one
  // message (a tick, unless said otherwise) from busySinceMs on.
  uint64_t stopRequestAtMs = 0;
  std::optional<uint64_t> busySinceMs;
  bool busyOnTick = true;
  bool WaitForStopRequest(uint32_t ms) override {
    if (tickMs >= stopRequestAtMs) {
      events.push_back("stop requested");
      return true;
    }
    tickMs += ms;
    return false;
  }
  bool BusySince(uint64_t* startMs, bool* tick) override {
    if (!busySinceMs || *busySinceMs > tickMs) return false;
    *startMs = *busySinceMs;
    *tick = busyOnTick;
    return true;
  }
  uint64_t TickMs() override { return tickMs; }
  void Pause(uint32_t ms) override { tickMs += ms; }
  // The order of event, log and end is part of what is checked.
  size_t keptBack = 0;
  Strings alerts;
  void ReportEvent(EventKind kind, const std::string& message) override {
    events.push_back("event " +
                     std::to_string(EventId(kind, EventType::kError)));
    alerts.push_back(message);
  }
  void LogBounded(const std::string& message, uint32_t boundMs) override {
    events.push_back(message + " (" + std::to_string(boundMs) + " ms)");
  }
  size_t KeptBackEntries() override { return keptBack; }
  void Terminate(uint32_t code) override {
    events.push_back("terminated " + std::to_string(code));
  }
};

TEST(RunService, ALifeWithSlowHandlers) {
  FakeServiceHost host;
  host.readyAfterMs = {{WindowStage::kCreated, 0},
                       {WindowStage::kStartHandled, 25000},
                       {WindowStage::kStopHandled, 35000}};
  RunService(host);
  // Only the service's thread reports; stop, shutdown and preshutdown are
  // accepted while it runs.
  EXPECT_EQ(Strings({"2:1 hint 30000", "2:2 hint 30000", "2:3 hint 30000",
                     "4:0 accepts 269", "3:1 hint 30000", "3:2 hint 30000",
                     "3:3 hint 30000", "3:4 hint 30000", "1:0"}),
            host.reports);
  EXPECT_EQ(Strings({"start", "stop requested", "stop"}), host.events);
  // The manager's numbers: stop, shutdown, preshutdown.
  for (uint32_t control : {1u, 5u, 15u}) {
    EXPECT_EQ(ControlAction::kStop, ClassifyControl(control)) << control;
  }
  EXPECT_EQ(ControlAction::kAnswer, ClassifyControl(4));  // interrogate
  EXPECT_EQ(ControlAction::kRereadSettings, ClassifyControl(6));
  EXPECT_EQ(ControlAction::kNotImplemented, ClassifyControl(2));  // pause

  // Systems before Vista refuse preshutdown: shutdown remains.
  FakeServiceHost old;
  old.refusesPreshutdown = true;
  old.readyAfterMs = {{WindowStage::kCreated, 0},
                      {WindowStage::kStartHandled, 0},
                      {WindowStage::kStopHandled, 0}};
  RunService(old);
  EXPECT_EQ(Strings({"2:1 hint 30000", "4:0 accepts 269", "4:0 accepts 13",
                     "3:1 hint 30000", "1:0"}),
            old.reports);
}

// A start, a tick or a message held up for good, and a running state the
// manager refuses, end the process unreported, a crash that recovery
// restarts; a stop held up for good is reported stopped without an error:
// nothing restarts what an operator stopped. Each says so in an event first,
// then in the log within a bound, counting what the held log kept back.
TEST(RunService, EveryPendingStateAndTickHasAnEnd) {
  const std::map<WindowStage, uint64_t> created = {{WindowStage::kCreated, 0}},
                                        started = {
                                            {WindowStage::kCreated, 0},
                                            {WindowStage::kStartHandled, 0}};
  std::map<WindowStage, uint64_t> done = started;
  done[WindowStage::kStopHandled] = 0;
  const uint64_t hour = 3600000;
  const std::string refused = "running state was refused by the Service "
                              "Control Manager";
  struct Case {
    std::map<WindowStage, uint64_t> readyAfterMs;
    bool clockStands;
    uint64_t stopRequestAtMs;
    std::optional<uint64_t> busySinceMs;
    std::string what;  // what ran over
    bool busyOnTick = true;
    uint32_t refusedRunning = 0;  // refusals of the running state
    size_t keptBack = 0;
  } cases[] = {{{}, false, 0, {}, "start"},
               {created, false, 0, {}, "start", true, 0, 2},
               {started, false, 0, {}, "stop", true, 0, 1},
               {started, true, 0, {}, "stop"},
               {started, false, 2 * hour, hour, "supervision tick"},
               // A held log's retry or a re-read stuck as long.
               {started, false, 2 * hour, hour, "window", false},
               // Hours between two ticks are no stuck tick.
               {started, false, 5 * hour, {}, "stop"},
               // Refused once, then taken: the service runs on.
               {done, false, 0, {}, "stop", true, 1},
               {started, false, 0, {}, refused, true, 3}};
  for (const Case& c : cases) {
    FakeServiceHost host;
    host.readyAfterMs = c.readyAfterMs;
    host.clockStands = c.clockStands;
    host.stopRequestAtMs = c.stopRequestAtMs;
    host.busySinceMs = c.busySinceMs;
    host.busyOnTick = c.busyOnTick;
    host.refusedState = kServiceRunning;
    host.refusals = c.refusedRunning;
    host.keptBack = c.keptBack;
    RunService(host);
    const bool stop = c.what == "stop", busy = c.busySinceMs.has_value();
    EXPECT_EQ(stop   ? kServiceStopped
              : busy ? kServiceRunning
              : c.what == refused ? kServiceRunning
                                  : kServiceStartPending,
              host.last.state)
        << c.what;
    EXPECT_EQ(0u, host.last.win32ExitCode) << c.what;
    EXPECT_LE(host.reports.size(), 16u) << c.what;
    if (c.refusedRunning == 1) {
      // Retried a second later, with preshutdown, and the service runs on.
      EXPECT_EQ("4:0 accepts 269", host.reports[2]);
      EXPECT_EQ(1000u, host.tickMs);
      EXPECT_EQ("stop", host.events.back());
      continue;
    }
    if (c.what == refused) {
      EXPECT_EQ(4u, host.reports.size());
      EXPECT_EQ(2000u, host.tickMs);
      EXPECT_EQ("NT Service Module: ERROR: The Service Control Manager "
                "refused the service's state running: system error 5 (5000 "
                "ms)",
                host.events[2]);
    }
    // Five minutes for a tick or a message, a minute for the rest, and not a
    // round of the watch more.
    const uint64_t boundMs = busy ? 300000 : 60000;
    const uint64_t from = busy ? *c.busySinceMs : c.stopRequestAtMs;
    if (!c.clockStands && c.what != refused) {
      EXPECT_GE(host.tickMs, from + boundMs) << c.what;
      EXPECT_LT(host.tickMs, from + boundMs + kTickCheckMs) << c.what;
    }
    const std::string ranOver =
        c.what == refused ? refused
        : c.what == "window"
            ? "window did not finish handling a message within 300 seconds"
            : c.what + " did not finish within " +
                  std::to_string(boundMs / 1000) + " seconds";
    const std::string message =
        "NT Service Module: ERROR: The service's " + ranOver + "; " +
        (stop ? "the service reports itself stopped and ends"
              : "the service ends so that Windows restarts it");
    ASSERT_GE(host.events.size(), 3u) << c.what;
    // A stuck window's thread and every other fault have an ID each.
    EXPECT_EQ(Strings({busy ? "event 19" : "event 20", message + " (5000 ms)",
                       stop ? "terminated 0" : "terminated 1"}),
              Strings(host.events.end() - 3, host.events.end()))
        << c.what;
    EXPECT_EQ(message + (c.keptBack ? "\r\n\r\n" +
                                         std::to_string(c.keptBack) +
                                         " activity log entries were kept "
                                         "back and are lost"
                                   : ""),
              host.alerts.back())
        << c.what;
  }
}

}  // namespace
}  // namespace morvasvc
