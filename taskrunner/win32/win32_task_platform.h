#ifndef RUNWELL_WIN32_TASK_PLATFORM_H_
#define RUNWELL_WIN32_TASK_PLATFORM_H_

#include <functional>

#include "handle.h"
#include "task_run.h"

namespace runwell {

class Win32TaskRunPlatform : public TaskRunPlatform {
 public:
  std::string CommandLine() override;
  bool ReadFile(const std::string& path, std::string* bytes) override;
  void AppendToFile(const std::string& path, const std::string& bytes) override;
  bool StartTask(const std::string& commandLine,
                 const std::string& workingDir) override;
  WaitOutcome WaitForTask(uint64_t timeoutMs) override;
  void TerminateTask() override;
  bool GetTaskExitCode(uint32_t* exitCode) override;
  void CloseTaskHandles() override;

 private:
  // Repeats open while another program holds the file, from one budget of
  // about a second for the whole run; false when it still fails.
  bool WhileHeld(const std::function<bool()>& attempt);
  unsigned heldBudgetMs_ = 1000;

  KernelHandle process_;
  KernelHandle thread_;
  // Holds the task and whatever it starts, so a time-out can end them all.
  // Closing it ends nothing: programs a task leaves behind keep running.
  KernelHandle job_;
};

}  // namespace runwell

#endif
