#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "dialog_framework.h"
#include "start_up.h"
#include "morvasvc_dlg.h"
#include "resource.h"
#include "service_control.h"
#include "service_dispatcher.h"
#include "win32_module_system.h"

namespace morvasvc {

class CMorvasvcApp : public CWinApp {
 public:
  CMorvasvcApp() = default;

  bool StartApplication() override {
    INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);

    WSADATA sockets;
    if (WSAStartup(MAKEWORD(1, 1), &sockets) != 0 ||
        sockets.wVersion != MAKEWORD(1, 1)) {
      char text[128] = "";
      LoadStringA(Instance(), IDP_SOCKETS_INIT_FAILED, text, sizeof text);
      Win32ModuleSystem system(DispatcherServiceThread());
      CService_mill control;
      MorvaModule module(system, control);
      if (!module.EndQuietlyOnStartUpFailure(text)) AfxMessageBox(text);
      return false;
    }

    // Without the control's class the window cannot be created and the
    // program ends before the window's start-up, as it must.
    RegisterServiceControlClass(Instance());

    // The shell asks its callers for this on the thread that opens a file
    // (the help page, the engine), so that what it shows has its owner.
    const HRESULT com =
        CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    Win32ModuleSystem system(DispatcherServiceThread());
    CMorvaService7Dlg dialog(system);
    // The installers' switches need no window: where none can be made (no
    // desktop, no display) they still act, and end the process.
    if (DetectCommandLineAction(system.CommandLine()) !=
        CommandLineAction::kNone) {
      dialog.RunStartUpSequence();
      return false;
    }
    dialog.DoModal();
    if (SUCCEEDED(com)) CoUninitialize();
    return false;
  }
};

}  // namespace morvasvc

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  morvasvc::CMorvasvcApp app;
  app.StartApplication();
  return 0;
}
