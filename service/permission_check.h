#ifndef MORVASVC_PERMISSION_CHECK_H_
#define MORVASVC_PERMISSION_CHECK_H_

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "activity_log.h"
#include "java_runtime.h"
#include "module_system.h"

namespace morvasvc {

// The accounts (SIDs, in the order the entries name them) that can change
// the object: write, append, delete, change its permissions or owner, or add
// files or subfolders to a folder. LocalSystem, Administrators and
// TrustedInstaller never count, nor does an account isAdministrator names;
// an owner that is none of these can always change the permissions. A deny
// entry takes away what no earlier entry for the same account allowed. On
// another machine's path (builtInTrusted false) LocalSystem and
// Administrators are that machine's, and count like anyone.
std::vector<std::string> WhoCanChange(
    const ObjectSecurity& security,
    const std::function<bool(const std::string&)>& isAdministrator,
    bool builtInTrusted = true);

// Whom the check may ask about an account: at the service start only this
// machine, which answers at once; where a person waits (the window, the
// install switch), a domain controller too, however long it takes.
enum class AccountLookups { kThisMachine, kAnyServer };

// Whether this machine answers for the account by itself: well-known
// accounts and groups, its built-in groups, service accounts and the
// accounts of its own domain (localDomain, S-1-5-21-...).
bool AnsweredLocally(const std::string& sid, const std::string& localDomain);

// What the service runs as LocalSystem is decided by files: whoever can
// change one of them can run a program with its rights. The check says so
// and refuses nothing.
class PermissionCheck {
 public:
  PermissionCheck(FileSecurity& security, ModuleFiles& files,
                  ActivityLog& log)
      : security_(security), files_(files), log_(log) {}

  // The install folder, the settings files, the Java runtime and its
  // folder, every jar and the task runner's inputs folder, each once. One
  // warning entry (and, run as the service, one event) for each path that
  // others can change; true when there was any.
  bool Run(const std::string& installDir, const JavaRuntime& java,
           AccountLookups lookups);

 private:
  void Check(const std::string& path, bool* open);
  void Warn(const std::string& warning, bool* open);
  // Asked once an account and run: the answer may need the network.
  bool IsAdministrator(const std::string& sid);
  std::string Name(const std::string& sid);
  bool MayAsk(const std::string& sid) const;

  FileSecurity& security_;
  ModuleFiles& files_;
  ActivityLog& log_;
  AccountLookups lookups_ = AccountLookups::kAnyServer;
  std::string localDomain_;
  std::map<std::string, bool> administrators_;
  std::set<std::string> checked_;
};

}  // namespace morvasvc

#endif
