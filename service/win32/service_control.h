#ifndef MORVASVC_WIN32_SERVICE_CONTROL_H_
#define MORVASVC_WIN32_SERVICE_CONTROL_H_

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "module_system.h"

namespace morvasvc {

// The window class of the hidden service control that dialog templates name.
extern const char kServiceControlClass[];
// Registers it; a dialog that names it cannot be created before this.
bool RegisterServiceControlClass(HINSTANCE instance);

// Dispatch ids of the control's events.
enum ServiceControlEvent { kStartEvent = 1, kStopEvent = 2 };

// The window's wrapper of the service control: it registers and removes the
// service with the Service Control Manager under the names it was given.
// When the Service Control Manager runs the program, the control fires Start
// and Stop to its dialog on the dialog's thread.
class CService_mill : public ServiceControl {
 public:
  void Attach(HWND control) { control_ = control; }
  HWND Control() const { return control_; }

  void SetServiceName(const std::string& name) override;
  void SetDisplayName(const std::string& name) override;
  bool IsInstalled() override;
  bool Install(std::string* error) override;
  bool Uninstall(std::string* error) override;

 private:
  // Stops a running service and waits for it; false with the reason.
  static bool StopAndWait(SC_HANDLE service, std::string* error);

  HWND control_ = NULL;
  std::string serviceName_;
  std::string displayName_;
};

extern const char kServiceDescription[];

}  // namespace morvasvc

#endif
