#include "service_run.h"

#include <gtest/gtest.h>

#include <map>
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
  void WaitForStopRequest() override { events.push_back("stop requested"); }
  uint64_t TickMs() override { return tickMs; }
  void Log(const std::string& message) override { events.push_back(message); }
  void EndProcess(uint32_t code) override {
    events.push_back("end " + std::to_string(code));
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
  EXPECT_EQ(Strings({"2:1 hint", "2:2 hint", "2:3 hint", "4:0 accepts 261",
                     "3:1 hint", "3:2 hint", "3:3 hint", "3:4 hint", "1:0"}),
            host.reports);
  EXPECT_EQ(Strings({"start", "stop requested", "stop"}), host.events);
  for (uint32_t control :
       {kControlStop, kControlShutdown, kControlPreshutdown}) {
    EXPECT_EQ(ControlAction::kStop, ClassifyControl(control)) << control;
  }
  EXPECT_EQ(ControlAction::kAnswer, ClassifyControl(kControlInterrogate));
  EXPECT_EQ(ControlAction::kNotImplemented, ClassifyControl(2));  // pause

  // Systems before Vista refuse preshutdown: shutdown remains.
  FakeServiceHost old;
  old.refusesPreshutdown = true;
  old.readyAfterMs = {{WindowStage::kCreated, 0},
                      {WindowStage::kStartHandled, 0},
                      {WindowStage::kStopHandled, 0}};
  RunService(old);
  EXPECT_EQ(Strings({"2:1 hint", "4:0 accepts 261", "4:0 accepts 5", "3:1 hint",
                     "1:0"}),
            old.reports);
  // Room for the stop's own wait for the engine when Windows shuts down.
  EXPECT_GT(kPreshutdownTimeoutMs, 30000u + 2 * 3000u);
}

// A handler held up for good: the service is reported stopped with its own
// error code, so that recovery restarts it, and the process ends.
TEST(RunService, EveryPendingStateHasAnEnd) {
  const std::map<WindowStage, uint64_t> created = {{WindowStage::kCreated, 0}},
                                        started = {
                                            {WindowStage::kCreated, 0},
                                            {WindowStage::kStartHandled, 0}};
  struct Case {
    std::map<WindowStage, uint64_t> readyAfterMs;
    bool clockStands;
    uint32_t code;
  } cases[] = {{{}, false, kStartRanOver},
               {created, false, kStartRanOver},
               {started, false, kStopRanOver},
               {started, true, kStopRanOver}};
  for (const Case& c : cases) {
    FakeServiceHost host;
    host.readyAfterMs = c.readyAfterMs;
    host.clockStands = c.clockStands;
    RunService(host);
    const std::string what = c.code == kStartRanOver ? "start" : "stop";
    EXPECT_EQ(kServiceStopped, host.last.state) << what;
    EXPECT_EQ(kServiceSpecificError, host.last.win32ExitCode) << what;
    EXPECT_EQ(c.code, host.last.serviceSpecificExitCode) << what;
    EXPECT_LE(host.reports.size(), 16u) << what;
    EXPECT_LE(host.tickMs, 2 * kHandlerBoundMs + kPendingReportMs) << what;
    if (!c.clockStands) {
      EXPECT_GE(host.tickMs, kHandlerBoundMs) << what;
    }
    ASSERT_GE(host.events.size(), 2u) << what;
    EXPECT_EQ(Strings({"NT Service Module: ERROR: The service's " + what +
                           " did not finish within 60 seconds; the service "
                           "reports itself stopped and ends",
                       "end 1"}),
              Strings(host.events.end() - 2, host.events.end()));
  }
}

}  // namespace
}  // namespace morvasvc
