#include "service_control.h"

#include <cwchar>
#include <vector>

#include "dialog_framework.h"
#include "handle.h"
#include "morva_module.h"
#include "service_run.h"
#include "win32_module_system.h"

namespace morvasvc {

const char kServiceControlClass[] = "MorvaServiceControl";

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

namespace {

// The running program's path; false with the reason when the system's ANSI
// code page cannot hold it: registered with question marks, it never starts.
bool ProgramPath(std::string* path, std::string* error) {
  char program[MAX_PATH];
  const DWORD length = GetModuleFileNameA(NULL, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    *error = SystemErrorText(length ? ERROR_FILENAME_EXCED_RANGE : GetLastError());
    return false;
  }
  wchar_t wide[MAX_PATH];
  const DWORD wideLength = GetModuleFileNameW(NULL, wide, MAX_PATH);
  wchar_t fromAnsi[MAX_PATH];
  const int fromAnsiLength = MultiByteToWideChar(
      CP_ACP, 0, program, static_cast<int>(length), fromAnsi, MAX_PATH);
  if (wideLength == 0 || wideLength >= MAX_PATH ||
      fromAnsiLength != static_cast<int>(wideLength) ||
      wmemcmp(wide, fromAnsi, wideLength) != 0) {
    *error = "The program's folder name has characters that the system's "
             "code page cannot hold: " +
             std::string(program, length);
    return false;
  }
  path->assign(program, length);
  return true;
}

// A registered command line's program: unquoted, the arguments left off.
std::string CommandProgram(const std::string& command) {
  if (!command.empty() && command[0] == '"') {
    return command.substr(1, command.find('"', 1) - 1);
  }
  return command.substr(0, command.find(' '));
}

enum class FileIdentity { kSame, kOther, kGone, kUnknown };

// Whether two paths name one file, by the volume and the file's index: the
// same program reached through a link or another spelling is still itself.
FileIdentity CompareFiles(const std::string& registered,
                          const std::string& program) {
  BY_HANDLE_FILE_INFORMATION info[2];
  const std::string* paths[2] = {&registered, &program};
  for (int i = 0; i < 2; ++i) {
    FileHandle file(CreateFileA(
        paths[i]->c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL));
    if (!file.Valid()) {
      const DWORD error = GetLastError();
      return i == 0 && (error == ERROR_FILE_NOT_FOUND ||
                        error == ERROR_PATH_NOT_FOUND)
                 ? FileIdentity::kGone
                 : FileIdentity::kUnknown;
    }
    if (!GetFileInformationByHandle(file.Get(), &info[i])) {
      return FileIdentity::kUnknown;
    }
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
                 info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
                 info[0].nFileIndexLow == info[1].nFileIndexLow
             ? FileIdentity::kSame
             : FileIdentity::kOther;
}

// Ours to remove: this very program, by any path, or a program that no
// longer exists (its folder was moved or renamed). Where the files cannot
// be compared, only the same path text will do.
bool IsOursToRemove(const std::string& registered, const std::string& program) {
  switch (CompareFiles(registered, program)) {
    case FileIdentity::kSame:
    case FileIdentity::kGone:
      return true;
    case FileIdentity::kOther:
      return false;
    case FileIdentity::kUnknown:
      break;
  }
  return lstrcmpiA(registered.c_str(), program.c_str()) == 0;
}

}  // namespace

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

namespace {
std::string EventSourceKey(const std::string& serviceName) {
  return "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" +
         serviceName;
}
}  // namespace

// Event Viewer finds the texts in this program's message table.
bool CService_mill::AddEventSource(std::string* error) {
  std::string program;
  if (!ProgramPath(&program, error)) return false;
  HKEY key = NULL;
  LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                                EventSourceKey(serviceName_).c_str(), 0, NULL,
                                0, KEY_SET_VALUE, NULL, &key, NULL);
  if (result == ERROR_SUCCESS) {
    const DWORD types =
        EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    result = RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ,
                            reinterpret_cast<const BYTE*>(program.c_str()),
                            static_cast<DWORD>(program.size() + 1));
    if (result == ERROR_SUCCESS) {
      result = RegSetValueExA(key, "TypesSupported", 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&types),
                              sizeof types);
    }
    RegCloseKey(key);
  }
  if (result != ERROR_SUCCESS) {
    *error = SystemErrorText(static_cast<DWORD>(result));
    return false;
  }
  return true;
}

bool CService_mill::RemoveEventSource(std::string* error) {
  const LONG result =
      RegDeleteKeyA(HKEY_LOCAL_MACHINE, EventSourceKey(serviceName_).c_str());
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
    *error = SystemErrorText(static_cast<DWORD>(result));
    return false;
  }
  return true;
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

