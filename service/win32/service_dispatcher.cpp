#include "service_dispatcher.h"

#include <atomic>

#include "activity_log.h"
#include "dialog_framework.h"
#include "handle.h"
#include "service_run.h"
#include "win32_module_system.h"

namespace morvasvc {

const char kServiceControlClass[] = "MorvaServiceControl";

namespace {

const UINT WM_SERVICE_START = WM_APP + 0x200;
const UINT WM_SERVICE_STOP = WM_APP + 0x201;
const UINT WM_SERVICE_ENDED = WM_APP + 0x202;
const UINT WM_SERVICE_REREAD = WM_APP + 0x203;

static_assert(SERVICE_STOPPED == kServiceStopped &&
                  SERVICE_START_PENDING == kServiceStartPending &&
                  SERVICE_STOP_PENDING == kServiceStopPending &&
                  SERVICE_RUNNING == kServiceRunning &&
                  SERVICE_ACCEPT_PRESHUTDOWN == kAcceptPreshutdown &&
                  SERVICE_CONTROL_PRESHUTDOWN == kControlPreshutdown,
              "the manager's numbers");

struct ServiceRunState {
  HWND control = NULL;
  SERVICE_STATUS_HANDLE statusHandle = NULL;
  // Manual-reset events, set once each.
  KernelHandle controlCreated{CreateEventA(NULL, TRUE, FALSE, NULL)};
  KernelHandle startHandled{CreateEventA(NULL, TRUE, FALSE, NULL)};
  KernelHandle stopHandled{CreateEventA(NULL, TRUE, FALSE, NULL)};
  KernelHandle stopRequested{CreateEventA(NULL, TRUE, FALSE, NULL)};
  // The activity log as the window last knew it, for an entry written while
  // the window's thread is held up.
  CRITICAL_SECTION logLock;
  std::string logPath;
  std::string serviceName;
  std::string installDir;
  // The name the manager started the service under, for the start event.
  std::string startedAs;
  // Set when the dispatcher call failed: no manager started this program.
  std::atomic<bool> startedByUser{false};
  // The supervision tick the window's thread is in, for the watchdog.
  std::atomic<bool> tickRunning{false};
  std::atomic<uint64_t> tickStartMs{0};
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
    reported.dwCheckPoint = status.checkPoint;
    reported.dwWaitHint = status.waitHintMs;
    return SetServiceStatus(run->statusHandle, &reported) != FALSE;
  }
  bool WaitForWindow(WindowStage stage, uint32_t ms) override {
    const KernelHandle& event =
        stage == WindowStage::kCreated        ? run->controlCreated
        : stage == WindowStage::kStartHandled ? run->startHandled
                                              : run->stopHandled;
    return WaitForSingleObject(event.Get(), ms) == WAIT_OBJECT_0;
  }
  void PostStart() override {
    PostMessageA(run->control, WM_SERVICE_START, 0, 0);
  }
  void PostStop() override { PostMessageA(run->control, WM_SERVICE_STOP, 0, 0); }
  bool WaitForStopRequest(uint32_t ms) override {
    return WaitForSingleObject(run->stopRequested.Get(), ms) == WAIT_OBJECT_0;
  }
  // A tick begun after the running flag was read shows a later start: it
  // can only make a stuck tick look younger, never a new one look stuck.
  bool TickRunningSince(uint64_t* startMs) override {
    if (!run->tickRunning.load()) return false;
    *startMs = run->tickStartMs.load();
    return true;
  }
  uint64_t TickMs() override { return GetTickCount64(); }
  // Only a handler or a tick that ran past its bound logs from here.
  void Log(const std::string& message) override {
    EnterCriticalSection(&run->logLock);
    const std::string path = run->logPath;
    const std::string source = run->serviceName;
    const std::string installDir = run->installDir;
    LeaveCriticalSection(&run->logLock);
    Win32ModuleSystem system;
    AppendActivityEntry(system, system, path, message);
    system.ReportToEventLog(source, EventType::kError,
                            EventText(message, installDir));
  }
  void Terminate(uint32_t exitCode) override {
    TerminateProcess(GetCurrentProcess(), exitCode);
  }
};

// The manager's thread only signals; the service's thread reports.
DWORD WINAPI ControlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
  switch (ClassifyControl(control)) {
    case ControlAction::kStop:
      SetEvent(run->stopRequested.Get());
      return NO_ERROR;
    // Handled in turn on the window's thread, after a start still in hand.
    case ControlAction::kRereadSettings:
      PostMessageA(run->control, WM_SERVICE_REREAD, 0, 0);
      return NO_ERROR;
    case ControlAction::kAnswer:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

// The manager names the service in the first argument: whatever name it was
// installed under, the service goes by it.
void WINAPI ServiceMain(DWORD argc, LPSTR* argv) {
  const std::string name = argc > 0 && argv[0] ? argv[0] : "";
  run->startedAs = name;
  EnterCriticalSection(&run->logLock);
  run->serviceName = name;
  LeaveCriticalSection(&run->logLock);
  run->statusHandle =
      RegisterServiceCtrlHandlerExA(name.c_str(), ControlHandler, NULL);
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
  } else {
    run->startedByUser.store(true);
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
        SetEvent(run->controlCreated.Get());
      }
      return 0;
    case WM_SERVICE_START:
      FireEvent(hwnd, kStartEvent, run->startedAs.c_str());
      SetEvent(run->startHandled.Get());
      return 0;
    case WM_SERVICE_STOP:
      FireEvent(hwnd, kStopEvent, nullptr);
      SetEvent(run->stopHandled.Get());
      return 0;
    case WM_SERVICE_REREAD:
      FireEvent(hwnd, kRereadSettingsEvent, nullptr);
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

bool StartedByUser() { return run && run->startedByUser.load(); }

void MarkSupervisionTick(bool running) {
  if (!run) return;
  if (running) run->tickStartMs.store(GetTickCount64());
  run->tickRunning.store(running);
}

void PublishServiceLog(const LogDestination& destination) {
  if (!run) return;
  EnterCriticalSection(&run->logLock);
  run->logPath = destination.path;
  if (!destination.eventSource.empty()) {
    run->serviceName = destination.eventSource;
  }
  run->installDir = destination.installDir;
  LeaveCriticalSection(&run->logLock);
}

bool RegisterServiceControlClass(HINSTANCE instance) {
  // The manager expects to hear from a service soon after it starts the
  // program, before any window exists, so the dispatcher starts here.
  if (!run) {
    run = new ServiceRunState;
    InitializeCriticalSection(&run->logLock);
    const KernelHandle thread(
        CreateThread(NULL, 0, DispatcherThread, NULL, 0, NULL));
  }
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ControlWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kServiceControlClass;
  return RegisterClassA(&windowClass) != 0;
}

}  // namespace morvasvc
