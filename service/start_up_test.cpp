#include <gtest/gtest.h>

#include "module_test_fixture.h"
#include "module_texts.h"

namespace morvasvc {
namespace {

using StartUpTest = ModuleTest;

TEST_F(StartUpTest, FindInstallDir) {
  system.currentDir = "C:\\windows\\system32";
  system.searchResult = "D:\\Apps\\Plenor\\morva7.jar";
  module.FindInstallDir();
  EXPECT_EQ("D:\\Apps\\Plenor", module.installDir);
  EXPECT_EQ("D:\\Apps\\Plenor", system.currentDir);

  system.searchResult = "E:\\morva7.jar";
  module.FindInstallDir();
  EXPECT_EQ("E:", module.installDir);
}

TEST_F(StartUpTest, FindInstallDirWithoutTheJarUsesTheProgramFolder) {
  system.searchResult = "";
  system.currentDir = "C:\\windows\\system32";
  module.activityLog().SetPath("C:\\Morva\\data\\logs\\activityLog.jsd");
  module.FindInstallDir();
  EXPECT_EQ("C:\\Morva", module.installDir);
  EXPECT_EQ("C:\\Morva", system.currentDir);
  EXPECT_EQ(Strings({"NT Service Module: ERROR: NT Service module installed "
                     "in wrong directory.  Please uninstall and reinstall NT "
                     "service module into main install folder"}),
            LoggedMessages());
}

TEST_F(StartUpTest, GetWorkingDir) {
  EXPECT_EQ("C:\\Morva", module.GetWorkingDir());
  EXPECT_EQ("", module.statusText);
  system.currentDirReadable = false;
  EXPECT_EQ("", module.GetWorkingDir());
  EXPECT_EQ("Failed to determine current directory", module.statusText);
  system.currentDirReadable = true;
  EXPECT_EQ(Strings({"Failed to determine current directory"}),
            LoggedMessages());
}

TEST_F(StartUpTest, DeriveServiceName) {
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

// Installed under a typed name, the service is still this program's: the
// start-up takes that name, and the remove switch removes that service.
TEST_F(StartUpTest, ServiceOfThisProgramKeepsItsName) {
  control.ownService = "EditedSvc";
  control.installed = true;
  system.commandLine = "Morvasvc.exe remove_51924706";
  module.RunStartUpSequence();
  EXPECT_EQ("EditedSvc", module.serviceName);
  EXPECT_EQ("EditedSvc", control.name_);
  EXPECT_EQ("Uninstall", control.calls.back());
  EXPECT_EQ(std::vector<uint32_t>({0}), system.exitCodes);
}

TEST_F(StartUpTest, CommandLineWithoutSwitchGoesOn) {
  system.commandLine = "  \"C:\\Morva\\Morvasvc.exe\" INSTALL_51924706 \t";
  module.HandleCommandLine();
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
      {"installed under another name", "Morvasvc.exe install_51924706", false,
       false, "Plenor7", 1,
       "NT Service Module commandline mode: Service is already Installed as "
       "EditedSvc",
       {"IsInstalled"}},
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
    module.activityLog().SetPath("data\\logs\\activityLog.jsd");
    system.commandLine = c.commandLine;
    control.installed = c.installed;
    control.refuses = c.refuses;
    if (c.entry.find("EditedSvc") != std::string::npos) {
      control.ownService = "EditedSvc";
    }
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
TEST_F(StartUpTest, StartUpFailureWithNobodyToSeeABox) {
  const std::string reason = "Windows sockets initialization failed.";
  EXPECT_FALSE(module.EndQuietlyOnStartUpFailure(reason));
  system.nobodySeesWindows = true;
  EXPECT_TRUE(module.EndQuietlyOnStartUpFailure(reason));
  system.nobodySeesWindows = false;
  system.commandLine = "\"C:\\Morva\\Morvasvc.exe\" remove_51924706";
  EXPECT_TRUE(module.EndQuietlyOnStartUpFailure(reason));
  EXPECT_EQ(std::vector<uint32_t>({1, 1}), system.exitCodes);
  const Strings messages = LoggedMessages();
  EXPECT_EQ(2, std::count(messages.begin(), messages.end(),
                          "NT Service Module: ERROR: " + reason));
}

}  // namespace
}  // namespace morvasvc
