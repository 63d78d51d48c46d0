#include "module_texts.h"

#include "settings.h"

namespace morvasvc {

const char kInstallSwitch[] = "install_51924706";
const char kRemoveSwitch[] = "remove_51924706";

CommandLineAction DetectCommandLineAction(const std::string& commandLine) {
  if (commandLine.find(kInstallSwitch) != std::string::npos) {
    return CommandLineAction::kInstall;
  }
  if (commandLine.find(kRemoveSwitch) != std::string::npos) {
    return CommandLineAction::kRemove;
  }
  return CommandLineAction::kNone;
}

const char kDefaultServiceName[] = "Morva7";

std::string ServiceNameForFolder(const std::string& lowerCaseFolder) {
  static const struct {
    const char* key;
    const char* serviceName;
  } kProducts[] = {
      {"plenor", "Plenor7"},   {"quiddal", "Quiddal7"}, {"verrin", "Verrin7"},
      {"tolsey", "Tolsey7"},   {"brenmar", "Brenmar7"},
  };
  std::string serviceName = kDefaultServiceName;
  for (const auto& product : kProducts) {
    if (lowerCaseFolder.find(product.key) != std::string::npos) {
      serviceName = product.serviceName;
    }
  }
  return serviceName;
}

std::string FormatLogTimestamp(const std::tm* localTime) {
  if (!localTime) return std::string();
  char buffer[128];
  const size_t length = std::strftime(buffer, sizeof buffer,
                                      "\n%b %d, %Y %I:%M:%S %p", localTime);
  return std::string(buffer, length);
}

std::string FormatLogEntry(const std::string& timestamp,
                           const std::string& message) {
  return timestamp + "\t" + message + "\n";
}

std::string NormalizeJavaExe(const std::string& javaExe) {
  if (javaExe.empty()) return kDefaultJavaExe;
  std::string collapsed;
  for (size_t i = 0; i < javaExe.size(); ++i) {
    collapsed += javaExe[i];
    if (javaExe[i] == '\\' && i + 1 < javaExe.size() && javaExe[i + 1] == '\\') {
      ++i;
    }
  }
  // A network share's path begins with a pair that must stay a pair.
  if (javaExe.compare(0, 2, "\\\\") == 0 &&
      collapsed.compare(0, 2, "\\\\") != 0) {
    collapsed.insert(0, 1, '\\');
  }
  return collapsed;
}

std::string BuildEngineArguments(const std::vector<std::string>& jars) {
  std::string classPath = ".;help;";
  for (const std::string& jar : jars) classPath += jar + ";";
  // A blank in a jar name would split the class path into two arguments.
  if (classPath.find(' ') != std::string::npos) {
    classPath = "\"" + classPath + "\"";
  }
  return "-Xrs -cp " + classPath + " com.morva.engine.Engine";
}

bool EngineCommandLineFits(const std::string& javaExe,
                           const std::string& arguments) {
  // The quoted program, a blank, the arguments and the terminator.
  return javaExe.size() + 2 + 1 + arguments.size() + 1 <= kCommandLineLimit;
}

bool IsValidEnginePort(uint32_t port) { return port >= 1 && port <= 65535; }

uint32_t SupervisionIntervalMs(int32_t period) {
  const int64_t kShortest = 10;           // USER_TIMER_MINIMUM
  const int64_t kLongest = 0x7FFFFFFF;    // USER_TIMER_MAXIMUM
  const int64_t ms = int64_t{period} * 60000;
  if (ms < kShortest) return static_cast<uint32_t>(kShortest);
  if (ms > kLongest) return static_cast<uint32_t>(kLongest);
  return static_cast<uint32_t>(ms);
}

bool ParseFieldNumber(const std::string& text, int64_t* value) {
  const std::string head = text.substr(0, 63);
  size_t i = 0;
  while (i < head.size() && (head[i] == ' ' || (head[i] >= '\t' && head[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < head.size() && (head[i] == '+' || head[i] == '-')) {
    negative = head[i] == '-';
    ++i;
  }
  if (i >= head.size() || head[i] < '0' || head[i] > '9') return false;
  int64_t number = 0;
  for (; i < head.size() && head[i] >= '0' && head[i] <= '9'; ++i) {
    // Beyond 32 bits a field's number means nothing; keep it from overflowing.
    if (number < (int64_t{1} << 40)) number = number * 10 + (head[i] - '0');
  }
  *value = negative ? -number : number;
  return true;
}

const char kConfirmRunningCommand[] = "NTSERVICE^CONFIRM_RUNNING_TO_NTSERVICE";
const char kShutdownCommand[] = "NTSERVICE^SHUTDOWN_ENGINE";

}  // namespace morvasvc
