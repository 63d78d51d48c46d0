#include "service_dispatcher.h"

#include <atomic>
#include <memory>
#include <utility>

#include "activity_log.h"
#include "dialog_framework.h"
#include "handle.h"
#include "system_error.h"
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
                  SERVICE_CONTROL_PRESHUTDOWN == kControlPreshutdown &&
                  ERROR_INVALID_PARAMETER == kErrorInvalidParameter,
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
  std::string installDir;
  // The name the manager started the service under, for the start event
  // and every event of this thread: the name its event source has.
  std::string startedAs;
  // Entries the window's thread keeps back for a held log.
  std::atomic<size_t> keptBack{0};
  // Set when the manager called the service's main function. That, or the
  // dispatcher call failing (no manager started this program), sets the
  // decided event.
  std::atomic<bool> startedByManager{false};
  KernelHandle decided{CreateEventA(NULL, TRUE, FALSE, NULL)};
  // The message the window's thread handles, for the watchdog: nested
  // messages count as the outermost one.
  std::atomic<uint32_t> busyDepth{0};
  std::atomic<uint64_t> busyStartMs{0};
  std::atomic<bool> busyOnTick{false};
};
ServiceRunState* run = nullptr;

LogDestination Destination() {
  EnterCriticalSection(&run->logLock);
  LogDestination destination;
  destination.path = run->logPath;
  destination.installDir = run->installDir;
  LeaveCriticalSection(&run->logLock);
  return destination;
}

DWORD WINAPI WriteEntry(LPVOID parameter) {
  std::unique_ptr<std::pair<std::string, std::string>> entry(
      static_cast<std::pair<std::string, std::string>*>(parameter));
  Win32ModuleSystem system;
  AppendActivityEntry(system, system, entry->first, entry->second);
  return 0;
}

class Win32ServiceHost : public ServiceHost {
 public:
  bool ReportStatus(const ServiceStatus& status, uint32_t* error) override {
    SERVICE_STATUS reported = {};
    reported.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    reported.dwCurrentState = status.state;
    reported.dwControlsAccepted = status.controlsAccepted;
    reported.dwWin32ExitCode = status.win32ExitCode;
    reported.dwCheckPoint = status.checkPoint;
    reported.dwWaitHint = status.waitHintMs;
    if (SetServiceStatus(run->statusHandle, &reported)) return true;
    *error = GetLastError();
    return false;
  }
  std::string ErrorText(uint32_t error) override {
    return StepFailed("SetServiceStatus", std::string(), error);
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
  // A message begun after the depth was read shows a later start: it can
  // only make a stuck message look younger, never a new one look stuck.
  bool BusySince(uint64_t* startMs, bool* tick) override {
    if (run->busyDepth.load() == 0) return false;
    *startMs = run->busyStartMs.load();
    *tick = run->busyOnTick.load();
    return true;
  }
  uint64_t TickMs() override { return GetTickCount64(); }
  void Pause(uint32_t ms) override { Sleep(ms); }
  void ReportEvent(EventKind kind, const std::string& message) override {
    Win32ModuleSystem system;
    system.ReportToEventLog(run->startedAs, EventType::kError, kind,
                            EventText(message, Destination().installDir));
  }
  // On a thread of its own, which is left behind when the bound passes: a
  // write to a log on a hung network path may never return.
  void LogBounded(const std::string& message, uint32_t boundMs) override {
    auto* entry = new std::pair<std::string, std::string>(
        Destination().path, message);
    const KernelHandle writer(CreateThread(NULL, 0, WriteEntry, entry, 0, NULL));
    if (!writer.Valid()) {
      delete entry;
      return;
    }
    WaitForSingleObject(writer.Get(), boundMs);
  }
  size_t KeptBackEntries() override { return run->keptBack.load(); }
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
  run->startedByManager.store(true);
  SetEvent(run->decided.Get());
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
    SetEvent(run->decided.Get());
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

bool StartedByManagerSoFar() { return run && run->startedByManager.load(); }

void MarkWindowMessage(bool begins) {
  if (!run) return;
  if (begins) {
    if (run->busyDepth.load() == 0) {
      run->busyOnTick.store(false);
      run->busyStartMs.store(GetTickCount64());
    }
    ++run->busyDepth;
  } else if (run->busyDepth.load() > 0) {
    --run->busyDepth;
  }
}

void MarkSupervisionTick() {
  if (run) run->busyOnTick.store(true);
}

namespace {
class Dispatched : public ServiceThread {
 public:
  void PublishLog(const LogDestination& destination) override {
    if (!run) return;
    EnterCriticalSection(&run->logLock);
    run->logPath = destination.path;
    run->installDir = destination.installDir;
    LeaveCriticalSection(&run->logLock);
    run->keptBack.store(destination.keptBack);
  }
  bool StartedByServiceManager() override {
    if (!run) return false;
    // The dispatcher call fails at once for a user; the manager calls the
    // main function as soon as it is connected.
    const DWORD kDecideMs = 5000;
    WaitForSingleObject(run->decided.Get(), kDecideMs);
    return run->startedByManager.load();
  }
};
Dispatched dispatched;
}  // namespace

ServiceThread& DispatcherServiceThread() { return dispatched; }

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
