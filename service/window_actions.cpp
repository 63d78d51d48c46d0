// The window's buttons, on the module state that its fields show.
#include "morva_module.h"
#include "service_run.h"

namespace morvasvc {

void MorvaModule::OnInstallService() {
  // The name the module state holds, not what the field may show unsaved.
  const InstallOutcome outcome = InstallService(
      control_, serviceName, "Please enter a Service Name",
      [this](const std::string& name) { NameService(name); });
  if (outcome.kind == InstallOutcome::kRefused) {
    ShowMessage(outcome.reason);
    return;
  }
  if (outcome.kind == InstallOutcome::kInstalled) {
    statusText =
        "Service Installed. Use Service Control Manager to Start Service.  "
        "This window can be closed now.  You only need this window to "
        "register the software, change settings or remove the service";
  } else {
    statusText = "ERROR: Service could not be installed: " + outcome.reason;
  }
  ShowMessage(statusText);
  LogActivity("NT Service Module: " + statusText);
  CompleteInstall(control_, log_, outcome);
  if (outcome.kind == InstallOutcome::kInstalled) CheckPermissions();
  FillFields();
}

void MorvaModule::OnRemoveService() {
  // The name the operator saved, as the install takes it: a service
  // installed under a typed name can be removed from a moved folder.
  NameService(serviceName);
  if (!control_.IsInstalled()) {
    ShowMessage("Service is not Installed");
    return;
  }
  std::string error;
  if (control_.Uninstall(&error)) {
    UpdateEventSource(control_, log_, false);
    statusText = "Service has been removed.  Please logout of windows";
  } else {
    statusText = "ERROR: Service could not be removed: " + error;
    ShowMessage(statusText);
  }
  LogActivity("NT Service Module: " + statusText);
  FillFields();
}

void MorvaModule::OnSaveSettings() {
  // A refused field has had its message; saving the rest would surprise.
  if (!TakeFields()) return;
  if (period < kLowestPeriod || period > kHighestPeriod) return;
  // The store reads the file again first: a save never writes a value it
  // never read, and keeps what the operator did not change in the window.
  ModuleSettings shown;
  const SettingsStore::SaveOutcome outcome =
      settings_.SaveEdited(period, javaExe, &shown, &statusText);
  const std::string javaBefore = java_.configured;
  if (outcome == SettingsStore::SaveOutcome::kSaved) TakeShown(shown);
  // A window whose settings were never read has no runtime to compare.
  if (!javaBefore.empty() && java_.configured != javaBefore) CheckNewJava();
  FillFields();
  if (outcome != SettingsStore::SaveOutcome::kSaved) {
    ShowMessage(statusText);
    return;
  }
  // A running service re-reads them at once; the engine keeps running.
  // Only this program's: another folder's service would re-read its own
  // file, and nothing of this save would be in force anywhere.
  std::string error, ours;
  if (control_.FindServiceOfThisProgram(&ours) &&
      system_.LowerCase(ours) == system_.LowerCase(serviceName) &&
      control_.QueryState() == kServiceRunning &&
      control_.AskToRereadSettings(&error)) {
    ShowMessage(
        "Settings saved. The running NT service has been told to use them "
        "now; the engine keeps running");
  } else {
    ShowMessage(
        "For settings to take effect, Stop and ReStart NT service using "
        "Service Control Manager");
  }
  LogActivity("NT Service settings have been changed");
}

void MorvaModule::OnWindowClosing() {
  if (log_.Flush()) return;
  ShowMessage("The activity log " + log_.Path() +
              " is held by another program: " +
              std::to_string(log_.Unwritten()) +
              " entries could not be written to it and are lost");
}

std::string MorvaModule::ServiceStateLine() {
  static const char* const kStates[] = {"unknown", "stopped", "starting",
                                        "stopping", "running"};
  const char* state = "not installed";
  if (control_.IsInstalled()) {
    const uint32_t reported = control_.QueryState();
    state = reported <= kServiceRunning ? kStates[reported] : "unknown";
  }
  return std::string("Service: ") + state + ";  engine port " +
         std::to_string(static_cast<int32_t>(enginePort)) + ": " +
         (engine_.Answers(enginePort) ? "answering" : "nothing answers");
}

void MorvaModule::OnOpenHelp() {
  std::string error;
  system_.ShellOpen(GetWorkingDir() + "\\help\\english\\gui\\NTService.htm", "",
                    "", ShellPrompts::kOwnedByWindow, &error, nullptr);
}

}  // namespace morvasvc
