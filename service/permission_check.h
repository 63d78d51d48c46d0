#ifndef MORVASVC_PERMISSION_CHECK_H_
#define MORVASVC_PERMISSION_CHECK_H_

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "activity_log.h"
#include "module_system.h"

namespace morvasvc {

// The accounts (SIDs, in the order the entries name them) that can change
// the object: write, append, delete, change its permissions or owner, or add
// files or subfolders to a folder. LocalSystem, Administrators and
// TrustedInstaller never count, nor does an account isAdministrator names;
// an owner that is none of these can always change the permissions. A deny
// entry takes away what no earlier entry for the same account allowed.
std::vector<std::string> WhoCanChange(
    const ObjectSecurity& security,
    const std::function<bool(const std::string&)>& isAdministrator);

// What the service runs as LocalSystem is decided by files: whoever can
// change one of them can run a program with its rights. The check says so
// and refuses nothing.
class PermissionCheck {
 public:
  PermissionCheck(FileSecurity& security, ModuleFiles& files,
                  ActivityLog& log)
      : security_(security), files_(files), log_(log) {}

  // The install folder, the settings files, the Java runtime and its
  // folder, every jar and the task runner's inputs folder. One warning
  // entry (and, run as the service, one event) for each path that others
  // can change; true when there was any.
  bool Run(const std::string& installDir, const std::string& javaExe);

 private:
  void Check(const std::string& path, bool* open);
  // Asked once an account and run: the answer may need the network.
  bool IsAdministrator(const std::string& sid);

  FileSecurity& security_;
  ModuleFiles& files_;
  ActivityLog& log_;
  std::map<std::string, bool> administrators_;
};

}  // namespace morvasvc

#endif
