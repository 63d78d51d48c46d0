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
  bool ReportStatus(const ServiceStatus& s) override {
    last = s;
    reports.push_back(
        std::to_string(s.state) + ":" + std::to_string(s.checkPoint) +
        (s.controlsAccepted ? " accepts " + std::to_string(s.controlsAccepted)
                            : "") +
        (s.waitHintMs ? " hint" : ""));
    return !refusesPreshutdown || !(s.controlsAccepted & kAcceptPreshutdown);
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
  // The stop is asked for at this time; a tick runs from tickSinceMs on.
  uint64_t stopRequestAtMs = 0;
  std::optional<uint64_t> tickSinceMs;
  bool WaitForStopRequest(uint32_t ms) override {
    if (tickMs >= stopRequestAtMs) {
      events.push_back("stop requested");
      return true;
    }
    tickMs += ms;
    return false;
  }
  bool TickRunningSince(uint64_t* startMs) override {
    if (!tickSinceMs || *tickSinceMs > tickMs) return false;
    *startMs = *tickSinceMs;
    return true;
  }
  uint64_t TickMs() override { return tickMs; }
  void Log(const std::string& message) override { events.push_back(message); }
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
  EXPECT_EQ(Strings({"2:1 hint", "2:2 hint", "2:3 hint", "4:0 accepts 269",
                     "3:1 hint", "3:2 hint", "3:3 hint", "3:4 hint", "1:0"}),
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
  EXPECT_EQ(Strings({"2:1 hint", "4:0 accepts 269", "4:0 accepts 13", "3:1 hint",
                     "1:0"}),
            old.reports);
}

// A start or a tick held up for good ends the process unreported, a crash
// that recovery restarts at once; a stop held up for good is reported
// stopped without an error: nothing restarts what an operator stopped.
TEST(RunService, EveryPendingStateAndTickHasAnEnd) {
  const std::map<WindowStage, uint64_t> created = {{WindowStage::kCreated, 0}},
                                        started = {
                                            {WindowStage::kCreated, 0},
                                            {WindowStage::kStartHandled, 0}};
  const uint64_t hour = 3600000;
  struct Case {
    std::map<WindowStage, uint64_t> readyAfterMs;
    bool clockStands;
    uint64_t stopRequestAtMs;
    std::optional<uint64_t> tickSinceMs;
    std::string what;  // what ran over
  } cases[] = {{{}, false, 0, {}, "start"},
               {created, false, 0, {}, "start"},
               {started, false, 0, {}, "stop"},
               {started, true, 0, {}, "stop"},
               {started, false, 2 * hour, hour, "supervision tick"},
               // Hours between two ticks are no stuck tick.
               {started, false, 5 * hour, {}, "stop"}};
  for (const Case& c : cases) {
    FakeServiceHost host;
    host.readyAfterMs = c.readyAfterMs;
    host.clockStands = c.clockStands;
    host.stopRequestAtMs = c.stopRequestAtMs;
    host.tickSinceMs = c.tickSinceMs;
    RunService(host);
    const bool stop = c.what == "stop", tick = c.tickSinceMs.has_value();
    EXPECT_EQ(stop   ? kServiceStopped
              : tick ? kServiceRunning
                     : kServiceStartPending,
              host.last.state)
        << c.what;
    EXPECT_EQ(0u, host.last.win32ExitCode) << c.what;
    EXPECT_LE(host.reports.size(), 16u) << c.what;
    // Five minutes for a tick, a minute for the rest, and not a round of
    // the watch more.
    const uint64_t boundMs = tick ? 300000 : 60000;
    const uint64_t from = tick ? *c.tickSinceMs : c.stopRequestAtMs;
    if (!c.clockStands) {
      EXPECT_GE(host.tickMs, from + boundMs) << c.what;
      EXPECT_LT(host.tickMs, from + boundMs + kTickCheckMs) << c.what;
    }
    ASSERT_GE(host.events.size(), 2u) << c.what;
    EXPECT_EQ(Strings({"NT Service Module: ERROR: The service's " + c.what +
                           " did not finish within " +
                           std::to_string(boundMs / 1000) + " seconds; " +
                           (stop ? "the service reports itself stopped and "
                                   "ends"
                                 : "the service ends so that Windows "
                                   "restarts it"),
                       stop ? "terminated 0" : "terminated 1"}),
              Strings(host.events.end() - 2, host.events.end()))
        << c.what;
  }
}

}  // namespace
}  // namespace morvasvc
