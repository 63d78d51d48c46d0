#include "win32_task_platform.h"

#include <windows.h>

#include <vector>

#include "log_append.h"

namespace runwell {

std::string Win32TaskRunPlatform::CommandLine() {
  const char* commandLine = GetCommandLineA();
  return commandLine ? commandLine : "";
}

bool Win32TaskRunPlatform::ReadFile(const std::string& path,
                                    std::string* bytes) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
  if (!file.Valid()) return false;
  bytes->clear();
  char buffer[4096];
  for (;;) {
    DWORD count = 0;
    if (!::ReadFile(file.Get(), buffer, sizeof buffer, &count, NULL)) {
      return false;
    }
    if (count == 0) return true;
    bytes->append(buffer, count);
  }
}

void Win32TaskRunPlatform::AppendToFile(const std::string& path,
                                        const std::string& bytes) {
  AppendToLog(path, bytes);
}

bool Win32TaskRunPlatform::StartTask(const std::string& commandLine,
                                     const std::string& workingDir) {
  // The system may write into the command line, so it gets a copy of its own.
  std::vector<char> writableCommandLine(commandLine.begin(), commandLine.end());
  writableCommandLine.push_back('\0');

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  char* environment = GetEnvironmentStringsA();

  job_.Reset(CreateJobObjectA(NULL, NULL));
  if (job_.Valid()) {
    // A task that wants a program of its own outside the job may have it.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    SetInformationJobObject(job_.Get(), JobObjectExtendedLimitInformation,
                            &limits, sizeof limits);
  }

  // Suspended until it is in the job, so not one grandchild escapes it.
  const DWORD creationFlags = job_.Valid() ? CREATE_SUSPENDED : 0;
  const BOOL started = CreateProcessA(
      NULL, writableCommandLine.data(), NULL, NULL, FALSE, creationFlags,
      environment, workingDir.c_str(), &startup, &info);
  if (environment) FreeEnvironmentStringsA(environment);
  if (!started) {
    job_.Reset();
    return false;
  }
  process_.Reset(info.hProcess);
  thread_.Reset(info.hThread);

  if (job_.Valid()) {
    if (!AssignProcessToJobObject(job_.Get(), process_.Get())) job_.Reset();
    ResumeThread(thread_.Get());
  }
  return true;
}

WaitOutcome Win32TaskRunPlatform::WaitForTask(uint32_t timeoutMs) {
  switch (WaitForSingleObject(process_.Get(),
                              timeoutMs == 0 ? INFINITE : timeoutMs)) {
    case WAIT_OBJECT_0:
      return WaitOutcome::kSignalled;
    case WAIT_ABANDONED:
      return WaitOutcome::kAbandoned;
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
  process_.Reset();
  thread_.Reset();
  job_.Reset();
}

}  // namespace runwell
