#include "permission_check.h"

#include <algorithm>

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

bool AnsweredLocally(const std::string& sid, const std::string& localDomain) {
  const auto startsWith = [&](const std::string& prefix) {
    return sid.compare(0, prefix.size(), prefix) == 0;
  };
  // S-1-5-N with one authority: LocalSystem, Local Service, Authenticated
  // Users and the like.
  const bool ntWellKnown = startsWith("S-1-5-") &&
                           sid.find('-', 6) == std::string::npos;
  return startsWith("S-1-1-") || startsWith("S-1-2-") ||
         startsWith("S-1-3-") || startsWith("S-1-5-32-") ||
         startsWith("S-1-5-80-") || startsWith("S-1-16-") || ntWellKnown ||
         (!localDomain.empty() && startsWith(localDomain + "-"));
}

std::vector<std::string> WhoCanChange(
    const ObjectSecurity& security,
    const std::function<bool(const std::string&)>& isAdministrator,
    bool builtInTrusted) {
  const auto trusted = [&](const std::string& sid) {
    return (builtInTrusted &&
            std::find(std::begin(kTrusted), std::end(kTrusted), sid) !=
                std::end(kTrusted)) ||
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
                          const JavaRuntime& java, AccountLookups lookups) {
  bool open = false;
  lookups_ = lookups;
  localDomain_ = security_.LocalAccountDomain();
  administrators_.clear();
  checked_.clear();
  const std::string folder = installDir + "\\";
  Check(installDir, &open);
  Check(folder + "ntServiceSettings.jsd", &open);
  Check(folder + "engineSettings.jsd", &open);
  // The very file the launch starts, and its folder: whoever can add a
  // file there can put a runtime in its place.
  if (!java.resolved.empty()) {
    Check(java.resolved, &open);
    Check(java.resolved.substr(0, java.resolved.find_last_of('\\')), &open);
  }
  for (const std::string& jar : files_.FindEntries("*.jar")) {
    Check(folder + jar, &open);
  }
  Check(folder + "inputs", &open);
  return open;
}

void PermissionCheck::Check(const std::string& path, bool* open) {
  if (!checked_.insert(path).second) return;
  // Another machine's administrators and SYSTEM are not this one's; asking
  // that machine may take as long as the network does.
  std::string server;
  if (path.compare(0, 2, "\\\\") == 0) {
    server = path.substr(2, path.find('\\', 2) - 2);
    if (lookups_ == AccountLookups::kThisMachine) {
      Warn("NT Service Module: WARNING: " + path + " is on " + server +
               ": the administrators of that machine can run programs as "
               "LocalSystem through it; who else can change it is checked "
               "when the module's window opens",
           open);
      return;
    }
  }
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
      [this, &server](const std::string& sid) {
        return server.empty() && IsAdministrator(sid);
      },
      server.empty());
  if (sids.empty()) return;
  std::string accounts;
  for (const std::string& sid : sids) {
    accounts += (accounts.empty() ? "" : ", ") + Name(sid);
  }
  if (!server.empty()) accounts += " (accounts as " + server + " knows them)";
  Warn("NT Service Module: WARNING: " + path + " can be changed by " +
           accounts + "; they can run programs as LocalSystem through it",
       open);
  return;
}

void PermissionCheck::Warn(const std::string& warning, bool* open) {
  log_.Log(warning);
  log_.ReportEvent(EventType::kWarning, warning, EventKind::kOpenToOthers);
  *open = true;
}

bool PermissionCheck::MayAsk(const std::string& sid) const {
  return lookups_ == AccountLookups::kAnyServer ||
         AnsweredLocally(sid, localDomain_);
}

bool PermissionCheck::IsAdministrator(const std::string& sid) {
  auto it = administrators_.find(sid);
  if (it == administrators_.end()) {
    // A domain's group listed in Administrators is named there by its SID.
    const bool administrator = security_.IsListedAdministrator(sid) ||
                               (MayAsk(sid) && security_.IsAdministrator(sid));
    it = administrators_.emplace(sid, administrator).first;
  }
  return it->second;
}

std::string PermissionCheck::Name(const std::string& sid) {
  if (MayAsk(sid)) return security_.AccountName(sid);
  return sid + " (could not tell whether this account is an administrator)";
}

}  // namespace morvasvc
