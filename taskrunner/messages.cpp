#include "messages.h"

#include <cstdio>

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
                                      uint32_t error,
                                      const std::string& program) {
  // The system's texts name what failed as %1, %2...: the program, or
  // nothing where the text means something else.
  std::string text;
  for (size_t at = 0; at < systemText.size(); ++at) {
    if (systemText[at] == '%' && at + 1 < systemText.size() &&
        systemText[at + 1] >= '1' && systemText[at + 1] <= '9') {
      if (systemText[at + 1] == '1') text += program;
      ++at;
      continue;
    }
    text += systemText[at];
  }
  return "\nReason:: " + text + " (system error " + std::to_string(error) +
         ")";
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

std::string NulDataFileMessage(const std::string& dataFilePath) {
  return "\nError:: Runwell.exe data file " + dataFilePath +
         " holds NUL bytes: it is no text file (Unicode saved without its "
         "byte-order mark, or a binary file)\n";
}

std::string TaskConsoleMessage(const std::vector<std::string>& lines) {
  std::string shown;
  for (size_t i = lines.size(); i-- > 0;) {
    const size_t end = lines[i].find_last_not_of(' ');
    if (end == std::string::npos) continue;
    const std::string line =
        morva_common::OneLine(lines[i].substr(0, end + 1), std::string::npos);
    shown = shown.empty() ? line : line + " | " + shown;
    if (shown.size() > kWindowsTextBound) break;
  }
  if (shown.empty()) return shown;
  // The prompt is at the end: what is cut is the start.
  if (shown.size() > kWindowsTextBound) {
    shown = "..." + shown.substr(shown.size() - (kWindowsTextBound - 3));
  }
  return "\nThe task's console showed: " + shown;
}

std::string SystemStatusMessage(uint32_t exitCode) {
  static const struct {
    uint32_t status;
    const char* meaning;
  } kStatuses[] = {
      {0x80000003, "a breakpoint was reached"},
      {0xC0000005, "access violation"},
      {0xC0000006, "a page of the program could not be read in"},
      {0xC0000017, "not enough memory"},
      {0xC000001D, "illegal instruction"},
      {0xC000007B, "a program or DLL is not made for this system"},
      {0xC0000094, "integer division by zero"},
      {0xC0000095, "integer overflow"},
      {0xC0000096, "privileged instruction"},
      {0xC00000FD, "stack overflow"},
      {0xC0000135, "a DLL it needs was not found"},
      {0xC0000139, "an entry point was not found in a DLL"},
      {0xC000013A, "ended by Ctrl+C"},
      {0xC0000142, "a DLL failed to initialise"},
      {0xC0000374, "heap corruption"},
      {0xC0000409, "stack buffer overrun"},
      {0xC0000417, "invalid parameter passed to a C runtime function"},
      {0xC0000420, "an assertion failed"},
  };
  for (const auto& known : kStatuses) {
    if (known.status != exitCode) continue;
    char hex[11];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(exitCode));
    return "\nThe task ended with system status " + std::string(hex) + ": " +
           known.meaning;
  }
  return std::string();
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
