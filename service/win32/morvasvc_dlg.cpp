#include "morvasvc_dlg.h"

#include "resource.h"

namespace morvasvc {

namespace {

const UINT_PTR kSupervisionTimerId = 1;
// While the activity log keeps entries back, retried this often.
const UINT_PTR kLogRetryTimerId = 2;
const UINT kLogRetryMs = 1000;
// The service's state and the engine port, looked at this often while a
// person has the window open.
const UINT_PTR kStateTimerId = 3;
const UINT kStateRefreshMs = 10000;
// The launched runtime's own check while it has not answered.
const UINT_PTR kLaunchWatchTimerId = 4;

// The buttons and their handlers.
const CommandEntry<CMorvaService7Dlg> kCommandTable[] = {
    {IDC_INSTALL_SERVICE, &CMorvaService7Dlg::OnInstallService},
    {IDC_REMOVE_SERVICE, &CMorvaService7Dlg::OnRemoveServiceCommand},
    {IDC_SAVE_SETTINGS, &CMorvaService7Dlg::OnSaveSettings},
    {IDC_HELP_BUTTON, &CMorvaService7Dlg::OnOpenHelp},
    // F1 and the framework's help command open the same page.
    {ID_HELP, &CMorvaService7Dlg::OnOpenHelp},
};

// The service control's events and their handlers.
const EventEntry<CMorvaService7Dlg> kEventTable[] = {
    {IDC_SERVICE_CONTROL, kStartEvent,
     &CMorvaService7Dlg::OnServiceStartEvent, nullptr},
    {IDC_SERVICE_CONTROL, kStopEvent, nullptr,
     &CMorvaService7Dlg::OnServiceStopEvent},
    {IDC_SERVICE_CONTROL, kRereadSettingsEvent, nullptr,
     &CMorvaService7Dlg::OnRereadSettingsEvent},
};

}  // namespace

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

CMorvaService7Dlg::CMorvaService7Dlg(Win32ModuleSystem& system)
    : CDialog(IDD_MORVASERVICE7_DIALOG),
      MorvaModule(system, serviceControl_),
      icon_(LoadIconA(GetModuleHandleA(NULL),
                      MAKEINTRESOURCEA(IDR_MAINFRAME))),
      win32System_(system) {
  serviceControl_.SetStopWait([this](DWORD ms) { WaitAnswering(ms); });
}

BOOL CMorvaService7Dlg::OnInitDialog() {
  CDialog::OnInitDialog();

  char about[64] = "";
  LoadStringA(GetModuleHandleA(NULL), IDS_ABOUTBOX, about, sizeof about);
  HMENU systemMenu = GetSystemMenu(hwnd_, FALSE);
  if (systemMenu && about[0]) {
    AppendMenuA(systemMenu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
  }
  SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  win32System_.SetShellOwner(hwnd_);
  RunStartUpSequence();
  noticeText = "Use Service Control Manager to Start/Stop Service";
  UpdateData(false);
  LogActivity(
      "NT Service Module: module window opened. Please close module before "
      "starting NT Service");
  if (!win32System_.NobodySeesWindows()) {
    RefreshServiceState();
    SetTimer(hwnd_, kStateTimerId, kStateRefreshMs, NULL);
  }
  return TRUE;
}

void CMorvaService7Dlg::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_SERVICE_NAME, serviceName);
  DDX_Text(dx, IDC_JAVA_EXE, javaExe);
  DDX_Text(dx, IDC_PERIOD, period);
  DDX_Text(dx, IDC_ENGINE_PORT, enginePort);
  DDX_Text(dx, IDC_STATUS_TEXT, statusText);
  DDX_Text(dx, IDC_NOTICE_TEXT, noticeText);
}

bool CMorvaService7Dlg::OnMessage(UINT message, WPARAM wParam, LPARAM,
                                  INT_PTR* result) {
  // While the remove waits, no command, close or menu action starts another.
  if (waitingForStop_ && (message == WM_COMMAND || message == WM_SYSCOMMAND ||
                          message == WM_CLOSE || message == WM_HELP)) {
    *result = TRUE;
    return true;
  }
  switch (message) {
    case WM_TIMER:
      if (wParam == kSupervisionTimerId || wParam == kLaunchWatchTimerId) {
        MarkSupervisionTick();
        SuperviseEngine();
      } else if (wParam == kLogRetryTimerId && RetryHeldLogEntries()) {
        KillTimer(hwnd_, kLogRetryTimerId);
      } else if (wParam == kStateTimerId && GetActiveWindow() == hwnd_) {
        // A window in the background sends nothing to the engine's port.
        RefreshServiceState();
      }
      return false;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && stateShownAt_ &&
          GetTickCount64() - stateShownAt_ >= kStateRefreshMs) {
        RefreshServiceState();
      }
      return false;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
        *result = TRUE;
        return true;
      }
      return false;
    case WM_PAINT:
      if (!IsIconic(hwnd_)) return false;
      {
        // Minimised: the icon, centred in the client area.
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd_, &paint);
        SendMessageA(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT client;
        GetClientRect(hwnd_, &client);
        const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
        DrawIcon(dc, x, y, icon_);
        EndPaint(hwnd_, &paint);
      }
      *result = TRUE;
      return true;
    case WM_QUERYDRAGICON:
      *result = reinterpret_cast<INT_PTR>(icon_);
      return true;
    default:
      return false;
  }
}

