#ifndef MORVASVC_MODULE_TEXTS_H_
#define MORVASVC_MODULE_TEXTS_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace morvasvc {

// Command-line switches that installers use.
extern const char kInstallSwitch[];
extern const char kRemoveSwitch[];
enum class CommandLineAction { kNone, kInstall, kRemove };
// The install switch wins when both stand on the command line.
CommandLineAction DetectCommandLineAction(const std::string& commandLine);

extern const char kDefaultServiceName[];
// The service name for an install folder already in lower case: the last
// matching product row wins.
std::string ServiceNameForFolder(const std::string& lowerCaseFolder);

// "\n%b %d, %Y %I:%M:%S %p" in the C locale; empty when it cannot be made.
std::string FormatLogTimestamp(const std::tm* localTime);
// One activity log entry before the text-mode translation.
std::string FormatLogEntry(const std::string& timestamp,
                           const std::string& message);

// Empty means the bundled runtime; doubled backslashes are collapsed, but
// for the leading pair of a network path.
std::string NormalizeJavaExe(const std::string& javaExe);
// The Java runtime's arguments with every jar on the class path.
std::string BuildEngineArguments(const std::vector<std::string>& jars);

// The longest command line the system starts a program with, terminator
// included; longer arguments would reach the engine cut off.
const size_t kCommandLineLimit = 32767;
// Whether "javaExe" and the arguments fit one command line.
bool EngineCommandLineFits(const std::string& javaExe,
                           const std::string& arguments);

// Whether an engine port read from the settings names a TCP port.
bool IsValidEnginePort(uint32_t port);

// The supervision timer's interval for a period in minutes, computed in 64
// bits and kept within the window timer's range; 0 or less is the shortest.
uint32_t SupervisionIntervalMs(int32_t period);

// A window field's number: at most 63 characters, blanks, an optional sign
// and at least one digit; what follows is ignored. false without digits.
bool ParseFieldNumber(const std::string& text, int64_t* value);

extern const char kConfirmRunningCommand[];
extern const char kShutdownCommand[];

}  // namespace morvasvc

#endif
