#ifndef RUNWELL_WIN32_TASK_PLATFORM_H_
#define RUNWELL_WIN32_TASK_PLATFORM_H_

#include "handle.h"
#include "task_run.h"

namespace runwell {

class Win32TaskRunPlatform : public TaskRunPlatform {
 public:
  std::string CommandLine() override;
  FileResult ReadFile(const std::string& path, std::string* bytes) override;
  FileResult AppendToFile(const std::string& path,
                          const std::string& bytes) override;
  void Sleep(uint32_t milliseconds) override;
  bool StartTask(const std::string& commandLine, const std::string& workingDir,
                 uint32_t* error) override;
  bool ResumeTask(uint32_t* error) override;
  std::string ErrorText(uint32_t error) override;
  std::vector<TaskWindow> TaskWindows() override;
  std::vector<std::string> TaskConsoleLines() override;
  WaitOutcome WaitForTask(uint64_t timeoutMs) override;
  void TerminateTask() override;
  bool GetTaskExitCode(uint32_t* exitCode) override;
  void CloseTaskHandles() override;
  bool WideToAnsi(const std::u16string& text, std::string* ansi) override;

 private:
  FileResult ReadWhole(const std::string& path, std::string* bytes);
  // The ids of the task's processes, grandchildren included: the job's
  // list, however many there are; the task alone without a job.
  std::vector<DWORD> TaskProcesses();

  KernelHandle process_;
  KernelHandle thread_;
  // Holds the task and whatever it starts, so a time-out can end them all.
  // It ends them too when the runner is ended while the task runs; closed
  // by CloseTaskHandles it ends nothing.
  KernelHandle job_;
  bool suspended_ = false;
};

}  // namespace runwell

#endif
