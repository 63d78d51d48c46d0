#ifndef MORVA_TESTING_INSTALL_FOLDER_H_
#define MORVA_TESTING_INSTALL_FOLDER_H_

// Morvasvc.exe's install folder as a product's installer lays it out, and
// the service configuration the manager holds. Windows test support.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "activity_log_entries.h"
#include "handle.h"
#include "wine_test_support.h"

namespace morvasvc {
namespace testing_support {

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
  std::vector<std::string> dependencies;
  DWORD startType = 0, serviceType = 0, preshutdownMs = 0;
};

// Whether the manager knows a service of this name.
inline bool ManagerKnows(const std::string& name) {
  ServiceHandle manager(OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT));
  ServiceHandle service(
      OpenServiceA(manager.Get(), name.c_str(), SERVICE_QUERY_STATUS));
  return service.Valid();
}

inline ServiceConfig QueryService(const std::string& name) {
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
    for (const char* d = c->lpDependencies; d && *d; d += strlen(d) + 1) {
      config.dependencies.push_back(d);
    }
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

// The message file of the service's event source, or "(none)".
inline std::string EventMessageFile(const std::string& serviceName) {
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

}  // namespace testing_support
}  // namespace morvasvc

#endif
