#include "permission_check.h"

#include <gtest/gtest.h>

#include "module_test_fixture.h"

namespace morvasvc {
namespace {

const char kUsers[] = "S-1-5-32-545";
const char kAdmins[] = "S-1-5-32-544";
const char kSystem[] = "S-1-5-18";
const char kOwnerRights[] = "S-1-3-4";
const char kAlice[] = "S-1-5-21-1-2-3-1001";  // an administrator's account
const uint32_t kRead = 0x1200a9, kModify = 0x1301bf, kAddFile = 0x2,
               kAddFolder = 0x4, kDeleteChild = 0x40, kGenericAll = 0x10000000;

TEST(WhoCanChange, EntriesRightsAndOwners) {
  const AccessEntry admins = {false, false, kAdmins, kModify};
  struct Case {
    const char* name;
    ObjectSecurity security;
    Strings accounts;
  } cases[] = {
      {"administrators only", {false, false, kSystem, {admins}}, {}},
      {"users read",
       {false, false, kAdmins, {{false, false, kUsers, kRead}}},
       {}},
      {"users modify",
       {false, false, kAdmins, {{false, false, kUsers, kModify}}},
       {kUsers}},
      {"generic all",
       {false, false, kAdmins, {{false, false, kUsers, kGenericAll}}},
       {kUsers}},
      {"add a subfolder",
       {true, false, kAdmins, {{false, false, kUsers, kAddFolder}}},
       {kUsers}},
      {"delete what a folder holds",
       {true, false, kAdmins, {{false, false, kUsers, kDeleteChild}}},
       {kUsers}},
      {"delete child on a file is nothing",
       {false, false, kAdmins, {{false, false, kUsers, kDeleteChild}}},
       {}},
      {"denied first",
       {false,
        false,
        kAdmins,
        {{true, false, kUsers, kAddFile}, {false, false, kUsers, kAddFile}}},
       {}},
      {"denied after the allow",
       {false,
        false,
        kAdmins,
        {{false, false, kUsers, kAddFile}, {true, false, kUsers, kAddFile}}},
       {kUsers}},
      {"only for the children",
       {true, false, kAdmins, {{false, true, kUsers, kModify}}},
       {}},
      {"no access list", {false, true, kAdmins, {}}, {"S-1-1-0"}},
      {"a user's own file", {false, false, kUsers, {admins}}, {kUsers}},
      {"an administrator's own file",
       {false, false, kAlice, {{false, false, kAlice, kModify}}},
       {}},
      {"owner rights of an untrusted owner",
       {false, false, kUsers, {{false, false, kOwnerRights, kModify}}},
       {kUsers}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.accounts, WhoCanChange(c.security,
                                       [](const std::string& sid) {
                                         return sid == kAlice;
                                       }))
        << c.name;
  }
}

using PermissionCheckTest = ModuleTest;

// Warned of when the window opens, at install and at every start, with an
// event only as the service; nothing is refused.
TEST_F(PermissionCheckTest, WarningsAtInstallWindowAndStart) {
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
