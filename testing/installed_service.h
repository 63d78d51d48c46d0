#ifndef MORVA_TESTING_INSTALLED_SERVICE_H_
#define MORVA_TESTING_INSTALLED_SERVICE_H_

// Morvasvc.exe installed as a service from a product's install folder, with
// the stand-in engine as its Java runtime. Windows test support.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "activity_log_entries.h"
#include "handle.h"
#include "wine_test_support.h"
#include "service_run.h"

namespace morvasvc {
namespace testing_support {

using Strings = std::vector<std::string>;
using morva_testing::ProgramFolder;

// A start or a stop is waited for as long as the module itself gives it,
// and a moment more: a busy machine is slow, not wrong.
const DWORD kServiceWaitMs = kHandlerBoundMs + 10000;
using morva_testing::ReadAll;
using morva_testing::WriteAll;

inline Strings Lines(const std::string& text) {
  Strings lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

inline uint16_t FreePort() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SocketHandle probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  return morva_testing::BindLoopback(probe.Get());
}

template <typename Condition>
bool WaitFor(Condition condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(100);
  }
  return true;
}

// A product's install folder with the stand-in engine as its Java runtime,
// the service installed from it, and removed again at the end.
class InstalledService {
 public:
  InstalledService(const std::string& product, const std::string& serviceName,
                   int32_t period = 1,
                   const std::string& javaExe = "jre\\bin\\javaw.exe")
      : serviceName_(serviceName) {
    // The product's key in the path names the service.
    dir_ = morva_testing::NewTempFolder("morvasvc_service") + "\\" + product;
    for (const char* sub : {"", "\\data", "\\data\\logs", "\\jre", "\\jre\\bin"}) {
      CreateDirectoryA((dir_ + sub).c_str(), NULL);
    }
    WriteAll(Path("morva7.jar"), "");
    NewPort();
    std::string settings(4, '\0');
    for (int i = 0; i < 4; ++i) settings[i] = static_cast<char>(period >> (8 * i));
    if (javaExe.size() < 0xFF) {
      settings += static_cast<char>(javaExe.size());
    } else {
      settings += "\xFF";
      settings += static_cast<char>(javaExe.size() & 0xFF);
      settings += static_cast<char>(javaExe.size() >> 8);
    }
    settings += javaExe + std::string(5, '\0');
    WriteAll(Path("ntServiceSettings.jsd"), settings);
    CopyFileA((ProgramFolder() + "\\Morvasvc.exe").c_str(),
              Path("Morvasvc.exe").c_str(), FALSE);
    CopyFileA((ProgramFolder() + "\\stand_in_engine.exe").c_str(),
              Path("jre\\bin\\javaw.exe").c_str(), FALSE);
    DeleteLeftover(serviceName);
    EXPECT_EQ(0u, RunAndWait("\"" + Path("Morvasvc.exe") + "\" install_51924706"));
    manager_.Reset(OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT));
    service_.Reset(OpenServiceA(manager_.Get(), serviceName.c_str(),
                                SERVICE_START | SERVICE_STOP |
                                    SERVICE_QUERY_STATUS));
    EXPECT_TRUE(service_.Valid());
  }

