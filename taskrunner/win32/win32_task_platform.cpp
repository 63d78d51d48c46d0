#include "win32_task_platform.h"

#include <windows.h>

#include <vector>

#include "log_append.h"

namespace runwell {

std::string Win32TaskRunPlatform::CommandLine() {
  const char* commandLine = GetCommandLineA();
  return commandLine ? commandLine : "";
}

FileResult Win32TaskRunPlatform::ReadFile(const std::string& path,
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
                                     const std::string& workingDir) {
  // The system may write into the command line, so it gets a copy of its own.
  std::vector<char> writableCommandLine(commandLine.begin(), commandLine.end());
  writableCommandLine.push_back('\0');

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};

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
  const BOOL started = CreateProcessA(
      NULL, writableCommandLine.data(), NULL, NULL, FALSE, creationFlags, NULL,
      workingDir.empty() ? NULL : workingDir.c_str(), &startup, &info);
  if (!started) {
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

bool Win32TaskRunPlatform::ResumeTask() {
  if (!suspended_) return true;
  suspended_ = false;
  return ResumeThread(thread_.Get()) != static_cast<DWORD>(-1);
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

}  // namespace runwell
