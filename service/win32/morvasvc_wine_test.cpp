// Morvasvc.exe under Windows or Wine as an installer and a user run it.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "activity_log_entries.h"
#include "handle.h"
#include "wine_test_support.h"

namespace morvasvc {
namespace {

using morva_testing::NewTempSubfolder;
using morva_testing::ProgramFolder;
using morva_testing::ReadAll;
using morva_testing::WriteAll;

// An install folder as a product's installer lays it out.
class InstallFolder {
 public:
  explicit InstallFolder(const std::string& name, bool engineSettings = true)
      : dir_(NewTempSubfolder("morvasvc_test", name)) {
    WriteAll(Path("morva7.jar"), "");
    CreateDirectoryA(Path("data").c_str(), NULL);
    CreateDirectoryA(Path("data\\logs").c_str(), NULL);
    if (engineSettings) {
      WriteAll(Path("engineSettings.jsd"),
               "DATA_FOLDER=" + Escaped(Path("data")) + "\r\nENGINE_PORT=1\r\n");
    }
    CopyFileA((ProgramFolder() + "\\Morvasvc.exe").c_str(),
              Path("Morvasvc.exe").c_str(), FALSE);
  }

  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }
  const std::string& Dir() const { return dir_; }

  DWORD Run(const std::string& arguments) const {
    KernelHandle process(morva_testing::StartProcess(
        "\"" + Path("Morvasvc.exe") + "\" " + arguments));
    return process.Valid() ? morva_testing::WaitForExit(process.Get(), 30000)
                           : 0xDEADBEEF;
  }

  // The log's messages, each entry's time stamp checked and stripped.
  std::vector<std::string> LogMessages(const std::string& log) const {
    return morva_testing::ActivityLogMessages(ReadAll(Path(log)));
  }
  std::vector<std::string> LogMessages() const {
    return LogMessages("data\\logs\\activityLog.jsd");
  }

 private:
  static std::string Escaped(const std::string& path) {
    std::string escaped;
    for (char c : path) {
      if (c == '\\') escaped += "\\\\";
      else if (c == ':') escaped += "\\:";
      else escaped += c;
    }
    return escaped;
  }
  std::string dir_;
};

struct ServiceConfig {
  bool found = false;
  std::string binaryPath, displayName, description;
  DWORD startType = 0, serviceType = 0, preshutdownMs = 0;
};

ServiceConfig QueryService(const std::string& name) {
  ServiceConfig config;
  ServiceHandle manager(OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT));
  ServiceHandle service(
      OpenServiceA(manager.Get(), name.c_str(), SERVICE_QUERY_CONFIG));
  if (!service.Valid()) return config;
  config.found = true;
  std::vector<char> buffer(8192);
  DWORD needed = 0;
  if (QueryServiceConfigA(service.Get(),
                          reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                          static_cast<DWORD>(buffer.size()), &needed)) {
    auto* c = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    config.binaryPath = c->lpBinaryPathName;
    config.displayName = c->lpDisplayName;
    config.startType = c->dwStartType;
    config.serviceType = c->dwServiceType;
  }
  if (QueryServiceConfig2A(service.Get(), SERVICE_CONFIG_DESCRIPTION,
                           reinterpret_cast<BYTE*>(buffer.data()),
                           static_cast<DWORD>(buffer.size()), &needed)) {
    auto* d = reinterpret_cast<SERVICE_DESCRIPTIONA*>(buffer.data());
    if (d->lpDescription) config.description = d->lpDescription;
  }
  if (QueryServiceConfig2A(service.Get(), SERVICE_CONFIG_PRESHUTDOWN_INFO,
                           reinterpret_cast<BYTE*>(buffer.data()),
                           static_cast<DWORD>(buffer.size()), &needed)) {
    config.preshutdownMs =
        reinterpret_cast<SERVICE_PRESHUTDOWN_INFO*>(buffer.data())
            ->dwPreshutdownTimeout;
  }
  return config;
}

using Strings = std::vector<std::string>;

// The message file of the service's event source, or "(none)".
std::string EventMessageFile(const std::string& serviceName) {
  const std::string key =
      "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" +
      serviceName;
  char value[MAX_PATH] = "";
  DWORD size = sizeof value;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "EventMessageFile",
                   RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, NULL, value,
                   &size) != ERROR_SUCCESS) {
    return "(none)";
  }
  return value;
}

// What Event Viewer shows for an event of the program with this id.
std::string EventText(const std::string& program, DWORD id,
                      const char* inserted) {
  HMODULE module = LoadLibraryExA(program.c_str(), NULL,
                                  LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return "(not loaded)";
  char text[256] = "";
  DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(inserted)};
  FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                 module, id, 0, text, sizeof text,
                 reinterpret_cast<va_list*>(arguments));
  FreeLibrary(module);
  return text;
}

