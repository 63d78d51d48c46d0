#include <gtest/gtest.h>

#include "engine_link.h"
#include "module_test_fixture.h"

namespace morvasvc {
namespace {

TEST(NormalizeJavaExe, DefaultAndDoubledBackslashes) {
  EXPECT_EQ("jre\\bin\\javaw.exe", NormalizeJavaExe(""));
  EXPECT_EQ("C:\\java\\bin\\javaw.exe",
            NormalizeJavaExe("C:\\\\java\\\\bin\\javaw.exe"));
  EXPECT_EQ("a\\\\b", NormalizeJavaExe("a\\\\\\b"));
  EXPECT_EQ("a\\\\b", NormalizeJavaExe("a\\\\\\\\b"));
  // A network path keeps its leading pair, written plain or doubled.
  EXPECT_EQ("\\\\server\\java.exe", NormalizeJavaExe("\\\\\\\\server\\java.exe"));
  EXPECT_EQ("\\\\server\\share\\jre\\bin\\javaw.exe",
            NormalizeJavaExe("\\\\server\\share\\jre\\bin\\javaw.exe"));
  EXPECT_EQ("\\\\server\\share", NormalizeJavaExe("\\\\\\server\\\\share"));
  EXPECT_EQ("javaw", NormalizeJavaExe("javaw"));
}

TEST(BuildEngineArguments, ClassPath) {
  EXPECT_EQ("-Xrs -cp .;help; com.morva.engine.Engine",
            BuildEngineArguments({}));
  EXPECT_EQ("-Xrs -cp .;help;a.jar;morva7.jar; com.morva.engine.Engine",
            BuildEngineArguments({"a.jar", "morva7.jar"}));
  // A blank in a jar name is kept inside one quoted class path.
  EXPECT_EQ("-Xrs -cp \".;help;my lib.jar;morva7.jar;\" com.morva.engine.Engine",
            BuildEngineArguments({"my lib.jar", "morva7.jar"}));
}

TEST(EngineCommands, ExactBytes) {
  EXPECT_EQ(38u, std::string(kConfirmRunningCommand).size());
  EXPECT_EQ(25u, std::string(kShutdownCommand).size());
}

class EngineLinkTest : public PartTest {
 protected:
  EngineLink engine{system, system, system, system, system, log};
  std::string javaExe = kDefaultJavaExe;
  std::string statusText;
};

TEST_F(EngineLinkTest, LaunchEngine) {
  javaExe = "C:\\\\jdk\\\\bin\\javaw.exe";
  system.jars = {"a.jar", "morva7.jar"};
  std::string header(0x100, '\0');
  header.replace(0, 2, "MZ");
  header[0x3C] = '\x80';
  header.replace(0x80, 6, std::string("PE\0\0\x64\x86", 6));
  system.File("C:\\jdk\\bin\\javaw.exe") = header;
  system.versions["C:\\jdk\\bin\\javaw.exe"] = "8.0.3910.9";
  engine.Launch(&javaExe, "C:\\Morva");
  EXPECT_EQ("C:\\jdk\\bin\\javaw.exe", javaExe);
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
  engine.Launch(&javaExe, "C:\\Morva");
  EXPECT_EQ(2u, LoggedMessages().size());
}

// Which file a configured path launches: in the install folder, as given,
// along the search path; the system folder through Sysnative under WOW64.
TEST_F(EngineLinkTest, ResolveJava) {
  system.found["javaw.exe"] = "C:\\Java\\bin\\javaw.exe";
  struct Case {
    std::string javaExe;
    bool wow64;
    std::string launched, resolved;
    bool bare, sysnative;
  } cases[] = {
      {"jre\\bin\\javaw.exe", true, "jre\\bin\\javaw.exe",
       "C:\\Morva\\jre\\bin\\javaw.exe", false, false},
      {"javaw.exe", false, "javaw.exe", "C:\\Java\\bin\\javaw.exe", true, false},
      {"java", false, "java", "", true, false},
      {"C:\\Windows\\System32\\javaw.exe", true,
       "C:\\windows\\Sysnative\\javaw.exe",
       "C:\\windows\\Sysnative\\javaw.exe", false, true},
      {"C:\\Windows\\System32\\javaw.exe", false,
       "C:\\Windows\\System32\\javaw.exe",
       "C:\\Windows\\System32\\javaw.exe", false, false},
      {"C:\\Windows\\System32x\\javaw.exe", true,
       "C:\\Windows\\System32x\\javaw.exe",
       "C:\\Windows\\System32x\\javaw.exe", false, false},
  };
  for (const Case& c : cases) {
    system.wow64 = c.wow64;
    const JavaRuntime java = engine.ResolveJava(c.javaExe, "C:\\Morva");
    EXPECT_EQ(c.launched, java.launched) << c.javaExe;
    EXPECT_EQ(c.resolved, java.resolved) << c.javaExe;
    EXPECT_EQ(c.bare, java.bare) << c.javaExe;
    EXPECT_EQ(c.sysnative, java.sysnative) << c.javaExe;
  }
  // The PE header's machine: x86, x64, ARM64; anything else tells nothing.
  std::string header(0x100, '\0');
  header.replace(0, 2, "MZ");
  header[0x3C] = 0x40;
  header.replace(0x40, 4, std::string("PE\0\0", 4));
  for (auto [machine, bits] : {std::pair<uint16_t, int>{0x14C, 32},
                               {0x8664, 64}, {0xAA64, 64}, {0x1C4, 0}}) {
    header[0x44] = static_cast<char>(machine & 0xFF);
    header[0x45] = static_cast<char>(machine >> 8);
    EXPECT_EQ(bits, ProgramBits(header)) << machine;
  }
  EXPECT_EQ(0, ProgramBits(header.substr(0, 0x45)));
  EXPECT_EQ(0, ProgramBits("MZ"));
  header[0x3C] = '\xF0';
  EXPECT_EQ(0, ProgramBits(header));
}

// The runtime launched last, while it runs and has never answered, holds
// off another launch for ten minutes; then it is ended. One that is gone, or
// whose id now names another process, is forgotten; one that answered once
// is never ended. The stop ends only one that never answered.
TEST_F(EngineLinkTest, LaunchedRuntimeIsHeldThenEnded) {
  log.ReportEventsAs("Plenor7");
  const std::string launched =
      "NT Service Module: The engine launched at Mar 08, 2007 02:05:09 PM "
      "(process 4242)";
  engine.Launch(&javaExe, "C:\\Morva");
  system.LogFile().clear();
  system.tickMs += kLaunchHoldMs - 1;
  EXPECT_TRUE(engine.HoldsLaunch());
  EXPECT_TRUE(engine.HoldsLaunch());
  EXPECT_EQ(Strings({launched + " has not opened its port yet; no other is "
                                "launched beside it"}),
            LoggedMessages());
  system.tickMs += 1;
  EXPECT_FALSE(engine.HoldsLaunch());
  EXPECT_EQ(std::vector<uint32_t>({4242}), system.endedProcesses);
  const std::string ended = "NT Service Module: ERROR: The engine launched "
                            "at Mar 08, 2007 02:05:09 PM (process 4242) has "
                            "not opened its port in 10 minutes; it was "
                            "ended, and the engine is launched again";
  EXPECT_EQ(ended, LoggedMessages().back());
  ASSERT_EQ(1u, system.events.size());
  EXPECT_EQ(EventType::kError, system.events[0].type);
  EXPECT_FALSE(engine.HoldsLaunch());  // forgotten

  // Its id given to another process: not ours, never ended.
  engine.Launch(&javaExe, "C:\\Morva");
  system.processes[4242].createdAt += 1;
  EXPECT_FALSE(engine.HoldsLaunch());
  engine.EndUnanswered();
  // Answered once: left alone, also by the stop.
  engine.Launch(&javaExe, "C:\\Morva");
  system.engineListening = true;
  EXPECT_TRUE(engine.IsRunning(2001, &statusText));
  system.engineListening = false;
  EXPECT_FALSE(engine.HoldsLaunch());
  engine.EndUnanswered();
  EXPECT_EQ(std::vector<uint32_t>({4242}), system.endedProcesses);
  // Cannot be told: one entry, and the launch rule as before.
  engine.Launch(&javaExe, "C:\\Morva");
  system.LogFile().clear();
  system.processTrouble = "Access is denied.";
  EXPECT_FALSE(engine.HoldsLaunch());
  EXPECT_EQ(Strings({"NT Service Module: WARNING: Could not tell whether the "
                     "engine launched at Mar 08, 2007 02:05:09 PM (process "
                     "4242) still runs: Access is denied."}),
            LoggedMessages());
  system.processTrouble.clear();
  // The stop ends one that never answered.
  engine.Launch(&javaExe, "C:\\Morva");
  system.LogFile().clear();
  engine.EndUnanswered();
  EXPECT_EQ(std::vector<uint32_t>({4242, 4242}), system.endedProcesses);
  EXPECT_EQ(Strings({launched + " never opened its port; the stop ended it"}),
            LoggedMessages());
}

// The boxes the runtime shows are quoted, cut to 1,000 characters, and
// closed; the same text again is said once in ten minutes.
TEST_F(EngineLinkTest, BoxesOfTheLaunchedRuntimeAreQuotedAndClosed) {
  log.ReportEventsAs("Plenor7");
  const morva_common::ShownWindow box = {
      "Java Virtual Machine Launcher",
      "Error: Could not find or load main class com.morva.engine.Engine"};
  const std::string quoted =
      "NT Service Module: ERROR: The engine launched at Mar 08, 2007 "
      "02:05:09 PM (process 4242) showed a box, closed as pressing OK does: "
      "[Java Virtual Machine Launcher] Error: Could not find or load main "
      "class com.morva.engine.Engine";
  engine.Launch(&javaExe, "C:\\Morva");
  system.LogFile().clear();
  // The third look comes as the ten minutes of the hold end.
  for (uint64_t afterMs : {uint64_t{0}, uint64_t{1000}, kRepeatedReportMs - 1000}) {
    system.tickMs += afterMs;
    system.boxes[4242] = {box, {"Other", std::string(2000, 'x')}};
    engine.HoldsLaunch();
    EXPECT_TRUE(system.boxes[4242].empty());
  }
  const Strings messages = LoggedMessages();
  ASSERT_EQ(6u, messages.size());
  EXPECT_EQ(quoted, messages[0]);
  EXPECT_EQ(1000u, messages[1].size() - messages[1].find("[Other]"));
  EXPECT_EQ(quoted, messages[3]);
  EXPECT_EQ(5u, system.events.size());
}

TEST_F(EngineLinkTest, LaunchEngineLogsARefusal) {
  javaExe = "";
  system.shellAccepts = false;
  engine.Launch(&javaExe, "C:\\Morva");
  EXPECT_EQ("jre\\bin\\javaw.exe", javaExe);
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
}

// Arguments that no command line can hold would reach the engine cut off.
TEST_F(EngineLinkTest, LaunchEngineRefusesArgumentsThatCannotFit) {
  for (int i = 0; i < 400; ++i) {
    system.jars.push_back(std::string(80, 'j') + std::to_string(i) + ".jar");
  }
  engine.Launch(&javaExe, "C:\\Morva");
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
  ASSERT_TRUE(EngineCommandLineFits(javaExe,
                                    BuildEngineArguments(system.jars)));
  engine.Launch(&javaExe, "C:\\Morva");
  EXPECT_EQ(1u, system.shellCalls.size());
  system.jars[0] += "j";
  engine.Launch(&javaExe, "C:\\Morva");
  EXPECT_EQ(1u, system.shellCalls.size());
}

TEST_F(EngineLinkTest, IsEngineRunning) {
  // A port outside 1 to 65535 is never cut to another program's port.
  system.engineListening = true;
  for (uint32_t bad : {0u, 65536u + 1967u, 4294967295u}) {
    EXPECT_FALSE(engine.IsRunning(bad, &statusText)) << bad;
  }
  EXPECT_TRUE(system.connectPorts.empty());
  system.LogFile().clear();

  // Both ends of the range are ports.
  EXPECT_TRUE(engine.IsRunning(1, &statusText));
  EXPECT_TRUE(engine.IsRunning(65535, &statusText));
  system.connectPorts.clear();
  system.sent.clear();
  statusText = "before";
  EXPECT_TRUE(engine.IsRunning(1967, &statusText));
  EXPECT_EQ(std::vector<uint16_t>({1967}), system.connectPorts);
  // A hung engine is given up after 3 s.
  EXPECT_EQ(3000u, system.connectBounds.back());
  EXPECT_EQ(Strings({"NTSERVICE^CONFIRM_RUNNING_TO_NTSERVICE"}), system.sent);
  EXPECT_EQ("before", statusText);
  EXPECT_EQ("", system.LogFile());

  system.engineListening = false;
  EXPECT_FALSE(engine.IsRunning(1967, &statusText));
  EXPECT_EQ("NT Service Module: Engine is not running", statusText);
  system.socketProblem = true;
  EXPECT_FALSE(engine.IsRunning(1967, &statusText));
  EXPECT_EQ("NT Service Module: Socket Problem", statusText);
  EXPECT_EQ(Strings({"NT Service Module: Engine is not running",
                     "NT Service Module: Socket Problem"}),
            LoggedMessages());
}

// An engine that keeps its port past the stop's wait: an entry, and, run
// as the service, a warning event.
TEST_F(EngineLinkTest, WaitToLetGoGivesUpWithAWarning) {
  log.ReportEventsAs("Plenor7");
  system.engineListening = true;
  system.listeners[1967] = {508, "C:\\Morva\\jre\\bin\\javaw.exe"};
  engine.WaitToLetGo(1967);
  ASSERT_EQ(1u, system.events.size());
  EXPECT_EQ(EventType::kWarning, system.events[0].type);
  const std::string warning = LoggedMessages().back();
  EXPECT_EQ(warning + "\r\n\r\nInstall folder: ", system.events[0].text);
  EXPECT_NE(std::string::npos,
            warning.find("stops without waiting longer. It is process 508 "
                         "(C:\\Morva\\jre\\bin\\javaw.exe)"));
}

// Who holds the port: named when the start adopts an engine, with a
// warning for another program than the configured runtime, and once for a
// listener that does not answer.
TEST_F(EngineLinkTest, TheListenerIsNamed) {
  const std::string javaw = "C:\\Morva\\jre\\bin\\javaw.exe";
  struct Case {
    std::string javaExe, program;
    bool warned;
  } cases[] = {{"jre\\bin\\javaw.exe", "c:\\morva\\JRE\\bin\\javaw.exe", false},
               {"javaw.exe", "D:\\jdk\\bin\\JAVAW.EXE", false},
               {"javaw.exe", "D:\\jdk\\bin\\java.exe", true},
               // Launched through Sysnative, named by its real path.
               {"C:\\Windows\\System32\\javaw.exe",
                "C:\\Windows\\System32\\javaw.exe", false},
               {"D:\\jdk\\bin\\javaw.exe", javaw, true}};
  system.wow64 = true;
  for (const Case& c : cases) {
    system.listeners[2001] = {508, c.program};
    engine.NoteAdopted(2001, engine.ResolveJava(c.javaExe, "C:\\Morva"));
    const Strings messages = LoggedMessages();
    system.LogFile().clear();
    ASSERT_EQ(c.warned ? 2u : 1u, messages.size()) << c.program;
    EXPECT_EQ("NT Service Module: Engine port 2001 is answered by process "
              "508 (" + c.program + ")",
              messages[0]);
    if (c.warned) {
      EXPECT_EQ("NT Service Module: WARNING: The program answering on engine "
                "port 2001 is " + c.program +
                    ", not the configured Java runtime " + c.javaExe,
                messages[1]);
    }
  }
  // Hung, not dead: said once a listener.
  for (int i = 0; i < 2; ++i) engine.IsRunning(2001, &statusText);
  system.listenerTrouble = "GetExtendedTcpTable failed: Access is denied.";
  engine.NoteAdopted(2001, engine.ResolveJava("javaw.exe", "C:\\Morva"));
  EXPECT_EQ(Strings({"NT Service Module: Engine is not running",
                     "NT Service Module: WARNING: Engine port 2001 does not "
                     "answer, but process 508 (" + javaw + ") listens on it",
                     "NT Service Module: Engine is not running",
                     "NT Service Module: Engine port 2001 is answered by a "
                     "program the system could not name (GetExtendedTcpTable "
                     "failed: Access is denied.)"}),
            LoggedMessages());
}

TEST_F(EngineLinkTest, RequestEngineShutdown) {
  system.engineListening = true;
  EXPECT_TRUE(engine.RequestShutdown(1967, &statusText));
  EXPECT_EQ(Strings({"NTSERVICE^SHUTDOWN_ENGINE"}), system.sent);

  system.engineListening = false;
  statusText = "kept";
  EXPECT_FALSE(engine.RequestShutdown(1967, &statusText));
  EXPECT_EQ("kept", statusText);
  EXPECT_FALSE(engine.RequestShutdown(4294967295u, &statusText));
  EXPECT_EQ(
      Strings({"NT Service Module: Sending Shutdown request to engine",
               "NT Service Module: Engine is not running or not responding "
               "on selected port: 1967",
               "NT Service Module: Engine is not running or not responding "
               "on selected port: -1"}),
      LoggedMessages());
}

}  // namespace
}  // namespace morvasvc
