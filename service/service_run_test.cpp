#include "service_run.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace morvasvc {
namespace {

// The manager and the window's thread as the service's thread sees them;
// each stage of the window is reached after a given wait, or never.
class FakeServiceHost : public ServiceHost {
 public:
  std::map<WindowStage, uint64_t> readyAfterMs;
  bool refusesPreshutdown = false;
  bool clockStands = false;

  std::vector<ServiceStatus> reports;
  std::vector<std::string> events;
  uint64_t tickMs = 0;

  bool ReportStatus(const ServiceStatus& status) override {
    reports.push_back(status);
    return !(refusesPreshutdown &&
             (status.controlsAccepted & kAcceptPreshutdown));
  }
  bool WaitForWindow(WindowStage stage, uint32_t ms) override {
    auto it = readyAfterMs.find(stage);
    const uint64_t left = it == readyAfterMs.end() ? UINT64_MAX : it->second;
    if (left <= ms) {
      if (!clockStands) tickMs += left;
      readyAfterMs.erase(stage);
      return true;
    }
    if (it != readyAfterMs.end()) it->second -= ms;
    if (!clockStands) tickMs += ms;
    return false;
  }
  void PostStart() override { events.push_back("start"); }
  void PostStop() override { events.push_back("stop"); }
  void WaitForStopRequest() override { events.push_back("stop requested"); }
  uint64_t TickMs() override { return tickMs; }
  void Log(const std::string& message) override { events.push_back(message); }
  void EndProcess(uint32_t code) override {
    events.push_back("end " + std::to_string(code));
  }

  // Each report as state:checkpoint, with the accepted controls and the
  // exit codes where there are any.
  std::vector<std::string> Reported() const {
    std::vector<std::string> shown;
    for (const ServiceStatus& s : reports) {
      std::string text =
          std::to_string(s.state) + ":" + std::to_string(s.checkPoint);
      if (s.controlsAccepted)
        text += " accepts " + std::to_string(s.controlsAccepted);
      if (s.win32ExitCode) {
        text += " error " + std::to_string(s.win32ExitCode) + "/" +
                std::to_string(s.serviceSpecificExitCode);
      }
      shown.push_back(text);
    }
    return shown;
  }
};

using Strings = std::vector<std::string>;

TEST(RunService, ALifeWithSlowHandlers) {
  FakeServiceHost host;
  host.readyAfterMs = {{WindowStage::kCreated, 0},
                       {WindowStage::kStartHandled, 25000},
                       {WindowStage::kStopHandled, 35000}};
  RunService(host);
  // Only the service's thread reports; stop, shutdown and preshutdown are
  // accepted while it runs.
  EXPECT_EQ(Strings({"2:1", "2:2", "2:3", "4:0 accepts 261", "3:1", "3:2",
                     "3:3", "3:4", "1:0"}),
            host.Reported());
  EXPECT_EQ(Strings({"start", "stop requested", "stop"}), host.events);
  for (const ServiceStatus& s : host.reports) {
    EXPECT_EQ(s.state == kServiceStartPending || s.state == kServiceStopPending
                  ? kPendingWaitHintMs
                  : 0u,
              s.waitHintMs);
  }
  for (uint32_t control :
       {kControlStop, kControlShutdown, kControlPreshutdown}) {
    EXPECT_EQ(ControlAction::kStop, ClassifyControl(control)) << control;
  }
  EXPECT_EQ(ControlAction::kAnswer, ClassifyControl(kControlInterrogate));
  EXPECT_EQ(ControlAction::kNotImplemented, ClassifyControl(2));  // pause
}

// A handler held up for good: the service is reported stopped with its own
// error code, so that recovery restarts it, and the process ends.
TEST(RunService, EveryPendingStateHasAnEnd) {
  struct Case {
    const char* what;
    std::map<WindowStage, uint64_t> readyAfterMs;
    bool clockStands;
    uint32_t specificCode;
  } cases[] = {
      {"window never created", {}, false, kStartRanOver},
      {"start never handled",
       {{WindowStage::kCreated, 0}},
       false,
       kStartRanOver},
      {"stop never handled",
       {{WindowStage::kCreated, 0}, {WindowStage::kStartHandled, 0}},
       false,
       kStopRanOver},
      {"stop never handled, clock standing",
       {{WindowStage::kCreated, 0}, {WindowStage::kStartHandled, 0}},
       true,
       kStopRanOver},
  };
  for (const Case& c : cases) {
    FakeServiceHost host;
    host.readyAfterMs = c.readyAfterMs;
    host.clockStands = c.clockStands;
    RunService(host);
    const ServiceStatus& last = host.reports.back();
    EXPECT_EQ(kServiceStopped, last.state) << c.what;
    EXPECT_EQ(kServiceSpecificError, last.win32ExitCode) << c.what;
    EXPECT_EQ(c.specificCode, last.serviceSpecificExitCode) << c.what;
    EXPECT_LE(host.reports.size(), 16u) << c.what;
    if (!c.clockStands) {
      EXPECT_GE(host.tickMs, kHandlerBoundMs) << c.what;
      EXPECT_LE(host.tickMs, 2 * kHandlerBoundMs + kPendingReportMs) << c.what;
    }
    const std::string what = c.specificCode == kStartRanOver ? "start" : "stop";
    ASSERT_GE(host.events.size(), 2u) << c.what;
    EXPECT_EQ(Strings({"NT Service Module: ERROR: The service's " + what +
                           " did not finish within 60 seconds; the service "
                           "reports itself stopped and ends",
                       "end 1"}),
              Strings(host.events.end() - 2, host.events.end()))
        << c.what;
  }
}

TEST(RunService, SystemsWithoutPreshutdownKeepTheShutdownControl) {
  FakeServiceHost host;
  host.refusesPreshutdown = true;
  host.readyAfterMs = {{WindowStage::kCreated, 0},
                       {WindowStage::kStartHandled, 0},
                       {WindowStage::kStopHandled, 0}};
  RunService(host);
  EXPECT_EQ(Strings({"2:1", "4:0 accepts 261", "4:0 accepts 5", "3:1", "1:0"}),
            host.Reported());
  // Room for the stop's own wait for the engine when Windows shuts down.
  EXPECT_GT(kPreshutdownTimeoutMs, 30000u + 2 * 3000u);
}

}  // namespace
}  // namespace morvasvc
