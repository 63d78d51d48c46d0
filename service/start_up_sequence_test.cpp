#include <gtest/gtest.h>

#include <algorithm>

#include "module_test_fixture.h"

namespace morvasvc {
namespace {

using StartUpSequenceTest = ModuleTest;

const char kUsers[] = "S-1-5-32-545";
const char kAdmins[] = "S-1-5-32-544";
const uint32_t kModify = 0x1301bf;

TEST_F(StartUpSequenceTest, GetWorkingDir) {
  EXPECT_EQ("C:\\Morva", module.GetWorkingDir());
  EXPECT_EQ("", module.statusText);
  system.currentDirReadable = false;
  EXPECT_EQ("", module.GetWorkingDir());
  EXPECT_EQ("Failed to determine current directory", module.statusText);
  system.currentDirReadable = true;
  EXPECT_EQ(Strings({"Failed to determine current directory"}),
            LoggedMessages());
}
TEST_F(StartUpSequenceTest, DeriveServiceName) {
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
// start-up takes that name, and the remove switch removes that service.// Installed under a typed name, the service is still this program's: the
// start-up takes that name, and the remove switch removes that service.
TEST_F(StartUpSequenceTest, ServiceOfThisProgramKeepsItsName) {
  // Without one, the install folder names it.
  system.searchResult = "D:\\Plenor\\morva7.jar";
  module.RunStartUpSequence();
  EXPECT_EQ("Plenor7", module.serviceName);
  EXPECT_EQ("Plenor7", control.name_);
  system.searchResult = "C:\\Morva\\morva7.jar";
  control.ownService = "EditedSvc";
  control.installed = true;
  system.commandLine = "Morvasvc.exe remove_51924706";
  module.RunStartUpSequence();
  EXPECT_EQ("EditedSvc", module.serviceName);
  EXPECT_EQ("EditedSvc", control.name_);
  EXPECT_EQ(Strings({"Uninstall", "RemoveEventSource"}),
            Strings(control.calls.end() - 2, control.calls.end()));
  EXPECT_EQ(std::vector<uint32_t>({0}), system.exitCodes);

  // Run as the service, the manager names it at the start: no service's
  // program is read meanwhile, nor is the window's check run.
  system.commandLine = "Morvasvc.exe";
  system.startedByServiceManager = true;
  system.security["C:\\Morva"] = {
      true, false, "S-1-5-32-545", {{false, false, "S-1-5-32-545", 0x1301bf}}};
  system.LogFile().clear();
  module.RunStartUpSequence();
  EXPECT_EQ("Morva7", module.serviceName);
  EXPECT_EQ("NT Service Module: commandline = Morvasvc.exe",
            LoggedMessages().back());
}

// No box where nobody would see it: on the service's desktop, or under an
// installer's switch.
TEST_F(StartUpSequenceTest, StartUpFailureWithNobodyToSeeABox) {
  const std::string reason = "Windows sockets initialization failed.";
  // The engine's settings name the log.
  module.activityLog().SetPath("");
  EXPECT_FALSE(module.EndQuietlyOnStartUpFailure(reason));
  system.nobodySeesWindows = true;
  EXPECT_TRUE(module.EndQuietlyOnStartUpFailure(reason));
  system.nobodySeesWindows = false;
  system.commandLine = "\"C:\\Morva\\Morvasvc.exe\" remove_51924706";
  // A held log gets the end's few seconds.
  system.busyFor[system.Resolve("data\\logs\\activityLog.jsd")] = 15;
  EXPECT_TRUE(module.EndQuietlyOnStartUpFailure(reason));
  EXPECT_EQ(std::vector<uint32_t>({1, 1}), system.exitCodes);
  const Strings messages = LoggedMessages();
  EXPECT_EQ(2, std::count(messages.begin(), messages.end(),
                          "NT Service Module: ERROR: " + reason));
}

// Warned of when the window opens, at install and at every start, with an
// event only as the service; nothing is refused.
TEST_F(StartUpSequenceTest, WarningsAtInstallWindowAndStart) {
  system.File("engineSettings.jsd") = "ENGINE_PORT=2001\r\n";
  const std::string warning =
      "NT Service Module: WARNING: C:\\Morva can be changed by "
      "BUILTIN\\Users; they can run programs as LocalSystem through it";
  system.security["C:\\Morva"] = {
      true, false, kAdmins, {{false, false, kUsers, kModify}}};
  system.securityUnreadable.insert("C:\\Morva\\inputs");
  system.commandLine = "Morvasvc.exe install_51924706";
  module.RunStartUpSequence();
  EXPECT_EQ(std::vector<uint32_t>({0}), system.exitCodes);
  const std::string unchecked =
      "NT Service Module: WARNING: Could not check who can change "
      "C:\\Morva\\inputs: Access is denied.";
  Strings messages = LoggedMessages();
  ASSERT_GE(messages.size(), 3u);
  EXPECT_EQ(Strings({warning, unchecked}),
            Strings(messages.end() - 4, messages.end() - 2));

  system.LogFile().clear();
  system.commandLine = "Morvasvc.exe";
  module.RunStartUpSequence();
  EXPECT_NE(std::string::npos,
            module.statusText.find("WARNING: The install folder is open to "
                                   "users other than administrators; the "
                                   "activity log says more: data\\logs\\"
                                   "activityLog.jsd"));
  EXPECT_EQ(Strings({"NT Service Module: commandline = Morvasvc.exe", warning,
                     unchecked}),
            LoggedMessages());
  EXPECT_TRUE(system.events.empty());

  system.LogFile().clear();
  module.OnServiceStart("");
  messages = LoggedMessages();
  EXPECT_NE(messages.end(),
            std::find(messages.begin(), messages.end(), warning));
  ASSERT_EQ(1u, system.events.size());
  EXPECT_EQ(EventType::kWarning, system.events[0].type);
  EXPECT_EQ(1u, system.shellCalls.size());
}

}  // namespace
}  // namespace morvasvc
