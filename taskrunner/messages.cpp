#include "messages.h"

namespace runwell {

const char kCommandLineIsNull[] =
    "CommandLine is NULL. Please Edit your Windows Command Task parameters";
const char kFailedToStart[] = "\nError:: Failed to start process\n";
const char kWaitFailed[] =
    "\nWARNING:: The task did not allow us to wait on it!\n";
const char kTimedOut[] = "\nProcess Timed out and Forcibly terminated.\n";
const char kNoExitCode[] = "\nWARNING:: could not get exit code";
const char kNoTaskTitle[] =
    "\nError:: No task title: the command line holds no /t\n";
const char kUnsafeTaskTitle[] =
    "\nError:: A task title may not hold \\, /, : or control characters\n";
const char kDeviceTaskTitle[] =
    "\nError:: A task title may not name a device (NUL, CON, AUX, PRN, "
    "COM1 to COM9, LPT1 to LPT9), with or without an extension\n";

std::string RunningMessage(const std::string& taskTitle) {
  return "\nRunwell.exe Running: Task Title = " + taskTitle + "\n";
}

std::string DataFileFailedMessage(const std::string& dataFilePath) {
  return "\nCould not open Runwell.exe data file: " + dataFilePath;
}

std::string CommandLineMessage(const std::string& commandLine,
                               const std::string& workingDir) {
  return "\nCommandLine = " + commandLine + "\nWorking Dir = " + workingDir;
}

std::string ExitCodeMessage(uint32_t resultCode) {
  return "\nExit Code = " + FormatExitCode(resultCode);
}

std::string StartFailureReasonMessage(const std::string& systemText,
                                      uint32_t error) {
  return "\nReason:: " + systemText + " (system error " +
         std::to_string(error) + ")";
}

std::string TaskWindowsMessage(const std::vector<TaskWindow>& windows) {
  if (windows.empty()) return std::string();
  return "\nThe task was showing: " +
         morva_common::DescribeShownWindows(windows, kWindowsTextBound);
}

std::string UnicodeDataFileMessage(const std::string& dataFilePath) {
  return "\nError:: Runwell.exe data file " + dataFilePath +
         " is Unicode text that the system's ANSI code page cannot hold\n";
}

std::string FormatExitCode(uint32_t resultCode) {
  return std::to_string(static_cast<int64_t>(static_cast<int32_t>(resultCode)));
}

std::string ToTextMode(const std::string& message) {
  std::string bytes;
  bytes.reserve(message.size() + 8);
  for (char c : message) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes;
}

}  // namespace runwell
