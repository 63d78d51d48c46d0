#include "service_control.h"

#include <functional>
#include <vector>

#include "event_source.h"
#include "handle.h"
#include "system_error.h"
#include "program_files.h"
#include "service_removal.h"
#include "service_run.h"

namespace morvasvc {

namespace {
const char kServiceDescription[] =
    "Starts engine for Morva Software version 7 products";

// The step that failed and the system's reason, taken right at the call.
std::string StepFailed(const char* step) {
  const DWORD error = GetLastError();
  return morvasvc::StepFailed(step, std::string(), error);
}
}  // namespace

namespace {

// TCP/IP and the sockets driver, each only where the manager knows it: a
// dependency on a service that does not exist fails every start.
std::string KnownDependencies(SC_HANDLE manager) {
  std::string list;
  for (const char* name : {"Tcpip", "Afd"}) {
    ServiceHandle service(OpenServiceA(manager, name, SERVICE_QUERY_STATUS));
    if (service.Valid()) list += std::string(name) + '\0';
  }
  // The list ends with an empty name; c_str() adds its second NUL.
  return list;
}

}  // namespace

void CService_mill::SetServiceName(const std::string& name) {
  serviceName_ = name;
}

void CService_mill::SetDisplayName(const std::string& name) {
  displayName_ = name;
}

bool CService_mill::IsInstalled() {
  ServiceHandle manager(OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT));
  if (!manager.Valid()) return false;
  ServiceHandle service(
      OpenServiceA(manager.Get(), serviceName_.c_str(), SERVICE_QUERY_STATUS));
  return service.Valid();
}

uint32_t CService_mill::QueryState() {
  ServiceHandle manager(OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT));
  ServiceHandle service(OpenServiceA(manager.Get(), serviceName_.c_str(),
                                     SERVICE_QUERY_STATUS));
  SERVICE_STATUS status = {};
  if (!service.Valid() || !QueryServiceStatus(service.Get(), &status)) {
    return 0;
  }
  return status.dwCurrentState;
}

bool CService_mill::AskToRereadSettings(std::string* error) {
  ServiceHandle manager(OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT));
  ServiceHandle service(OpenServiceA(manager.Get(), serviceName_.c_str(),
                                     SERVICE_PAUSE_CONTINUE));
  SERVICE_STATUS status = {};
  if (!service.Valid() ||
      !ControlService(service.Get(), SERVICE_CONTROL_PARAMCHANGE, &status)) {
    *error = StepFailed("Asking the service to re-read its settings");
    return false;
  }
  return true;
}

bool CService_mill::Install(std::string* error, std::string* warning) {
  ServiceHandle manager(OpenSCManagerA(NULL, NULL, SC_MANAGER_CREATE_SERVICE));
  if (!manager.Valid()) {
    *error = StepFailed("Opening the Service Control Manager");
    return false;
  }
  std::string program;
  if (!ProgramPath(&program, error)) return false;
  // Quoted: an unquoted path with blanks would let another program run with
  // the service's rights.
  const std::string command = "\"" + program + "\"";
  // Started at boot, so the engine comes back after a restart, once the
  // network it is probed over is up.
  const std::string dependencies = KnownDependencies(manager.Get());
  ServiceHandle service(CreateServiceA(
      manager.Get(), serviceName_.c_str(), displayName_.c_str(),
      SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
      SERVICE_ERROR_NORMAL, command.c_str(), NULL, NULL,
      dependencies.empty() ? NULL : dependencies.c_str(), NULL, NULL));
  if (!service.Valid()) {
    *error = StepFailed("Creating the service");
    return false;
  }
  SERVICE_DESCRIPTIONA description;
  description.lpDescription = const_cast<char*>(kServiceDescription);
  ChangeServiceConfig2A(service.Get(), SERVICE_CONFIG_DESCRIPTION,
                        &description);
  ConfigureShutdownAndRecovery(service.Get(), warning);
  return true;
}

// Best effort: a system that refuses these still has a working service.
// No failure-actions flag: the module never reports a stop with an error
// (a start or a tick that runs over ends it unreported, a crash), so the
// flag could only restart a service that an operator stopped.
void CService_mill::ConfigureShutdownAndRecovery(SC_HANDLE service,
                                                 std::string* warning) {
  std::string refused;
  SERVICE_PRESHUTDOWN_INFO preshutdown = {kPreshutdownTimeoutMs};
  if (!ChangeServiceConfig2A(service, SERVICE_CONFIG_PRESHUTDOWN_INFO,
                             &preshutdown)) {
    refused = StepFailed("Asking for time to stop at shutdown");
  }
  SC_ACTION actions[kRestartsBeforeGivingUp + 1] = {};
  for (uint32_t i = 0; i < kRestartsBeforeGivingUp; ++i) {
    actions[i].Type = SC_ACTION_RESTART;
    actions[i].Delay = kRestartDelayMs;
  }
  actions[kRestartsBeforeGivingUp].Type = SC_ACTION_NONE;
  SERVICE_FAILURE_ACTIONSA failure = {};
  failure.dwResetPeriod = kFailureCountResetSeconds;
  failure.cActions = kRestartsBeforeGivingUp + 1;
  failure.lpsaActions = actions;
  if (!ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS,
                             &failure)) {
    refused += (refused.empty() ? "" : "; ") +
               StepFailed("Setting the service to restart after a failure");
  }
  *warning = refused;
}

