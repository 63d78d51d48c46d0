#include <gtest/gtest.h>

#include "module_test_fixture.h"
#include "module_texts.h"

namespace morvasvc {
namespace {

using EngineLinkTest = ModuleTest;

TEST_F(EngineLinkTest, LaunchEngine) {
  module.installDir = "C:\\Morva";
  module.javaExe = "C:\\\\jdk\\\\bin\\javaw.exe";
  system.jars = {"a.jar", "morva7.jar"};
  module.LaunchEngine();
  EXPECT_EQ("C:\\jdk\\bin\\javaw.exe", module.javaExe);
  ASSERT_EQ(1u, system.shellCalls.size());
  EXPECT_EQ("C:\\jdk\\bin\\javaw.exe", system.shellCalls[0].file);
  EXPECT_EQ("-Xrs -cp .;help;a.jar;morva7.jar; com.morva.engine.Engine",
            system.shellCalls[0].parameters);
  EXPECT_EQ("C:\\Morva", system.shellCalls[0].directory);
  EXPECT_EQ(Strings({"NT Service Module: Engine path = C:\\jdk\\bin\\javaw.exe",
                     "NT Service Module: Engine arguments = -Xrs -cp "
                     ".;help;a.jar;morva7.jar; com.morva.engine.Engine"}),
            LoggedMessages());
}

TEST_F(EngineLinkTest, LaunchEngineLogsARefusal) {
  module.javaExe = "";
  system.shellAccepts = false;
  module.LaunchEngine();
  EXPECT_EQ("jre\\bin\\javaw.exe", module.javaExe);
  EXPECT_EQ(Strings({"NT Service Module: Engine path = jre\\bin\\javaw.exe",
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
  module.LaunchEngine();
  EXPECT_TRUE(system.shellCalls.empty());
  const Strings messages = LoggedMessages();
  ASSERT_EQ(3u, messages.size());
  EXPECT_EQ("NT Service Module: ERROR: Engine could not be launched: the "
            "engine path and arguments are longer than the 32767 characters "
            "a command line can hold",
            messages[2]);

  // The longest that fits is launched.
  const std::string base = BuildEngineArguments({});
  system.jars = {std::string(32767 - 1 - 3 - 17 - base.size() - 1, 'j')};
  ASSERT_TRUE(EngineCommandLineFits(module.javaExe,
                                    BuildEngineArguments(system.jars)));
  module.LaunchEngine();
  EXPECT_EQ(1u, system.shellCalls.size());
  system.jars[0] += "j";
  module.LaunchEngine();
  EXPECT_EQ(1u, system.shellCalls.size());
}

TEST_F(EngineLinkTest, IsEngineRunning) {
  // A port outside 1 to 65535 is never cut to another program's port.
  system.engineListening = true;
  for (uint32_t bad : {0u, 65536u + 1967u, 4294967295u}) {
    module.enginePort = bad;
    EXPECT_FALSE(module.IsEngineRunning()) << bad;
  }
  EXPECT_TRUE(system.connectPorts.empty());
  system.LogFile().clear();

  module.enginePort = 1967;
  module.statusText = "before";
  EXPECT_TRUE(module.IsEngineRunning());
  EXPECT_EQ(std::vector<uint16_t>({1967}), system.connectPorts);
  EXPECT_EQ(Strings({"NTSERVICE^CONFIRM_RUNNING_TO_NTSERVICE"}), system.sent);
  EXPECT_EQ("before", module.statusText);
  EXPECT_EQ("", system.LogFile());

  system.engineListening = false;
  EXPECT_FALSE(module.IsEngineRunning());
  EXPECT_EQ("NT Service Module: Engine is not running", module.statusText);
  system.socketProblem = true;
  EXPECT_FALSE(module.IsEngineRunning());
  EXPECT_EQ("NT Service Module: Socket Problem", module.statusText);
  EXPECT_EQ(Strings({"NT Service Module: Engine is not running",
                     "NT Service Module: Socket Problem"}),
            LoggedMessages());
}

TEST_F(EngineLinkTest, RequestEngineShutdown) {
  system.engineListening = true;
  EXPECT_TRUE(module.RequestEngineShutdown());
  EXPECT_EQ(Strings({"NTSERVICE^SHUTDOWN_ENGINE"}), system.sent);

  system.engineListening = false;
  module.statusText = "kept";
  EXPECT_FALSE(module.RequestEngineShutdown());
  EXPECT_EQ("kept", module.statusText);
  module.enginePort = 4294967295u;
  EXPECT_FALSE(module.RequestEngineShutdown());
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
