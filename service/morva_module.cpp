#include "morva_module.h"

namespace morvasvc {

MorvaModule::MorvaModule(ModuleSystem& system, ServiceControl& control)
    : system_(system),
      control_(control),
      log_(system, system, system, system),
      settings_(system, system, system, log_),
      javaReport_(log_),
      engine_(system, system, system, log_),
      launch_(system, system, system, system, log_, javaReport_),
      supervision_(system, log_, engine_, launch_),
      switches_(system, control, log_),
      permissions_(system, system, log_) {
  log_.OnHeld([this] { SetLogRetryTimer(); });
}

void MorvaModule::FindInstallDir() {
  installDir = morvasvc::FindInstallDir(system_, system_, log_);
  log_.SetInstallDir(installDir);
}

std::string MorvaModule::GetWorkingDir() {
  std::string dir;
  if (system_.GetCurrentDir(&dir)) return dir;
  statusText = "Failed to determine current directory";
  LogActivity(statusText);
  return std::string();
}

void MorvaModule::ReadEngineSettings() {
  const SettingsStore::EngineSettings engine =
      settings_.ReadEngineSettings(GetWorkingDir());
  log_.SetPath(engine.activityLogPath);
  settings_.ReportEngineSettings(engine);
  enginePort = engine.port;
}

void MorvaModule::TakeShown(const ModuleSettings& shown) {
  period = shown.period;
  javaExe = shown.javaExe;
  java_ = ResolveJava(javaExe, installDir, system_, system_);
}

void MorvaModule::LoadModuleSettings() {
  TakeShown(settings_.Load(&statusText));
}

bool MorvaModule::SaveModuleSettings() {
  return settings_.Write(settings_.WithHidden(period, javaExe), &statusText);
}

void MorvaModule::NameService(const std::string& name) {
  serviceName = name;
  control_.SetServiceName(name);
  control_.SetDisplayName(name);
}

void MorvaModule::DeriveServiceName() {
  NameService(ServiceNameForFolder(system_.LowerCase(installDir)));
}

void MorvaModule::HandleCommandLine() {
  switches_.Handle(serviceName,
                   [this](const std::string& name) { NameService(name); });
}

void MorvaModule::RunStartUpSequence() {
  FindInstallDir();
  ReadEngineSettings();
  LoadModuleSettings();
  DeriveServiceName();
  // Run as the service, the manager names it at the start: no other
  // service's program is read, and no state is shown.
  const bool asService = system_.StartedByServiceManager();
  if (!asService) ShowInstallState();
  // The window would otherwise show defaults as if they were the file's.
  const std::string problem = settings_.ShownProblem();
  if (!problem.empty()) statusText = problem;
  // The install switch ends the process once it is done.
  const CommandLineAction action =
      DetectCommandLineAction(system_.CommandLine());
  if (action == CommandLineAction::kInstall) CheckPermissions();
  HandleCommandLine();
  // Run as the service, the start checks and reports; here the user sees it.
  if (action == CommandLineAction::kNone && !asService &&
      !system_.NobodySeesWindows() && CheckPermissions()) {
    statusText += std::string(statusText.empty() ? "" : "  ") +
                  "WARNING: The install folder is open to users other than "
                  "administrators; the activity log says more: " +
                  log_.Path();
  }
}

void MorvaModule::ShowInstallState() {
  // Installed under a name of its own (typed in the window), the service is
  // still this program's: the window and the switches act on that one.
  std::string registered;
  const bool ours = control_.FindServiceOfThisProgram(&registered);
  if (ours) NameService(registered);
  if (!control_.IsInstalled()) {
    statusText = "Service is not installed.  Click on [Install Service]";
  } else if (!ours) {
    // Another folder's program has the name this folder gives: Install
    // would refuse, Remove would leave it.
    statusText = "Service " + serviceName +
                 " is installed for another program: " +
                 control_.RegisteredProgram() +
                 ".  Type another Service Name, Save Settings, then click "
                 "on [Install Service]";
  }
}

bool MorvaModule::EndQuietlyOnStartUpFailure(const std::string& reason) {
  if (!switches_.NobodyToSeeABox()) return false;
  FindInstallDir();
  ReadEngineSettings();
  LogActivity("NT Service Module: ERROR: " + reason);
  log_.FlushBeforeEnd(serviceName);
  system_.EndProcess(1);
  return true;
}

// The manager names the service it starts: its events go under that name,
// the one its event source was registered with.
void MorvaModule::OnServiceStart(const std::string& startedAs) {
  if (!startedAs.empty()) NameService(startedAs);
  FindInstallDir();
  // Only the service reports to the event log: there is nobody else to see.
  log_.ReportEventsAs(serviceName);
  ReadEngineSettings();
  LogActivity("NT Service Module: Starting NT Service");
  LogActivity("NT Service Module: Service Working Directory = " +
              GetWorkingDir());
  LoadModuleSettings();
  LogActivity("NT Service Module: Engine Port = " +
              std::to_string(static_cast<int32_t>(enginePort)));
  if (!IsValidEnginePort(enginePort)) {
    log_.LogError("NT Service Module: ERROR: Engine port " +
                  std::to_string(static_cast<int32_t>(enginePort)) +
                  " is not between 1 and 65535; the engine cannot be "
                  "reached on it");
  }
  WarnOfPeriod();
  javaReport_.Say(java_);
  // Before the first launch: what it would start may not be the operator's.
  // A controller that does not answer must not hold up the start.
  CheckPermissions(AccountLookups::kThisMachine);
  launch_.TakeUp(serviceName);
  supervision_.Start(Target());
  SetSupervisionTimer(SupervisionIntervalMs(period));
  UpdateLaunchWatch();
  LogActivity(
      "NT Service Module: NT Service Started. Service Working Directory = " +
      GetWorkingDir());
  statusText = "ERROR: Service should not be set to Interact with Desktop";
}

void MorvaModule::OnServiceParamChange() {
  // A control that came during the stop finds nothing to change.
  if (!supervision_.Running()) return;
  ModuleSettings settings = settings_.WithHidden(period, javaExe);
  settings_.Reread(&settings);
  const uint32_t intervalMs = SupervisionIntervalMs(settings.period);
  // The same period keeps the timer's count: changes in a row lose no tick.
  const bool rearm = intervalMs != SupervisionIntervalMs(period);
  const std::string javaBefore = java_.configured;
  TakeShown(settings);
  if (rearm) SetSupervisionTimer(intervalMs);
  UpdateLaunchWatch();
  LogActivity("NT Service Module: Settings re-read: period = " +
              std::to_string(period) + " minutes, Java path = " + javaExe);
  WarnOfPeriod();
  if (java_.configured != javaBefore) CheckNewJava();
}

void MorvaModule::CheckNewJava() {
  javaReport_.Say(java_);
  CheckPermissions(AccountLookups::kThisMachine);
}

void MorvaModule::UpdateLaunchWatch() {
  const bool on = supervision_.Running() && launch_.WaitsForAnswer() &&
                  SupervisionIntervalMs(period) > kSecondProbeMs;
  if (on == launchWatch_) return;
  launchWatch_ = on;
  SetLaunchWatchTimer(on);
}

void MorvaModule::WarnOfPeriod() {
  if (period >= kLowestPeriod && period <= kHighestPeriod) return;
  LogActivity("NT Service Module: WARNING: Period " + std::to_string(period) +
              " minutes is outside the window's range of " +
              std::to_string(kLowestPeriod) + " to " +
              std::to_string(kHighestPeriod) +
              "; the engine is checked as often as the timer allows");
}

void MorvaModule::OnServiceStop() {
  KillSupervisionTimer();
  supervision_.Stop(Target());
  UpdateLaunchWatch();
  log_.FlushBeforeEnd(serviceName);
  // A late write would follow the stopped service and belie the flush's
  // event.
  KillLogRetryTimer();
}

}  // namespace morvasvc