namespace {

// The registered command line of an open service; false with the reason.
bool RegisteredCommand(SC_HANDLE service, std::string* command,
                       std::string* error) {
  DWORD needed = 0;
  QueryServiceConfigA(service, NULL, 0, &needed);
  std::vector<char> buffer(needed ? needed : 1);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  if (!QueryServiceConfigA(service, config, needed, &needed)) {
    *error = StepFailed("Reading the service's configuration");
    return false;
  }
  *command = config->lpBinaryPathName ? config->lpBinaryPathName : "";
  return true;
}

// The remove's view of the service it stops.
class ManagedService : public StoppableService {
 public:
  ManagedService(SC_HANDLE service, const std::function<void(DWORD)>& wait)
      : service_(service), wait_(wait) {}
  bool QueryState(uint32_t* state, std::string* error) override {
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service_, &status)) {
      *error = StepFailed("Querying the service's status");
      return false;
    }
    *state = status.dwCurrentState;
    return true;
  }
  StopReply SendStop(std::string* error) override {
    SERVICE_STATUS status = {};
    if (ControlService(service_, SERVICE_CONTROL_STOP, &status)) {
      return StopReply::kSent;
    }
    switch (GetLastError()) {
      case ERROR_SERVICE_NOT_ACTIVE:
        return StopReply::kNotActive;
      case ERROR_SERVICE_CANNOT_ACCEPT_CTRL:
        return StopReply::kNotYet;
      default:
        *error = StepFailed("Stopping the service");
        return StopReply::kFailed;
    }
  }
  uint64_t TickMs() override { return GetTickCount64(); }
  void Wait(uint32_t ms) override {
    if (wait_) {
      wait_(ms);
    } else {
      Sleep(ms);
    }
  }

 private:
  SC_HANDLE service_;
  const std::function<void(DWORD)>& wait_;
};

}  // namespace

bool CService_mill::Uninstall(std::string* error) {
  ServiceHandle manager(OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT));
  if (!manager.Valid()) {
    *error = StepFailed("Opening the Service Control Manager");
    return false;
  }
  ServiceHandle service(OpenServiceA(
      manager.Get(), serviceName_.c_str(),
      DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
  if (!service.Valid()) {
    *error = StepFailed("Opening the service");
    return false;
  }
  // Another install folder's service of the same name is not ours to take.
  std::string program, command;
  if (!ProgramPath(&program, error) ||
      !RegisteredCommand(service.Get(), &command, error)) {
    return false;
  }
  if (!IsOursToRemove(command, program)) {
    *error = "The service belongs to another program: " +
             RegisteredProgramPath(command);
    return false;
  }
  // Deleted while it runs, the service would go on supervising and keep its
  // name blocked: it is stopped first, with the engine's shutdown.
  ManagedService managed(service.Get(), stopWait_);
  if (!StopAndWait(managed, error)) return false;
  if (!DeleteService(service.Get())) {
    *error = StepFailed("Deleting the service");
    return false;
  }
  return true;
}

bool CService_mill::AddEventSource(std::string* error) {
  return morvasvc::AddEventSource(serviceName_, error);
}

bool CService_mill::RemoveEventSource(std::string* error) {
  return morvasvc::RemoveEventSource(serviceName_, error);
}

// A service's name is what an operator typed or the folder gave when it was
// installed; its program is what makes it this module's.
bool CService_mill::FindServiceOfThisProgram(std::string* name) {
  std::string program, error;
  if (!ProgramPath(&program, &error)) return false;
  ServiceHandle manager(OpenSCManagerA(
      NULL, NULL, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
  if (!manager.Valid()) return false;
  std::vector<BYTE> buffer(64 * 1024);
  DWORD resume = 0;
  for (;;) {
    DWORD needed = 0, count = 0;
    const BOOL all = EnumServicesStatusExA(
        manager.Get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
        buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count,
        &resume, NULL);
    if (!all && GetLastError() != ERROR_MORE_DATA) return false;
    const auto* services =
        reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSA*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      ServiceHandle service(OpenServiceA(
          manager.Get(), services[i].lpServiceName, SERVICE_QUERY_CONFIG));
      std::string command;
      if (service.Valid() &&
          RegisteredCommand(service.Get(), &command, &error) &&
          IsThisProgram(command, program)) {
        *name = services[i].lpServiceName;
        return true;
      }
    }
    if (all) return false;
    if (needed > buffer.size()) buffer.resize(needed);
  }
}

std::string CService_mill::RegisteredProgram() {
  ServiceHandle manager(OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT));
  ServiceHandle service(OpenServiceA(manager.Get(), serviceName_.c_str(),
                                     SERVICE_QUERY_CONFIG));
  std::string command, error;
  if (!service.Valid() || !RegisteredCommand(service.Get(), &command, &error)) {
    return std::string();
  }
  return command;
}

}  // namespace morvasvc
