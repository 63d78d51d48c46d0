#ifndef RUNWELL_TASK_RUN_H_
#define RUNWELL_TASK_RUN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "shown_windows.h"

namespace runwell {

// A wait on a process is never abandoned: that outcome does not exist here.
enum class WaitOutcome { kSignalled, kTimedOut, kFailed };

// kHeld: another program holds the file for a moment, worth a retry.
enum class FileResult { kDone, kHeld, kFailed };

// A window a task shows: its caption and the text it holds, in the
// system's ANSI code page.
using TaskWindow = morva_common::ShownWindow;

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
  // is in the job that ends with the runner. A failure gives the system's
  // error code, taken at the failing call.
  virtual bool StartTask(const std::string& commandLine,
                         const std::string& workingDir, uint32_t* error) = 0;
  virtual bool ResumeTask(uint32_t* error) = 0;
  // The system's text for an error code, without its line end.
  virtual std::string ErrorText(uint32_t error) = 0;
  // timeoutMs 0 waits without limit.
  virtual WaitOutcome WaitForTask(uint64_t timeoutMs) = 0;
  // The visible top-level windows of the task's processes on this desktop,
  // read within about a second; none when they cannot be listed.
  virtual std::vector<TaskWindow> TaskWindows() = 0;
  // The visible lines of the console the task's processes write to, up to
  // its cursor, read within about a second; none when there is no console
  // or it cannot be read.
  virtual std::vector<std::string> TaskConsoleLines() = 0;
  // Ends the task, and what it started, with exit status 1.
  virtual void TerminateTask() = 0;
  virtual bool GetTaskExitCode(uint32_t* exitCode) = 0;
  // Lets go of the task: what it started on purpose outlives the runner.
  virtual void CloseTaskHandles() = 0;
  // Text in the system's ANSI code page; false when a character has no
  // form there.
  virtual bool WideToAnsi(const std::u16string& text, std::string* ansi) = 0;
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

// The reason given for a task without a command line: the system's
// "The parameter is incorrect".
const uint32_t kNoCommandLineError = 87;

// Runs one task from start to end and returns the runner's exit status.
uint32_t RunTask(TaskRunPlatform& platform);

}  // namespace runwell

#endif
