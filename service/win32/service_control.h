#ifndef MORVASVC_WIN32_SERVICE_CONTROL_H_
#define MORVASVC_WIN32_SERVICE_CONTROL_H_

#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <string>

#include "module_system.h"

namespace morvasvc {

// The window class of the hidden service control that dialog templates name.
extern const char kServiceControlClass[];
// Registers it; a dialog that names it cannot be created before this.
bool RegisterServiceControlClass(HINSTANCE instance);
// Where an entry goes that the service's own thread writes when the window's
// thread is held up: the activity log, and the event log under the service's
// name with the install folder. The window tells it whenever they may change.
void PublishServiceLog(const std::string& activityLogPath,
                       const std::string& serviceName,
                       const std::string& installDir);

// Dispatch ids of the control's events.
enum ServiceControlEvent { kStartEvent = 1, kStopEvent = 2 };

// The window's wrapper of the service control: it registers and removes the
// service with the Service Control Manager under the names it was given.
// When the Service Control Manager runs the program, the control fires Start
// and Stop to its dialog on the dialog's thread.
class CService_mill : public ServiceControl {
 public:
  // How a remove waits, in steps of the given milliseconds, for a running
  // service to stop: the window keeps answering meanwhile. Sleeps when unset.
  void SetStopWait(std::function<void(DWORD)> wait) {
    stopWait_ = std::move(wait);
  }

  void SetServiceName(const std::string& name) override;
  void SetDisplayName(const std::string& name) override;
  bool IsInstalled() override;
  bool Install(std::string* error, std::string* warning) override;
  bool Uninstall(std::string* error) override;
  bool AddEventSource(std::string* error) override;
  bool RemoveEventSource(std::string* error) override;

 private:
  static void ConfigureShutdownAndRecovery(SC_HANDLE service,
                                           std::string* warning);
  // Stops a running service and waits for it; false with the reason.
  bool StopAndWait(SC_HANDLE service, std::string* error);

  std::function<void(DWORD)> stopWait_;
  std::string serviceName_;
  std::string displayName_;
};

}  // namespace morvasvc

#endif