  ~InstalledService() {
    if (service_.Valid() && State() != SERVICE_STOPPED) Stop();
    service_.Reset();
    RunAndWait("\"" + Path("Morvasvc.exe") + "\" remove_51924706");
    KillEngines();
  }

  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }
  const std::string& Dir() const { return dir_; }

  // A run that was cut short may have left the service behind, from another
  // folder: it goes through the manager, stopped first.
  static void DeleteLeftover(const std::string& name) {
    ServiceHandle manager(OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT));
    ServiceHandle service(OpenServiceA(
        manager.Get(), name.c_str(), DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service.Valid()) return;
    SERVICE_STATUS status;
    if (ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
      WaitFor([&] {
        return QueryServiceStatus(service.Get(), &status) &&
               status.dwCurrentState == SERVICE_STOPPED;
      }, kServiceWaitMs);
    }
    DeleteService(service.Get());
  }

  // Lets go of the test's own handle, which alone keeps a deleted service.
  void ReleaseHandle() { service_.Reset(); }
  // Whether the manager still knows the name, deleted or not.
  bool Registered() const {
    ServiceHandle service(
        OpenServiceA(manager_.Get(), serviceName_.c_str(), SERVICE_QUERY_STATUS));
    return service.Valid() || GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
  }
  DWORD Run(const std::string& arguments, const std::string& dir) {
    KernelHandle process(morva_testing::StartProcess(
        "\"" + dir + "\\Morvasvc.exe\" " + arguments, dir));
    return process.Valid() ? morva_testing::WaitForExit(process.Get(), 90000)
                           : 0xDEADBEEF;
  }

  // The manager's parameter-change control, as `sc control NAME
  // paramchange` sends it; false when the manager refuses it.
  bool SendParamChange() {
    ServiceHandle service(OpenServiceA(manager_.Get(), serviceName_.c_str(),
                                       SERVICE_PAUSE_CONTINUE));
    SERVICE_STATUS status;
    return service.Valid() &&
           ControlService(service.Get(), SERVICE_CONTROL_PARAMCHANGE, &status);
  }

  DWORD State() {
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    QueryServiceStatusEx(service_.Get(), SC_STATUS_PROCESS_INFO,
                         reinterpret_cast<BYTE*>(&status), sizeof status,
                         &needed);
    processId_ = status.dwProcessId ? status.dwProcessId : processId_;
    return status.dwCurrentState;
  }

  // The manager's start and stop controls, without waiting.
  bool SendStart() { return StartServiceA(service_.Get(), 0, NULL) != FALSE; }
  bool SendStop() {
    SERVICE_STATUS status;
    return ControlService(service_.Get(), SERVICE_CONTROL_STOP, &status) !=
           FALSE;
  }

  bool Start() {
    if (!SendStart()) return false;
    return WaitFor([this] { return State() == SERVICE_RUNNING; },
                   kServiceWaitMs);
  }

  // Starts the service and waits until the engine it launched listens.
  // Should another program have taken the port since it was chosen, the
  // whole start is tried again on a new one.
  bool StartWithEngine() {
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (!Start() || !WaitFor([this] { return EngineListens() || PortTaken(); },
                               20000)) {
        return false;
      }
      if (!PortTaken()) return true;
      if (!Stop()) return false;
      NewPort();
    }
    return false;
  }

  // Stops the service and waits for its process to end.
  bool Stop() {
    State();
    KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId_));
    SERVICE_STATUS status;
    if (!ControlService(service_.Get(), SERVICE_CONTROL_STOP, &status)) {
      return false;
    }
    if (!WaitFor([this] { return State() == SERVICE_STOPPED; },
                 kServiceWaitMs)) {
      return false;
    }
    return !process.Valid() ||
           WaitForSingleObject(process.Get(), 10000) == WAIT_OBJECT_0;
  }

  // Starts the engine by hand, as if it had been running before, and waits
  // until it listens (on a new port, should another program take this one).
  bool StartEngine() {
    for (int attempt = 0; attempt < 3; ++attempt) {
      KernelHandle engine(morva_testing::StartProcess(
          "\"" + Path("jre\\bin\\javaw.exe") + "\" -by-hand", dir_));
      if (!engine.Valid() ||
          !WaitFor([this] { return EngineListens() || PortTaken(); }, 20000)) {
        return false;
      }
      if (!PortTaken()) return true;
      NewPort();
    }
    return false;
  }

  bool EngineListens() { return !ReadAll(Path("engine-listening.txt")).empty(); }
  bool PortTaken() {
    return EngineCommands() == Strings({"|CANNOT LISTEN"});
  }

  Strings EngineStarts() { return Lines(ReadAll(Path("engine-started.txt"))); }
  Strings EngineCommands() { return Lines(ReadAll(Path("engine-commands.txt"))); }

  Strings LogMessages() {
    return morva_testing::ActivityLogMessages(
        ReadAll(Path("data\\logs\\activityLog.jsd")));
  }
  // How many log messages hold every one of the parts.
  int Logged(const Strings& parts) {
    int count = 0;
    for (const std::string& message : LogMessages()) {
      bool all = true;
      for (const std::string& part : parts) {
        all = all && message.find(part) != std::string::npos;
      }
      count += all ? 1 : 0;
    }
    return count;
  }

  uint16_t Port() const { return port_; }

  // Whether anything accepts a connection on the engine port.
  bool Answers() const {
    SocketHandle probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    return connect(probe.Get(), reinterpret_cast<sockaddr*>(&address),
                   sizeof address) == 0;
  }

 private:
  DWORD RunAndWait(const std::string& commandLine) {
    KernelHandle process(morva_testing::StartProcess(commandLine, dir_));
    if (!process.Valid()) return 0xDEADBEEF;
    return morva_testing::WaitForExit(process.Get(), 30000);
  }

  // A port of the system's choice, and the engine's files begun anew.
  void NewPort() {
    port_ = FreePort();
    WriteAll(Path("engineSettings.jsd"),
             "DATA_FOLDER=data\r\nENGINE_PORT=" + std::to_string(port_) + "\r\n");
    for (const char* file : {"engine-started.txt", "engine-commands.txt",
                             "engine-listening.txt"}) {
      DeleteFileA(Path(file).c_str());
    }
  }

  // Ends any stand-in engine still listening on this folder's port.
  void KillEngines() {
    SocketHandle probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    if (connect(probe.Get(), reinterpret_cast<sockaddr*>(&address),
                sizeof address) == 0) {
      send(probe.Get(), "NTSERVICE^SHUTDOWN_ENGINE", 25, 0);
    }
  }

  std::string serviceName_;
  std::string dir_;
  uint16_t port_ = 0;
  DWORD processId_ = 0;
  ServiceHandle manager_;
  ServiceHandle service_;
};

// Holds a file as another program would, without sharing, for ms from now.
inline std::thread HoldFor(const std::string& path, DWORD ms) {
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                            NULL, OPEN_ALWAYS, 0, NULL);
  EXPECT_NE(INVALID_HANDLE_VALUE, held) << path;
  return std::thread([held, ms] {
    Sleep(ms);
    CloseHandle(held);
  });
}

}  // namespace testing_support
}  // namespace morvasvc

#endif
