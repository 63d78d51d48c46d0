#include "task_data.h"

#include <climits>

#include "task_title.h"

namespace runwell {

std::vector<std::string> SplitTextLines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t end = bytes.find('\x1a');
  if (end == std::string::npos) end = bytes.size();
  size_t start = 0;
  while (start < end) {
    size_t newline = bytes.find('\n', start);
    if (newline == std::string::npos || newline >= end) {
      lines.push_back(bytes.substr(start, end - start));
      break;
    }
    size_t lineEnd = newline;
    if (lineEnd > start && bytes[lineEnd - 1] == '\r') --lineEnd;
    lines.push_back(bytes.substr(start, lineEnd - start));
    start = newline + 1;
  }
  return lines;
}

uint64_t ParseTimeLimitMs(const std::string& line) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
    negative = line[i] == '-';
    ++i;
  }
  // strtol saturates at the limits of a 32-bit long.
  int64_t value = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
    value = value * 10 + (line[i] - '0');
    if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;
  }
  // A negative limit would otherwise wrap to about 49 days.
  if (negative) return 0;
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<uint64_t>(value) * 60000u;
}

TaskData ParseTaskData(const std::string& bytes) {
  TaskData data;
  // An editor that saves UTF-8 with a byte-order mark puts it before the
  // command line, where it would become part of the program's name.
  const char kByteOrderMark[] = "\xEF\xBB\xBF";
  const bool marked = bytes.compare(0, 3, kByteOrderMark) == 0;
  const std::vector<std::string> lines =
      SplitTextLines(marked ? bytes.substr(3) : bytes);
  if (lines.size() >= 1) {
    if (lines[0] == "null") {
      data.commandLineIsNull = true;
    } else {
      data.commandLine = lines[0];
    }
  }
  if (lines.size() >= 2 && lines[1] != "null") data.workingDir = lines[1];
  if (lines.size() >= 3) data.timeLimitMs = ParseTimeLimitMs(lines[2]);
  return data;
}

bool Utf16Text(const std::string& bytes, std::u16string* text) {
  if (bytes.size() < 2) return false;
  const unsigned char first = static_cast<unsigned char>(bytes[0]);
  const unsigned char second = static_cast<unsigned char>(bytes[1]);
  const bool little = first == 0xFF && second == 0xFE;
  if (!little && !(first == 0xFE && second == 0xFF)) return false;
  text->clear();
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const unsigned char low = static_cast<unsigned char>(bytes[little ? i : i + 1]);
    const unsigned char high = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
    text->push_back(static_cast<char16_t>(high << 8 | low));
  }
  return true;
}

}  // namespace runwell
