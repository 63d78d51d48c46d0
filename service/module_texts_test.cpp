#include "module_texts.h"

#include <gtest/gtest.h>

namespace morvasvc {
namespace {

TEST(ServiceNameForFolder, LastMatchingProductWins) {
  struct Case {
    const char* folder;
    const char* name;
  } cases[] = {
      {"c:\\program files\\plenor\\engine", "Plenor7"},
      {"d:\\tolsey\\plenor", "Tolsey7"},
      {"d:\\plenor\\tolsey", "Tolsey7"},
      {"d:\\apps\\verrinsoft", "Verrin7"},
      {"e:\\brenmar\\quiddal\\verrin", "Brenmar7"},
      {"e:\\quiddal", "Quiddal7"},
      {"c:\\morva", "Morva7"},
      {"", "Morva7"},
      // The caller lowers the case; upper case never matches here.
      {"C:\\PLENOR", "Morva7"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.name, ServiceNameForFolder(c.folder)) << c.folder;
  }
}

TEST(DetectCommandLineAction, Switches) {
  using A = CommandLineAction;
  struct Case {
    const char* commandLine;
    A action;
  } cases[] = {
      {"Morvasvc.exe", A::kNone},
      {"Morvasvc.exe install_51924706", A::kInstall},
      {"Morvasvc.exe xinstall_51924706y", A::kInstall},
      {"Morvasvc.exe INSTALL_51924706", A::kNone},
      {"Morvasvc.exe remove_51924706", A::kRemove},
      {"Morvasvc.exe remove_51924706 install_51924706", A::kInstall},
      {"Morvasvc.exe install_5192470", A::kNone},
      {"C:\\install_51924706\\Morvasvc.exe", A::kInstall},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.action, DetectCommandLineAction(c.commandLine))
        << c.commandLine;
  }
}

std::tm Time(int year, int month, int day, int hour, int minute, int second) {
  std::tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

TEST(FormatLogTimestamp, TwelveHourClockInTheCLocale) {
  std::tm t = Time(2007, 3, 8, 14, 5, 9);
  EXPECT_EQ("\nMar 08, 2007 02:05:09 PM", FormatLogTimestamp(&t));
  t = Time(2026, 12, 5, 0, 30, 0);
  EXPECT_EQ("\nDec 05, 2026 12:30:00 AM", FormatLogTimestamp(&t));
  t = Time(2026, 1, 31, 12, 30, 0);
  EXPECT_EQ("\nJan 31, 2026 12:30:00 PM", FormatLogTimestamp(&t));
  t = Time(1999, 9, 9, 23, 59, 59);
  EXPECT_EQ("\nSep 09, 1999 11:59:59 PM", FormatLogTimestamp(&t));
  EXPECT_EQ("", FormatLogTimestamp(nullptr));
}

TEST(FormatLogEntry, TabMessageLineFeed) {
  EXPECT_EQ("\nMar 08, 2007 02:05:09 PM\tHello\n",
            FormatLogEntry("\nMar 08, 2007 02:05:09 PM", "Hello"));
  EXPECT_EQ("\nT\t\n", FormatLogEntry("\nT", ""));
  EXPECT_EQ("\tNo time\n", FormatLogEntry("", "No time"));
}

TEST(NormalizeJavaExe, DefaultAndDoubledBackslashes) {
  EXPECT_EQ("jre\\bin\\javaw.exe", NormalizeJavaExe(""));
  EXPECT_EQ("C:\\java\\bin\\javaw.exe",
            NormalizeJavaExe("C:\\\\java\\\\bin\\javaw.exe"));
  EXPECT_EQ("a\\\\b", NormalizeJavaExe("a\\\\\\b"));
  EXPECT_EQ("a\\\\b", NormalizeJavaExe("a\\\\\\\\b"));
  // A network path keeps its leading pair, written plain or doubled.
  EXPECT_EQ("\\\\server\\java.exe", NormalizeJavaExe("\\\\\\\\server\\java.exe"));
  EXPECT_EQ("\\\\server\\share\\jre\\bin\\javaw.exe",
            NormalizeJavaExe("\\\\server\\share\\jre\\bin\\javaw.exe"));
  EXPECT_EQ("\\\\server\\share", NormalizeJavaExe("\\\\\\server\\\\share"));
  EXPECT_EQ("javaw", NormalizeJavaExe("javaw"));
}

TEST(BuildEngineArguments, ClassPath) {
  EXPECT_EQ("-Xrs -cp .;help; com.morva.engine.Engine",
            BuildEngineArguments({}));
  EXPECT_EQ("-Xrs -cp .;help;a.jar;morva7.jar; com.morva.engine.Engine",
            BuildEngineArguments({"a.jar", "morva7.jar"}));
  // A blank in a jar name is kept inside one quoted class path.
  EXPECT_EQ("-Xrs -cp \".;help;my lib.jar;morva7.jar;\" com.morva.engine.Engine",
            BuildEngineArguments({"my lib.jar", "morva7.jar"}));
}

TEST(EngineCommands, ExactBytes) {
  EXPECT_EQ(38u, std::string(kConfirmRunningCommand).size());
  EXPECT_EQ(25u, std::string(kShutdownCommand).size());
}

TEST(SupervisionIntervalMs, NoOverflowAndWithinTheTimerRange) {
  EXPECT_EQ(60000u, SupervisionIntervalMs(1));
  // 100000 minutes overflow 32 bits; the timer gets its longest interval.
  EXPECT_EQ(0x7FFFFFFFu, SupervisionIntervalMs(100000));
  EXPECT_EQ(35791 * 60000u, SupervisionIntervalMs(35791));
  EXPECT_EQ(0x7FFFFFFFu, SupervisionIntervalMs(35792));
  EXPECT_EQ(0x7FFFFFFFu, SupervisionIntervalMs(2147483647));
  EXPECT_EQ(10u, SupervisionIntervalMs(0));
  EXPECT_EQ(10u, SupervisionIntervalMs(-1));
  EXPECT_EQ(10u, SupervisionIntervalMs(-2147483647 - 1));
}

TEST(ParseFieldNumber, Rules) {
  int64_t value = 0;
  EXPECT_TRUE(ParseFieldNumber("10 minutes", &value));
  EXPECT_EQ(10, value);
  EXPECT_TRUE(ParseFieldNumber("  -5", &value));
  EXPECT_EQ(-5, value);
  EXPECT_FALSE(ParseFieldNumber("", &value));
  EXPECT_FALSE(ParseFieldNumber("abc", &value));
  EXPECT_FALSE(ParseFieldNumber("- 5", &value));
  // Only the first 63 characters count.
  EXPECT_FALSE(ParseFieldNumber(std::string(63, ' ') + "5", &value));
  EXPECT_TRUE(ParseFieldNumber(std::string(62, ' ') + "5", &value));
  EXPECT_EQ(5, value);
}

}  // namespace
}  // namespace morvasvc
