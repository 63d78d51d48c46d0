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

// Whom this machine answers for by itself, without asking a controller.
TEST(AnsweredLocally, WellKnownBuiltInAndItsOwnDomain) {
  const std::string local = "S-1-5-21-1-2-3";
  for (const char* sid :
       {"S-1-1-0", "S-1-2-0", "S-1-3-4", "S-1-5-18", "S-1-5-32-545",
        "S-1-5-80-1-2", "S-1-16-12288", "S-1-5-21-1-2-3-1105"}) {
    EXPECT_TRUE(AnsweredLocally(sid, local)) << sid;
  }
  for (const char* sid : {"S-1-5-21-7-8-9-1105", "S-1-5-21-1-2-30-5"}) {
    EXPECT_FALSE(AnsweredLocally(sid, local)) << sid;
  }
  EXPECT_FALSE(AnsweredLocally("S-1-5-21-1-2-3-1105", ""));
}

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

class PermissionCheckTest : public PartTest {
 protected:
  // A runtime the launch resolved to this file, or to none.
  static JavaRuntime Java(const std::string& resolved) {
    JavaRuntime java;
    java.resolved = resolved;
    return java;
  }
  PermissionCheck check{system, system, log};
};

// Every file and folder that decides what runs, each once; the Java
// runtime where the launch finds it.
TEST_F(PermissionCheckTest, EveryPathThatDecidesWhatRuns) {
  const ObjectSecurity open = {false, false, kAdmins,
                               {{false, false, kUsers, kModify}}};
  const auto warning = [](const std::string& path) {
    return "NT Service Module: WARNING: " + path +
           " can be changed by BUILTIN\\Users; they can run programs as "
           "LocalSystem through it";
  };
  system.jars = {"a.jar", "morva7.jar"};
  const Strings paths = {
      "C:\\Morva",           "C:\\Morva\\ntServiceSettings.jsd",
      "C:\\Morva\\engineSettings.jsd", "C:\\Morva\\jre\\bin\\javaw.exe",
      "C:\\Morva\\jre\\bin",   "C:\\Morva\\a.jar",
      "C:\\Morva\\morva7.jar",   "C:\\Morva\\inputs"};
  Strings expected;
  for (const std::string& path : paths) {
    system.security[path] = open;
    expected.push_back(warning(path));
  }
  EXPECT_TRUE(check.Run("C:\\Morva", Java("C:\\Morva\\jre\\bin\\javaw.exe"),
                        AccountLookups::kAnyServer));
  EXPECT_EQ(expected, LoggedMessages());

  // A full path is checked where it is; nothing open, nothing said.
  system.LogFile().clear();
  system.security.clear();
  system.security["D:\\jdk\\bin"] = open;
  EXPECT_TRUE(check.Run("C:\\Morva", Java("D:\\jdk\\bin\\java.exe"),
                        AccountLookups::kAnyServer));
  EXPECT_EQ(Strings({warning("D:\\jdk\\bin")}), LoggedMessages());
  // The install folder's runtime: the folder said once; a runtime found
  // nowhere has nothing to check.
  system.LogFile().clear();
  system.security.clear();
  system.security["C:\\Morva"] = open;
  system.security["C:\\Morva\\java.exe"] = open;
  EXPECT_TRUE(check.Run("C:\\Morva", Java("C:\\Morva\\java.exe"),
                        AccountLookups::kAnyServer));
  EXPECT_EQ(Strings({warning("C:\\Morva"), warning("C:\\Morva\\java.exe")}),
            LoggedMessages());
  system.LogFile().clear();
  system.security.clear();
  EXPECT_FALSE(check.Run("C:\\Morva", Java(""), AccountLookups::kThisMachine));
  EXPECT_EQ("", system.LogFile());
}

// At the service start only this machine is asked, at once: a domain's
// account is named by its SID. Where a person waits, its controller is
// asked too. A group listed in Administrators is trusted either way.
// Another machine's path counts its administrators like anyone.
TEST_F(PermissionCheckTest, WhomTheCheckAsks) {
  const std::string kDomainUser = "S-1-5-21-7-8-9-1105",
                    kDomainAdmins = "S-1-5-21-7-8-9-512",
                    kLocalUser = "S-1-5-21-1-2-3-1001";
  const ObjectSecurity open = {
      false, false, kAdmins,
      {{false, false, kDomainUser, kModify},
       {false, false, kDomainAdmins, kModify},
       {false, false, kLocalUser, kModify},
       {false, false, kAdmins, kModify}}};
  system.remoteLookupMs = 30000;
  system.listedAdministrators = {kDomainAdmins};
  system.administrators = {kLocalUser};
  system.security["C:\\Morva"] = open;
  system.security["\\\\files\\java\\bin"] = open;
  const uint64_t before = system.tickMs;
  EXPECT_TRUE(check.Run("C:\\Morva", Java("\\\\files\\java\\bin\\javaw.exe"),
                        AccountLookups::kThisMachine));
  EXPECT_EQ(before, system.tickMs);
  EXPECT_EQ(
      Strings({"NT Service Module: WARNING: C:\\Morva can be changed by " +
                   kDomainUser +
                   " (could not tell whether this account is an "
                   "administrator); they can run programs as LocalSystem "
                   "through it",
               "NT Service Module: WARNING: \\\\files\\java\\bin\\javaw.exe "
               "is on files: the administrators of that machine can run "
               "programs as LocalSystem through it; who else can change it "
               "is checked when the module's window opens",
               "NT Service Module: WARNING: \\\\files\\java\\bin is on "
               "files: the administrators of that machine can run programs as "
               "LocalSystem through it; who else can change it is checked "
               "when the module's window opens"}),
      LoggedMessages());

  system.LogFile().clear();
  system.remoteLookupMs = 0;
  system.security.erase("C:\\Morva");
  EXPECT_TRUE(check.Run("C:\\Morva", Java("\\\\files\\java\\bin\\javaw.exe"),
                        AccountLookups::kAnyServer));
  EXPECT_EQ(Strings({"NT Service Module: WARNING: \\\\files\\java\\bin can "
                     "be changed by " + std::string(kAdmins) + ", " +
                     kDomainUser + ", " + kDomainAdmins + ", " + kLocalUser +
                     " (accounts as files knows them); they can run programs "
                     "as LocalSystem through it"}),
            LoggedMessages());
}

}  // namespace
}  // namespace morvasvc
