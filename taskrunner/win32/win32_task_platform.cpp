#include "win32_task_platform.h"

#include <windows.h>

#include <vector>

#include "ansi_conversion.h"
#include "log_append.h"
#include "read_shown_windows.h"
#include "timing_marks.h"

namespace runwell {

std::string Win32TaskRunPlatform::CommandLine() {
  const char* commandLine = GetCommandLineA();
  return commandLine ? commandLine : "";
}

FileResult Win32TaskRunPlatform::ReadFile(const std::string& path,
                                          std::string* bytes) {
  MarkTime(TimingMark::kBeforeDataFile);
  const FileResult result = ReadWhole(path, bytes);
  MarkTime(TimingMark::kAfterDataFile);
  return result;
}

FileResult Win32TaskRunPlatform::ReadWhole(const std::string& path,
                                           std::string* bytes) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
  if (!file.Valid()) return FileFailure(GetLastError());
  bytes->clear();
  char buffer[4096];
  for (;;) {
    DWORD count = 0;
    if (!::ReadFile(file.Get(), buffer, sizeof buffer, &count, NULL)) {
      return FileFailure(GetLastError());
    }
    if (count == 0) return FileResult::kDone;
    bytes->append(buffer, count);
  }
}

FileResult Win32TaskRunPlatform::AppendToFile(const std::string& path,
                                              const std::string& bytes) {
  return AppendToLog(path, bytes);
}

void Win32TaskRunPlatform::Sleep(uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

bool Win32TaskRunPlatform::StartTask(const std::string& commandLine,
                                     const std::string& workingDir,
                                     uint32_t* error) {
  // The system may write into the command line, so it gets a copy of its own.
  std::vector<char> writableCommandLine(commandLine.begin(), commandLine.end());
  writableCommandLine.push_back('\0');

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};

  MarkTime(TimingMark::kBeforeJob);
  job_.Reset(CreateJobObjectA(NULL, NULL));
  if (job_.Valid()) {
    // A task that wants a program of its own outside the job may have it.
    // Ended with the runner (the engine cancels a task by ending its runner),
    // the task takes what it started with it.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_BREAKAWAY_OK | JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job_.Get(), JobObjectExtendedLimitInformation,
                            &limits, sizeof limits);
  }

  // Suspended until it is in the job, so not one grandchild escapes it.
  const DWORD creationFlags = job_.Valid() ? CREATE_SUSPENDED : 0;
  // No environment block: the task inherits ours as it is, where an ANSI copy
  // would turn every character outside the code page into "?". No folder
  // ("null" in the task data) starts the task in the runner's own.
  MarkTime(TimingMark::kBeforeTaskStart);
  const BOOL started = CreateProcessA(
      NULL, writableCommandLine.data(), NULL, NULL, FALSE, creationFlags, NULL,
      workingDir.empty() ? NULL : workingDir.c_str(), &startup, &info);
  if (!started) {
    *error = GetLastError();
    job_.Reset();
    return false;
  }
  process_.Reset(info.hProcess);
  thread_.Reset(info.hThread);

  suspended_ = job_.Valid();
  if (job_.Valid() && !AssignProcessToJobObject(job_.Get(), process_.Get())) {
    job_.Reset();
  }
  return true;
}

bool Win32TaskRunPlatform::ResumeTask(uint32_t* error) {
  if (suspended_) {
    suspended_ = false;
    if (ResumeThread(thread_.Get()) == static_cast<DWORD>(-1)) {
      *error = GetLastError();
      return false;
    }
  }
  MarkTime(TimingMark::kAfterTaskStart);
  return true;
}

std::string Win32TaskRunPlatform::ErrorText(uint32_t error) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      NULL, error, 0, reinterpret_cast<char*>(&text), 0, NULL);
  std::string result = length && text ? std::string(text, length)
                                      : "Unknown error";
  if (text) LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                             result.back() == ' ')) {
    result.pop_back();
  }
  return result;
}

namespace {
// A task that hangs holds up its own end no longer than this.
const DWORD kWindowsBoundMs = 1000;
}  // namespace

std::vector<DWORD> Win32TaskRunPlatform::TaskProcesses() {
  std::vector<DWORD> processes;
  if (!job_.Valid()) {
    if (process_.Valid()) processes.push_back(GetProcessId(process_.Get()));
    return processes;
  }
  // Sized from the job's count; a tree that grew meanwhile is read again
  // once, and a list still short is used as far as it goes.
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
  DWORD expected = 64;
  if (QueryInformationJobObject(job_.Get(), JobObjectBasicAccountingInformation,
                                &accounting, sizeof accounting, NULL)) {
    expected = accounting.ActiveProcesses + 16;
  }
  std::vector<char> buffer;
  for (int attempt = 0; attempt < 2; ++attempt) {
    buffer.assign(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) +
                      expected * sizeof(ULONG_PTR),
                  0);
    auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(
        buffer.data());
    const BOOL read = QueryInformationJobObject(
        job_.Get(), JobObjectBasicProcessIdList, list,
        static_cast<DWORD>(buffer.size()), NULL);
    if (!read && GetLastError() != ERROR_MORE_DATA) break;
    for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
      processes.push_back(static_cast<DWORD>(list->ProcessIdList[i]));
    }
    if (read || list->NumberOfAssignedProcesses <= expected) break;
    expected = list->NumberOfAssignedProcesses + 16;
    processes.clear();
  }
  return processes;
}

