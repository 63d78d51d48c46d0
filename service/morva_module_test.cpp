#include "morva_module.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "activity_log.h"
#include "fake_module_system.h"
#include "module_texts.h"

namespace morvasvc {
namespace {

using Strings = std::vector<std::string>;

class MorvaModuleTest : public testing::Test {
 protected:
  MorvaModuleTest() : module(system, control) {
    module.activityLogPath = "data\\logs\\activityLog.jsd";
  }

  // The messages of the activity log, time stamps checked and stripped.
  Strings LoggedMessages() {
    return morva_testing::ActivityLogMessages(system.LogFile(),
                                              "Mar 08, 2007 02:05:09 PM");
  }

  FakeModuleSystem system;
  FakeServiceControl control;
  MorvaModule module;
};

TEST_F(MorvaModuleTest, LogActivityAppendsExactEntries) {
  module.LogActivity("first");
  module.LogActivity("");
  module.LogActivity("two\nlines");
  EXPECT_EQ(
      "\r\nMar 08, 2007 02:05:09 PM\tfirst\r\n"
      "\r\nMar 08, 2007 02:05:09 PM\t\r\n"
      "\r\nMar 08, 2007 02:05:09 PM\ttwo\r\nlines\r\n",
      system.LogFile());
}

TEST_F(MorvaModuleTest, LogActivityDropsWhatItCannotWrite) {
  module.activityLogPath = "";
  module.LogActivity("lost");
  module.activityLogPath = "C:\\nowhere\\logs\\activityLog.jsd";
  module.LogActivity("lost");
  EXPECT_EQ(0u, system.files.count("C:\\nowhere\\logs\\activityLog.jsd"));
  EXPECT_TRUE(system.sleeps.empty());
}

TEST_F(MorvaModuleTest, LogActivityWaitsBrieflyForAnotherHolder) {
  const std::string log = system.Resolve("data\\logs\\activityLog.jsd");
  system.busyFor[log] = 3;
  module.LogActivity("after a wait");
  EXPECT_EQ(Strings({"after a wait"}), LoggedMessages());
  EXPECT_EQ(3u, system.sleeps.size());

  // Held for longer than the retry: the entry is lost, the wait bounded.
  system.sleeps.clear();
  system.busyFor[log] = 1000;
  module.LogActivity("lost");
  EXPECT_EQ(Strings({"after a wait"}), LoggedMessages());
  uint32_t waited = 0;
  for (uint32_t ms : system.sleeps) waited += ms;
  EXPECT_LE(waited, 250u);
  EXPECT_GT(waited, 0u);
}

TEST_F(MorvaModuleTest, FindInstallDir) {
  system.currentDir = "C:\\windows\\system32";
  system.searchResult = "D:\\Apps\\Plenor\\morva7.jar";
  module.FindInstallDir();
  EXPECT_EQ("D:\\Apps\\Plenor", module.installDir);
  EXPECT_EQ("D:\\Apps\\Plenor", system.currentDir);

  system.searchResult = "E:\\morva7.jar";
  module.FindInstallDir();
  EXPECT_EQ("E:", module.installDir);
}

TEST_F(MorvaModuleTest, FindInstallDirWithoutTheJarUsesTheProgramFolder) {
  system.searchResult = "";
  system.currentDir = "C:\\windows\\system32";
  module.activityLogPath = "C:\\Morva\\data\\logs\\activityLog.jsd";
  module.FindInstallDir();
  EXPECT_EQ("C:\\Morva", module.installDir);
  EXPECT_EQ("C:\\Morva", system.currentDir);
  EXPECT_EQ(Strings({"NT Service Module: ERROR: NT Service module installed "
                     "in wrong directory.  Please uninstall and reinstall NT "
                     "service module into main install folder"}),
            LoggedMessages());
}

TEST_F(MorvaModuleTest, GetWorkingDir) {
  EXPECT_EQ("C:\\Morva", module.GetWorkingDir());
  EXPECT_EQ("", module.statusText);
  system.currentDirReadable = false;
  EXPECT_EQ("", module.GetWorkingDir());
  EXPECT_EQ("Failed to determine current directory", module.statusText);
  system.currentDirReadable = true;
  EXPECT_EQ(Strings({"Failed to determine current directory"}),
            LoggedMessages());
}

TEST_F(MorvaModuleTest, LaunchEngine) {
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

TEST_F(MorvaModuleTest, LaunchEngineLogsARefusal) {
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
TEST_F(MorvaModuleTest, LaunchEngineRefusesArgumentsThatCannotFit) {
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

TEST_F(MorvaModuleTest, ReadEngineSettings) {
  system.folders.insert("D:\\Data\\logs");
  system.File("engineSettings.jsd") =
      "DATA_FOLDER = D\\:\\\\Data\r\nENGINE_PORT= 2000x\r\n";
  module.ReadEngineSettings();
  EXPECT_EQ("D:\\Data\\logs\\activityLog.jsd", module.activityLogPath);
  EXPECT_EQ(2000u, module.enginePort);

  system.File("engineSettings.jsd") = "DATA_FOLDER=\nENGINE_PORT=-1\n";
  module.ReadEngineSettings();
  EXPECT_EQ("\\logs\\activityLog.jsd", module.activityLogPath);
  EXPECT_EQ(4294967295u, module.enginePort);
}

TEST_F(MorvaModuleTest, MissingEngineSettingsGiveDefaults) {
  module.activityLogPath = "";
  module.enginePort = 5;
  module.ReadEngineSettings();
  EXPECT_EQ("data\\logs\\activityLog.jsd", module.activityLogPath);
  EXPECT_EQ(1967u, module.enginePort);
  // The first failure came before the log had a path.
  EXPECT_EQ(Strings({"Failed to read settings from: "
                     "C:\\Morva\\engineSettings.jsd"}),
            LoggedMessages());

  // Held for good: about 5 s of tries, the defaults, and one entry.
  system.LogFile().clear();
  system.File("engineSettings.jsd") = "ENGINE_PORT=2001\r\n";
  system.busyFor[system.Resolve("engineSettings.jsd")] = 1 << 30;
  module.ReadEngineSettings();
  EXPECT_EQ(1967u, module.enginePort);
  EXPECT_EQ(Strings({"NT Service Module: ERROR: C:\\Morva\\engineSettings.jsd "
                     "is held by another program; default settings are used "
                     "for this run"}),
            LoggedMessages());
  EXPECT_GE(system.tickMs - 3600000, 5000u);
}

TEST_F(MorvaModuleTest, LoadModuleSettingsCreatesAMissingFile) {
  module.period = 1;
  module.reserved3 = "x";
  module.LoadModuleSettings();
  EXPECT_EQ(5, module.period);
  EXPECT_EQ("jre\\bin\\javaw.exe", module.javaExe);
  EXPECT_EQ("", module.reserved3);
  EXPECT_EQ(std::string("\x05\0\0\0\x11jre\\bin\\javaw.exe\0\0\0\0\0", 27),
            system.File("ntServiceSettings.jsd"));
  EXPECT_EQ("", system.LogFile());
}

TEST_F(MorvaModuleTest, LoadModuleSettingsReadsTheFile) {
  const std::string file =
      std::string("\r\n\0\0\0\x04java\x01r\0\x02r3\0\x02r5", 20);
  system.File("ntServiceSettings.jsd") = file;
  module.LoadModuleSettings();
  EXPECT_EQ(10, module.period);
  EXPECT_EQ("java", module.javaExe);
  EXPECT_EQ("r", module.reserved1);
  EXPECT_EQ("r3", module.reserved3);
  EXPECT_EQ("r5", module.reserved5);
  EXPECT_EQ(file, system.File("ntServiceSettings.jsd"));

  // An empty javaExe is defaulted in memory only.
  const std::string empty = std::string("\x07\0\0\0\0\0\0\0\0\0", 10);
  system.File("ntServiceSettings.jsd") = empty;
  module.LoadModuleSettings();
  EXPECT_EQ(7, module.period);
  EXPECT_EQ("jre\\bin\\javaw.exe", module.javaExe);
  EXPECT_EQ(empty, system.File("ntServiceSettings.jsd"));
}

// A damaged file keeps what was read whole and stays for the next save.
TEST_F(MorvaModuleTest, DamagedModuleSettingsAreNeverOverwritten) {
  const std::string damagedEntry =
      "NT Service Module: ERROR: ntServiceSettings.jsd is damaged; defaults "
      "stand in for what cannot be read until the settings are saved again";
  struct Case {
    const char* name;
    std::string file;
    int32_t period;
    std::string javaExe, reserved1;
    bool damaged;
  } cases[] = {
      {"last padding byte cut",
       std::string("\x09\0\0\0\x04java\x01r\0\0\0", 14), 9, "java", "r",
       false},
      {"javaExe cut", std::string("\x09\0\0\0\x11jre", 8), 9,
       "jre\\bin\\javaw.exe", "", true},
      {"length past the end",
       std::string("\x09\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 11), 9,
       "jre\\bin\\javaw.exe", "", true},
      {"period cut", std::string("\x09\0", 2), 5, "jre\\bin\\javaw.exe", "",
       true},
  };
  for (const Case& c : cases) {
    system.LogFile().clear();
    system.File("ntServiceSettings.jsd") = c.file;
    module.LoadModuleSettings();
    EXPECT_EQ(c.period, module.period) << c.name;
    EXPECT_EQ(c.javaExe, module.javaExe) << c.name;
    EXPECT_EQ(c.reserved1, module.reserved1) << c.name;
    EXPECT_EQ(c.file, system.File("ntServiceSettings.jsd")) << c.name;
    EXPECT_EQ(c.damaged ? Strings({damagedEntry}) : Strings(),
              LoggedMessages())
        << c.name;
  }
}

TEST_F(MorvaModuleTest, SaveModuleSettingsFailureKeepsTheOldFile) {
  system.File("ntServiceSettings.jsd") = "old";
  system.readOnly.insert(system.Resolve("ntServiceSettings.jsd"));
  module.SaveModuleSettings();
  EXPECT_EQ("ERROR: NT Service module maybe installed in wrong folder",
            module.statusText);
  EXPECT_EQ("old", system.File("ntServiceSettings.jsd"));
  EXPECT_EQ("", system.LogFile());
}

TEST_F(MorvaModuleTest, ModuleSettingsHeldByAnotherProcess) {
  // Held for a moment: read once it is let go.
  const std::string path = system.Resolve("ntServiceSettings.jsd");
  const std::string file = std::string("\x09\0\0\0\x04java\0\0\0\0\0", 14);
  system.files[path] = file;
  system.busyFor[path] = 20;
  module.LoadModuleSettings();
  EXPECT_EQ(9, module.period);
  EXPECT_EQ("java", module.javaExe);
  EXPECT_EQ("", system.LogFile());

  // Held for good: about 5 s of tries, defaults for this run, and the file
  // is not overwritten once it is let go.
  system.sleeps.clear();
  system.busyFor[path] = 1000000;
  module.LoadModuleSettings();
  EXPECT_EQ(5, module.period);
  uint32_t waited = 0;
  for (uint32_t ms : system.sleeps) waited += ms;
  EXPECT_GE(waited, 4500u);
  EXPECT_LE(waited, 6000u);
  system.busyFor[path] = 0;
  EXPECT_EQ(file, system.files[path]);
  EXPECT_EQ(Strings({"NT Service Module: ERROR: ntServiceSettings.jsd is held "
                     "by another program; default settings are used for this "
                     "run"}),
            LoggedMessages());

  // A save waits for it the same way.
  system.busyFor[path] = 20;
  EXPECT_TRUE(module.SaveModuleSettings());
  EXPECT_EQ(27u, system.files[path].size());

  // Unreadable for another reason (access denied, a locked region): the
  // same, never the defaults written over it.
  system.LogFile().clear();
  system.files[path] = file;
  system.unreadable.insert(path);
  module.LoadModuleSettings();
  EXPECT_EQ(file, system.files[path]);
  EXPECT_EQ(Strings({"NT Service Module: ERROR: ntServiceSettings.jsd could "
                     "not be read; default settings are used for this run"}),
            LoggedMessages());
}

TEST_F(MorvaModuleTest, IsEngineRunning) {
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

TEST_F(MorvaModuleTest, RequestEngineShutdown) {
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

TEST_F(MorvaModuleTest, DeriveServiceName) {
  module.serviceName = "Typed";
  module.installDir = "C:\\Program Files\\PLENOR\\Engine";
  module.DeriveServiceName();
  EXPECT_EQ("Plenor7", module.serviceName);
  EXPECT_EQ("C:\\Program Files\\PLENOR\\Engine", module.installDir);
  EXPECT_EQ(Strings({"ServiceName=Plenor7", "DisplayName=Plenor7"}),
            control.calls);
  module.installDir = "";
  module.DeriveServiceName();
  EXPECT_EQ("Morva7", module.serviceName);
}

TEST_F(MorvaModuleTest, CommandLineWithoutSwitchGoesOn) {
  system.commandLine = "  \"C:\\Morva\\Morvasvc.exe\" INSTALL_51924706 \t";
  module.HandleCommandLine();
  EXPECT_TRUE(system.exitCodes.empty());
  EXPECT_EQ(Strings({"NT Service Module: commandline = "
                     "\"C:\\Morva\\Morvasvc.exe\" INSTALL_51924706"}),
            LoggedMessages());
}

TEST_F(MorvaModuleTest, CommandLineInstall) {
  struct Case {
    const char* name;
    std::string commandLine;
    bool installed;
    bool refuses;
    std::string serviceName;
    uint32_t exitCode;
    std::string entry;
    Strings calls;
  } cases[] = {
      {"installs", "Morvasvc.exe install_51924706", false, false, "Plenor7", 0,
       "NT Service Module: Service installed via commandline.  Service name "
       "= Plenor7",
       {"IsInstalled", "ServiceName=Plenor7", "DisplayName=Plenor7",
        "Install"}},
      {"both switches install", "Morvasvc.exe remove_51924706 install_51924706",
       false, false, "Morva7", 0,
       "NT Service Module: Service installed via commandline.  Service name "
       "= Morva7",
       {"IsInstalled", "ServiceName=Morva7", "DisplayName=Morva7",
        "Install"}},
      {"already installed", "Morvasvc.exe xinstall_51924706x", true, false,
       "Morva7", 1,
       "NT Service Module commandline mode: Service is already Installed",
       {"IsInstalled"}},
      {"no name", "Morvasvc.exe install_51924706", false, false, "", 1,
       "NT Service Module commandline mode: Service name is empty",
       {"IsInstalled"}},
      {"refused", "Morvasvc.exe install_51924706", false, true, "Morva7", 1,
       "NT Service Module commandline mode: Service could not be installed: "
       "Access is denied.",
       {"IsInstalled", "ServiceName=Morva7", "DisplayName=Morva7",
        "Install"}},
      {"removes", "Morvasvc.exe remove_51924706", true, false, "Morva7", 0,
       "NT Service Module: Service removed via commandline",
       {"IsInstalled", "Uninstall"}},
      {"not installed", "Morvasvc.exe remove_51924706", false, false, "Morva7",
       1, "NT Service Module commandline mode: Service is not installed",
       {"IsInstalled"}},
      {"removal refused", "Morvasvc.exe remove_51924706", true, true, "Morva7",
       1,
       "NT Service Module commandline mode: Service could not be removed: "
       "Access is denied.",
       {"IsInstalled", "Uninstall"}},
  };
  for (const Case& c : cases) {
    FakeModuleSystem system;
    FakeServiceControl control;
    MorvaModule module(system, control);
    module.activityLogPath = "data\\logs\\activityLog.jsd";
    system.commandLine = c.commandLine;
    control.installed = c.installed;
    control.refuses = c.refuses;
    module.serviceName = c.serviceName;
    module.HandleCommandLine();
    EXPECT_EQ(std::vector<uint32_t>({c.exitCode}), system.exitCodes) << c.name;
    EXPECT_EQ(c.calls, control.calls) << c.name;
    const std::string log = system.LogFile();
    EXPECT_NE(std::string::npos,
              log.find("\tNT Service Module: commandline = " + c.commandLine +
                       "\r\n"))
        << c.name;
    const std::string tail = "\t" + c.entry + "\r\n";
    ASSERT_GE(log.size(), tail.size()) << c.name;
    EXPECT_EQ(tail, log.substr(log.size() - tail.size())) << c.name;
  }

  // Restart after a failure and the event source refused: installed all the
  // same, one entry more for each.
  system.commandLine = "Morvasvc.exe install_51924706";
  control.installWarning = "Setting the service to restart after a failure "
                           "failed: Access is denied.";
  control.refusesEventSource = true;
  module.HandleCommandLine();
  EXPECT_EQ(std::vector<uint32_t>({0}), system.exitCodes);
  const Strings messages = LoggedMessages();
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(Strings({"NT Service Module: WARNING: " + control.installWarning,
                     "NT Service Module: WARNING: The event log source could "
                     "not be registered: Access is denied."}),
            Strings(messages.end() - 2, messages.end()));
}

// No box where nobody would see it: on the service's desktop, or under an
// installer's switch.
TEST_F(MorvaModuleTest, StartUpFailureWithNobodyToSeeABox) {
  const std::string reason = "Windows sockets initialization failed.";
  EXPECT_FALSE(module.EndQuietlyOnStartUpFailure(reason));
  system.runByServiceManager = true;
  EXPECT_TRUE(module.EndQuietlyOnStartUpFailure(reason));
  system.runByServiceManager = false;
  system.commandLine = "\"C:\\Morva\\Morvasvc.exe\" remove_51924706";
  EXPECT_TRUE(module.EndQuietlyOnStartUpFailure(reason));
  EXPECT_EQ(std::vector<uint32_t>({1, 1}), system.exitCodes);
  const Strings messages = LoggedMessages();
  EXPECT_EQ(2, std::count(messages.begin(), messages.end(),
                          "NT Service Module: ERROR: " + reason));
}

}  // namespace
}  // namespace morvasvc
