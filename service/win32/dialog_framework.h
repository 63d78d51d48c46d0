#ifndef MORVASVC_WIN32_DIALOG_FRAMEWORK_H_
#define MORVASVC_WIN32_DIALOG_FRAMEWORK_H_

// The small dialog framework the module needs: an application object, a
// modal dialog whose procedure forwards to members, command and event tables
// as plain data, and a data exchange between controls and fields.

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string>

namespace morvasvc {

// The framework's help command, which F1 sends as well.
const UINT ID_HELP = 0xE146;

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  // Returns false when the program should end.
  virtual bool StartApplication() = 0;

  static CWinApp* Current();
  // The running program's file name without its extension: a renamed copy
  // goes by its own name.
  const std::string& AppName() const { return appName_; }
  HINSTANCE Instance() const { return GetModuleHandleA(NULL); }
  // The first window the program shows, for as long as it is open.
  HWND mainWindow = NULL;

 private:
  std::string appName_;
};

// The program's main window, or NULL.
HWND AfxGetMainWnd();

// A modal box with an OK button and the program's name as caption, owned by
// the window the user works in.
void AfxMessageBox(const std::string& text);

// Sent by a hosted control to its dialog: wParam the control id, lParam a
// ControlEvent.
const UINT WM_CONTROL_EVENT = WM_APP + 0x100;
struct ControlEvent {
  int dispatchId;
  const char* argument;
};

class CDataExchange {
 public:
  CDataExchange(HWND dialog, bool saveAndValidate)
      : dialog(dialog), saveAndValidate(saveAndValidate) {}
  HWND dialog;
  bool saveAndValidate;
  bool failed = false;
};

void DDX_Text(CDataExchange* dx, int id, std::string& value);
void DDX_Text(CDataExchange* dx, int id, int32_t& value);
void DDX_Text(CDataExchange* dx, int id, uint32_t& value);

class CDialog {
 public:
  explicit CDialog(UINT templateId);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  INT_PTR DoModal();
  // Fills the controls (false) or takes them (true); false when refused.
  bool UpdateData(bool saveAndValidate);
  void EndDialog(INT_PTR result);

 protected:
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange*) {}
  virtual void OnOK();
  virtual void OnCancel();
  // The derived window's message table: true when handled.
  virtual bool OnMessage(UINT, WPARAM, LPARAM, INT_PTR*) { return false; }
  // Around each message the dialog handles, nested ones included.
  virtual void OnHandling(bool /*begins*/) {}
  virtual bool OnCommand(UINT) { return false; }
  // The derived window's event table for hosted controls.
  virtual bool OnControlEvent(UINT, const ControlEvent&) { return false; }

  HWND hwnd_ = NULL;

 private:
  static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
  UINT templateId_;
  // The dialog the user worked in before this one opened.
  HWND owner_ = NULL;
};

// Table entries that map ids to member handlers of a window class T.
template <class T>
struct CommandEntry {
  UINT id;
  void (T::*handler)();
};
template <class T>
struct EventEntry {
  UINT controlId;
  int dispatchId;
  void (T::*withText)(const std::string&);
  void (T::*withoutArguments)();
};

template <class T, size_t N>
bool DispatchCommand(T* window, const CommandEntry<T> (&table)[N], UINT id) {
  for (const CommandEntry<T>& entry : table) {
    if (entry.id == id) {
      (window->*entry.handler)();
      return true;
    }
  }
  return false;
}

template <class T, size_t N>
bool DispatchEvent(T* window, const EventEntry<T> (&table)[N], UINT controlId,
                   const ControlEvent& event) {
  for (const EventEntry<T>& entry : table) {
    if (entry.controlId != controlId || entry.dispatchId != event.dispatchId) {
      continue;
    }
    if (entry.withText) {
      (window->*entry.withText)(event.argument ? event.argument : "");
    } else {
      (window->*entry.withoutArguments)();
    }
    return true;
  }
  return false;
}

}  // namespace morvasvc

#endif
