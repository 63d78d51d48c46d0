#include <gtest/gtest.h>

#include "activity_log_entries.h"
#include "fake_module_system.h"
#include "morva_module.h"

namespace morvasvc {
namespace {

using Strings = std::vector<std::string>;

class TimedModule : public MorvaModule {
 public:
  using MorvaModule::MorvaModule;
  std::vector<uint32_t> timerArmed;
  std::vector<bool> launchWatch;
  int timerKilled = 0;
  int logTimerKilled = 0;

 protected:
  void SetSupervisionTimer(uint32_t ms) override { timerArmed.push_back(ms); }
  void KillSupervisionTimer() override { ++timerKilled; }
  void SetLaunchWatchTimer(bool on) override { launchWatch.push_back(on); }
  void KillLogRetryTimer() override { ++logTimerKilled; }
};

class LifecycleTest : public testing::Test {
 protected:
  LifecycleTest() : module(system, control) {
    system.File("engineSettings.jsd") = "ENGINE_PORT=2001\r\n";
    system.File("ntServiceSettings.jsd") =
        std::string("\x03\0\0\0\x04java\0\0\0\0\0", 14);
    control.installed = true;
    module.activityLog().SetPath("data\\logs\\activityLog.jsd");
  }

  Strings LoggedMessages() {
    const Strings messages = morva_testing::ActivityLogMessages(system.LogFile());
    system.LogFile().clear();
    return messages;
  }

