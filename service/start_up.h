#ifndef MORVASVC_START_UP_H_
#define MORVASVC_START_UP_H_

#include <string>

#include "activity_log.h"
#include "module_system.h"

namespace morvasvc {

// The install folder, the folder of morva7.jar along the system's search
// order, made the current folder: the settings files are found from there.
std::string FindInstallDir(ModuleSystem& system, ActivityLog& log);

// The event log source under the service's name; its failure fails neither
// the install nor the remove: the service works without it.
void UpdateEventSource(ServiceControl& control, ActivityLog& log, bool add);

// Why no service can be installed for this program under serviceName (the
// text for an empty name is the caller's); empty when one can. One service
// per program: two would supervise one engine against each other.
std::string WhyNotInstall(ServiceControl& control,
                          const std::string& serviceName,
                          const std::string& emptyName);

// The installers' command-line mode: a switch installs or removes the
// service without any window and ends the process with 0 or 1.
class InstallerSwitches {
 public:
  InstallerSwitches(ModuleSystem& system, ServiceControl& control,
                    ActivityLog& log)
      : system_(system), control_(control), log_(log) {}

  // Whether nobody would see a box: the program runs where nobody sees its
  // windows (as a service), or a switch stands on its command line.
  bool NobodyToSeeABox();
  // Logs the command line; with a switch, acts under serviceName and ends
  // the process.
  void Handle(const std::string& serviceName);

 private:
  void Install(const std::string& serviceName);
  void Remove();
  // Logs why and ends the process with 1.
  void Refuse(const std::string& reason);
  // Ends the process once the log has its entries, or the event log says
  // what it could not take.
  void End(uint32_t exitCode);

  ModuleSystem& system_;
  ServiceControl& control_;
  ActivityLog& log_;
  std::string serviceName_;
};

}  // namespace morvasvc

#endif
