#include "task_data.h"

#include <gtest/gtest.h>

namespace runwell {
namespace {

using Lines = std::vector<std::string>;

TEST(SplitTextLines, LineEndsAndEndOfData) {
  EXPECT_EQ(Lines(), SplitTextLines(""));
  EXPECT_EQ(Lines({"a", "b"}), SplitTextLines("a\nb\n"));
  EXPECT_EQ(Lines({"a", "b"}), SplitTextLines("a\r\nb"));
  EXPECT_EQ(Lines({"", ""}), SplitTextLines("\n\r\n"));
  // Only the CR right before LF belongs to the line end.
  EXPECT_EQ(Lines({"a\r", "b\rc"}), SplitTextLines("a\r\r\nb\rc\n"));
  EXPECT_EQ(Lines({"a\r"}), SplitTextLines("a\r"));
  // 0x1A ends the data, even within a line.
  EXPECT_EQ(Lines({"a", "b"}), SplitTextLines("a\nb\x1a\nc\n"));
  EXPECT_EQ(Lines(), SplitTextLines("\x1a" "a\n"));
  EXPECT_EQ(Lines({"a"}), SplitTextLines("a\n\x1a"));
}

TEST(ParseTimeLimitMs, ReadLikeStrtolTimesAMinute) {
  struct Case {
    const char* line;
    uint64_t ms;
  } cases[] = {
      {"0", 0},
      {"1", 60000},
      {"10", 600000},
      {"5 minutes", 300000},
      {"  \t+7", 420000},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"- 5", 0},
      {"12abc3", 720000},
      // A negative limit is no limit.
      {"-1", 0},
      {"-99999999999999999999", 0},
      // Past 2^32 milliseconds nothing wraps.
      {"71582", 4294920000u},
      {"71583", 4294980000u},
      // strtol saturates at the limits of a 32-bit long.
      {"99999999999999999999", 2147483647ull * 60000u},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.ms, ParseTimeLimitMs(c.line)) << '"' << c.line << '"';
  }
}

TEST(ParseTaskData, Lines) {
  TaskData d = ParseTaskData("cmd /c backup.bat\r\nC:\\jobs\r\n5\r\n");
  EXPECT_EQ("cmd /c backup.bat", d.commandLine.value());
  EXPECT_FALSE(d.commandLineIsNull);
  EXPECT_EQ("C:\\jobs", d.workingDir);
  EXPECT_EQ(300000u, d.timeLimitMs);

  // "null" is exact and case-sensitive.
  d = ParseTaskData("null\nnull\n0\n");
  EXPECT_FALSE(d.commandLine.has_value());
  EXPECT_TRUE(d.commandLineIsNull);
  EXPECT_EQ("", d.workingDir);
  d = ParseTaskData("NULL\nNull\n0\n");
  EXPECT_EQ("NULL", d.commandLine.value());
  EXPECT_EQ("Null", d.workingDir);
  d = ParseTaskData("null \n");
  EXPECT_EQ("null ", d.commandLine.value());

  // A byte-order mark at the start is skipped; anywhere else it is data.
  d = ParseTaskData("\xEF\xBB\xBF" "cmd /c a.bat\r\n"
                    "\xEF\xBB\xBF" "C:\\\r\n1\r\n");
  EXPECT_EQ("cmd /c a.bat", d.commandLine.value());
  EXPECT_EQ("\xEF\xBB\xBF" "C:\\", d.workingDir);

  // Lines after the third change nothing.
  d = ParseTaskData("a\nb\n2\n9\nnull\n");
  EXPECT_EQ("a", d.commandLine.value());
  EXPECT_EQ("b", d.workingDir);
  EXPECT_EQ(120000u, d.timeLimitMs);
}

TEST(ParseTaskData, ShortFilesLeaveTheRestUnset) {
  TaskData d = ParseTaskData("");
  EXPECT_FALSE(d.commandLine.has_value());
  EXPECT_FALSE(d.commandLineIsNull);
  d = ParseTaskData("\x1a" "cmd\nC:\\\n1\n");
  EXPECT_FALSE(d.commandLine.has_value());
  d = ParseTaskData("cmd");
  EXPECT_EQ("cmd", d.commandLine.value());
  EXPECT_EQ("", d.workingDir);
  EXPECT_EQ(0u, d.timeLimitMs);
  d = ParseTaskData("cmd\nC:\\");
  EXPECT_EQ("C:\\", d.workingDir);
  EXPECT_EQ(0u, d.timeLimitMs);
  // An empty line 1 is an empty command line, not an absent one.
  d = ParseTaskData("\n\n");
  EXPECT_EQ("", d.commandLine.value());
}

TEST(ParseTaskData, LongLinesStayWhole) {
  const std::string command(5000, 'x');
  const std::string dir(3000, 'd');
  TaskData d = ParseTaskData(command + "\r\n" + dir + "\r\n3\r\n");
  EXPECT_EQ(command, d.commandLine.value());
  EXPECT_EQ(dir, d.workingDir);
  EXPECT_EQ(180000u, d.timeLimitMs);
}

}  // namespace
}  // namespace runwell
