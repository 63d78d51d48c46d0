#include "permission_check.h"

#include <algorithm>

#include "engine_link.h"
#include "service_removal.h"

namespace morvasvc {

namespace {

const char kEveryone[] = "S-1-1-0";
const char kOwnerRights[] = "S-1-3-4";
const char* const kTrusted[] = {
    "S-1-5-18",      // LocalSystem
    "S-1-5-32-544",  // Administrators
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
};

// Write or add a file, append or add a subfolder, delete, change the
// permissions or the owner, and the generic rights that hold them.
const uint32_t kChangeRights =
    0x2 | 0x4 | 0x10000 | 0x40000 | 0x80000 | 0x40000000 | 0x10000000;
// On a folder, deleting what it holds.
const uint32_t kDeleteChild = 0x40;

}  // namespace

std::vector<std::string> WhoCanChange(
    const ObjectSecurity& security,
    const std::function<bool(const std::string&)>& isAdministrator) {
  const auto trusted = [&](const std::string& sid) {
    return std::find(std::begin(kTrusted), std::end(kTrusted), sid) !=
               std::end(kTrusted) ||
           isAdministrator(sid);
  };
  std::vector<std::string> accounts;
  const auto add = [&](const std::string& sid) {
    if (std::find(accounts.begin(), accounts.end(), sid) == accounts.end()) {
      accounts.push_back(sid);
    }
  };
  if (!security.ownerSid.empty() && !trusted(security.ownerSid)) {
    add(security.ownerSid);
  }
  if (security.nullDacl) {
    add(kEveryone);
    return accounts;
  }
  const uint32_t rights =
      kChangeRights | (security.isFolder ? kDeleteChild : 0);
  std::map<std::string, uint32_t> allowed, denied;
  for (const AccessEntry& entry : security.entries) {
    if (entry.inheritOnly) continue;
    // The owner's rights entry speaks for the owner.
    const std::string sid =
        entry.sid == kOwnerRights ? security.ownerSid : entry.sid;
    const uint32_t mask = entry.mask & rights;
    if (entry.deny) {
      denied[sid] |= mask & ~allowed[sid];
    } else if (mask & ~denied[sid]) {
      allowed[sid] |= mask & ~denied[sid];
      if (!trusted(sid)) add(sid);
    }
  }
  return accounts;
}

bool PermissionCheck::Run(const std::string& installDir,
                          const std::string& javaExe) {
  bool open = false;
  administrators_.clear();
  const std::string folder = installDir + "\\";
  Check(installDir, &open);
  Check(folder + "ntServiceSettings.jsd", &open);
  Check(folder + "engineSettings.jsd", &open);
  // Where the launch finds it: a relative path starts in the install folder.
  std::string java = NormalizeJavaExe(javaExe);
  if (!IsFullyQualifiedPath(java)) java = folder + java;
  Check(java, &open);
  const size_t separator = java.find_last_of('\\');
  if (separator != std::string::npos) Check(java.substr(0, separator), &open);
  for (const std::string& jar : files_.FindEntries("*.jar")) {
    Check(folder + jar, &open);
  }
  Check(folder + "inputs", &open);
  return open;
}

void PermissionCheck::Check(const std::string& path, bool* open) {
  ObjectSecurity security;
  std::string error;
  switch (security_.ReadSecurity(path, &security, &error)) {
    case OpenResult::kMissing:
      return;
    case OpenResult::kDone:
      break;
    default:
      log_.Log("NT Service Module: WARNING: Could not check who can change " +
               path + ": " + error);
      return;
  }
  const std::vector<std::string> sids = WhoCanChange(
      security,
      [this](const std::string& sid) { return IsAdministrator(sid); });
  if (sids.empty()) return;
  std::string accounts;
  for (const std::string& sid : sids) {
    accounts += (accounts.empty() ? "" : ", ") + security_.AccountName(sid);
  }
  const std::string warning = "NT Service Module: WARNING: " + path +
                              " can be changed by " + accounts +
                              "; they can run programs as LocalSystem "
                              "through it";
  log_.Log(warning);
  log_.ReportEvent(EventType::kWarning, warning);
  *open = true;
}

bool PermissionCheck::IsAdministrator(const std::string& sid) {
  auto it = administrators_.find(sid);
  if (it == administrators_.end()) {
    it = administrators_.emplace(sid, security_.IsAdministrator(sid)).first;
  }
  return it->second;
}

}  // namespace morvasvc
