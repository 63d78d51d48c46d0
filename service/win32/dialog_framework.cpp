#include "dialog_framework.h"

#include <climits>
#include <cstdint>
#include <vector>

#include "field_number.h"

namespace morvasvc {

namespace {
CWinApp* currentApp = nullptr;
// The innermost modal dialog open; each DoModal puts back the one before.
HWND activeDialog = NULL;

std::string ProgramBaseName() {
  char path[MAX_PATH] = "";
  const DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
  std::string name(path, length < MAX_PATH ? length : 0);
  name = name.substr(name.find_last_of("\\/") + 1);
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}
}  // namespace

CWinApp::CWinApp() : appName_(ProgramBaseName()) { currentApp = this; }
CWinApp::~CWinApp() { currentApp = nullptr; }
CWinApp* CWinApp::Current() { return currentApp; }

HWND AfxGetMainWnd() {
  return currentApp ? currentApp->mainWindow : NULL;
}

void AfxMessageBox(const std::string& text) {
  // A box whose owner is gone is never shown; the window the user works in
  // is always there.
  HWND owner = activeDialog;
  if (!owner || !IsWindow(owner)) owner = AfxGetMainWnd();
  MessageBoxA(owner, text.c_str(),
              currentApp ? currentApp->AppName().c_str() : "", MB_OK);
}

namespace {

std::string ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  const int length = GetWindowTextLengthA(control);
  std::vector<char> buffer(length + 1, '\0');
  GetWindowTextA(control, buffer.data(), length + 1);
  return std::string(buffer.data());
}

// A refused field: its message, then the focus on it with its text selected.
void Refuse(CDataExchange* dx, int id, const char* message) {
  AfxMessageBox(message);
  HWND control = GetDlgItem(dx->dialog, id);
  SetFocus(control);
  SendMessageA(control, EM_SETSEL, 0, -1);
  dx->failed = true;
}

}  // namespace

void DDX_Text(CDataExchange* dx, int id, std::string& value) {
  if (dx->failed) return;
  if (dx->saveAndValidate) {
    value = ControlText(dx->dialog, id);
  } else {
    SetDlgItemTextA(dx->dialog, id, value.c_str());
  }
}

namespace {

// Writes a number to its field, or takes it back: true only when a number
// was taken, false when filling the field or when the text was refused.
bool ExchangeNumber(CDataExchange* dx, int id, const std::string& shown,
                    const char* refusal, int64_t* number) {
  if (dx->failed) return false;
  if (!dx->saveAndValidate) {
    SetDlgItemTextA(dx->dialog, id, shown.c_str());
    return false;
  }
  if (!ParseFieldNumber(ControlText(dx->dialog, id), number)) {
    Refuse(dx, id, refusal);
    return false;
  }
  return true;
}

}  // namespace

void DDX_Text(CDataExchange* dx, int id, int32_t& value) {
  int64_t number = 0;
  if (!ExchangeNumber(dx, id, std::to_string(value), "Please enter an integer.",
                      &number)) {
    return;
  }
  // Beyond 32 bits a number saturates, as the C library reads it.
  if (number > INT32_MAX) number = INT32_MAX;
  if (number < INT32_MIN) number = INT32_MIN;
  value = static_cast<int32_t>(number);
}

void DDX_Text(CDataExchange* dx, int id, uint32_t& value) {
  int64_t number = 0;
  if (!ExchangeNumber(dx, id, std::to_string(value),
                      "Please enter a positive integer.", &number)) {
    return;
  }
  if (number > UINT32_MAX) number = UINT32_MAX;
  if (number < -int64_t{UINT32_MAX}) number = -int64_t{UINT32_MAX};
  // A minus sign wraps, as an unsigned read of "-1" gives 4294967295.
  value = static_cast<uint32_t>(number);
}

CDialog::CDialog(UINT templateId) : templateId_(templateId) {}
CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
  // Modal to the window the user works in: it takes no input meanwhile.
  owner_ = activeDialog;
  const INT_PTR result = DialogBoxParamA(
      GetModuleHandleA(NULL), MAKEINTRESOURCEA(templateId_), owner_,
      DialogProc, reinterpret_cast<LPARAM>(this));
  activeDialog = owner_;
  CWinApp* app = CWinApp::Current();
  if (app && app->mainWindow == hwnd_) app->mainWindow = NULL;
  hwnd_ = NULL;
  return result;
}

namespace {

// A dialog over the window it belongs to sits centred on it.
void CentreOver(HWND dialog, HWND owner) {
  RECT outer, inner;
  if (!GetWindowRect(owner, &outer) || !GetWindowRect(dialog, &inner)) return;
  const int width = inner.right - inner.left;
  const int height = inner.bottom - inner.top;
  SetWindowPos(dialog, NULL, (outer.left + outer.right - width) / 2,
               (outer.top + outer.bottom - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

bool CDialog::UpdateData(bool saveAndValidate) {
  CDataExchange dx(hwnd_, saveAndValidate);
  DoDataExchange(&dx);
  return !dx.failed;
}

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }

BOOL CDialog::OnInitDialog() {
  UpdateData(false);
  return TRUE;
}

void CDialog::OnOK() {
  if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                     LPARAM lParam) {
  CDialog* dialog;
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    dialog->hwnd_ = hwnd;
    activeDialog = hwnd;
    // Only the first window is the main one; a box over it is not.
    CWinApp* app = CWinApp::Current();
    if (app && !app->mainWindow) app->mainWindow = hwnd;
    if (dialog->owner_) CentreOver(hwnd, dialog->owner_);
    return dialog->OnInitDialog();
  }
  dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  if (!dialog) return FALSE;
  struct Handling {
    CDialog* dialog;
    explicit Handling(CDialog* d) : dialog(d) { dialog->OnHandling(true); }
    ~Handling() { dialog->OnHandling(false); }
  } handling(dialog);

  INT_PTR result = FALSE;
  if (dialog->OnMessage(message, wParam, lParam, &result)) return result;
  switch (message) {
    case WM_HELP:
      // F1: the framework's help command, as the Help button would.
      dialog->OnCommand(ID_HELP);
      return TRUE;
    case WM_COMMAND:
      // Clicks, and Enter and Esc, which arrive as clicks of OK and Cancel.
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      if (LOWORD(wParam) == IDOK) {
        dialog->OnOK();
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        dialog->OnCancel();
        return TRUE;
      }
      return dialog->OnCommand(LOWORD(wParam)) ? TRUE : FALSE;
    case WM_CONTROL_EVENT:
      return dialog->OnControlEvent(static_cast<UINT>(wParam),
                                    *reinterpret_cast<ControlEvent*>(lParam))
                 ? TRUE
                 : FALSE;
    default:
      return FALSE;
  }
}

}  // namespace morvasvc