TEST(MorvasvcInstaller, InstallsAndRemovesSilently) {
  InstallFolder folder("Apps\\Verrin Tools\\Engine");
  const std::string command = "\"" + folder.Path("Morvasvc.exe") + "\" ";

  ASSERT_EQ(0u, folder.Run("install_51924706"));
  ServiceConfig config = QueryService("Verrin7");
  ASSERT_TRUE(config.found);
  EXPECT_EQ("\"" + folder.Path("Morvasvc.exe") + "\"", config.binaryPath);
  EXPECT_EQ("Verrin7", config.displayName);
  EXPECT_EQ("Starts engine for Morva Software version 7 products",
            config.description);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config.startType);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), config.serviceType);
  // Windows shutting down leaves the stop its time.
  EXPECT_EQ(45000u, config.preshutdownMs);
  // Its event source: the texts are the program's own, one per severity.
  EXPECT_EQ(folder.Path("Morvasvc.exe"), EventMessageFile("Verrin7"));
  for (DWORD id : {0xC0000001u, 0x80000002u, 0x40000003u}) {
    EXPECT_EQ("Engine is not running\r\n",
              EventText(folder.Path("Morvasvc.exe"), id, "Engine is not running"))
        << id;
  }

  EXPECT_EQ(1u, folder.Run("install_51924706"));
  EXPECT_EQ(0u, folder.Run("remove_51924706"));
  EXPECT_FALSE(QueryService("Verrin7").found);
  EXPECT_EQ("(none)", EventMessageFile("Verrin7"));
  EXPECT_EQ(1u, folder.Run("remove_51924706"));

  EXPECT_EQ(
      Strings({"NT Service Module: commandline = " + command + "install_51924706",
               "NT Service Module: Service installed via commandline.  "
               "Service name = Verrin7",
               "NT Service Module: commandline = " + command + "install_51924706",
               "NT Service Module commandline mode: Service is already Installed",
               "NT Service Module: commandline = " + command + "remove_51924706",
               "NT Service Module: Service removed via commandline",
               "NT Service Module: commandline = " + command + "remove_51924706",
               "NT Service Module commandline mode: Service is not installed"}),
      folder.LogMessages());

  // The first start wrote the module's default settings.
  EXPECT_EQ(std::string("\x05\0\0\0\x11jre\\bin\\javaw.exe\0\0\0\0\0", 27),
            ReadAll(folder.Path("ntServiceSettings.jsd")));
}

TEST(MorvasvcInstaller, BothSwitchesInstall) {
  InstallFolder folder("Brenmar");
  EXPECT_EQ(0u, folder.Run("remove_51924706 install_51924706"));
  EXPECT_TRUE(QueryService("Brenmar7").found);
  EXPECT_EQ(0u, folder.Run("remove_51924706"));
  EXPECT_FALSE(QueryService("Brenmar7").found);
}

// A folder name the ANSI code page cannot hold would be registered with
// question marks, a service that can never start.
TEST(MorvasvcInstaller, RefusesAFolderTheCodePageCannotHold) {
  const std::string base = NewTempSubfolder("morvasvc_test", "wide");
  const std::wstring folder =
      std::wstring(base.begin(), base.end()) + L"\\Verrin \x4E2D\x6587";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
  CreateDirectoryW((folder + L"\\data").c_str(), NULL);
  CreateDirectoryW((folder + L"\\data\\logs").c_str(), NULL);
  CloseHandle(CreateFileW((folder + L"\\morva7.jar").c_str(), GENERIC_WRITE, 0,
                          NULL, CREATE_ALWAYS, 0, NULL));
  const std::string program = ProgramFolder() + "\\Morvasvc.exe";
  ASSERT_TRUE(CopyFileW(std::wstring(program.begin(), program.end()).c_str(),
                        (folder + L"\\Morvasvc.exe").c_str(), FALSE));
  std::wstring commandLine = L"\"" + folder + L"\\Morvasvc.exe\" install_51924706";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(NULL, &commandLine[0], NULL, NULL, FALSE, 0, NULL,
                             folder.c_str(), &startup, &info));
  CloseHandle(info.hThread);
  KernelHandle process(info.hProcess);
  EXPECT_EQ(1u, morva_testing::WaitForExit(process.Get(), 30000));
  EXPECT_FALSE(QueryService("Verrin7").found);

  HANDLE log = CreateFileW((folder + L"\\data\\logs\\activityLog.jsd").c_str(),
                           GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                           0, NULL);
  ASSERT_NE(INVALID_HANDLE_VALUE, log);
  char text[8192] = "";
  DWORD count = 0;
  ReadFile(log, text, sizeof text - 1, &count, NULL);
  CloseHandle(log);
  EXPECT_NE(std::string::npos,
            std::string(text, count).find(
                "\tNT Service Module commandline mode: Service could not be "
                "installed: The program's folder name has characters that the "
                "system's code page cannot hold: "));
}

