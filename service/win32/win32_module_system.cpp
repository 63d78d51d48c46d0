#include "win32_module_system.h"

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <ctime>
#include <vector>

#include "read_shown_windows.h"
#include "event_source.h"
#include "handle.h"
#include "system_error.h"

namespace morvasvc {

namespace {
// No service thread: nobody to tell, and no manager to have started us.
class NoServiceThread : public ServiceThread {
 public:
  void PublishLog(const LogDestination&) override {}
  bool StartedByServiceManager() override { return false; }
};
NoServiceThread noServiceThread;
}  // namespace

Win32ModuleSystem::Win32ModuleSystem() : serviceThread_(noServiceThread) {}

void Win32ModuleSystem::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

int64_t Win32ModuleSystem::Now() { return static_cast<int64_t>(_time64(NULL)); }

uint64_t Win32ModuleSystem::TickMs() { return GetTickCount64(); }

bool Win32ModuleSystem::ToLocalTime(int64_t time, std::tm* local) {
  const __time64_t t = time;
  return _localtime64_s(local, &t) == 0;
}

namespace {
// What tells a process from a later one that got its id.
bool CreationTime(HANDLE process, uint64_t* createdAt) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
    return false;
  }
  *createdAt =
      (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
  return true;
}
}  // namespace

bool Win32ModuleSystem::ShellOpen(const std::string& file,
                                  const std::string& parameters,
                                  const std::string& directory,
                                  ShellPrompts prompts, std::string* error,
                                  LaunchedProcess* launched) {
  // Bare system text: the launch's entry names the step, the entry before
  // it the path.
  // The shell has fixed-size buffers for the program's path; a longer one
  // could crash the caller instead of failing.
  if (file.size() >= MAX_PATH || directory.size() >= MAX_PATH) {
    *error = SystemErrorText(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  SHELLEXECUTEINFOA execute = {};
  execute.cbSize = sizeof execute;
  // Done before the call returns: the thread goes on with the next step.
  // The process, when asked for, is kept only by its id and creation time.
  execute.fMask = SEE_MASK_NOASYNC | (launched ? SEE_MASK_NOCLOSEPROCESS : 0);
  if (prompts == ShellPrompts::kNever) {
    // A prompt on the service's desktop would hold its thread for ever; so
    // would the zone check of a runtime unpacked from a downloaded archive.
    execute.fMask |= SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS;
  } else {
    execute.hwnd = shellOwner_;
  }
  execute.lpVerb = "open";
  execute.lpFile = file.c_str();
  execute.lpParameters = parameters.c_str();
  execute.lpDirectory = directory.c_str();
  execute.nShow = SW_SHOWNORMAL;
  SetLastError(NO_ERROR);
  if (ShellExecuteExA(&execute)) {
    // The shell may hand the file to a running program and give none.
    const KernelHandle process(execute.hProcess);
    if (launched && process.Valid() &&
        CreationTime(process.Get(), &launched->createdAt)) {
      launched->id = GetProcessId(process.Get());
    }
    return true;
  }
  DWORD code = GetLastError();
  // The shell's own codes below 32 match the system's error numbers.
  if (code == NO_ERROR) {
    const INT_PTR result = reinterpret_cast<INT_PTR>(execute.hInstApp);
    code = result > 0 && result <= 32 ? static_cast<DWORD>(result)
                                      : ERROR_OUTOFMEMORY;
  }
  *error = SystemErrorText(code);
  return false;
}

namespace {

// The launched process, opened by id, only while its creation time is the
// one the launch saw; kGone otherwise.
ProcessState OpenLaunched(const LaunchedProcess& launched, DWORD access,
                          KernelHandle* process, std::string* error) {
  process->Reset(OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                             launched.id));
  if (!process->Valid()) {
    const DWORD code = GetLastError();
    // No process has the id any more.
    if (code == ERROR_INVALID_PARAMETER) return ProcessState::kGone;
    *error = StepFailed("OpenProcess", std::to_string(launched.id), code);
    return ProcessState::kUnknown;
  }
  uint64_t createdAt = 0;
  if (!CreationTime(process->Get(), &createdAt)) {
    *error = StepFailed("GetProcessTimes", std::to_string(launched.id),
                        GetLastError());
    return ProcessState::kUnknown;
  }
  return createdAt == launched.createdAt ? ProcessState::kRunning
                                         : ProcessState::kGone;
}

}  // namespace

ProcessState Win32ModuleSystem::CheckProcess(const LaunchedProcess& launched,
                                             std::string* error) {
  KernelHandle process;
  const ProcessState state =
      OpenLaunched(launched, SYNCHRONIZE, &process, error);
  if (state != ProcessState::kRunning) return state;
  // An ended process stays open to its holders: its handle is signalled.
  return WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0
             ? ProcessState::kGone
             : ProcessState::kRunning;
}

bool Win32ModuleSystem::EndLaunchedProcess(const LaunchedProcess& launched,
                                           std::string* error) {
  KernelHandle process;
  switch (OpenLaunched(launched, PROCESS_TERMINATE | SYNCHRONIZE, &process,
                       error)) {
    case ProcessState::kRunning:
      break;
    case ProcessState::kGone:
      return true;
    case ProcessState::kUnknown:
      return false;
  }
  if (!TerminateProcess(process.Get(), 1)) {
    *error = StepFailed("TerminateProcess", std::to_string(launched.id),
                        GetLastError());
    return false;
  }
  // Bounded: a tick may not wait long for it to be gone.
  WaitForSingleObject(process.Get(), 1000);
  return true;
}

std::vector<AnsweredBox> Win32ModuleSystem::AnswerDialogBoxes(
    const LaunchedProcess& launched) {
  std::vector<AnsweredBox> boxes;
  // Only windows of the very process the module launched, held open so
  // that its id names no other process while its windows are read.
  KernelHandle process;
  std::string error;
  if (OpenLaunched(launched, SYNCHRONIZE, &process, &error) !=
          ProcessState::kRunning ||
      WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0) {
    return boxes;
  }
  const DWORD kBoxesBoundMs = 1000;
  const DWORD kCloseWaitMs = 500;
  for (const morva_common::FoundWindow& window :
       morva_common::ReadShownWindows({launched.id}, kBoxesBoundMs)) {
    if (!window.dialogBox) continue;
    AnsweredBox box;
    box.shown = window.shown;
    const int button = morva_common::AcknowledgingButton(window.shown.buttons);
    if (button != 0 &&
        PostMessageA(window.handle, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     0)) {
      box.pressed = button;
      // Closed only once it is gone: a box may ignore what was posted.
      const ULONGLONG until = GetTickCount64() + kCloseWaitMs;
      while (IsWindow(window.handle) && GetTickCount64() < until) Sleep(20);
      box.closed = !IsWindow(window.handle);
    }
    boxes.push_back(box);
  }
  return boxes;
}

namespace {
const char kLaunchedValue[] = "LaunchedEngine";
std::string ServiceKey(const std::string& service) {
  return "SYSTEM\\CurrentControlSet\\Services\\" + service;
}
}  // namespace

// "<id> <creation time>" under the service's own key: removed with it.
void Win32ModuleSystem::RecordLaunched(const std::string& service,
                                       const LaunchedProcess& process) {
  RegistryKey key;
  if (service.empty() ||
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, ServiceKey(service).c_str(), 0,
                    KEY_SET_VALUE, key.Receive()) != ERROR_SUCCESS) {
    return;
  }
  const std::string value =
      std::to_string(process.id) + " " + std::to_string(process.createdAt);
  RegSetValueExA(key.Get(), kLaunchedValue, 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
}

LaunchedProcess Win32ModuleSystem::RecalledLaunched(
    const std::string& service) {
  LaunchedProcess process;
  char value[64] = "";
  DWORD size = sizeof value - 1;
  DWORD type = 0;
  RegistryKey key;
  if (service.empty() ||
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, ServiceKey(service).c_str(), 0,
                    KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS ||
      RegQueryValueExA(key.Get(), kLaunchedValue, NULL, &type,
                       reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return process;
  }
  value[size < sizeof value ? size : sizeof value - 1] = '\0';
  unsigned long id = 0;
  unsigned long long createdAt = 0;
  if (std::sscanf(value, "%lu %llu", &id, &createdAt) == 2) {
    process.id = static_cast<uint32_t>(id);
    process.createdAt = createdAt;
  }
  return process;
}

// Services run in session 0, and any program started there (by a scheduled
// task, a remote shell) shows its windows to nobody; so does one on a window
// station without visible display surfaces.
bool Win32ModuleSystem::NobodySeesWindows() {
  DWORD session = 0;
  if (ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0) {
    return true;
  }
  USEROBJECTFLAGS flags = {};
  return GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS,
                                   &flags, sizeof flags, NULL) &&
         !(flags.dwFlags & WSF_VISIBLE);
}

bool Win32ModuleSystem::RunsUnderWow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::string Win32ModuleSystem::SystemFolder() {
  char folder[MAX_PATH];
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  return length && length < MAX_PATH ? std::string(folder, length)
                                     : std::string();
}

std::string Win32ModuleSystem::WindowsFolder() {
  char folder[MAX_PATH];
  const UINT length = GetSystemWindowsDirectoryA(folder, MAX_PATH);
  return length && length < MAX_PATH ? std::string(folder, length)
                                     : std::string();
}

bool Win32ModuleSystem::StartedByServiceManager() {
  return serviceThread_.StartedByServiceManager();
}

std::string Win32ModuleSystem::LowerCase(const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  if (!buffer.empty()) {
    CharLowerBuffA(buffer.data(), static_cast<DWORD>(buffer.size()));
  }
  return std::string(buffer.begin(), buffer.end());
}

bool Win32ModuleSystem::IsLeadByte(unsigned char byte) {
  return IsDBCSLeadByte(byte) != FALSE;
}

std::string Win32ModuleSystem::WideToAnsi(const std::u16string& text) {
  if (text.empty()) return std::string();
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int wideLength = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(CP_ACP, 0, wide, wideLength, NULL, 0, NULL, NULL);
  std::string ansi(length > 0 ? length : 0, '\0');
  if (length > 0) {
    WideCharToMultiByte(CP_ACP, 0, wide, wideLength, &ansi[0], length, NULL,
                        NULL);
  }
  return ansi;
}

void Win32ModuleSystem::ReportToEventLog(const std::string& source,
                                         EventType type, EventKind kind,
                                         const std::string& text) {
  WriteEvent(source, type, kind, text);
}

std::string Win32ModuleSystem::EnvironmentVariable(const std::string& name) {
  const DWORD size = GetEnvironmentVariableA(name.c_str(), NULL, 0);
  if (size == 0) return std::string();
  std::vector<char> value(size);
  const DWORD length = GetEnvironmentVariableA(name.c_str(), value.data(), size);
  return length < size ? std::string(value.data(), length) : std::string();
}

void Win32ModuleSystem::PublishLog(const LogDestination& destination) {
  serviceThread_.PublishLog(destination);
}

std::string Win32ModuleSystem::CommandLine() {
  const char* commandLine = GetCommandLineA();
  return commandLine ? commandLine : "";
}

std::string Win32ModuleSystem::ProgramPath() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
  return std::string(path, length < MAX_PATH ? length : 0);
}

void Win32ModuleSystem::EndProcess(uint32_t exitCode) { ExitProcess(exitCode); }

}  // namespace morvasvc
