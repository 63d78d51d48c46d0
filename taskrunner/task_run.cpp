#include "task_run.h"

#include "messages.h"
#include "task_data.h"
#include "task_title.h"

namespace runwell {

const char kOutputLogPath[] = "inputs\\outputLog.JSD";

std::string DataFilePath(const std::string& taskTitle) {
  return "runwell_" + taskTitle + ".txt";
}

std::string TaskLogPath(const std::string& taskTitle) {
  return "TaskLogs\\" + taskTitle;
}

namespace {

class TaskRun {
 public:
  explicit TaskRun(TaskRunPlatform& platform) : platform_(platform) {}

  uint32_t Run() {
    const std::string taskTitle = ExtractTaskTitle(platform_.CommandLine());
    const std::string dataFilePath = DataFilePath(taskTitle);
    taskLogPath_ = TaskLogPath(taskTitle);

    Append(RunningMessage(taskTitle));

    std::string bytes;
    if (!platform_.ReadFile(dataFilePath, &bytes)) {
      Append(DataFileFailedMessage(dataFilePath));
      return kDataFileFailed;
    }
    const TaskData data = ParseTaskData(bytes);
    if (data.commandLineIsNull) Append(kCommandLineIsNull);

    Append(CommandLineMessage(data.commandLine.value_or(std::string()),
                              data.workingDir));

    // Without a command line there is nothing the system could start.
    if (!data.commandLine ||
        !platform_.StartTask(*data.commandLine, data.workingDir)) {
      Append(kFailedToStart);
      return kStartFailed;
    }

    uint32_t resultCode = 0;
    switch (platform_.WaitForTask(data.timeLimitMs)) {
      case WaitOutcome::kFailed:
        Append(kWaitFailed);
        return kWaitFailedCode;
      case WaitOutcome::kAbandoned:
        Append(kWaitAbandoned);
        return kWaitAbandonedCode;
      case WaitOutcome::kTimedOut:
        resultCode = kTimedOutCode;
        platform_.TerminateTask();
        Append(kTimedOut);
        break;
      case WaitOutcome::kSignalled:
        if (!platform_.GetTaskExitCode(&resultCode)) {
          Append(kNoExitCode);
          resultCode = kNoExitCodeCode;
        }
        break;
    }

    platform_.CloseTaskHandles();
    Append(ExitCodeMessage(resultCode));
    return resultCode;
  }

 private:
  // Both logs get every message, the shared one first.
  void Append(const std::string& message) {
    const std::string bytes = ToTextMode(message);
    platform_.AppendToFile(kOutputLogPath, bytes);
    platform_.AppendToFile(taskLogPath_, bytes);
  }

  TaskRunPlatform& platform_;
  std::string taskLogPath_;
};

}  // namespace

uint32_t RunTask(TaskRunPlatform& platform) { return TaskRun(platform).Run(); }

}  // namespace runwell
