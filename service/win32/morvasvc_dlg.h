#ifndef MORVASVC_WIN32_MORVASVC_DLG_H_
#define MORVASVC_WIN32_MORVASVC_DLG_H_

#include "dialog_framework.h"
#include "morva_module.h"
#include "service_control.h"
#include "service_dispatcher.h"
#include "win32_module_system.h"

namespace morvasvc {

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
};

// The main window: it holds the module state, hosts the service control and
// receives the control's events and the supervision timer.
class CMorvaService7Dlg : public CDialog, public MorvaModule {
 public:
  explicit CMorvaService7Dlg(Win32ModuleSystem& system);

  void OnServiceStartEvent(const std::string& argument);
  void OnServiceStopEvent() { OnServiceStop(); }
  void OnRereadSettingsEvent() { OnServiceParamChange(); }
  // Remove Service: while a running service stops, the window keeps
  // painting and answering, shows that it waits, and takes no other action.
  void OnRemoveServiceCommand();

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnHandling(bool begins) override { MarkWindowMessage(begins); }
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam,
                 INT_PTR* result) override;
  bool OnControlEvent(UINT controlId, const ControlEvent& event) override;
  bool OnCommand(UINT id) override;
  void OnOK() override;
  void OnCancel() override;

  void ShowMessage(const std::string& text) override;
  bool TakeFields() override;
  void FillFields() override;

  void SetSupervisionTimer(uint32_t intervalMs) override;
  void KillSupervisionTimer() override;
  void SetLaunchWatchTimer(bool on) override;
  void SetLogRetryTimer() override;
  void KillLogRetryTimer() override;


 private:
  void WaitAnswering(DWORD milliseconds);
  void RefreshServiceState();
  bool waitingForStop_ = false;
  // When the state line last looked, on the steady clock; 0: never.
  ULONGLONG stateShownAt_ = 0;
  HWND focusBeforeWait_ = NULL;

  HICON icon_;
  // The shell's owner window is set once the window exists.
  Win32ModuleSystem& win32System_;
  CService_mill serviceControl_;
};

}  // namespace morvasvc

#endif