TEST(MorvasvcInstaller, MissingEngineSettingsGiveTheDefaults) {
  InstallFolder folder("Verrin", /*engineSettings=*/false);
  ASSERT_EQ(0u, folder.Run("install_51924706"));
  EXPECT_EQ(0u, folder.Run("remove_51924706"));
  // The default data folder is relative to the install folder; the first
  // failure entry came before the log had a path.
  const Strings messages = folder.LogMessages();
  ASSERT_EQ(6u, messages.size());
  EXPECT_EQ("Failed to read settings from: " +
                folder.Path("engineSettings.jsd"),
            messages[0]);
  EXPECT_EQ("NT Service Module: Service installed via commandline.  Service "
            "name = Verrin7",
            messages[2]);
  EXPECT_EQ("Failed to read settings from: " +
                folder.Path("engineSettings.jsd"),
            messages[3]);
}

// Drives the configuration window from outside, as a user would.
class WindowDriver {
 public:
  explicit WindowDriver(const InstallFolder& folder,
                        const std::string& program = "Morvasvc")
      : caption_(program),
        process_(morva_testing::StartProcess(
            "\"" + folder.Path(program + ".exe") + "\"")) {
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
void SaveScreenshot(HWND window, const std::string& path) {
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

TEST(MorvasvcWindow, WhatAUserSeesAndDoes) {
  InstallFolder folder("Brenmar Office");
  const std::string command = "\"" + folder.Path("Morvasvc.exe") + "\"";
  WindowDriver driver(folder);
  ASSERT_NE(static_cast<HWND>(NULL), driver.Window());

  // At start: the fields from the module state, the status lines.
  EXPECT_EQ("Brenmar7", driver.Text(1004));
  EXPECT_EQ("jre\\bin\\javaw.exe", driver.Text(1005));
  EXPECT_EQ("5", driver.Text(1006));
  EXPECT_EQ("1", driver.Text(1007));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(driver.Window(), 1007)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(driver.Window(), 1008)));
  EXPECT_EQ("Service is not installed.  Click on [Install Service]",
            driver.Text(1009));
  EXPECT_EQ("Use Service Control Manager to Start/Stop Service",
            driver.Text(1010));
  EXPECT_EQ("IMPORTANT (6.x USERS):  Remove version 6.x service module before "
            "using [Install Service] - SEE HELP",
            driver.Text(1012));
  SaveScreenshot(driver.Window(), ProgramFolder() + "\\morvasvc-window.bmp");

  // Install Service: a box with the outcome, which the status line keeps.
  driver.Click(1000);
  const std::string installed =
      "Service Installed. Use Service Control Manager to Start Service.  This "
      "window can be closed now.  You only need this window to register the "
      "software, change settings or remove the service";
  EXPECT_EQ(installed, driver.DismissBox());
  driver.Settle();
  EXPECT_EQ(installed, driver.Text(1009));
  EXPECT_TRUE(QueryService("Brenmar7").found);
  driver.Click(1000);
  EXPECT_EQ("Service is already Installed", driver.DismissBox());

  // Save Settings: a period that is no number is refused and nothing saved.
  const std::string defaults = ReadAll(folder.Path("ntServiceSettings.jsd"));
  driver.Type(1006, "abc");
  driver.Click(1002);
  EXPECT_EQ("Please enter an integer.", driver.DismissBox());
  driver.Settle();
  EXPECT_EQ(defaults, ReadAll(folder.Path("ntServiceSettings.jsd")));
  driver.Type(1006, "10 minutes");
  driver.Click(1002);
  EXPECT_EQ("For settings to take effect, Stop and ReStart NT service using "
            "Service Control Manager",
            driver.DismissBox());
  driver.Settle();
  EXPECT_EQ("10", driver.Text(1006));
  EXPECT_EQ(std::string("\r\n\0\0\0", 5),
            ReadAll(folder.Path("ntServiceSettings.jsd")).substr(0, 5));

  // Remove Service: no box, only the status line.
  driver.Click(1001);
  Sleep(500);
  EXPECT_EQ("", WindowDriver::UnexpectedBox());
  driver.Settle();
  EXPECT_EQ("Service has been removed.  Please logout of windows",
            driver.Text(1009));
  EXPECT_FALSE(QueryService("Brenmar7").found);

  // The About box from the system menu, twice: modal to the main window and
  // centred on it; message boxes still show once it is closed.
  for (int round = 0; round < 2; ++round) {
    PostMessageA(driver.Window(), WM_SYSCOMMAND, 16, 0);
    HWND about = WindowDriver::WaitForWindow("About Morvasvc");
    ASSERT_NE(static_cast<HWND>(NULL), about);
    std::string aboutTexts;
    for (HWND child = GetWindow(about, GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
      aboutTexts += WindowDriver::TextOf(child) + "|";
    }
    EXPECT_NE(std::string::npos, aboutTexts.find("|Morvasvc Version 7.02|"));
    EXPECT_NE(std::string::npos, aboutTexts.find("|OK|"));
    EXPECT_EQ(driver.Window(), GetWindow(about, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(driver.Window()));
    RECT outer, inner;
    GetWindowRect(driver.Window(), &outer);
    GetWindowRect(about, &inner);
    EXPECT_NEAR(outer.left + outer.right, inner.left + inner.right, 4);
    EXPECT_NEAR(outer.top + outer.bottom, inner.top + inner.bottom, 4);
    if (round == 0) SaveScreenshot(about, ProgramFolder() + "\\morvasvc-about.bmp");
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 100 && IsWindow(about); ++i) Sleep(20);
    driver.Settle();
    EXPECT_TRUE(IsWindowEnabled(driver.Window()));
    driver.Type(1006, "abc");
    driver.Click(1002);
    EXPECT_EQ("Please enter an integer.", driver.DismissBox()) << round;
  }

  // Cancel closes without saving.
  driver.Type(1006, "77");
  PostMessageA(driver.Window(), WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(driver.Ended(10000));
  EXPECT_EQ(std::string("\r\n\0\0\0", 5),
            ReadAll(folder.Path("ntServiceSettings.jsd")).substr(0, 5));

  EXPECT_EQ(
      Strings({"NT Service Module: commandline = " + command,
               "NT Service Module: module window opened. Please close module "
               "before starting NT Service",
               "NT Service Module: " + installed,
               "NT Service settings have been changed",
               "NT Service Module: Service has been removed.  Please logout of "
               "windows"}),
      folder.LogMessages());
}

// Installed under a typed name, the service is this program's all the same:
// the install switch adds no second one, and the window opened again shows
// that name and removes it with its event source.
TEST(MorvasvcWindow, ServiceInstalledUnderATypedName) {
  InstallFolder folder("Verrin Typed");
  {
    WindowDriver driver(folder);
    ASSERT_NE(static_cast<HWND>(NULL), driver.Window());
    driver.Type(1004, "VerrinEdited");
    driver.Click(1002);
    driver.DismissBox();
    driver.Click(1000);
    driver.DismissBox();
    driver.Settle();
  }
  ASSERT_TRUE(QueryService("VerrinEdited").found);
  EXPECT_EQ(folder.Path("Morvasvc.exe"), EventMessageFile("VerrinEdited"));
  EXPECT_EQ(1u, folder.Run("install_51924706"));
  EXPECT_FALSE(QueryService("Verrin7").found);

  WindowDriver driver(folder);
  ASSERT_NE(static_cast<HWND>(NULL), driver.Window());
  EXPECT_EQ("VerrinEdited", driver.Text(1004));
  driver.Click(1001);
  driver.Settle();
  EXPECT_EQ("Service has been removed.  Please logout of windows",
            driver.Text(1009));
  EXPECT_FALSE(QueryService("VerrinEdited").found);
  EXPECT_EQ("(none)", EventMessageFile("VerrinEdited"));
}

// Enter takes the fields and closes the window; it saves nothing. A refused
// field keeps the window open.
TEST(MorvasvcWindow, EnterTakesTheFieldsAndCloses) {
  InstallFolder folder("Brenmar Enter");
  // A renamed copy's boxes carry its own name.
  CopyFileA(folder.Path("Morvasvc.exe").c_str(),
            folder.Path("MorvaCopy.exe").c_str(), FALSE);
  WindowDriver driver(folder, "MorvaCopy");
  ASSERT_NE(static_cast<HWND>(NULL), driver.Window());
  const std::string defaults = ReadAll(folder.Path("ntServiceSettings.jsd"));
  driver.Type(1006, "");
  PostMessageA(driver.Window(), WM_COMMAND, IDOK, 0);
  EXPECT_EQ("Please enter an integer.", driver.DismissBox());
  EXPECT_FALSE(driver.Ended(300));
  driver.Type(1006, "12");
  PostMessageA(driver.Window(), WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(driver.Ended(10000));
  EXPECT_EQ(defaults, ReadAll(folder.Path("ntServiceSettings.jsd")));
}

}  // namespace
}  // namespace morvasvc
