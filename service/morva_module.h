#ifndef MORVASVC_MORVA_MODULE_H_
#define MORVASVC_MORVA_MODULE_H_

#include <cstdint>
#include <string>

#include "activity_log.h"
#include "engine_launch.h"
#include "engine_link.h"
#include "java_runtime.h"
#include "module_system.h"
#include "permission_check.h"
#include "settings.h"
#include "settings_store.h"
#include "start_up.h"
#include "supervision.h"

namespace morvasvc {

// The module state that the window's fields show, and the parts that act on
// it: the activity log, the settings files, the engine link, the
// supervision and the installers' switches. Each part takes only the roles
// of the system it uses; the module alone holds the whole system and
// applies the parts' results to its state. The main window derives from
// it; the tests drive it with fakes.
class MorvaModule {
 public:
  MorvaModule(ModuleSystem& system, ServiceControl& control);
  virtual ~MorvaModule() = default;

  // Activity log: never fails towards the caller.
  void LogActivity(const std::string& message) { log_.Log(message); }

  // Install folder.
  void FindInstallDir();
  std::string GetWorkingDir();

  // Settings files.
  void ReadEngineSettings();
  void LoadModuleSettings();
  // Writes the module state; false when the file could not be written
  // (statusText says so).
  bool SaveModuleSettings();

  // Engine control protocol: one probe, and the shutdown command.
  bool IsEngineRunning() { return engine_.IsRunning(enginePort, &statusText); }
  bool RequestEngineShutdown() {
    return engine_.RequestShutdown(enginePort, &statusText);
  }

  // Service naming and the installers' command-line mode.
  // The one place that names the service: the window's field, and both
  // names of the service control.
  void NameService(const std::string& name);
  void DeriveServiceName();
  // The service this program is installed as, in the status line.
  void ShowInstallState();
  void HandleCommandLine();
  // Install folder, settings, service name, then the command-line mode,
  // which ends the process when a switch is given.
  void RunStartUpSequence();
  // A start-up failure (no sockets) that nobody would see in a box when a
  // switch or the Service Control Manager started the program: it goes to
  // the log and the process ends with 1. false when a user should see it.
  bool EndQuietlyOnStartUpFailure(const std::string& reason);

  // The window's line on the service and the engine port, refreshed while
  // it is open: the manager's state of this program's service and whether
  // anything accepts on the port.
  std::string ServiceStateLine();

  // A person closes the window: a log that another program holds gets the
  // few seconds a stop gives it, and a box says what it still could not
  // take (the window has no event log).
  void OnWindowClosing();

  // The window's buttons.
  void OnInstallService();
  void OnRemoveService();
  void OnSaveSettings();
  void OnOpenHelp();

  // The service's lifecycle: the service control's events and the tick.
  void OnServiceStart(const std::string& startedAs);
  void OnServiceStop();
  // The parameter-change control: the running service takes the period and
  // the Java path from its settings file again; the engine runs on, and its
  // port and data folder stay as the start read them.
  void OnServiceParamChange();
  void SuperviseEngine() {
    supervision_.Tick(Target());
    UpdateLaunchWatch();
  }
  // The window's retry of log entries kept back; true once none is left.
  bool RetryHeldLogEntries() { return log_.RetryHeld(); }

  // The parts, for the window and the tests to look into.
  ActivityLog& activityLog() { return log_; }
  const SettingsStore& settingsStore() const { return settings_; }
  const Supervision& supervision() const { return supervision_; }

  // The module state: what the window's fields show. serviceName is also
  // the field the operator types a name into; the install takes it.
  std::string serviceName = kDefaultServiceName;
  std::string javaExe = kDefaultJavaExe;
  int32_t period = kDefaultPeriod;
  uint32_t enginePort = kDefaultEnginePort;
  std::string statusText;
  std::string noticeText = "Service Cannot be set to interact with desktop";
  std::string installDir;

 protected:
  // The supervision timer lives on the window; id 1, one at a time.
  virtual void SetSupervisionTimer(uint32_t intervalMs) { (void)intervalMs; }
  virtual void KillSupervisionTimer() {}
  // While the runtime launched last has not answered, it is checked once a
  // minute whatever the period (its timer calls SuperviseEngine): the
  // period never decides whether a busy engine is taken for a stuck one.
  virtual void SetLaunchWatchTimer(bool on) { (void)on; }
  // A short timer of its own while log entries are kept back; killed at the
  // end of the stop, when nothing may write any more.
  virtual void SetLogRetryTimer() {}
  virtual void KillLogRetryTimer() {}
  // The window: a message box, and the exchange with its fields.
  virtual void ShowMessage(const std::string& text) { (void)text; }
  virtual bool TakeFields() { return true; }
  virtual void FillFields() {}

  ModuleSystem& system_;
  ServiceControl& control_;

 private:
  // The period and Java path shown and used; the Java runtime they lead to
  // is resolved again with them.
  void TakeShown(const ModuleSettings& shown);
  // A Java path taken while the service runs is said and checked before
  // any launch of it: it is what runs as LocalSystem next.
  void CheckNewJava();
  // A period the window would refuse, from a damaged or hand-made file.
  void WarnOfPeriod();
  void UpdateLaunchWatch();
  bool launchWatch_ = false;
  EngineTarget Target() {
    return {enginePort, java_, installDir, javaExe, statusText};
  }
  // Warns of every file or folder that others than administrators can
  // change; true when there was any. Only where a person waits may it ask
  // a domain controller.
  bool CheckPermissions(
      AccountLookups lookups = AccountLookups::kAnyServer) {
    return permissions_.Run(installDir, java_, lookups);
  }

  ActivityLog log_;
  SettingsStore settings_;
  // The one Java runtime the launch, the checks and the report take.
  JavaRuntime java_;
  JavaReport javaReport_;
  EngineLink engine_;
  EngineLaunch launch_;
  Supervision supervision_;
  InstallerSwitches switches_;
  PermissionCheck permissions_;
};

}  // namespace morvasvc

#endif
