#include "read_shown_windows.h"

#include <string>

#include "ansi_conversion.h"

namespace morva_common {

std::string AnsiText(const wchar_t* text, int length) {
  if (length <= 0) return std::string();
  // UTF-8 as the code page takes no default character.
  const AnsiConversion how = ConversionFor(GetACP());
  const char* fallback = how.defaultArguments ? "?" : NULL;
  const int size =
      WideCharToMultiByte(CP_ACP, 0, text, length, NULL, 0, fallback, NULL);
  std::string ansi(size > 0 ? size : 0, '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_ACP, 0, text, length, &ansi[0], size, fallback,
                        NULL);
  }
  return ansi;
}

namespace {

const size_t kMostWindows = 32;
const UINT kWindowTextMs = 100;

const int kTextChars = 512;

// A text that fills the buffer was cut: it says so.
std::string Cut(const wchar_t* text, int length) {
  return AnsiText(text, length) + (length >= kTextChars - 1 ? "..." : "");
}

// A control of another process answers WM_GETTEXT on its own thread; a
// hung one is given up after a moment.
std::string WindowText(HWND window) {
  wchar_t text[kTextChars];
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, kTextChars,
                           reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG | SMTO_BLOCK, kWindowTextMs,
                           &length)) {
    return std::string();
  }
  return Cut(text, static_cast<int>(length));
}

// A top-level window's caption is kept by the system: read without asking
// its thread, which may be the one that hangs.
std::string Caption(HWND window) {
  wchar_t text[kTextChars];
  return Cut(text, InternalGetWindowText(window, text, kTextChars));
}

struct WindowSearch {
  const std::vector<DWORD>* processes;
  std::vector<HWND> found;
};

// A console's own window is named after its program: what it shows is read
// as the console.
bool IsConsoleWindow(HWND window) {
  char className[32] = "";
  GetClassNameA(window, className, sizeof className);
  return lstrcmpA(className, "ConsoleWindowClass") == 0 ||
         lstrcmpA(className, "WineConsoleClass") == 0;
}

BOOL CALLBACK CollectTaskWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (IsConsoleWindow(window)) return TRUE;
  for (DWORD id : *search->processes) {
    if (id == process && IsWindowVisible(window)) {
      search->found.push_back(window);
      break;
    }
  }
  return search->found.size() < kMostWindows;
}

// The texts a box shows, its static and edit controls, and the push
// buttons it offers.
struct TextSearch {
  std::string text;
  std::vector<int> buttons;
  DWORD deadline;
};

BOOL CALLBACK CollectText(HWND child, LPARAM data) {
  auto* search = reinterpret_cast<TextSearch*>(data);
  char className[16] = "";
  GetClassNameA(child, className, sizeof className);
  const LONG type = GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK;
  if (lstrcmpiA(className, "Button") == 0 && IsWindowVisible(child) &&
      (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)) {
    search->buttons.push_back(GetDlgCtrlID(child));
  } else if (lstrcmpiA(className, "Static") == 0 ||
             lstrcmpiA(className, "Edit") == 0) {
    const std::string text = WindowText(child);
    if (!text.empty()) {
      search->text += (search->text.empty() ? "" : " ") + text;
    }
  }
  return static_cast<LONG>(GetTickCount() - search->deadline) < 0 &&
         search->text.size() < 2000;
}

}  // namespace

std::vector<FoundWindow> ReadShownWindows(const std::vector<DWORD>& processes,
                                          DWORD boundMs) {
  std::vector<FoundWindow> windows;
  if (processes.empty()) return windows;
  WindowSearch search = {&processes, {}};
  EnumWindows(CollectTaskWindow, reinterpret_cast<LPARAM>(&search));
  const DWORD deadline = GetTickCount() + boundMs;
  for (HWND window : search.found) {
    if (static_cast<LONG>(GetTickCount() - deadline) >= 0) break;
    TextSearch text = {std::string(), {}, deadline};
    EnumChildWindows(window, CollectText, reinterpret_cast<LPARAM>(&text));
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    windows.push_back({window, lstrcmpA(className, "#32770") == 0,
                       {Caption(window), text.text, text.buttons}});
  }
  return windows;
}

}  // namespace morva_common
