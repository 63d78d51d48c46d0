#include "dialog_framework.h"

#include <climits>
#include <cstdint>
#include <vector>

#include "module_texts.h"

namespace morvasvc {

namespace {
CWinApp* currentApp = nullptr;
}

CWinApp::CWinApp(const char* appName) : appName_(appName) {
  currentApp = this;
}
CWinApp::~CWinApp() { currentApp = nullptr; }
CWinApp* CWinApp::Current() { return currentApp; }

void AfxMessageBox(const std::string& text) {
  CWinApp* app = CWinApp::Current();
  MessageBoxA(app ? app->mainWindow : NULL, text.c_str(),
              app ? app->AppName() : "", MB_OK);
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

// Writes a number to its field, or takes it back; false when refused.
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
  CWinApp* app = CWinApp::Current();
  return DialogBoxParamA(app ? app->Instance() : GetModuleHandleA(NULL),
                         MAKEINTRESOURCEA(templateId_), NULL, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

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
    if (CWinApp::Current()) CWinApp::Current()->mainWindow = hwnd;
    return dialog->OnInitDialog();
  }
  dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  if (!dialog) return FALSE;

  INT_PTR result = FALSE;
  if (dialog->OnMessage(message, wParam, lParam, &result)) return result;
  switch (message) {
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
