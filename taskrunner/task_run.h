#ifndef RUNWELL_TASK_RUN_H_
#define RUNWELL_TASK_RUN_H_

#include <cstdint>
#include <string>

namespace runwell {

// A wait on a process is never abandoned: that outcome does not exist here.
enum class WaitOutcome { kSignalled, kTimedOut, kFailed };

// Everything the runner needs from the system; the Win32 layer implements it
// once and the tests with fakes. It owns the task's handles.
class TaskRunPlatform {
 public:
  virtual ~TaskRunPlatform() = default;

  virtual std::string CommandLine() = 0;
  // The whole file; false when it cannot be opened or read.
  virtual bool ReadFile(const std::string& path, std::string* bytes) = 0;
  // Appends the bytes in one piece; a file that cannot be opened is skipped.
  virtual void AppendToFile(const std::string& path,
                            const std::string& bytes) = 0;
  virtual bool StartTask(const std::string& commandLine,
                         const std::string& workingDir) = 0;
  // timeoutMs 0 waits without limit.
  virtual WaitOutcome WaitForTask(uint64_t timeoutMs) = 0;
  // Ends the task, and what it started, with exit status 1.
  virtual void TerminateTask() = 0;
  virtual bool GetTaskExitCode(uint32_t* exitCode) = 0;
  virtual void CloseTaskHandles() = 0;
};

// Result codes of the runner's own, beside the task's exit code.
enum ResultCode : uint32_t {
  kDataFileFailed = 10,
  kStartFailed = 1,
  kWaitFailedCode = 2,
  kTimedOutCode = 258,
  // The task ended but its status cannot be read: its outcome is unknown.
  kNoExitCodeCode = 4,
};

extern const char kOutputLogPath[];

std::string DataFilePath(const std::string& taskTitle);
std::string TaskLogPath(const std::string& taskTitle);

// Runs one task from start to end and returns the runner's exit status.
uint32_t RunTask(TaskRunPlatform& platform);

}  // namespace runwell

#endif
