#include "start_up.h"

namespace morvasvc {

const char kInstallSwitch[] = "install_51924706";
const char kRemoveSwitch[] = "remove_51924706";

CommandLineAction DetectCommandLineAction(const std::string& commandLine) {
  if (commandLine.find(kInstallSwitch) != std::string::npos) {
    return CommandLineAction::kInstall;
  }
  if (commandLine.find(kRemoveSwitch) != std::string::npos) {
    return CommandLineAction::kRemove;
  }
  return CommandLineAction::kNone;
}

const char kDefaultServiceName[] = "Morva7";

std::string ServiceNameForFolder(const std::string& lowerCaseFolder) {
  static const struct {
    const char* key;
    const char* serviceName;
  } kProducts[] = {
      {"plenor", "Plenor7"},   {"quiddal", "Quiddal7"}, {"verrin", "Verrin7"},
      {"tolsey", "Tolsey7"},   {"brenmar", "Brenmar7"},
  };
  std::string serviceName = kDefaultServiceName;
  for (const auto& product : kProducts) {
    if (lowerCaseFolder.find(product.key) != std::string::npos) {
      serviceName = product.serviceName;
    }
  }
  return serviceName;
}

std::string FindInstallDir(ModuleFiles& files, ThisProcess& process,
                           ActivityLog& log) {
  std::string found;
  if (!files.SearchFile("morva7.jar", &found)) {
    log.Log(
        "NT Service Module: ERROR: NT Service module installed in wrong "
        "directory.  Please uninstall and reinstall NT service module into "
        "main install folder");
    // Without the jar, the program's own folder is the best guess: settings
    // then land beside the program, never in the system's folder.
    found = process.ProgramPath();
  }
  const size_t separator = found.find_last_of('\\');
  const std::string installDir = separator == std::string::npos
                                     ? std::string()
                                     : found.substr(0, separator);
  files.SetCurrentDir(installDir);
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
  return process_.NobodySeesWindows() ||
         DetectCommandLineAction(process_.CommandLine()) !=
             CommandLineAction::kNone;
}

void InstallerSwitches::Handle(
    const std::string& serviceName,
    const std::function<void(const std::string&)>& nameService) {
  std::string commandLine = process_.CommandLine();
  const size_t begin = commandLine.find_first_not_of(" \t\n\v\f\r");
  const size_t end = commandLine.find_last_not_of(" \t\n\v\f\r");
  commandLine = begin == std::string::npos
                    ? std::string()
                    : commandLine.substr(begin, end - begin + 1);
  log_.Log("NT Service Module: commandline = " + commandLine);

  switch (DetectCommandLineAction(commandLine)) {
    case CommandLineAction::kNone:
      return;
    case CommandLineAction::kInstall:
      Install(serviceName, nameService);
      return;
    case CommandLineAction::kRemove:
      Remove(serviceName);
      return;
  }
}

void InstallerSwitches::Refuse(const std::string& reason,
                               const std::string& serviceName) {
  const std::string message = "NT Service Module commandline mode: " + reason;
  log_.Log(message);
  // An installer may keep no output: the log may be where nothing can be
  // written (a folder it has not made yet, a name the code page lacks).
  log_.ReportEventUnder(serviceName, EventType::kError, message);
  End(1, serviceName);
}

void InstallerSwitches::End(uint32_t exitCode,
                            const std::string& serviceName) {
  log_.FlushBeforeEnd(serviceName);
  process_.EndProcess(exitCode);
}

std::string WhyNotInstall(ServiceControl& control,
                          const std::string& serviceName,
                          const std::string& emptyName) {
  if (serviceName.empty()) return emptyName;
  std::string own;
  if (control.FindServiceOfThisProgram(&own)) {
    return own == serviceName ? "Service is already Installed"
                              : "Service is already Installed as " + own;
  }
  if (control.IsInstalled()) {
    return "Service is already Installed for another program: " +
           control.RegisteredProgram();
  }
  return std::string();
}

InstallOutcome InstallService(
    ServiceControl& control, const std::string& serviceName,
    const std::string& emptyName,
    const std::function<void(const std::string&)>& nameService) {
  InstallOutcome outcome;
  nameService(serviceName);
  outcome.reason = WhyNotInstall(control, serviceName, emptyName);
  if (!outcome.reason.empty()) return outcome;
  outcome.kind = control.Install(&outcome.reason, &outcome.warning)
                     ? InstallOutcome::kInstalled
                     : InstallOutcome::kFailed;
  return outcome;
}

void CompleteInstall(ServiceControl& control, ActivityLog& log,
                     const InstallOutcome& outcome) {
  if (!outcome.warning.empty()) {
    log.Log("NT Service Module: WARNING: " + outcome.warning);
  }
  if (outcome.kind == InstallOutcome::kInstalled) {
    UpdateEventSource(control, log, true);
  }
}

void InstallerSwitches::Install(
    const std::string& serviceName,
    const std::function<void(const std::string&)>& nameService) {
  const InstallOutcome outcome =
      InstallService(control_, serviceName, "Service name is empty",
                     nameService);
  switch (outcome.kind) {
    case InstallOutcome::kRefused:
      Refuse(outcome.reason, serviceName);
      return;
    case InstallOutcome::kFailed:
      Refuse("Service could not be installed: " + outcome.reason,
             serviceName);
      return;
    case InstallOutcome::kInstalled:
      break;
  }
  log_.Log(
      "NT Service Module: Service installed via commandline.  Service "
      "name = " +
      serviceName);
  CompleteInstall(control_, log_, outcome);
  End(0, serviceName);
}

void InstallerSwitches::Remove(const std::string& serviceName) {
  if (!control_.IsInstalled()) {
    Refuse("Service is not installed", serviceName);
    return;
  }
  std::string error;
  if (!control_.Uninstall(&error)) {
    Refuse("Service could not be removed: " + error, serviceName);
    return;
  }
  log_.Log("NT Service Module: Service removed via commandline");
  UpdateEventSource(control_, log_, false);
  End(0, serviceName);
}

}  // namespace morvasvc
