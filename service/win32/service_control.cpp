#include "service_control.h"

#include <vector>

#include "event_source.h"
#include "handle.h"
#include "program_files.h"
#include "service_run.h"

namespace morvasvc {

namespace {
const char kServiceDescription[] =
    "Starts engine for Morva Software version 7 products";

// The step that failed and the system's reason, taken right at the call.
std::string StepFailed(const char* step) {
  const DWORD error = GetLastError();
  return std::string(step) + " failed: " + SystemErrorText(error);
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
  // Started at boot, so the engine comes back after a restart.
  ServiceHandle service(CreateServiceA(
      manager.Get(), serviceName_.c_str(), displayName_.c_str(),
      SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
      SERVICE_ERROR_NORMAL, command.c_str(), NULL, NULL, NULL, NULL, NULL));
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
void CService_mill::ConfigureShutdownAndRecovery(SC_HANDLE service,
                                                 std::string* warning) {
  SERVICE_PRESHUTDOWN_INFO preshutdown = {kPreshutdownTimeoutMs};
  ChangeServiceConfig2A(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown);

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
    *warning = StepFailed("Setting the service to restart after a failure");
    return;
  }
  // A stop with an error code (a handler that ran past its bound) counts as
  // a failure too; systems before Vista lack this, Wine refuses it.
  SERVICE_FAILURE_ACTIONS_FLAG flag = {TRUE};
  ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag);
}

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
  std::string program;
  if (!ProgramPath(&program, error)) return false;
  DWORD needed = 0;
  QueryServiceConfigA(service.Get(), NULL, 0, &needed);
  std::vector<char> buffer(needed ? needed : 1);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  if (!QueryServiceConfigA(service.Get(), config, needed, &needed)) {
    *error = StepFailed("Reading the service's configuration");
    return false;
  }
  const std::string registered =
      CommandProgram(config->lpBinaryPathName ? config->lpBinaryPathName : "");
  if (!IsOursToRemove(registered, program)) {
    *error = "The service belongs to another program: " + registered;
    return false;
  }
  // Deleted while it runs, the service would go on supervising and keep its
  // name blocked: it is stopped first, with the engine's shutdown.
  if (!StopAndWait(service.Get(), error)) return false;
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

bool CService_mill::StopAndWait(SC_HANDLE service, std::string* error) {
  // The service's own stop waits for the engine for about 30 s.
  const DWORD kStopBoundMs = 60000;
  const DWORD kStepMs = 200;
  SERVICE_STATUS status = {};
  if (!QueryServiceStatus(service, &status)) {
    *error = StepFailed("Querying the service's status");
    return false;
  }
  if (status.dwCurrentState == SERVICE_STOPPED) return true;
  if (status.dwCurrentState != SERVICE_STOP_PENDING &&
      !ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    *error = StepFailed("Stopping the service");
    return false;
  }
  const DWORD start = GetTickCount();
  for (;;) {
    // A status that cannot be read is no proof that the service stopped.
    if (!QueryServiceStatus(service, &status)) {
      *error = StepFailed("Querying the service's status");
      return false;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) return true;
    if (GetTickCount() - start > kStopBoundMs) {
      *error = "Stopping the service failed: it did not stop within " +
               std::to_string(kStopBoundMs / 1000) + " seconds";
      return false;
    }
    if (stopWait_) {
      stopWait_(kStepMs);
    } else {
      Sleep(kStepMs);
    }
  }
}

}  // namespace morvasvc
