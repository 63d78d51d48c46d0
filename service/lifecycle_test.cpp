#include <gtest/gtest.h>

#include "fake_module_system.h"
#include "module_texts.h"
#include "morva_module.h"

namespace morvasvc {
namespace {

using Strings = std::vector<std::string>;

class TimedModule : public MorvaModule {
 public:
  using MorvaModule::MorvaModule;
  std::vector<uint32_t> timerArmed;
  int timerKilled = 0;

 protected:
  void SetSupervisionTimer(uint32_t ms) override { timerArmed.push_back(ms); }
  void KillSupervisionTimer() override { ++timerKilled; }
};

class LifecycleTest : public testing::Test {
 protected:
  LifecycleTest() : module(system, control) {
    system.File("engineSettings.jsd") = "ENGINE_PORT=2001\r\n";
    system.File("ntServiceSettings.jsd") =
        std::string("\x03\0\0\0\x04java\0\0\0\0\0", 14);
    control.installed = true;
    module.activityLogPath = "data\\logs\\activityLog.jsd";
  }

  Strings LoggedMessages() {
    Strings messages;
    std::string log = system.LogFile();
    size_t at = 0;
    while ((at = log.find('\t', at)) != std::string::npos) {
      const size_t end = log.find("\r\n", at);
      messages.push_back(log.substr(at + 1, end - at - 1));
      at = end;
    }
    system.LogFile().clear();
    return messages;
  }

  FakeModuleSystem system;
  FakeServiceControl control;
  TimedModule module;
};

TEST_F(LifecycleTest, StartWhileNoEngineAnswersLaunchesIt) {
  system.jars = {"morva7.jar"};
  module.OnServiceStart("ignored");
  EXPECT_EQ(
      Strings({"NT Service Module: Starting NT Service",
               "NT Service Module: Service Working Directory = C:\\Morva",
               "NT Service Module: Engine Port = 2001",
               "NT Service Module: Engine is not running",
               "NT Service Module: launching scheduler engine",
               "NT Service Module: Engine path = java",
               "NT Service Module: Engine arguments = -Xrs -cp "
               ".;help;morva7.jar; com.morva.engine.Engine",
               "NT Service Module: NT Service Started. Service Working "
               "Directory = C:\\Morva"}),
      LoggedMessages());
  EXPECT_EQ(1u, system.shellCalls.size());
  EXPECT_EQ(std::vector<uint32_t>({180000}), module.timerArmed);
  EXPECT_EQ(system.now, module.lastLaunchTime);
  EXPECT_EQ("ERROR: Service should not be set to Interact with Desktop",
            module.statusText);
}

TEST_F(LifecycleTest, StartWhileTheEngineAnswers) {
  system.engineListening = true;
  control.installed = false;
  module.OnServiceStart("");
  EXPECT_EQ(
      Strings({"NT Service Module: Starting NT Service",
               "NT Service Module: Service Working Directory = C:\\Morva",
               "NT Service Module: Engine Port = 2001",
               "NT Service Module: NT Service Started. Service Working "
               "Directory = C:\\Morva"}),
      LoggedMessages());
  EXPECT_TRUE(system.shellCalls.empty());
  EXPECT_EQ(system.now - 120, module.lastLaunchTime);
  EXPECT_EQ(Strings({"NTSERVICE^CONFIRM_RUNNING_TO_NTSERVICE"}), system.sent);
  EXPECT_EQ("ERROR: Service should not be set to Interact with Desktop",
            module.statusText);

  // The first tick that finds it gone launches at once.
  system.engineListening = false;
  system.now += 1;
  module.SuperviseEngine();
  EXPECT_EQ(1u, system.shellCalls.size());
}

TEST_F(LifecycleTest, RelaunchGuard) {
  module.OnServiceStart("");
  ASSERT_EQ(1u, system.shellCalls.size());
  const int64_t launched = module.lastLaunchTime;
  LoggedMessages();

  system.now = launched + 59;
  module.SuperviseEngine();
  EXPECT_EQ(1u, system.shellCalls.size());
  EXPECT_EQ(Strings({"NT Service Module: Engine is not running"}),
            LoggedMessages());

  system.now = launched + 60;
  module.SuperviseEngine();
  EXPECT_EQ(2u, system.shellCalls.size());
  EXPECT_EQ(launched + 60, module.lastLaunchTime);

  // A clock set back holds relaunching off until it passes the guard again.
  system.now = launched;
  module.SuperviseEngine();
  system.now = launched + 119;
  module.SuperviseEngine();
  EXPECT_EQ(2u, system.shellCalls.size());
  system.now = launched + 120;
  module.SuperviseEngine();
  EXPECT_EQ(3u, system.shellCalls.size());

  // A second start back-dates again and re-arms the timer.
  module.OnServiceStart("");
  EXPECT_EQ(4u, system.shellCalls.size());
  EXPECT_EQ(2u, module.timerArmed.size());
}

TEST_F(LifecycleTest, Stop) {
  system.engineListening = true;
  module.OnServiceStop();
  EXPECT_EQ(Strings({"NT Service Module: Sending Shutdown request to engine",
                     "NT Service Module: NT Service has been Stopped"}),
            LoggedMessages());
  EXPECT_EQ(Strings({"NTSERVICE^SHUTDOWN_ENGINE"}), system.sent);
  EXPECT_EQ(1, module.timerKilled);

  // Not delivered: one entry, and the timer stays armed.
  system.engineListening = false;
  module.enginePort = 1967;
  module.OnServiceStop();
  EXPECT_EQ(Strings({"NT Service Module: Engine is not running or not "
                     "responding on selected port: 1967"}),
            LoggedMessages());
  EXPECT_EQ(1, module.timerKilled);
}

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

TEST(ParseFieldNumber, Rules) {
  int64_t value = 0;
  EXPECT_TRUE(ParseFieldNumber("10 minutes", &value));
  EXPECT_EQ(10, value);
  EXPECT_TRUE(ParseFieldNumber("  -5", &value));
  EXPECT_EQ(-5, value);
  EXPECT_FALSE(ParseFieldNumber("", &value));
  EXPECT_FALSE(ParseFieldNumber("abc", &value));
  EXPECT_FALSE(ParseFieldNumber("- 5", &value));
  // Only the first 63 characters count.
  EXPECT_FALSE(ParseFieldNumber(std::string(63, ' ') + "5", &value));
  EXPECT_TRUE(ParseFieldNumber(std::string(62, ' ') + "5", &value));
  EXPECT_EQ(5, value);
}

}  // namespace
}  // namespace morvasvc
