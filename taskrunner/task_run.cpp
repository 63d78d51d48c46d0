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
    const std::optional<std::string> title =
        ExtractTaskTitle(platform_.CommandLine());
    // Without a title nothing is run, not even runwell_.txt.
    if (!title) {
      AppendShared(kNoTaskTitle);
      return kDataFileFailed;
    }
    // Neither its data file nor its task log is opened under such a name.
    if (!IsSafeTaskTitle(*title)) {
      AppendShared(RunningMessage(ShowControlCharacters(*title)));
      AppendShared(kUnsafeTaskTitle);
      return kDataFileFailed;
    }
    const std::string& taskTitle = *title;
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
    AppendShared(message);
    platform_.AppendToFile(taskLogPath_, ToTextMode(message));
  }
  void AppendShared(const std::string& message) {
    platform_.AppendToFile(kOutputLogPath, ToTextMode(message));
  }

  TaskRunPlatform& platform_;
  std::string taskLogPath_;
};

}  // namespace

uint32_t RunTask(TaskRunPlatform& platform) { return TaskRun(platform).Run(); }

}  // namespace runwell
