#ifndef MORVA_TESTING_WINDOW_DRIVER_H_
#define MORVA_TESTING_WINDOW_DRIVER_H_

// Morvasvc.exe's window driven from outside, as a user would, and its
// screenshot. Windows test support.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "activity_log_entries.h"
#include "handle.h"
#include "wine_test_support.h"
#include "install_folder.h"

namespace morvasvc {
namespace testing_support {

// Drives the configuration window from outside, as a user would.
class WindowDriver {
 public:
  explicit WindowDriver(const InstallFolder& folder,
                        const std::string& program = "Morvasvc")
      : WindowDriver(folder.Path(program + ".exe"), program) {}
  // The program at programPath, its boxes captioned caption.
  WindowDriver(const std::string& programPath, const std::string& caption)
      : caption_(caption),
        process_(morva_testing::StartProcess("\"" + programPath + "\"")) {
    if (process_.Valid()) window_ = WaitForWindow("MorvaService7");
  }
  ~WindowDriver() {
    if (window_) PostMessageA(window_, WM_COMMAND, IDCANCEL, 0);
    if (process_.Valid() && WaitForSingleObject(process_.Get(), 10000) != WAIT_OBJECT_0) {
      TerminateProcess(process_.Get(), 1);
    }
  }

  static HWND WaitForWindow(const char* caption) {
    for (int i = 0; i < 200; ++i) {
      HWND window = FindWindowA("#32770", caption);
      if (window && IsWindowVisible(window)) return window;
      Sleep(50);
    }
    return NULL;
  }

  HWND Window() const { return window_; }
  std::string Text(int id) const { return TextOf(GetDlgItem(window_, id)); }
  // Messages, not GetWindowText: that one reads no other program's edit field.
  static std::string TextOf(HWND control) {
    char text[512] = "";
    SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
  }
  void Type(int id, const char* text) {
    SendMessageA(GetDlgItem(window_, id), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(text));
  }
  // The caption of a box that should not be there, or empty.
  static std::string UnexpectedBox() {
    HWND box = FindWindowA("#32770", "Morvasvc");
    if (!box) return std::string();
    const std::string text = TextOf(GetDlgItem(box, 0xFFFF));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return text;
  }
  void Click(int id) {
    PostMessageA(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window_, id)));
  }
  // The message box the last action showed: its text, then dismissed. Its
  // owner is the window the user works in.
  std::string DismissBox(HWND owner = NULL) {
    HWND box = WaitForWindow(caption_.c_str());
    if (!box) return "(no box)";
    EXPECT_EQ(owner ? owner : window_, GetWindow(box, GW_OWNER));
    const std::string text = TextOf(GetDlgItem(box, 0xFFFF));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(20);
    return text;
  }
  // Waits until the window has handled everything posted so far.
  void Settle() {
    DWORD_PTR result;
    SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
  }
  bool Ended(DWORD withinMs) {
    return WaitForSingleObject(process_.Get(), withinMs) == WAIT_OBJECT_0;
  }

 private:
  std::string caption_;
  KernelHandle process_;
  HWND window_ = NULL;
};

// The screen under a window, as a 24-bit BMP file.
inline void SaveScreenshot(HWND window, const std::string& path) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(NULL);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const DWORD rowBytes = (width * 3 + 3) & ~3;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + rowBytes * height;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), rowBytes * height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
}

}  // namespace testing_support
}  // namespace morvasvc

#endif
