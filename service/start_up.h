#ifndef MORVASVC_START_UP_H_
#define MORVASVC_START_UP_H_

#include <functional>
#include <string>

#include "activity_log.h"
#include "module_system.h"

namespace morvasvc {

// Command-line switches that installers use.
extern const char kInstallSwitch[];
extern const char kRemoveSwitch[];
enum class CommandLineAction { kNone, kInstall, kRemove };
// The install switch wins when both stand on the command line.
CommandLineAction DetectCommandLineAction(const std::string& commandLine);

extern const char kDefaultServiceName[];
// The service name for an install folder already in lower case: the last
// matching product row wins.
std::string ServiceNameForFolder(const std::string& lowerCaseFolder);

// The install folder, the folder of morva7.jar along the system's search
// order, made the current folder: the settings files are found from there.
std::string FindInstallDir(ModuleFiles& files, ThisProcess& process,
                           ActivityLog& log);

// The event log source under the service's name; its failure fails neither
// the install nor the remove: the service works without it.
void UpdateEventSource(ServiceControl& control, ActivityLog& log, bool add);

// Why no service can be installed for this program under serviceName, the
// name the control was given (the text for an empty name is the caller's);
// empty when one can. One service per program: two would supervise one
// engine against each other; and never over another program's service.
std::string WhyNotInstall(ServiceControl& control,
                          const std::string& serviceName,
                          const std::string& emptyName);

// The install of the window and of the switch, which each word its outcome.
struct InstallOutcome {
  enum Kind { kRefused, kFailed, kInstalled } kind = kRefused;
  std::string reason;   // why it was refused or failed
  std::string warning;  // what the system refused of a registration that worked
};
// Names the service (nameService), then refuses as WhyNotInstall says or
// registers it.
InstallOutcome InstallService(
    ServiceControl& control, const std::string& serviceName,
    const std::string& emptyName,
    const std::function<void(const std::string&)>& nameService);
// After the face's own entry: the warning, and the event source of a
// service that was installed.
void CompleteInstall(ServiceControl& control, ActivityLog& log,
                     const InstallOutcome& outcome);

// The installers' command-line mode: a switch installs or removes the
// service without any window and ends the process with 0 or 1.
class InstallerSwitches {
 public:
  InstallerSwitches(ThisProcess& process, ServiceControl& control,
                    ActivityLog& log)
      : process_(process), control_(control), log_(log) {}

  // Whether nobody would see a box: the program runs where nobody sees its
  // windows (as a service), or a switch stands on its command line.
  bool NobodyToSeeABox();
  // Logs the command line; with a switch, acts under serviceName (the
  // install names the service with nameService) and ends the process.
  void Handle(const std::string& serviceName,
              const std::function<void(const std::string&)>& nameService);

 private:
  void Install(const std::string& serviceName,
               const std::function<void(const std::string&)>& nameService);
  void Remove(const std::string& serviceName);
  // Logs why and ends the process with 1.
  void Refuse(const std::string& reason, const std::string& serviceName);
  // Ends the process once the log has its entries, or the event log says
  // under serviceName what it could not take.
  void End(uint32_t exitCode, const std::string& serviceName);

  ThisProcess& process_;
  ServiceControl& control_;
  ActivityLog& log_;
};

}  // namespace morvasvc

#endif
