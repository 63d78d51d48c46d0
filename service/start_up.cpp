#include "start_up.h"

#include "module_texts.h"

namespace morvasvc {

std::string FindInstallDir(ModuleSystem& system, ActivityLog& log) {
  std::string found;
  if (!system.SearchFile("morva7.jar", &found)) {
    log.Log(
        "NT Service Module: ERROR: NT Service module installed in wrong "
        "directory.  Please uninstall and reinstall NT service module into "
        "main install folder");
    // Without the jar, the program's own folder is the best guess: settings
    // then land beside the program, never in the system's folder.
    found = system.ProgramPath();
  }
  const size_t separator = found.find_last_of('\\');
  const std::string installDir = separator == std::string::npos
                                     ? std::string()
                                     : found.substr(0, separator);
  system.SetCurrentDir(installDir);
  return installDir;
}

void UpdateEventSource(ServiceControl& control, ActivityLog& log, bool add) {
  std::string error;
  if (add ? !control.AddEventSource(&error)
          : !control.RemoveEventSource(&error)) {
    log.Log("NT Service Module: WARNING: The event log source could not "
            "be " +
            std::string(add ? "registered: " : "removed: ") + error);
  }
}

bool InstallerSwitches::NobodyToSeeABox() {
  return system_.NobodySeesWindows() ||
         DetectCommandLineAction(system_.CommandLine()) !=
             CommandLineAction::kNone;
}

void InstallerSwitches::Handle(const std::string& serviceName) {
  std::string commandLine = system_.CommandLine();
  const size_t begin = commandLine.find_first_not_of(" \t\n\v\f\r");
  const size_t end = commandLine.find_last_not_of(" \t\n\v\f\r");
  commandLine = begin == std::string::npos
                    ? std::string()
                    : commandLine.substr(begin, end - begin + 1);
  log_.Log("NT Service Module: commandline = " + commandLine);
  serviceName_ = serviceName;

  switch (DetectCommandLineAction(commandLine)) {
    case CommandLineAction::kNone:
      return;
    case CommandLineAction::kInstall:
      Install(serviceName);
      return;
    case CommandLineAction::kRemove:
      Remove();
      return;
  }
}

void InstallerSwitches::Refuse(const std::string& reason) {
  log_.Log("NT Service Module commandline mode: " + reason);
  End(1);
}

void InstallerSwitches::End(uint32_t exitCode) {
  log_.FlushBeforeEnd(serviceName_);
  system_.EndProcess(exitCode);
}

std::string WhyNotInstall(ServiceControl& control,
                          const std::string& serviceName,
                          const std::string& emptyName) {
  if (control.IsInstalled()) return "Service is already Installed";
  if (serviceName.empty()) return emptyName;
  std::string existing;
  if (control.FindServiceOfThisProgram(&existing)) {
    return "Service is already Installed as " + existing;
  }
  return std::string();
}

void InstallerSwitches::Install(const std::string& serviceName) {
  const std::string refusal =
      WhyNotInstall(control_, serviceName, "Service name is empty");
  if (!refusal.empty()) {
    Refuse(refusal);
    return;
  }
  control_.SetServiceName(serviceName);
  control_.SetDisplayName(serviceName);
  std::string error, warning;
  if (!control_.Install(&error, &warning)) {
    Refuse("Service could not be installed: " + error);
    return;
  }
  log_.Log(
      "NT Service Module: Service installed via commandline.  Service "
      "name = " +
      serviceName);
  if (!warning.empty()) log_.Log("NT Service Module: WARNING: " + warning);
  UpdateEventSource(control_, log_, true);
  End(0);
}

void InstallerSwitches::Remove() {
  if (!control_.IsInstalled()) {
    Refuse("Service is not installed");
    return;
  }
  std::string error;
  if (!control_.Uninstall(&error)) {
    Refuse("Service could not be removed: " + error);
    return;
  }
  log_.Log("NT Service Module: Service removed via commandline");
  UpdateEventSource(control_, log_, false);
  End(0);
}

}  // namespace morvasvc