  FakeModuleSystem system;
  FakeServiceControl control;
  TimedModule module;
};

const char kJavaEntry[] =
    "NT Service Module: Java runtime = java, not found along the system's "
    "search path";
const char kBareJavaWarning[] =
    "NT Service Module: WARNING: Java path java has no folder: a service "
    "sees changes to the system's search path only after Windows restarts; "
    "give the runtime's full path";

// A domain controller that does not answer holds up nothing: the start asks
// only this machine.
TEST_F(LifecycleTest, StartWhileNoEngineAnswersLaunchesIt) {
  system.jars = {"morva7.jar"};
  system.remoteLookupMs = 30000;
  system.security["C:\\Morva"] = {
      true, false, "S-1-5-21-7-8-9-1105",
      {{false, false, "S-1-5-21-7-8-9-1105", 0x1301bf}}};
  const uint64_t before = system.tickMs;
  module.OnServiceStart("ignored");
  EXPECT_LT(system.tickMs - before, 2000u);
  EXPECT_EQ(
      Strings({"NT Service Module: Starting NT Service",
               "NT Service Module: Service Working Directory = C:\\Morva",
               "NT Service Module: Engine Port = 2001", kJavaEntry,
               kBareJavaWarning,
               "NT Service Module: WARNING: C:\\Morva can be changed by "
               "S-1-5-21-7-8-9-1105 (could not tell whether this account is "
               "an administrator); they can run programs as LocalSystem "
               "through it",
               "NT Service Module: Engine is not running",
               "NT Service Module: launching scheduler engine",
               "NT Service Module: Engine path = java",
               "NT Service Module: Engine arguments = -Xrs -cp "
               ".;help;morva7.jar; com.morva.engine.Engine",
               "NT Service Module: NT Service Started. Service Working "
               "Directory = C:\\Morva"}),
      LoggedMessages());
  ASSERT_EQ(1u, system.shellCalls.size());
  // Nobody sees the service's desktop: the shell may show nothing.
  EXPECT_EQ(ShellPrompts::kNever, system.shellCalls[0].prompts);
  EXPECT_EQ(std::vector<uint32_t>({180000}), module.timerArmed);
  EXPECT_EQ(static_cast<int64_t>(system.tickMs),
            module.supervision().LastLaunchMs());
  EXPECT_EQ("ERROR: Service should not be set to Interact with Desktop",
            module.statusText);
  // Checked once a minute until it answers, whatever the period.
  EXPECT_EQ(std::vector<bool>({true}), module.launchWatch);
  system.engineListening = true;
  module.SuperviseEngine();
  EXPECT_EQ(std::vector<bool>({true, false}), module.launchWatch);
}

// A process of the same service started again takes up the runtime the
// one before it launched: held, never launched beside, and ended by the
// stop when it never answered; one that is gone is forgotten.
TEST_F(LifecycleTest, RestartedServiceTakesUpItsRuntime) {
  module.OnServiceStart("Plenor7");
  TimedModule next(system, control);
  next.activityLog().SetPath("data\\logs\\activityLog.jsd");
  system.tickMs += 5000;
  LoggedMessages();
  next.OnServiceStart("Plenor7");
  EXPECT_EQ(1u, system.shellCalls.size());
  const Strings messages = LoggedMessages();
  EXPECT_EQ(1, std::count(messages.begin(), messages.end(),
                          "NT Service Module: The engine launched before this "
                          "service process started (process 4242) still "
                          "runs; it is taken up, and no other is launched "
                          "beside it"));
  next.OnServiceStop();
  EXPECT_EQ(std::vector<uint32_t>({4242}), system.endedProcesses);
  TimedModule third(system, control);
  third.OnServiceStart("Plenor7");
  EXPECT_EQ(2u, system.shellCalls.size());
}

TEST_F(LifecycleTest, StartWhileTheEngineAnswers) {
  system.engineListening = true;
  control.installed = false;
  module.OnServiceStart("");
  EXPECT_EQ(
      Strings({"NT Service Module: Starting NT Service",
               "NT Service Module: Service Working Directory = C:\\Morva",
               "NT Service Module: Engine Port = 2001", kJavaEntry,
               kBareJavaWarning,
               "NT Service Module: NT Service Started. Service Working "
               "Directory = C:\\Morva"}),
      LoggedMessages());
  EXPECT_TRUE(system.shellCalls.empty());
  EXPECT_EQ(static_cast<int64_t>(system.tickMs) - 120000,
            module.supervision().LastLaunchMs());
  EXPECT_EQ(Strings({"NTSERVICE^CONFIRM_RUNNING_TO_NTSERVICE"}), system.sent);
  EXPECT_EQ("ERROR: Service should not be set to Interact with Desktop",
            module.statusText);

  // The first tick that finds it gone launches at once.
  system.engineListening = false;
  system.tickMs += 1000;
  module.SuperviseEngine();
  EXPECT_EQ(1u, system.shellCalls.size());
  // The window's retry ends once nothing is kept back.
  EXPECT_TRUE(module.RetryHeldLogEntries());
  system.busyFor[system.Resolve("data\\logs\\activityLog.jsd")] = 1 << 30;
  module.LogActivity("held");
  EXPECT_FALSE(module.RetryHeldLogEntries());
}

// A port the settings cut to 16 bits would probe another program's port.
TEST_F(LifecycleTest, StartWithAPortOutsideTheRange) {
  system.File("engineSettings.jsd") = "ENGINE_PORT=131071\r\n";
  system.engineListening = true;
  module.OnServiceStart("");
  module.SuperviseEngine();
  const Strings messages = LoggedMessages();
  ASSERT_GE(messages.size(), 5u);
  EXPECT_EQ("NT Service Module: Engine Port = 131071", messages[2]);
  EXPECT_EQ("NT Service Module: ERROR: Engine port 131071 is not between 1 "
            "and 65535; the engine cannot be reached on it",
            messages[3]);
  EXPECT_EQ("NT Service Module: Engine is not running", messages[6]);
  EXPECT_TRUE(system.connectPorts.empty());
  EXPECT_EQ(1u, system.shellCalls.size());
}

// A parameter change: the running service takes the new period and Java
// path at once; the engine, its port and the relaunch guard are left alone,
// and what cannot be read keeps the running values.
TEST_F(LifecycleTest, ParameterChangeRereadsTheModuleSettings) {
  system.engineListening = true;
  // Before the start, nothing runs to take it.
  module.OnServiceParamChange();
  EXPECT_TRUE(LoggedMessages().empty());
  module.OnServiceStart("");
  const int64_t guard = module.supervision().LastLaunchMs();
  system.sent.clear();
  const std::string file = system.Resolve("ntServiceSettings.jsd");
  system.files[file] = std::string("\x01\0\0\0\x08jdk\\java", 13);
  system.File("engineSettings.jsd") = "ENGINE_PORT=3000\r\n";
  LoggedMessages();
  // The same again re-arms nothing: changes in a row lose no tick. Held,
  // then damaged: one error each, the running values stay.
  module.OnServiceParamChange();
  module.OnServiceParamChange();
  system.busyFor[file] = 1 << 30;
  module.OnServiceParamChange();
  system.busyFor[file] = 0;
  system.files[file] = std::string("\x09\0", 2);
  module.OnServiceParamChange();
  const std::string reread =
      "NT Service Module: Settings re-read: period = 1 minutes, Java path = "
      "jdk\\java";
  const std::string keeps = "; the running service keeps its settings";
  // The new runtime is said before any launch of it, missing as it is.
  EXPECT_EQ(Strings({reread,
                     "NT Service Module: Java runtime = "
                     "C:\\Morva\\jdk\\java.exe, which does not exist",
                     reread,
                     "NT Service Module: ERROR: ntServiceSettings.jsd is held "
                     "by another program" + keeps,
                     reread,
                     "NT Service Module: ERROR: ntServiceSettings.jsd is "
                     "damaged" + keeps,
                     reread}),
            LoggedMessages());
  EXPECT_EQ(std::vector<uint32_t>({180000, 60000}), module.timerArmed);
  EXPECT_EQ(2001u, module.enginePort);
  EXPECT_EQ(guard, module.supervision().LastLaunchMs());
  EXPECT_TRUE(system.sent.empty() && system.shellCalls.empty());
  // A period the window would refuse is taken, and warned of.
  system.files[file] = std::string("\0\0\0\0\x08jdk\\java", 13);
  module.OnServiceParamChange();
  EXPECT_EQ(Strings({"NT Service Module: Settings re-read: period = 0 minutes, "
                     "Java path = jdk\\java",
                     "NT Service Module: WARNING: Period 0 minutes is outside "
                     "the window's range of 1 to 100000; the engine is "
                     "checked as often as the timer allows"}),
            LoggedMessages());
  EXPECT_EQ(10u, module.timerArmed.back());

  // After the stop, a late control changes nothing.
  module.OnServiceStop();
  LoggedMessages();
  system.files[file] = std::string("\x07\0\0\0\x01j\0\0\0\0\0", 11);
  module.OnServiceParamChange();
  EXPECT_TRUE(LoggedMessages().empty());
  EXPECT_EQ(0, module.period);
}

uint32_t Total(const std::vector<uint32_t>& sleeps) {
  uint32_t total = 0;
  for (uint32_t ms : sleeps) total += ms;
  return total;
}

TEST_F(LifecycleTest, StopWaitsUntilTheEngineLetsGo) {
  // The shutdown command's connection, then three quiet probes that answer.
  system.engineListening = true;
  system.engineAnswersFor = 4;
  module.OnServiceStop();
  EXPECT_EQ(Strings({"NT Service Module: Sending Shutdown request to engine",
                     "NT Service Module: NT Service has been Stopped"}),
            LoggedMessages());
  EXPECT_EQ(Strings({"NTSERVICE^SHUTDOWN_ENGINE"}), system.sent);
  // Nothing writes after the stop: the log's retry ends with it.
  EXPECT_EQ(1, module.timerKilled);
  EXPECT_EQ(1, module.logTimerKilled);
  EXPECT_EQ(5u, system.connectPorts.size());
  EXPECT_EQ(3u, system.sleeps.size());
  // Every connection has its own bound of a few seconds.
  for (uint32_t bound : system.connectBounds) {
    EXPECT_GE(bound, 1000u);
    EXPECT_LE(bound, 5000u);
  }

  // An engine that never lets go: about 30 s, then one entry.
  system.sleeps.clear();
  system.engineAnswersFor = -1;
  module.OnServiceStop();
  EXPECT_GE(Total(system.sleeps), 29000u);
  EXPECT_LE(Total(system.sleeps), 31000u);
  // "Stopped" is written once the wait is over.
  EXPECT_EQ(Strings({"NT Service Module: Sending Shutdown request to engine",
                     "NT Service Module: WARNING: Engine still answers on "
                     "selected port 1967 after 30 seconds; the service stops "
                     "without waiting longer",
                     "NT Service Module: NT Service has been Stopped"}),
            LoggedMessages());

  // A clock that stands still cannot make the wait endless.
  system.sleeps.clear();
  system.clockStands = true;
  module.OnServiceStop();
  EXPECT_LE(system.sleeps.size(), 200u);
  EXPECT_EQ(3u, LoggedMessages().size());

  // Not delivered: one entry, no wait, and the timer disarmed all the same:
  // a tick that was already due launches nothing after the stop.
  system.sleeps.clear();
  system.engineListening = false;
  module.OnServiceStop();
  EXPECT_EQ(Strings({"NT Service Module: Engine is not running or not "
                     "responding on selected port: 1967"}),
            LoggedMessages());
  EXPECT_TRUE(system.sleeps.empty());
  EXPECT_EQ(4, module.timerKilled);
  system.tickMs += 600000;
  module.SuperviseEngine();
  EXPECT_TRUE(system.shellCalls.empty());
  EXPECT_TRUE(LoggedMessages().empty());
}

// Run as the service, what an administrator must see reaches the event log
// under the name the manager started it with; an engine that keeps dying or
// failing to launch is reported at most once in ten minutes, with counts,
// and what is still uncounted at the stop is reported then.
TEST_F(LifecycleTest, EventsForTheAdministrator) {
  module.serviceName = "Plenor7";
  module.installDir = "C:\\Morva";
  system.shellAccepts = false;
  system.busyFor[system.Resolve("ntServiceSettings.jsd")] = 1 << 30;
  module.OnServiceStart("EditedSvc");
  for (uint64_t afterMs : {61000, 61000, 600000, 61000}) {
    system.tickMs += afterMs;
    module.SuperviseEngine();
  }
  module.OnServiceStop();
  EXPECT_EQ(5u, system.shellCalls.size());
  // Five launches, and the runtime's file read once.
  EXPECT_EQ(Strings({"C:\\Morva\\jre\\bin\\javaw.exe"}), system.startReads);
  const std::string folder = "\r\n\r\nInstall folder: C:\\Morva";
  // Each kind of trouble has its event ID: settings 16, a failed launch
  // 11, a relaunch 10.
  const std::string failed =
      "E 11 NT Service Module: ERROR: Engine could not be launched: The system "
      "cannot find the file specified.\r\n\r\nFailed launches since the "
      "last report: ";
  const std::string relaunched =
      "W 10 NT Service Module: Engine is not running\r\nNT Service Module: "
      "launching scheduler engine\r\n\r\nLaunches after the engine was found "
      "not running, since the last report: ";
  const Strings expected = {
      "E 16 NT Service Module: ERROR: ntServiceSettings.jsd is held by another "
      "program; default settings are used for this run" + folder,
      failed + "1" + folder,     relaunched + "1" + folder,
      failed + "3" + folder,     relaunched + "2" + folder,
      relaunched + "1" + folder, failed + "1" + folder};
  Strings events;
  for (const FakeModuleSystem::Event& e : system.events) {
    EXPECT_EQ("EditedSvc", e.source);
    events.push_back((e.type == EventType::kError ? "E " : "W ") +
                     std::to_string(e.id) + " " + e.text);
  }
  EXPECT_EQ(expected, events);
}

}  // namespace
}  // namespace morvasvc
