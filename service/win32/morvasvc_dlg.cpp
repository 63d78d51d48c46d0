#include "morvasvc_dlg.h"

#include "resource.h"

namespace morvasvc {

namespace {

const UINT_PTR kSupervisionTimerId = 1;

// The buttons and their handlers.
const CommandEntry<CMorvaService7Dlg> kCommandTable[] = {
    {IDC_INSTALL_SERVICE, &CMorvaService7Dlg::OnInstallService},
    {IDC_REMOVE_SERVICE, &CMorvaService7Dlg::OnRemoveService},
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
};

}  // namespace

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

CMorvaService7Dlg::CMorvaService7Dlg(ModuleSystem& system)
    : CDialog(IDD_MORVASERVICE7_DIALOG),
      MorvaModule(system, serviceControl_),
      icon_(LoadIconA(GetModuleHandleA(NULL),
                      MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

BOOL CMorvaService7Dlg::OnInitDialog() {
  serviceControl_.Attach(GetDlgItem(hwnd_, IDC_SERVICE_CONTROL));
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

  RunStartUpSequence();
  noticeText = "Use Service Control Manager to Start/Stop Service";
  UpdateData(false);
  LogActivity(
      "NT Service Module: module window opened. Please close module before "
      "starting NT Service");
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
  switch (message) {
    case WM_TIMER:
      if (wParam == kSupervisionTimerId) SuperviseEngine();
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

void CMorvaService7Dlg::ShowMessage(const std::string& text) {
  AfxMessageBox(text);
}

bool CMorvaService7Dlg::TakeFields() { return UpdateData(true); }

void CMorvaService7Dlg::FillFields() { UpdateData(false); }

void CMorvaService7Dlg::SetSupervisionTimer(uint32_t intervalMs) {
  SetTimer(hwnd_, kSupervisionTimerId, intervalMs, NULL);
}

void CMorvaService7Dlg::KillSupervisionTimer() {
  KillTimer(hwnd_, kSupervisionTimerId);
}

}  // namespace morvasvc