std::vector<TaskWindow> Win32TaskRunPlatform::TaskWindows() {
  std::vector<TaskWindow> windows;
  for (const morva_common::FoundWindow& found :
       morva_common::ReadShownWindows(TaskProcesses(), kWindowsBoundMs)) {
    windows.push_back(found.shown);
  }
  return windows;
}

// The runner has no console of its own: it borrows the task's for a
// moment. Every process of a tree that writes to one console shares it, so
// one that can be attached to is enough.
std::vector<std::string> Win32TaskRunPlatform::TaskConsoleLines() {
  const size_t kMostProcesses = 4;
  const SHORT kMostRows = 300, kMostColumns = 512;
  const ULONGLONG deadline = GetTickCount64() + kWindowsBoundMs;
  std::vector<std::string> lines;
  const std::vector<DWORD> processes = TaskProcesses();
  // A console this program was given by whoever started it (Wine gives a
  // window program its parent's) is of no use to it, and would refuse the
  // attach.
  FreeConsole();
  for (size_t i = 0; i < processes.size() && i < kMostProcesses &&
                     lines.empty() && GetTickCount64() < deadline;
       ++i) {
    if (!AttachConsole(processes[i])) continue;
    FileHandle screen(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_EXISTING, 0, NULL));
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (screen.Valid() && GetConsoleScreenBufferInfo(screen.Get(), &info)) {
      const SHORT columns =
          info.dwSize.X < kMostColumns ? info.dwSize.X : kMostColumns;
      const SHORT last = info.dwCursorPosition.Y;
      SHORT first = info.srWindow.Top;
      if (last - first >= kMostRows) first = last - kMostRows + 1;
      std::vector<wchar_t> row(columns > 0 ? columns : 1);
      for (SHORT y = first; y <= last && columns > 0; ++y) {
        DWORD read = 0;
        if (!ReadConsoleOutputCharacterW(screen.Get(), row.data(), columns,
                                         COORD{0, y}, &read)) {
          break;
        }
        lines.push_back(
            morva_common::AnsiText(row.data(), static_cast<int>(read)));
      }
    }
    screen.Reset();
    FreeConsole();
  }
  return lines;
}

WaitOutcome Win32TaskRunPlatform::WaitForTask(uint64_t timeoutMs) {
  // Limits past 49 days are waited for in pieces the system's wait accepts,
  // each below its "no limit" value.
  const uint64_t kLongestPiece = INFINITE - 1;
  DWORD outcome = WAIT_TIMEOUT;
  if (timeoutMs == 0) {
    outcome = WaitForSingleObject(process_.Get(), INFINITE);
  }
  for (uint64_t left = timeoutMs; left > 0 && outcome == WAIT_TIMEOUT;) {
    const uint64_t piece = left < kLongestPiece ? left : kLongestPiece;
    outcome = WaitForSingleObject(process_.Get(), static_cast<DWORD>(piece));
    left -= piece;
  }
  MarkTime(TimingMark::kAfterTaskExit);
  switch (outcome) {
    case WAIT_OBJECT_0:
      return WaitOutcome::kSignalled;
    case WAIT_TIMEOUT:
      return WaitOutcome::kTimedOut;
    default:
      return WaitOutcome::kFailed;
  }
}

void Win32TaskRunPlatform::TerminateTask() {
  if (!job_.Valid() || !TerminateJobObject(job_.Get(), 1)) {
    TerminateProcess(process_.Get(), 1);
  }
}

bool Win32TaskRunPlatform::GetTaskExitCode(uint32_t* exitCode) {
  DWORD code = 0;
  if (!GetExitCodeProcess(process_.Get(), &code)) return false;
  *exitCode = code;
  return true;
}

void Win32TaskRunPlatform::CloseTaskHandles() {
  if (job_.Valid()) {
    // Programs the task left running on purpose outlive the job's close.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    SetInformationJobObject(job_.Get(), JobObjectExtendedLimitInformation,
                            &limits, sizeof limits);
  }
  process_.Reset();
  thread_.Reset();
  job_.Reset();
}

bool Win32TaskRunPlatform::WideToAnsi(const std::u16string& text,
                                      std::string* ansi) {
  ansi->clear();
  if (text.empty()) return true;
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  // No best fit: a character the code page lacks is a refusal, never
  // another character in its place. UTF-8 lacks none, and takes neither
  // that flag nor the default-character arguments: there only an invalid
  // sequence is refused.
  const morva_common::AnsiConversion how = morva_common::ConversionFor(GetACP());
  BOOL lossy = FALSE;
  BOOL* lost = how.defaultArguments ? &lossy : NULL;
  const int size =
      WideCharToMultiByte(CP_ACP, how.flags, wide, length, NULL, 0, NULL, lost);
  if (size <= 0 || lossy) return false;
  ansi->resize(size);
  WideCharToMultiByte(CP_ACP, how.flags, wide, length, &(*ansi)[0], size, NULL,
                      lost);
  return !lossy;
}

}  // namespace runwell
