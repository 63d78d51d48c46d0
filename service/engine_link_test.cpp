#include <gtest/gtest.h>

#include "engine_link.h"
#include "module_test_fixture.h"

namespace morvasvc {
namespace {

TEST(EngineCommands, ExactBytes) {
  EXPECT_EQ(38u, std::string(kConfirmRunningCommand).size());
  EXPECT_EQ(25u, std::string(kShutdownCommand).size());
}

class EngineLinkTest : public PartTest {
 protected:
  EngineLink engine{system, system, system, log};
  std::string statusText;
};

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
               // The same file by another name; another file by the same.
               {"D:\\jdk\\bin\\javaw.exe", "S:\\JDK~1\\bin\\javaw.exe", false},
               {"E:\\jre\\javaw.exe", "E:\\jre\\javaw.EXE", true},
               {"D:\\jdk\\bin\\javaw.exe", javaw, true}};
  system.sameFiles = {{"S:\\JDK~1\\bin\\javaw.exe", "D:\\jdk\\bin\\javaw.exe"}};
  system.File("E:\\jre\\javaw.exe") = "MZ";
  system.File("E:\\jre\\javaw.EXE") = "MZ";
  system.wow64 = true;
  for (const Case& c : cases) {
    system.listeners[2001] = {508, c.program};
    engine.NoteAdopted(2001, ResolveJava(c.javaExe, "C:\\Morva", system, system));
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
  engine.NoteAdopted(2001, ResolveJava("javaw.exe", "C:\\Morva", system, system));
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
