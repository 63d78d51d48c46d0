#ifndef RUNWELL_TASK_DATA_H_
#define RUNWELL_TASK_DATA_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace runwell {

// What the engine's task data file says about one task.
struct TaskData {
  std::optional<std::string> commandLine;  // absent: no line 1, or "null"
  bool commandLineIsNull = false;          // line 1 was exactly "null"
  std::string workingDir;
  uint64_t timeLimitMs = 0;                // 0: wait without limit
};

// Splits text-mode bytes into lines: LF ends a line, a CR right before it
// belongs to the line end, 0x1A ends the data. A last line without LF counts.
std::vector<std::string> SplitTextLines(const std::string& bytes);

// Minutes read like strtol with a 32-bit long, times 60000 in 64 bits; a
// negative number of minutes means no limit (0).
uint64_t ParseTimeLimitMs(const std::string& line);

// A UTF-8 byte-order mark at the very start is no part of the command line.
TaskData ParseTaskData(const std::string& bytes);

// The characters of a data file saved as UTF-16 (Notepad's "Unicode"),
// little- or big-endian by its byte-order mark; false for any other file,
// which is read as it is. A last odd byte is no character.
bool Utf16Text(const std::string& bytes, std::u16string* text);

}  // namespace runwell

#endif
