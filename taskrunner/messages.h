#ifndef RUNWELL_MESSAGES_H_
#define RUNWELL_MESSAGES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "task_run.h"

namespace runwell {

// The runner's messages, exactly as the engine's users read them in the logs.
// "\n" is a line feed; the logs store it as CR LF.
extern const char kCommandLineIsNull[];
extern const char kFailedToStart[];
extern const char kWaitFailed[];
extern const char kTimedOut[];
extern const char kNoExitCode[];
extern const char kNoTaskTitle[];
extern const char kUnsafeTaskTitle[];
extern const char kDeviceTaskTitle[];

std::string RunningMessage(const std::string& taskTitle);
std::string DataFileFailedMessage(const std::string& dataFilePath);
std::string CommandLineMessage(const std::string& commandLine,
                               const std::string& workingDir);
std::string ExitCodeMessage(uint32_t resultCode);
// Why the system did not start the task: its own text, its inserts ("%1")
// filled with the program, and the code.
std::string StartFailureReasonMessage(const std::string& systemText,
                                      uint32_t error,
                                      const std::string& program);
// The windows a timed-out task showed, captions and texts on one line, cut
// to kWindowsTextBound characters; empty when there were none.
const size_t kWindowsTextBound = 1000;
std::string TaskWindowsMessage(const std::vector<TaskWindow>& windows);
std::string UnicodeDataFileMessage(const std::string& dataFilePath);
// A data file whose lines hold a NUL byte: UTF-16 without its mark, or no
// text at all.
std::string NulDataFileMessage(const std::string& dataFilePath);
// The last lines a timed-out task's console showed, on one line, cut at
// the front to kWindowsTextBound characters; empty when it showed none.
std::string TaskConsoleMessage(const std::vector<std::string>& lines);
// The system status a task ended with, in words; empty for an exit code
// that is no status this knows.
std::string SystemStatusMessage(uint32_t exitCode);

// The code as a signed 32-bit number: 4294967295 reads "-1".
std::string FormatExitCode(uint32_t resultCode);

// Text-mode bytes of a message: every LF stored as CR LF.
std::string ToTextMode(const std::string& message);

}  // namespace runwell

#endif