bool CMorvaService7Dlg::OnControlEvent(UINT controlId,
                                       const ControlEvent& event) {
  return DispatchEvent(this, kEventTable, controlId, event);
}

bool CMorvaService7Dlg::OnCommand(UINT id) {
  return DispatchCommand(this, kCommandTable, id);
}

void CMorvaService7Dlg::OnOK() {
  if (!UpdateData(true)) return;
  OnWindowClosing();
  EndDialog(IDOK);
}

void CMorvaService7Dlg::OnCancel() {
  OnWindowClosing();
  EndDialog(IDCANCEL);
}

void CMorvaService7Dlg::OnRemoveServiceCommand() {
  OnRemoveService();
  if (waitingForStop_) {
    waitingForStop_ = false;
    EnableWindow(hwnd_, TRUE);
    SetForegroundWindow(hwnd_);
    // Disabling the window took the focus away; the user goes on where it was.
    if (focusBeforeWait_ && IsWindow(focusBeforeWait_)) {
      SetFocus(focusBeforeWait_);
    }
  }
}

// Handles the window's messages for about milliseconds instead of sleeping.
void CMorvaService7Dlg::WaitAnswering(DWORD milliseconds) {
  if (!waitingForStop_) {
    waitingForStop_ = true;
    focusBeforeWait_ = GetFocus();
    EnableWindow(hwnd_, FALSE);
    SetDlgItemTextA(hwnd_, IDC_STATUS_TEXT,
                    "Stopping the service before it is removed...");
  }
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
    MsgWaitForMultipleObjects(0, NULL, FALSE, static_cast<DWORD>(end - now),
                              QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
      // The program's end is the dialog loop's to handle, once we are done;
      // until then the wait sleeps rather than find it again at once.
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        Sleep(static_cast<DWORD>(end - now));
        return;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

// Only this line: the fields may hold what the operator is typing. Only a
// window a user started asks: the service's own would ask the manager about
// itself while the manager starts it.
void CMorvaService7Dlg::RefreshServiceState() {
  // The start-up has waited for the dispatcher's answer already; one still
  // undecided (Wine's dispatcher takes long to refuse a user's program) is
  // not the manager's, which calls the service at once.
  if (StartedByManagerSoFar()) return;
  SetDlgItemTextA(hwnd_, IDC_SERVICE_STATE, ServiceStateLine().c_str());
  stateShownAt_ = GetTickCount64();
}

void CMorvaService7Dlg::OnServiceStartEvent(const std::string& argument) {
  // Run as the service, the window is nobody's to look at.
  KillTimer(hwnd_, kStateTimerId);
  OnServiceStart(argument);
}

void CMorvaService7Dlg::ShowMessage(const std::string& text) {
  AfxMessageBox(text);
}

bool CMorvaService7Dlg::TakeFields() { return UpdateData(true); }

void CMorvaService7Dlg::FillFields() { UpdateData(false); }

void CMorvaService7Dlg::SetSupervisionTimer(uint32_t intervalMs) {
  SetTimer(hwnd_, kSupervisionTimerId, intervalMs, NULL);
}

void CMorvaService7Dlg::SetLogRetryTimer() {
  if (hwnd_) SetTimer(hwnd_, kLogRetryTimerId, kLogRetryMs, NULL);
}

void CMorvaService7Dlg::KillLogRetryTimer() {
  KillTimer(hwnd_, kLogRetryTimerId);
}

void CMorvaService7Dlg::SetLaunchWatchTimer(bool on) {
  if (on) {
    SetTimer(hwnd_, kLaunchWatchTimerId, static_cast<UINT>(kSecondProbeMs),
             NULL);
  } else {
    KillTimer(hwnd_, kLaunchWatchTimerId);
  }
}

void CMorvaService7Dlg::KillSupervisionTimer() {
  KillTimer(hwnd_, kSupervisionTimerId);
}

}  // namespace morvasvc