// The service side. The dispatcher call blocks its thread for the whole life
// of the service, so it gets a thread of its own; every event is handed to
// the control window with a posted message and handled on the dialog's thread.
namespace {

const UINT WM_SERVICE_START = WM_APP + 0x200;
const UINT WM_SERVICE_STOP = WM_APP + 0x201;
const UINT WM_SERVICE_ENDED = WM_APP + 0x202;

static_assert(SERVICE_STOPPED == kServiceStopped &&
                  SERVICE_START_PENDING == kServiceStartPending &&
                  SERVICE_STOP_PENDING == kServiceStopPending &&
                  SERVICE_RUNNING == kServiceRunning &&
                  SERVICE_ACCEPT_PRESHUTDOWN == kAcceptPreshutdown &&
                  SERVICE_CONTROL_PRESHUTDOWN == kControlPreshutdown &&
                  ERROR_SERVICE_SPECIFIC_ERROR == kServiceSpecificError,
              "the manager's numbers");

struct ServiceRunState {
  HWND control = NULL;
  SERVICE_STATUS_HANDLE statusHandle = NULL;
  HANDLE controlCreated = NULL;
  HANDLE startHandled = NULL;
  HANDLE stopHandled = NULL;
  HANDLE stopRequested = NULL;
  // The activity log as the window last knew it, for an entry written while
  // the window's thread is held up.
  CRITICAL_SECTION logLock;
  std::string logPath;
  std::string serviceName;
  std::string installDir;
};
ServiceRunState* run = nullptr;

class Win32ServiceHost : public ServiceHost {
 public:
  bool ReportStatus(const ServiceStatus& status) override {
    SERVICE_STATUS reported = {};
    reported.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    reported.dwCurrentState = status.state;
    reported.dwControlsAccepted = status.controlsAccepted;
    reported.dwWin32ExitCode = status.win32ExitCode;
    reported.dwServiceSpecificExitCode = status.serviceSpecificExitCode;
    reported.dwCheckPoint = status.checkPoint;
    reported.dwWaitHint = status.waitHintMs;
    return SetServiceStatus(run->statusHandle, &reported) != FALSE;
  }
  bool WaitForWindow(WindowStage stage, uint32_t ms) override {
    HANDLE event = stage == WindowStage::kCreated        ? run->controlCreated
                   : stage == WindowStage::kStartHandled ? run->startHandled
                                                         : run->stopHandled;
    return WaitForSingleObject(event, ms) == WAIT_OBJECT_0;
  }
  void PostStart() override {
    PostMessageA(run->control, WM_SERVICE_START, 0, 0);
  }
  void PostStop() override { PostMessageA(run->control, WM_SERVICE_STOP, 0, 0); }
  void WaitForStopRequest() override {
    WaitForSingleObject(run->stopRequested, INFINITE);
  }
  uint64_t TickMs() override { return GetTickCount64(); }
  // Only a handler that ran past its bound logs from here: an error.
  void Log(const std::string& message) override {
    EnterCriticalSection(&run->logLock);
    const std::string path = run->logPath;
    const std::string source = run->serviceName;
    const std::string installDir = run->installDir;
    LeaveCriticalSection(&run->logLock);
    Win32ModuleSystem system;
    AppendActivityEntry(system, path, message);
    system.ReportToEventLog(source, EventType::kError,
                       message + "\r\n\r\nInstall folder: " + installDir);
  }
  void EndProcess(uint32_t exitCode) override { ExitProcess(exitCode); }
};

// The manager's thread only signals; the service's thread reports.
DWORD WINAPI ControlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
  switch (ClassifyControl(control)) {
    case ControlAction::kStop:
      SetEvent(run->stopRequested);
      return NO_ERROR;
    case ControlAction::kAnswer:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  run->statusHandle = RegisterServiceCtrlHandlerExA("", ControlHandler, NULL);
  if (!run->statusHandle) return;
  Win32ServiceHost host;
  RunService(host);
}

DWORD WINAPI DispatcherThread(LPVOID) {
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(""), ServiceMain},
                                  {NULL, NULL}};
  // Fails at once when a user, not the manager, started the program.
  if (StartServiceCtrlDispatcherA(table)) {
    PostMessageA(run->control, WM_SERVICE_ENDED, 0, 0);
  }
  return 0;
}

void FireEvent(HWND control, int dispatchId, const char* argument) {
  ControlEvent event = {dispatchId, argument};
  SendMessageA(GetParent(control), WM_CONTROL_EVENT,
               static_cast<WPARAM>(GetDlgCtrlID(control)),
               reinterpret_cast<LPARAM>(&event));
}

LRESULT CALLBACK ControlWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      if (run && !run->control) {
        run->control = hwnd;
        SetEvent(run->controlCreated);
      }
      return 0;
    case WM_SERVICE_START:
      FireEvent(hwnd, kStartEvent, "");
      SetEvent(run->startHandled);
      return 0;
    case WM_SERVICE_STOP:
      FireEvent(hwnd, kStopEvent, nullptr);
      SetEvent(run->stopHandled);
      return 0;
    case WM_SERVICE_ENDED:
      // The manager has the service stopped: the program ends with it.
      EndDialog(GetParent(hwnd), IDCANCEL);
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

}  // namespace

void PublishServiceLog(const std::string& activityLogPath,
                       const std::string& serviceName,
                       const std::string& installDir) {
  if (!run) return;
  EnterCriticalSection(&run->logLock);
  run->logPath = activityLogPath;
  run->serviceName = serviceName;
  run->installDir = installDir;
  LeaveCriticalSection(&run->logLock);
}

bool RegisterServiceControlClass(HINSTANCE instance) {
  // The manager expects to hear from a service soon after it starts the
  // program, before any window exists, so the dispatcher starts here.
  if (!run) {
    run = new ServiceRunState;
    InitializeCriticalSection(&run->logLock);
    run->controlCreated = CreateEventA(NULL, TRUE, FALSE, NULL);
    run->startHandled = CreateEventA(NULL, TRUE, FALSE, NULL);
    run->stopHandled = CreateEventA(NULL, TRUE, FALSE, NULL);
    run->stopRequested = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE thread = CreateThread(NULL, 0, DispatcherThread, NULL, 0, NULL);
    if (thread) CloseHandle(thread);
  }
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ControlWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kServiceControlClass;
  return RegisterClassA(&windowClass) != 0;
}

}  // namespace morvasvc
