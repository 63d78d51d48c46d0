#include "task_run.h"

#include <functional>

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
    const TitleProblem problem = CheckTaskTitle(*title);
    if (problem != TitleProblem::kNone) {
      AppendShared(RunningMessage(ShowControlCharacters(*title)));
      AppendShared(problem == TitleProblem::kDeviceName ? kDeviceTaskTitle
                                                        : kUnsafeTaskTitle);
      return kDataFileFailed;
    }
    const std::string& taskTitle = *title;
    const std::string dataFilePath = DataFilePath(taskTitle);
    taskLogPath_ = TaskLogPath(taskTitle);

    Append(RunningMessage(taskTitle));

    std::string bytes;
    if (WhileHeld([&] { return platform_.ReadFile(dataFilePath, &bytes); }) !=
        FileResult::kDone) {
      Append(DataFileFailedMessage(dataFilePath));
      return kDataFileFailed;
    }
    // Saved as "Unicode", every character would carry a NUL byte into the
    // command line and the logs.
    std::u16string wide;
    const bool unicode = Utf16Text(bytes, &wide);
    if (unicode && !platform_.WideToAnsi(wide, &bytes)) {
      return RefusedDataFile(UnicodeDataFileMessage(dataFilePath));
    }
    // No NUL byte reaches a log: a file without its mark, or no text, is
    // refused before anything of it is written.
    if (LinesHoldNul(bytes)) {
      return RefusedDataFile(unicode ? UnicodeDataFileMessage(dataFilePath)
                                     : NulDataFileMessage(dataFilePath));
    }
    const TaskData data = ParseTaskData(bytes);
    program_ = ProgramOf(data.commandLine.value_or(std::string()));
    if (data.commandLineIsNull) Append(kCommandLineIsNull);

    Append(CommandLineMessage(data.commandLine.value_or(std::string()),
                              data.workingDir));

    // What the logs have so far is there before the task runs: the engine
    // may end the runner while it does.
    Flush();
    // Without a command line there is nothing the system could start.
    uint32_t error = kNoCommandLineError;
    if (!data.commandLine ||
        !platform_.StartTask(*data.commandLine, data.workingDir, &error)) {
      return FailedStart(error);
    }
    // A task that never runs would be waited for until its limit, or for ever.
    if (!platform_.ResumeTask(&error)) {
      platform_.TerminateTask();
      platform_.CloseTaskHandles();
      return FailedStart(error);
    }

    uint32_t resultCode = 0;
    switch (platform_.WaitForTask(data.timeLimitMs)) {
      case WaitOutcome::kFailed:
        // The task is left running, as it would be without the runner's job.
        platform_.CloseTaskHandles();
        Append(kWaitFailed);
        return kWaitFailedCode;
      case WaitOutcome::kTimedOut: {
        resultCode = kTimedOutCode;
        // What the task waited on is gone with it: read first, end at once,
        // then say what it was.
        const std::vector<TaskWindow> windows = platform_.TaskWindows();
        const std::string console =
            TaskConsoleMessage(platform_.TaskConsoleLines());
        platform_.TerminateTask();
        if (!windows.empty()) Append(TaskWindowsMessage(windows));
        if (!console.empty()) Append(console);
        Append(kTimedOut);
        break;
      }
      case WaitOutcome::kSignalled:
        if (!platform_.GetTaskExitCode(&resultCode)) {
          Append(kNoExitCode);
          resultCode = kNoExitCodeCode;
        } else if (!SystemStatusMessage(resultCode).empty()) {
          Append(SystemStatusMessage(resultCode));
        }
        break;
    }

    platform_.CloseTaskHandles();
    Append(ExitCodeMessage(resultCode));
    return resultCode;
  }

 private:
  uint32_t FailedStart(uint32_t error) {
    Append(StartFailureReasonMessage(platform_.ErrorText(error), error,
                                     program_));
    Append(kFailedToStart);
    return kStartFailed;
  }

  uint32_t RefusedDataFile(const std::string& why) {
    Append(why);
    Append(kFailedToStart);
    return kStartFailed;
  }

  // The program of a command line: a quoted path without its quotes, or
  // the text up to the first blank.
  static std::string ProgramOf(const std::string& commandLine) {
    const size_t begin = commandLine.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::string();
    if (commandLine[begin] == '"') {
      const size_t end = commandLine.find('"', begin + 1);
      return commandLine.substr(begin + 1, end == std::string::npos
                                               ? std::string::npos
                                               : end - begin - 1);
    }
    return commandLine.substr(begin,
                              commandLine.find_first_of(" \t", begin) - begin);
  }

  // Whether the lines the task data is read from (its first three) hold a
  // NUL byte.
  static bool LinesHoldNul(const std::string& bytes) {
    size_t end = 0;
    for (int line = 0; line < 3; ++line) {
      end = bytes.find('\n', line == 0 ? 0 : end + 1);
      if (end == std::string::npos) break;
    }
    return bytes.substr(0, end).find('\0') != std::string::npos;
  }

  // Both logs get every message, the shared one first; the messages are
  // kept until Flush, which writes them to each log in one piece: each
  // write opens, locks and closes a log.
  void Append(const std::string& message) { pending_ += message; }

 public:
  void Flush() {
    if (pending_.empty()) return;
    AppendShared(pending_);
    AppendTo(taskLogPath_, pending_);
    pending_.clear();
  }

 private:
  void AppendShared(const std::string& message) {
    AppendTo(kOutputLogPath, message);
  }
  // A log that cannot be written is skipped: the run goes on either way.
  void AppendTo(const std::string& path, const std::string& message) {
    const std::string bytes = ToTextMode(message);
    WhileHeld([&] { return platform_.AppendToFile(path, bytes); });
  }

  // Repeats attempt while another program holds the file, from one budget
  // for the whole run: a file that stays held costs it once, not per message.
  FileResult WhileHeld(const std::function<FileResult()>& attempt) {
    FileResult result = attempt();
    while (result == FileResult::kHeld && heldBudgetMs_ >= kHeldRetryMs) {
      platform_.Sleep(kHeldRetryMs);
      heldBudgetMs_ -= kHeldRetryMs;
      result = attempt();
    }
    return result;
  }

  TaskRunPlatform& platform_;
  std::string taskLogPath_;
  std::string program_;
  std::string pending_;
  uint32_t heldBudgetMs_ = kHeldBudgetMs;
};

}  // namespace

uint32_t RunTask(TaskRunPlatform& platform) {
  TaskRun run(platform);
  const uint32_t result = run.Run();
  run.Flush();
  return result;
}

}  // namespace runwell
