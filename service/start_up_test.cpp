#include "start_up.h"

#include <gtest/gtest.h>

#include "module_test_fixture.h"

namespace morvasvc {
namespace {

TEST(ServiceNameForFolder, LastMatchingProductWins) {
  struct Case {
    const char* folder;
    const char* name;
  } cases[] = {
      {"c:\\program files\\plenor\\engine", "Plenor7"},
      {"d:\\tolsey\\plenor", "Tolsey7"},
      {"d:\\plenor\\tolsey", "Tolsey7"},
      {"d:\\apps\\verrinsoft", "Verrin7"},
      {"e:\\brenmar\\quiddal\\verrin", "Brenmar7"},
      {"e:\\quiddal", "Quiddal7"},
      {"c:\\morva", "Morva7"},
      {"", "Morva7"},
      // The caller lowers the case; upper case never matches here.
      {"C:\\PLENOR", "Morva7"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.name, ServiceNameForFolder(c.folder)) << c.folder;
  }
}

TEST(DetectCommandLineAction, Switches) {
  using A = CommandLineAction;
  struct Case {
    const char* commandLine;
    A action;
  } cases[] = {
      {"Morvasvc.exe", A::kNone},
      {"Morvasvc.exe install_51924706", A::kInstall},
      {"Morvasvc.exe xinstall_51924706y", A::kInstall},
      {"Morvasvc.exe INSTALL_51924706", A::kNone},
      {"Morvasvc.exe remove_51924706", A::kRemove},
      {"Morvasvc.exe remove_51924706 install_51924706", A::kInstall},
      {"Morvasvc.exe install_5192470", A::kNone},
      {"C:\\install_51924706\\Morvasvc.exe", A::kInstall},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.action, DetectCommandLineAction(c.commandLine))
        << c.commandLine;
  }
}

class StartUpTest : public PartTest {
 protected:
  StartUpTest() {
    nameService = [this](const std::string& name) {
      control.SetServiceName(name);
      control.SetDisplayName(name);
    };
  }
  std::string FindInstallDir() {
    return morvasvc::FindInstallDir(system, system, log);
  }

