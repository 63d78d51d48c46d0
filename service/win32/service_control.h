#ifndef MORVASVC_WIN32_SERVICE_CONTROL_H_
#define MORVASVC_WIN32_SERVICE_CONTROL_H_

#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <string>

#include "module_system.h"

namespace morvasvc {

// The install and remove of the service with the Service Control Manager,
// under the names it was given. Named as the window's service control has
// always been named: the window's member and its event table go by it.
class CService_mill : public ServiceControl {
 public:
  // How a remove waits, in steps of the given milliseconds, for a running
  // service to stop: the window keeps answering meanwhile. Sleeps when unset.
  void SetStopWait(std::function<void(DWORD)> wait) {
    stopWait_ = std::move(wait);
  }

  void SetServiceName(const std::string& name) override;
  void SetDisplayName(const std::string& name) override;
  bool IsInstalled() override;
  bool Install(std::string* error, std::string* warning) override;
  bool Uninstall(std::string* error) override;
  bool AddEventSource(std::string* error) override;
  bool RemoveEventSource(std::string* error) override;
  bool FindServiceOfThisProgram(std::string* name) override;
  std::string RegisteredProgram() override;
  uint32_t QueryState() override;
  bool AskToRereadSettings(std::string* error) override;

 private:
  static void ConfigureShutdownAndRecovery(SC_HANDLE service,
                                           std::string* warning);
  std::function<void(DWORD)> stopWait_;
  std::string serviceName_;
  std::string displayName_;
};

}  // namespace morvasvc

#endif
