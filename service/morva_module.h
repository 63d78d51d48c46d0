#ifndef MORVASVC_MORVA_MODULE_H_
#define MORVASVC_MORVA_MODULE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "module_system.h"
#include "settings.h"

namespace morvasvc {

// One time-stamped entry appended to the activity log at path; an empty
// path, or a log that stays held, drops it.
void AppendActivityEntry(ModuleSystem& system, const std::string& path,
                         const std::string& message);

// The module state and every operation on it that does not need the window.
// The main window derives from it; the tests drive it with fakes.
class MorvaModule {
 public:
  MorvaModule(ModuleSystem& system, ServiceControl& control);
  virtual ~MorvaModule() = default;

  // Activity log: never fails towards the caller.
  void LogActivity(const std::string& message);

  // Install folder and engine launcher.
  void FindInstallDir();
  std::string GetWorkingDir();
  void LaunchEngine();

  // Settings files.
  void ReadEngineSettings();
  void LoadModuleSettings();
  // Writes the module state; false when the file could not be written
  // (statusText says so).
  bool SaveModuleSettings();

  // Engine control protocol.
  bool IsEngineRunning();
  bool RequestEngineShutdown();

  // Service naming and the installers' command-line mode.
  void DeriveServiceName();
  void HandleCommandLine();
  // Install folder, settings, service name, then the command-line mode,
  // which ends the process when a switch is given.
  void RunStartUpSequence();
  // A start-up failure (no sockets) that nobody would see in a box when a
  // switch or the Service Control Manager started the program: it goes to
  // the log and the process ends with 1. false when a user should see it.
  bool EndQuietlyOnStartUpFailure(const std::string& reason);

  // The window's buttons.
  void OnInstallService();
  void OnRemoveService();
  void OnSaveSettings();
  void OnOpenHelp();

  // The service's lifecycle: the service control's events and the tick.
  void OnServiceStart(const std::string& argument);
  void OnServiceStop();
  void SuperviseEngine();

  // The module state.
  std::string serviceName = "Morva7";
  std::string javaExe = kDefaultJavaExe;
  int32_t period = kDefaultPeriod;
  uint32_t enginePort = 1967;
  std::string statusText;
  std::string noticeText = "Service Cannot be set to interact with desktop";
  std::string installDir;
  std::string reserved1, reserved2, reserved3, reserved4, reserved5;
  int64_t lastLaunchTime = 0;  // the last launch, in TickMs()
  std::string activityLogPath;

 protected:
  // The supervision timer lives on the window; id 1, one at a time.
  virtual void SetSupervisionTimer(uint32_t intervalMs) { (void)intervalMs; }
  virtual void KillSupervisionTimer() {}
  // The window: a message box, and the exchange with its fields.
  virtual void ShowMessage(const std::string& text) { (void)text; }
  virtual bool TakeFields() { return true; }
  virtual void FillFields() {}

  ModuleSystem& system_;
  ServiceControl& control_;

 private:
  enum class SettingsRead { kWhole, kMissing, kHeld, kDamaged, kUnreadable };
  // ntServiceSettings.jsd under the busy retry; what cannot be read whole
  // keeps its default in settings.
  SettingsRead ReadModuleSettingsFile(ModuleSettings* settings);
  ModuleSettings CurrentModuleSettings() const;
  bool WriteModuleSettings(const ModuleSettings& settings);
  void TakeModuleSettings(const ModuleSettings& settings);
  // Why the file's values are not the ones shown or saved; empty when they
  // are.
  static std::string SettingsProblem(SettingsRead read);

  void WaitForEngineToLetGo();
  void UpdateEventSource(bool add);
  // Run as the service, what an administrator must see also goes to the
  // Application event log, with the install folder; elsewhere nothing does.
  void ReportServiceEvent(EventType type, const std::string& message);
  // Logs the message and reports it as an error event.
  void LogError(const std::string& message);
  // Connects to the engine port; a socket problem is reported here.
  ConnectResult ConnectToEngine(std::unique_ptr<EngineConnection>* connection);
  // How the last load went, and the values the window was given then: a
  // save keeps from the file what the operator did not change.
  SettingsRead moduleSettingsRead_ = SettingsRead::kWhole;
  int32_t shownPeriod_ = kDefaultPeriod;
  std::string shownJavaExe_ = kDefaultJavaExe;
  // Set by the stop: the process lives on for a moment, and a tick then
  // would launch an engine that no service supervises.
  bool serviceStopped_ = false;
  bool reportsEvents_ = false;
  bool inServiceStart_ = false;
  // An engine that stays down is reported at most once in ten minutes.
  uint32_t relaunchesUnreported_ = 0;
  std::optional<uint64_t> lastRelaunchReportMs_;
};

}  // namespace morvasvc

#endif