  FakeServiceControl control;
  InstallerSwitches switches{system, control, log};
  std::function<void(const std::string&)> nameService;
};

TEST_F(StartUpTest, FindInstallDir) {
  system.currentDir = "C:\\windows\\system32";
  system.searchResult = "D:\\Apps\\Plenor\\morva7.jar";
  EXPECT_EQ("D:\\Apps\\Plenor", FindInstallDir());
  EXPECT_EQ("D:\\Apps\\Plenor", system.currentDir);

  system.searchResult = "E:\\morva7.jar";
  EXPECT_EQ("E:", FindInstallDir());
}
TEST_F(StartUpTest, FindInstallDirWithoutTheJarUsesTheProgramFolder) {
  system.searchResult = "";
  system.currentDir = "C:\\windows\\system32";
  log.SetPath("C:\\Morva\\data\\logs\\activityLog.jsd");
  EXPECT_EQ("C:\\Morva", FindInstallDir());
  EXPECT_EQ("C:\\Morva", system.currentDir);
  EXPECT_EQ(Strings({"NT Service Module: ERROR: NT Service module installed "
                     "in wrong directory.  Please uninstall and reinstall NT "
                     "service module into main install folder"}),
            LoggedMessages());
}
TEST_F(StartUpTest, CommandLineWithoutSwitchGoesOn) {
  system.commandLine = "  \"C:\\Morva\\Morvasvc.exe\" INSTALL_51924706 \t";
  switches.Handle("Morva7", nameService);
  EXPECT_TRUE(system.exitCodes.empty());
  EXPECT_EQ(Strings({"NT Service Module: commandline = "
                     "\"C:\\Morva\\Morvasvc.exe\" INSTALL_51924706"}),
            LoggedMessages());
}
TEST_F(StartUpTest, CommandLineInstall) {
  struct Case {
    const char* name;
    std::string commandLine;
    bool installed;
    bool refuses;
    std::string serviceName;
    uint32_t exitCode;
    std::string entry;
    Strings calls;
    std::string ownService = "";
  } cases[] = {
      {"installs", "Morvasvc.exe install_51924706", false, false, "Plenor7", 0,
       "NT Service Module: Service installed via commandline.  Service name "
       "= Plenor7",
       {"ServiceName=Plenor7", "DisplayName=Plenor7", "IsInstalled",
        "Install", "AddEventSource"}},
      {"both switches install", "Morvasvc.exe remove_51924706 install_51924706",
       false, false, "Morva7", 0,
       "NT Service Module: Service installed via commandline.  Service name "
       "= Morva7",
       {"ServiceName=Morva7", "DisplayName=Morva7", "IsInstalled",
        "Install", "AddEventSource"}},
      {"installed under another name", "Morvasvc.exe install_51924706", false,
       false, "Plenor7", 1,
       "NT Service Module commandline mode: Service is already Installed as "
       "EditedSvc",
       {"ServiceName=Plenor7", "DisplayName=Plenor7"}, "EditedSvc"},
      {"already installed", "Morvasvc.exe xinstall_51924706x", true, false,
       "Morva7", 1,
       "NT Service Module commandline mode: Service is already Installed",
       {"ServiceName=Morva7", "DisplayName=Morva7"}, "Morva7"},
      // Another folder's program under the name: named, never replaced.
      {"another program's", "Morvasvc.exe install_51924706", true, false,
       "Morva7", 1,
       "NT Service Module commandline mode: Service is already Installed for "
       "another program: \"C:\\Other\\Morvasvc.exe\"",
       {"ServiceName=Morva7", "DisplayName=Morva7", "IsInstalled"}},
      {"no name", "Morvasvc.exe install_51924706", false, false, "", 1,
       "NT Service Module commandline mode: Service name is empty",
       {"ServiceName=", "DisplayName="}},
      {"refused", "Morvasvc.exe install_51924706", false, true, "Morva7", 1,
       "NT Service Module commandline mode: Service could not be installed: "
       "Access is denied.",
       {"ServiceName=Morva7", "DisplayName=Morva7", "IsInstalled",
        "Install"}},
      {"removes", "Morvasvc.exe remove_51924706", true, false, "Morva7", 0,
       "NT Service Module: Service removed via commandline",
       {"IsInstalled", "Uninstall", "RemoveEventSource"}},
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
    ActivityLog log(system, system, system, system);
    log.SetPath("data\\logs\\activityLog.jsd");
    InstallerSwitches switches(system, control, log);
    const auto nameService = [&](const std::string& name) {
      control.SetServiceName(name);
      control.SetDisplayName(name);
    };
    system.commandLine = c.commandLine;
    control.installed = c.installed;
    control.refuses = c.refuses;
    control.ownService = c.ownService;
    switches.Handle(c.serviceName, nameService);
    EXPECT_EQ(std::vector<uint32_t>({c.exitCode}), system.exitCodes) << c.name;
    EXPECT_EQ(c.calls, control.calls) << c.name;
    const std::string file = system.LogFile();
    EXPECT_NE(std::string::npos,
              file.find("\tNT Service Module: commandline = " + c.commandLine +
                       "\r\n"))
        << c.name;
    const std::string tail = "\t" + c.entry + "\r\n";
    ASSERT_GE(file.size(), tail.size()) << c.name;
    EXPECT_EQ(tail, file.substr(file.size() - tail.size())) << c.name;
    // A refusal is an error event too, under the name it was asked for.
    ASSERT_EQ(c.exitCode && !c.serviceName.empty() ? 1u : 0u,
              system.events.size())
        << c.name;
    if (!system.events.empty()) {
      EXPECT_EQ(c.entry + "\r\n\r\nInstall folder: ", system.events[0].text);
      EXPECT_EQ(c.serviceName, system.events[0].source);
    }
  }

  // Restart after a failure and the event source refused: installed all the
  // same, one entry more for each.
  system.commandLine = "Morvasvc.exe install_51924706";
  control.installWarning = "Setting the service to restart after a failure "
                           "failed: Access is denied.";
  control.refusesEventSource = true;
  switches.Handle("Morva7", nameService);
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

}  // namespace
}  // namespace morvasvc
