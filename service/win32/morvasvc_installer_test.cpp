// Morvasvc.exe as an installer runs it: the two switches.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "activity_log_entries.h"
#include "handle.h"
#include "install_folder.h"
#include "wine_test_support.h"

namespace morvasvc {
namespace {

using namespace testing_support;
using Strings = std::vector<std::string>;

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
  // The network first, where the manager knows its services (Wine may not).
  std::vector<std::string> known;
  for (const char* name : {"Tcpip", "Afd"}) {
    if (ManagerKnows(name)) known.push_back(name);
  }
  EXPECT_EQ(known, config.dependencies);
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

}  // namespace
}  // namespace morvasvc
