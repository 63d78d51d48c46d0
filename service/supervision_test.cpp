#include "supervision.h"

#include <gtest/gtest.h>

#include "module_test_fixture.h"

namespace morvasvc {
namespace {

TEST(SupervisionIntervalMs, NoOverflowAndWithinTheTimerRange) {
  EXPECT_EQ(60000u, SupervisionIntervalMs(1));
  // 100000 minutes overflow 32 bits; the timer gets its longest interval.
  EXPECT_EQ(0x7FFFFFFFu, SupervisionIntervalMs(100000));
  EXPECT_EQ(35791 * 60000u, SupervisionIntervalMs(35791));
  EXPECT_EQ(0x7FFFFFFFu, SupervisionIntervalMs(35792));
  EXPECT_EQ(0x7FFFFFFFu, SupervisionIntervalMs(2147483647));
  EXPECT_EQ(10u, SupervisionIntervalMs(0));
  EXPECT_EQ(10u, SupervisionIntervalMs(-1));
  EXPECT_EQ(10u, SupervisionIntervalMs(-2147483647 - 1));
}

// The engine's peer and launcher as the supervision sees them.
class FakeEngine : public EnginePeer, public EngineStarter {
 public:
  bool running = false;
  bool shutdownDelivered = true;
  Strings calls;

  bool IsRunning(uint32_t, std::string*) override {
    calls.push_back("probe");
    return running;
  }
  void Launch(const JavaRuntime&, const std::string&) override {
    calls.push_back("launch");
  }
  bool RequestShutdown(uint32_t, std::string*) override {
    calls.push_back("shutdown");
    return shutdownDelivered;
  }
  void WaitToLetGo(uint32_t) override { calls.push_back("wait"); }
  bool starting = false;
  bool HoldsLaunch(uint32_t) override { return starting; }
  void Answered() override {}
  void EndUnanswered(uint32_t, const std::function<bool()>& again) override {
    calls.push_back(again() ? "answered again" : "end unanswered");
  }
  bool WaitsForAnswer() const override { return starting; }
  void NoteAdopted(uint32_t, const JavaRuntime&) override {
    calls.push_back("adopted");
  }
  void ReportPendingCounts() override {}
};

class SupervisionTest : public PartTest {
 protected:
  // The launches since the last look.
  int Launches() {
    const int launches = static_cast<int>(
        std::count(engine.calls.begin(), engine.calls.end(), "launch"));
    engine.calls.clear();
    return launches;
  }

  FakeEngine engine;
  Supervision supervision{system, log, engine, engine};
  JavaRuntime java;
  std::string installDir, javaExe, statusText;
  EngineTarget target{1967, java, installDir, javaExe, statusText};
};

TEST_F(SupervisionTest, RelaunchGuardCountsRealSeconds) {
  supervision.Start(target);
  ASSERT_EQ(1, Launches());
  const uint64_t launched = system.tickMs;
  EXPECT_EQ(static_cast<int64_t>(launched), supervision.LastLaunchMs());
  EXPECT_EQ(Strings({"NT Service Module: launching scheduler engine"}),
            LoggedMessages());
  system.LogFile().clear();

  system.tickMs = launched + 59999;
  supervision.Tick(target);
  EXPECT_EQ(0, Launches());
  system.tickMs = launched + 60000;
  supervision.Tick(target);
  EXPECT_EQ(1, Launches());

  // The calendar set back by hours holds nothing off once a minute passed.
  system.now -= 5 * 3600;
  system.tickMs = launched + 120000;
  supervision.Tick(target);
  EXPECT_EQ(1, Launches());
  // Set forward by hours, it lets no second launch into the same minute.
  system.now += 10 * 3600;
  system.tickMs = launched + 150000;
  supervision.Tick(target);
  EXPECT_EQ(0, Launches());
  system.now -= 5 * 3600;
  system.tickMs = launched + 180000;
  supervision.Tick(target);
  EXPECT_EQ(1, Launches());
  // One still on its way to the port holds the next off.
  engine.starting = true;
  system.tickMs += 600000;
  supervision.Tick(target);
  EXPECT_EQ(0, Launches());
  engine.starting = false;
  // An engine that answers is left alone; that it answers again is said,
  // from the first tick that found it silent, with the launches since.
  log.ReportEventsAs("Plenor7");
  engine.running = true;
  system.tickMs += 600000;
  supervision.Tick(target);
  EXPECT_EQ(Strings({"probe"}), engine.calls);
  Launches();
  supervision.Tick(target);
  const std::string back = "NT Service Module: The engine answers again after "
                           "22 minutes without an answer; launches "
                           "meanwhile: 3";
  ASSERT_EQ(1u, system.events.size());
  EXPECT_EQ(EventType::kInformation, system.events[0].type);
  EXPECT_EQ(15, system.events[0].id);
  EXPECT_EQ(back + "\r\n\r\nInstall folder: ", system.events[0].text);
  engine.running = false;

  // A second start back-dates again: a silent engine is launched at once.
  supervision.Start(target);
  EXPECT_EQ(1, Launches());
  // Each launch has its entry.
  EXPECT_EQ(Strings({"NT Service Module: launching scheduler engine",
                     "NT Service Module: launching scheduler engine",
                     "NT Service Module: launching scheduler engine", back,
                     "NT Service Module: launching scheduler engine"}),
            morva_testing::ActivityLogMessages(system.LogFile()));
}

// The stop asks the engine to shut down and waits only for one that heard
// it; from then on no tick launches, even one already due.
TEST_F(SupervisionTest, StopShutsDownAndLaunchesNothingAfter) {
  engine.running = true;
  supervision.Start(target);
  supervision.Stop(target);
  // Found answering at the start: adopted, and said so.
  EXPECT_EQ(Strings({"probe", "adopted", "shutdown", "wait"}), engine.calls);
  EXPECT_EQ(Strings({"NT Service Module: NT Service has been Stopped"}),
            LoggedMessages());
  system.LogFile().clear();
  engine.calls.clear();

  engine.running = false;
  engine.shutdownDelivered = false;
  supervision.Stop(target);
  system.tickMs += 600000;
  supervision.Tick(target);
  // The one more try the runtime may ask for is a second shutdown.
  EXPECT_EQ(Strings({"shutdown", "shutdown", "end unanswered"}), engine.calls);
  EXPECT_EQ("", system.LogFile());
}

}  // namespace
}  // namespace morvasvc
