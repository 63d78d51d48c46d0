// Who may change a file or folder: its owner and access list, and whether
// an account is one of this machine's administrators.
#include <winsock2.h>
#include <windows.h>
#include <aclapi.h>
#include <lm.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <vector>

#include "handle.h"
#include "system_error.h"
#include "win32_module_system.h"

namespace morvasvc {

namespace {

std::string SidText(PSID sid) {
  LocalMemory text;
  if (!sid ||
      !ConvertSidToStringSidA(sid, reinterpret_cast<char**>(text.Receive()))) {
    return std::string();
  }
  return static_cast<const char*>(text.Get());
}

}  // namespace

OpenResult Win32ModuleSystem::ReadSecurity(const std::string& path,
                                           ObjectSecurity* security,
                                           std::string* error) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
      return OpenResult::kMissing;
    }
    *error = StepFailed("GetFileAttributes", path, code);
    return OpenResult::kFailed;
  }
  PSID owner = NULL;
  PACL dacl = NULL;
  LocalMemory descriptor;
  const DWORD result = GetNamedSecurityInfoA(
      path.c_str(), SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, NULL,
      &dacl, NULL,
      reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.Receive()));
  if (result != ERROR_SUCCESS) {
    *error = StepFailed("GetNamedSecurityInfo", path, result);
    return OpenResult::kFailed;
  }
  security->isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  security->ownerSid = SidText(owner);
  security->nullDacl = dacl == NULL;
  security->entries.clear();
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) continue;
    // Allow, deny and conditional (callback) entries share their layout up
    // to the SID. A condition may hold, so its allow counts; a conditional
    // deny may not hold, so it takes nothing away. Object entries do not
    // occur on files.
    const BYTE type = header->AceType;
    if (type != ACCESS_ALLOWED_ACE_TYPE && type != ACCESS_DENIED_ACE_TYPE &&
        type != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) {
      continue;
    }
    const auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
    AccessEntry entry;
    entry.deny = type == ACCESS_DENIED_ACE_TYPE;
    entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    entry.sid = SidText(const_cast<DWORD*>(&ace->SidStart));
    entry.mask = ace->Mask;
    security->entries.push_back(entry);
  }
  return OpenResult::kDone;
}

// A member of Administrators, directly or through a group, can run
// anything as LocalSystem already; the group's name differs by language, so
// each group is compared by its SID.
bool Win32ModuleSystem::IsAdministrator(const std::string& sid) {
  bool administrator = false;
  const std::string account = AccountName(sid);
  const int length =
      MultiByteToWideChar(CP_ACP, 0, account.c_str(), -1, NULL, 0);
  std::vector<wchar_t> name(length > 0 ? length : 1);
  MultiByteToWideChar(CP_ACP, 0, account.c_str(), -1, name.data(), length);
  LOCALGROUP_USERS_INFO_0* groups = nullptr;
  DWORD read = 0, total = 0;
  if (account != sid &&
      NetUserGetLocalGroups(NULL, name.data(), 0, LG_INCLUDE_INDIRECT,
                            reinterpret_cast<BYTE**>(&groups),
                            MAX_PREFERRED_LENGTH, &read,
                            &total) == NERR_Success) {
    for (DWORD i = 0; i < read && !administrator; ++i) {
      BYTE group[SECURITY_MAX_SID_SIZE];
      DWORD groupSize = sizeof group;
      wchar_t domain[256];
      DWORD domainSize = 256;
      SID_NAME_USE use;
      administrator =
          LookupAccountNameW(NULL, groups[i].lgrui0_name, group, &groupSize,
                             domain, &domainSize, &use) &&
          IsWellKnownSid(group, WinBuiltinAdministratorsSid);
    }
  }
  if (groups) NetApiBufferFree(groups);
  return administrator;
}

// Administrators lists its members by SID, a domain's groups among them;
// reading the list asks nobody but this machine.
bool Win32ModuleSystem::IsListedAdministrator(const std::string& sidText) {
  BYTE group[SECURITY_MAX_SID_SIZE];
  DWORD groupSize = sizeof group;
  wchar_t name[256], domain[256];
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, NULL, group,
                          &groupSize) ||
      !LookupAccountSidW(NULL, group, name, &nameSize, domain, &domainSize,
                         &use)) {
    return false;
  }
  LOCALGROUP_MEMBERS_INFO_0* members = nullptr;
  DWORD read = 0, total = 0;
  bool listed = false;
  if (NetLocalGroupGetMembers(NULL, name, 0,
                              reinterpret_cast<BYTE**>(&members),
                              MAX_PREFERRED_LENGTH, &read, &total,
                              NULL) == NERR_Success) {
    for (DWORD i = 0; i < read && !listed; ++i) {
      listed = SidText(members[i].lgrmi0_sid) == sidText;
    }
  }
  if (members) NetApiBufferFree(members);
  return listed;
}

// The account domain's SID, as this machine's own policy stores it.
std::string Win32ModuleSystem::LocalAccountDomain() {
  LSA_OBJECT_ATTRIBUTES attributes = {};
  LSA_HANDLE policy = NULL;
  if (LsaOpenPolicy(NULL, &attributes, POLICY_VIEW_LOCAL_INFORMATION,
                    &policy) != 0) {
    return std::string();
  }
  POLICY_ACCOUNT_DOMAIN_INFO* info = nullptr;
  std::string text;
  if (LsaQueryInformationPolicy(policy, PolicyAccountDomainInformation,
                                reinterpret_cast<void**>(&info)) == 0 &&
      info) {
    text = SidText(info->DomainSid);
    LsaFreeMemory(info);
  }
  LsaClose(policy);
  return text;
}

std::string Win32ModuleSystem::AccountName(const std::string& sidText) {
  LocalMemory sid;
  if (!ConvertStringSidToSidA(sidText.c_str(),
                              reinterpret_cast<PSID*>(sid.Receive()))) {
    return sidText;
  }
  char name[256], domain[256];
  DWORD nameSize = sizeof name, domainSize = sizeof domain;
  SID_NAME_USE use;
  if (!LookupAccountSidA(NULL, sid.Get(), name, &nameSize, domain,
                         &domainSize, &use)) {
    return sidText;
  }
  return domainSize ? std::string(domain) + "\\" + name : std::string(name);
}

}  // namespace morvasvc
