#ifndef MORVASVC_MORVA_MODULE_H_
#define MORVASVC_MORVA_MODULE_H_

#include <cstdint>
#include <string>

#include "module_system.h"
#include "settings.h"

namespace morvasvc {

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
  std::string ReadSetting(const std::string& path, const std::string& key,
                          const std::string& defaultValue);
  void ReadEngineSettings();
  void LoadModuleSettings();
  // false when the file could not be written (statusText says so).
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
  void WaitForEngineToLetGo();
  // Connects to the engine port; a socket problem is reported here.
  ConnectResult ConnectToEngine(std::unique_ptr<EngineConnection>* connection);
};

}  // namespace morvasvc

#endif
