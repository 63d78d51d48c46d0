#ifndef RUNWELL_TASK_RUN_H_
#define RUNWELL_TASK_RUN_H_

#include <cstdint>
#include <string>

namespace runwell {

// A wait on a process is never abandoned: that outcome does not exist here.
enum class WaitOutcome { kSignalled, kTimedOut, kFailed };

// kHeld: another program holds the file for a moment, worth a retry.
enum class FileResult { kDone, kHeld, kFailed };

// Everything the runner needs from the system; the Win32 layer implements it
// once and the tests with fakes. It owns the task's handles.
class TaskRunPlatform {
 public:
  virtual ~TaskRunPlatform() = default;

  virtual std::string CommandLine() = 0;
  // The whole file, read in one attempt.
  virtual FileResult ReadFile(const std::string& path, std::string* bytes) = 0;
  // Appends the bytes in one piece, in one attempt.
  virtual FileResult AppendToFile(const std::string& path,
                                  const std::string& bytes) = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Creates the task held back until ResumeTask, so that whatever it starts
  // is in the job that ends with the runner.
  virtual bool StartTask(const std::string& commandLine,
                         const std::string& workingDir) = 0;
  virtual bool ResumeTask() = 0;
  // timeoutMs 0 waits without limit.
  virtual WaitOutcome WaitForTask(uint64_t timeoutMs) = 0;
  // Ends the task, and what it started, with exit status 1.
  virtual void TerminateTask() = 0;
  virtual bool GetTaskExitCode(uint32_t* exitCode) = 0;
  // Lets go of the task: what it started on purpose outlives the runner.
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

// A data file or log held by another program is waited for, for about this
// long in all over the whole run.
const uint32_t kHeldBudgetMs = 1000;
const uint32_t kHeldRetryMs = 50;

// Runs one task from start to end and returns the runner's exit status.
uint32_t RunTask(TaskRunPlatform& platform);

}  // namespace runwell

#endif
