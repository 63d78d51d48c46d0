#include <gtest/gtest.h>

#include "engine_launch.h"
#include "module_test_fixture.h"

namespace morvasvc {
namespace {

TEST(BuildEngineArguments, ClassPath) {
  EXPECT_EQ("-Xrs -cp .;help; com.morva.engine.Engine",
            BuildEngineArguments({}));
  EXPECT_EQ("-Xrs -cp .;help;a.jar;morva7.jar; com.morva.engine.Engine",
            BuildEngineArguments({"a.jar", "morva7.jar"}));
  // A blank in a jar name is kept inside one quoted class path.
  EXPECT_EQ("-Xrs -cp \".;help;my lib.jar;morva7.jar;\" com.morva.engine.Engine",
            BuildEngineArguments({"my lib.jar", "morva7.jar"}));
}
class EngineLaunchTest : public PartTest {
 protected:
  JavaRuntime Java(const std::string& javaExe = kDefaultJavaExe) {
    return ResolveJava(javaExe, "C:\\Morva", system, system);
  }
  JavaReport report{log};
  EngineLaunch launch{system, system, system, system, log, report};
  const std::function<bool()> kNoAnswer = [] { return false; };
};

TEST_F(EngineLaunchTest, LaunchEngine) {
  system.jars = {"a.jar", "morva7.jar"};
  std::string header(0x100, '\0');
  header.replace(0, 2, "MZ");
  header[0x3C] = '\x80';
  header.replace(0x80, 6, std::string("PE\0\0\x64\x86", 6));
  system.File("C:\\jdk\\bin\\javaw.exe") = header;
  system.versions["C:\\jdk\\bin\\javaw.exe"] = "8.0.3910.9";
  const JavaRuntime java = Java("C:\\\\jdk\\\\bin\\javaw.exe");
  launch.Launch(java, "C:\\Morva");
  EXPECT_EQ("C:\\jdk\\bin\\javaw.exe", java.configured);
  ASSERT_EQ(1u, system.shellCalls.size());
  EXPECT_EQ("C:\\jdk\\bin\\javaw.exe", system.shellCalls[0].file);
  EXPECT_EQ("-Xrs -cp .;help;a.jar;morva7.jar; com.morva.engine.Engine",
            system.shellCalls[0].parameters);
  EXPECT_EQ("C:\\Morva", system.shellCalls[0].directory);
  EXPECT_EQ(Strings({"NT Service Module: Java runtime = C:\\jdk\\bin\\javaw.exe, "
                     "a 64-bit program, file version 8.0.3910.9",
                     "NT Service Module: Engine path = C:\\jdk\\bin\\javaw.exe",
                     "NT Service Module: Engine arguments = -Xrs -cp "
                     ".;help;a.jar;morva7.jar; com.morva.engine.Engine"}),
            LoggedMessages());
  // Said again only when it changes.
  system.LogFile().clear();
  launch.Launch(java, "C:\\Morva");
  EXPECT_EQ(2u, LoggedMessages().size());
}

// The runtime launched last, while it runs and has never answered, holds
// off another launch for ten minutes; then it is ended. One that is gone, or
// whose id now names another process, is forgotten; one that answered once
// is never ended. The stop ends only one that never answered.
TEST_F(EngineLaunchTest, LaunchedRuntimeIsHeldThenEnded) {
  log.ReportEventsAs("Plenor7");
  const std::string launched =
      "NT Service Module: The engine launched at Mar 08, 2007 02:05:09 PM "
      "(process 4242)";
  launch.Launch(Java(), "C:\\Morva");
  system.LogFile().clear();
  system.tickMs += kLaunchHoldMs - 1;
  EXPECT_TRUE(launch.HoldsLaunch(2001));
  EXPECT_TRUE(launch.HoldsLaunch(2001));
  EXPECT_EQ(Strings({launched + " has not opened its port yet; no other is "
                                "launched beside it"}),
            LoggedMessages());
  system.tickMs += 1;
  EXPECT_FALSE(launch.HoldsLaunch(2001));
  EXPECT_EQ(std::vector<uint32_t>({4242}), system.endedProcesses);
  const std::string ended = "NT Service Module: ERROR: The engine launched "
                            "at Mar 08, 2007 02:05:09 PM (process 4242) has "
                            "not opened its port in 10 minutes; it was "
                            "ended, and the engine is launched again";
  EXPECT_EQ(ended, LoggedMessages().back());
  ASSERT_EQ(1u, system.events.size());
  EXPECT_EQ(EventType::kError, system.events[0].type);
  EXPECT_FALSE(launch.HoldsLaunch(2001));  // forgotten, and said once
  EXPECT_EQ(ended, LoggedMessages().back());

  // Its id given to another process: not ours, never ended.
  launch.Launch(Java(), "C:\\Morva");
  system.processes[4242].createdAt += 1;
  EXPECT_FALSE(launch.HoldsLaunch(2001));
  launch.EndUnanswered(2001, kNoAnswer);
  // Answered once: left alone, also by the stop.
  launch.Launch(Java(), "C:\\Morva");
  launch.Answered();
  EXPECT_FALSE(launch.HoldsLaunch(2001));
  launch.EndUnanswered(2001, kNoAnswer);
  EXPECT_EQ(std::vector<uint32_t>({4242}), system.endedProcesses);
  // Cannot be told: one entry, and the launch rule as before.
  launch.Launch(Java(), "C:\\Morva");
  system.LogFile().clear();
  system.processTrouble = "Access is denied.";
  EXPECT_FALSE(launch.HoldsLaunch(2001));
  EXPECT_EQ(Strings({"NT Service Module: WARNING: Could not tell whether the "
                     "engine launched at Mar 08, 2007 02:05:09 PM (process "
                     "4242) still runs: Access is denied."}),
            LoggedMessages());
  system.processTrouble.clear();
  // The stop ends one that never answered.
  launch.Launch(Java(), "C:\\Morva");
  system.LogFile().clear();
  launch.EndUnanswered(2001, kNoAnswer);
  EXPECT_EQ(std::vector<uint32_t>({4242, 4242}), system.endedProcesses);
  EXPECT_EQ(Strings({launched + " never opened its port; the stop ended it"}),
            LoggedMessages());

  // One that listens on the port is the engine, busy or hung: ended
  // neither at ten minutes nor by the stop.
  launch.Launch(Java(), "C:\\Morva");
  system.listeners[2001] = {4242, "C:\\Morva\\jre\\bin\\javaw.exe"};
  system.tickMs += kLaunchHoldMs;
  system.LogFile().clear();
  EXPECT_FALSE(launch.HoldsLaunch(2001));
  launch.EndUnanswered(2001, kNoAnswer);
  EXPECT_EQ(Strings({"NT Service Module: WARNING: The engine launched at Mar "
                     "08, 2007 02:05:09 PM (process 4242) listens on engine "
                     "port 2001 without answering; it is the engine, and it "
                     "is not ended"}),
            LoggedMessages());
  // Where the system names nobody, only a second silent probe a minute
  // later ends it; at the stop, one more try that answers saves it.
  system.listeners[2001] = {0, ""};
  launch.Launch(Java(), "C:\\Morva");
  system.tickMs += kLaunchHoldMs;
  EXPECT_TRUE(launch.HoldsLaunch(2001));
  system.tickMs += kSecondProbeMs - 1;
  EXPECT_TRUE(launch.HoldsLaunch(2001));
  EXPECT_EQ(2u, system.endedProcesses.size());
  system.tickMs += 1;
  EXPECT_FALSE(launch.HoldsLaunch(2001));
  launch.Launch(Java(), "C:\\Morva");
  launch.EndUnanswered(2001, [] { return true; });
  EXPECT_EQ(3u, system.endedProcesses.size());
  launch.EndUnanswered(2001, kNoAnswer);
  EXPECT_EQ(4u, system.endedProcesses.size());
}

// The boxes the runtime shows are quoted, cut to 1,000 characters; one that
// only acknowledges is closed, a question is left for an operator, and a
// box still there after its button is said so; the same text again is said
// once in ten minutes.
TEST_F(EngineLaunchTest, BoxesOfTheLaunchedRuntimeAreQuotedAndClosed) {
  log.ReportEventsAs("Plenor7");
  const morva_common::ShownWindow box = {
      "Java Virtual Machine Launcher",
      "Error: Could not find or load main class com.morva.engine.Engine",
      {1}};
  const std::string quoted =
      "NT Service Module: ERROR: The engine launched at Mar 08, 2007 "
      "02:05:09 PM (process 4242) showed a box, closed as pressing OK does: "
      "[Java Virtual Machine Launcher] Error: Could not find or load main "
      "class com.morva.engine.Engine";
  launch.Launch(Java(), "C:\\Morva");
  system.LogFile().clear();
  // The third look comes as the ten minutes of the hold end.
  for (uint64_t afterMs :
       {uint64_t{0}, uint64_t{1000}, kRepeatedReportMs - 1000}) {
    system.tickMs += afterMs;
    system.boxes[4242] = {box, {"Other", std::string(2000, 'x'), {1}}};
    launch.HoldsLaunch(2001);
    EXPECT_TRUE(system.boxes[4242].empty());
  }
  const Strings messages = LoggedMessages();
  ASSERT_EQ(6u, messages.size());
  EXPECT_EQ(quoted, messages[0]);
  EXPECT_EQ(1000u, messages[1].size() - messages[1].find("[Other]"));
  EXPECT_EQ(quoted, messages[3]);
  EXPECT_EQ(5u, system.events.size());
  EXPECT_EQ(13, system.events[0].id);

  // Which button, if any: Cancel beside OK; a question, a box of other
  // buttons or of none that can be read, never.
  launch.Launch(Java(), "C:\\Morva");
  system.LogFile().clear();
  system.stuckBoxes = {"Stuck"};
  system.boxes[4242] = {{"Sure", "Go on?", {6, 7}},
                        {"Save", "Save the file?", {1, 2}},
                        {"Odd", "No buttons", {}},
                        {"Stuck", "Ignores OK", {1}},
                        {"Retry", "Again?", {4, 2}}};
  launch.HoldsLaunch(2001);
  const Strings said = LoggedMessages();
  const std::string showed = "NT Service Module: ERROR: The engine launched "
                             "at Mar 08, 2007 02:05:09 PM (process 4242) "
                             "showed a box, ";
  EXPECT_EQ(Strings({showed + "left open for an operator to answer: [Sure] "
                              "Go on?",
                     showed + "closed as pressing Cancel does: [Save] Save "
                              "the file?",
                     showed + "left open for an operator to answer: [Odd] "
                              "No buttons",
                     showed + "still open after OK was pressed: [Stuck] "
                              "Ignores OK",
                     showed + "left open for an operator to answer: [Retry] "
                              "Again?"}),
            Strings(said.begin(), said.end() - 1));
  EXPECT_EQ(4u, system.boxes[4242].size());
}

// A runtime that ends on its own while nobody answers is said once, with
// how long it ran at most and the header of the crash report Java left in
// the install folder or the temporary folder; never after a stop.
TEST_F(EngineLaunchTest, EndedRuntimeIsSaidWithItsCrashReport) {
  log.ReportEventsAs("Plenor7");
  const std::string report =
      "#\r\n# A fatal error has been detected by the Java Runtime "
      "Environment:\r\n#\r\n#  EXCEPTION_ACCESS_VIOLATION (0xc0000005) at "
      "pc=0x1, pid=4242\r\n#\r\n\r\n# S U M M A R Y\r\n";
  const std::string header =
      ": # A fatal error has been detected by the Java Runtime Environment: "
      "#  EXCEPTION_ACCESS_VIOLATION (0xc0000005) at pc=0x1, pid=4242";
  const std::string ended =
      "NT Service Module: ERROR: The engine launched at Mar 08, 2007 "
      "02:05:09 PM (process 4242) has ended: it was found ended at Mar 08, "
      "2007 02:05:09 PM, after running at most ";
  const std::string inFolder = "C:\\Morva\\hs_err_pid4242.log";
  const std::string inTemp = "C:\\windows\\TEMP\\hs_err_pid4242.log";
  const std::string report_ = ". Java's crash report ";
  struct Case {
    std::string path, bytes;
    bool answered;
    uint64_t ranMs;
    std::string said;
  } cases[] = {
      {"", "", true, 3 * 3600000 + 60000, "3 hours 1 minute"},
      {inFolder, report, false, 59000,
       "59 seconds" + report_ + inFolder + header},
      {inTemp, report, true, 49 * 3600000,
       "2 days 1 hour" + report_ + inTemp + header},
      {inTemp, "", true, 60000,
       "1 minute" + report_ + inTemp + " could not be read: Access is denied."},
      {inFolder, "MZ\x90\0binary", true, 120000,
       "2 minutes" + report_ + inFolder + " has no header"},
      {inFolder, "# " + std::string(70000, 'x'), true, 120000,
       "2 minutes" + report_ + inFolder + ": # " + std::string(995, 'x') +
           "..."}};
  for (const Case& c : cases) {
    launch.Launch(Java(), "C:\\Morva");
    if (c.answered) launch.Answered();
    system.tickMs += c.ranMs;
    system.processes.clear();
    if (!c.path.empty()) system.files[c.path] = c.bytes;
    if (c.bytes.empty()) system.unreadable.insert(c.path);
    system.events.clear();
    EXPECT_FALSE(launch.HoldsLaunch(2001));
    EXPECT_FALSE(launch.HoldsLaunch(2001));
    EXPECT_EQ(ended + c.said, LoggedMessages().back()) << c.said;
    ASSERT_EQ(1u, system.events.size());
    EXPECT_EQ(14, system.events[0].id);
    system.files.erase(c.path);
    system.unreadable.clear();
  }
  // Gone as the stop comes: the stop's, and nothing is said.
  launch.Launch(Java(), "C:\\Morva");
  system.processes.clear();
  system.LogFile().clear();
  launch.EndUnanswered(2001, kNoAnswer);
  EXPECT_EQ("", system.LogFile());
}

TEST_F(EngineLaunchTest, LaunchEngineLogsARefusal) {
  system.shellAccepts = false;
  const JavaRuntime java = Java("");
  launch.Launch(java, "C:\\Morva");
  EXPECT_EQ("jre\\bin\\javaw.exe", java.configured);
  EXPECT_EQ(Strings({"NT Service Module: Java runtime = "
                     "C:\\Morva\\jre\\bin\\javaw.exe, which does not exist",
                     "NT Service Module: Engine path = jre\\bin\\javaw.exe",
                     "NT Service Module: Engine arguments = -Xrs -cp .;help; "
                     "com.morva.engine.Engine",
                     "NT Service Module: ERROR: Engine could not be launched: "
                     "The system cannot find the file specified."}),
            LoggedMessages());
  // Outside the service, nothing goes to the event log.
  EXPECT_TRUE(system.events.empty());

  // Only a program is launched: a folder would open Explorer as
  // LocalSystem, a document whatever opens its type. A script runs, with a
  // warning that only its own process can be followed.
  system.shellAccepts = true;
  system.folders.insert("C:\\jdk");
  system.File("C:\\readme.txt") = "text";
  system.File("C:\\run.cmd") = "@java";
  const std::string refused =
      "NT Service Module: ERROR: Engine could not be launched: ";
  const std::pair<std::string, std::string> rows[] = {
      {"C:\\jdk", refused + "C:\\jdk is a folder, not a program"},
      {"C:\\readme.txt",
       refused + "C:\\readme.txt is not a program: the shell would open it "
                 "with whatever program its type names"},
      {"C:\\run.cmd",
       "NT Service Module: WARNING: Java path C:\\run.cmd is not a program "
       "of its own (.exe): the module holds, ends and reads the boxes of the "
       "process the shell starts for it, not of a runtime that one starts in "
       "turn"}};
  for (const auto& [javaExe, said] : rows) {
    system.LogFile().clear();
    launch.Launch(Java(javaExe), "C:\\Morva");
    const Strings messages = LoggedMessages();
    EXPECT_EQ(said, javaExe == "C:\\run.cmd" ? messages[1] : messages.back());
  }
  ASSERT_EQ(2u, system.shellCalls.size());
  EXPECT_EQ("C:\\run.cmd", system.shellCalls[1].file);
}

// Arguments that no command line can hold would reach the engine cut off.
TEST_F(EngineLaunchTest, LaunchEngineRefusesArgumentsThatCannotFit) {
  for (int i = 0; i < 400; ++i) {
    system.jars.push_back(std::string(80, 'j') + std::to_string(i) + ".jar");
  }
  launch.Launch(Java(), "C:\\Morva");
  EXPECT_TRUE(system.shellCalls.empty());
  const Strings messages = LoggedMessages();
  ASSERT_EQ(4u, messages.size());
  EXPECT_EQ("NT Service Module: ERROR: Engine could not be launched: the "
            "engine path and arguments are longer than the 32767 characters "
            "a command line can hold",
            messages[3]);

  // The longest that fits is launched.
  const std::string base = BuildEngineArguments({});
  system.jars = {std::string(32767 - 1 - 3 - 17 - base.size() - 1, 'j')};
  ASSERT_TRUE(EngineCommandLineFits(kDefaultJavaExe,
                                    BuildEngineArguments(system.jars)));
  launch.Launch(Java(), "C:\\Morva");
  EXPECT_EQ(1u, system.shellCalls.size());
  system.jars[0] += "j";
  launch.Launch(Java(), "C:\\Morva");
  EXPECT_EQ(1u, system.shellCalls.size());
}
}  // namespace
}  // namespace morvasvc
