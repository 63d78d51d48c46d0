#include <gtest/gtest.h>

#include <algorithm>

#include "module_test_fixture.h"

namespace morvasvc {
namespace {

using ActivityLogTest = PartTest;

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

TEST_F(ActivityLogTest, LogActivityAppendsExactEntries) {
  log.Log("first");
  log.Log("");
  log.Log("two\nlines");
  EXPECT_EQ(
      "\r\nMar 08, 2007 02:05:09 PM\tfirst\r\n"
      "\r\nMar 08, 2007 02:05:09 PM\t\r\n"
      "\r\nMar 08, 2007 02:05:09 PM\ttwo lines\r\n",
      system.LogFile());
}

// Entries made before the engine's settings name the log are kept and go
// there first; a log that cannot be written loses them, without a wait.
TEST_F(ActivityLogTest, LogActivityKeepsWhatComesBeforeThePath) {
  log.SetPath("");
  log.Log("early");
  log.FlushBeforeEnd("Plenor7");
  ASSERT_EQ(1u, system.events.size());
  EXPECT_EQ("NT Service Module: WARNING: 1 activity log entries could not be "
            "written: its folder was never known.\r\n\r\nThe first: Mar 08, "
            "2007 02:05:09 PM early",
            system.events[0].text);
  log.SetPath("data\\logs\\activityLog.jsd");
  log.Log("late");
  EXPECT_EQ(Strings({"early", "late"}), LoggedMessages());

  log.SetPath("");
  log.Log("lost");
  log.SetPath("C:\\nowhere\\logs\\activityLog.jsd");
  log.Log("lost");
  EXPECT_EQ(0u, system.files.count("C:\\nowhere\\logs\\activityLog.jsd"));
  EXPECT_TRUE(system.sleeps.empty());
}

// A log held for a moment is waited for; held longer, entries are kept in
// order and written before the next, bounded, and what is left at the end
// goes to the event log. No append waits longer than a moment.
TEST_F(ActivityLogTest, LogActivityKeepsWhatAHeldLogCannotTake) {
  const std::string file = system.Resolve("data\\logs\\activityLog.jsd");
  int armed = 0;
  log.OnHeld([&] { ++armed; });
  system.busyFor[file] = 3;
  log.Log("after a wait");
  EXPECT_EQ(3u, system.sleeps.size());

  system.busyFor[file] = 1 << 30;
  // The lost ones are made a minute apart: the count names the first and
  // the last.
  for (int i = 0; i < 1003; ++i) {
    if (i >= 1000) system.now += 60;
    log.Log(std::to_string(i));
  }
  system.now -= 180;
  EXPECT_EQ(1, armed);
  EXPECT_FALSE(log.RetryHeld());
  EXPECT_EQ(Strings({"after a wait"}), LoggedMessages());
  // The service's thread counts them should the process end now.
  EXPECT_EQ(1003u, system.published.back().keptBack);
  uint32_t longest = 0;
  for (uint32_t ms : system.sleeps) longest = std::max(longest, ms);
  // Only the first and the retry wait for the held log; the rest are kept
  // at once.
  EXPECT_LE(system.sleeps.size(), 3u + 2u * 11u);
  EXPECT_LE(longest, 250u);

  system.busyFor[file] = 0;
  EXPECT_TRUE(log.RetryHeld());
  log.Log("let go");
  const Strings messages = LoggedMessages();
  ASSERT_EQ(1003u, messages.size());
  EXPECT_EQ("0", messages[1]);
  EXPECT_EQ("999", messages[1000]);
  EXPECT_EQ("NT Service Module: WARNING: 3 activity log entries were lost "
            "while another program held the log, made between Mar 08, 2007 "
            "02:06:09 PM and Mar 08, 2007 02:08:09 PM",
            messages[1001]);
  EXPECT_EQ("let go", messages[1002]);
  EXPECT_EQ(0u, system.published.back().keptBack);

  // Held again just after the kept ones are written: the count of the lost
  // waits for the next write, and a stop's flush reports it.
  system.busyFor[file] = 1 << 30;
  for (int i = 0; i < 1001; ++i) log.Log("x");
  system.busyFor[file] = 0;
  system.heldAfterAppends[file] = 1;
  EXPECT_FALSE(log.RetryHeld());
  EXPECT_FALSE(log.RetryHeld());
  log.FlushBeforeEnd("Plenor7");
  ASSERT_EQ(1u, system.events.size());
  EXPECT_EQ("NT Service Module: WARNING: 1 activity log entries could not be "
            "written to data\\logs\\activityLog.jsd: another program held "
            "it.\r\n\r\nThey were made between Mar 08, 2007 02:05:09 PM and "
            "Mar 08, 2007 02:05:09 PM",
            system.events[0].text);
  system.events.clear();
  system.busyFor[file] = 0;
  EXPECT_TRUE(log.RetryHeld());
  system.LogFile().clear();

  // Still held at the end: a few seconds, then one event.
  system.busyFor[file] = 1 << 30;
  log.Log("first kept");
  log.Log("last kept");
  const uint64_t before = system.tickMs;
  log.FlushBeforeEnd("Plenor7");
  EXPECT_EQ(3000u, system.tickMs - before);
  ASSERT_EQ(1u, system.events.size());
  EXPECT_EQ("Plenor7", system.events[0].source);
  EXPECT_EQ(18, system.events[0].id);
  EXPECT_EQ("NT Service Module: WARNING: 2 activity log entries could not be "
            "written to data\\logs\\activityLog.jsd: another program held "
            "it.\r\n\r\nThe first: Mar 08, 2007 02:05:09 PM first kept\r\n"
            "The last kept: Mar 08, 2007 02:05:09 PM last kept",
            system.events[0].text);
  // Up to a mebibyte is kept.
  for (int i = 0; i < 900; ++i) log.Log(std::string(1100, 'x'));
  system.busyFor[file] = 0;
  EXPECT_TRUE(log.RetryHeld());
  EXPECT_EQ(902u, LoggedMessages().size());
}

// Entries kept for one log while the path changes go to that log, each
// write to one file.
TEST_F(ActivityLogTest, APathChangeWhileHeld) {
  system.folders.insert("D:\\Data\\logs");
  const std::string first = system.Resolve("data\\logs\\activityLog.jsd");
  system.busyFor[first] = 1 << 30;
  log.Log("to the first");
  log.SetPath("D:\\Data\\logs\\activityLog.jsd");
  log.Log("to the second");
  system.busyFor[first] = 0;
  EXPECT_TRUE(log.RetryHeld());
  log.Log("after");
  EXPECT_EQ(Strings({"to the first"}), LoggedMessages());
  EXPECT_EQ(Strings({"to the second", "after"}),
            morva_testing::ActivityLogMessages(
                system.files["D:\\Data\\logs\\activityLog.jsd"]));
}

// The service's own thread writes where the log writes: each change of the
// path, the event source or the install folder is published.
TEST_F(ActivityLogTest, EventsAndThePublishedDestination) {
  log.ReportEvent(EventType::kError, "before the service");
  log.SetInstallDir("C:\\Morva");
  log.ReportEventsAs("Plenor7");
  log.LogError("failed");
  ASSERT_EQ(1u, system.events.size());
  EXPECT_EQ("Plenor7", system.events[0].source);
  EXPECT_EQ(EventType::kError, system.events[0].type);
  EXPECT_EQ(1, system.events[0].id);
  EXPECT_EQ("failed\r\n\r\nInstall folder: C:\\Morva", system.events[0].text);
  EXPECT_EQ(Strings({"failed"}), LoggedMessages());
  ASSERT_EQ(3u, system.published.size());
  EXPECT_EQ("data\\logs\\activityLog.jsd", system.published[2].path);
  EXPECT_EQ("Plenor7", system.published[2].eventSource);
  EXPECT_EQ("C:\\Morva", system.published[2].installDir);
  EXPECT_EQ("", system.published[1].eventSource);

  // A dying engine: once in ten minutes, ten minutes to the millisecond.
  system.events.clear();
  RepeatedEvent relaunches(system, log, EventType::kWarning,
                           EventKind::kEngineRelaunched,
                           "since the last report: ");
  relaunches.Report("relaunched");
  system.tickMs += 599999;
  relaunches.Report("relaunched");
  system.tickMs += 1;
  relaunches.Report("relaunched");
  ASSERT_EQ(2u, system.events.size());
  EXPECT_NE(std::string::npos,
            system.events[1].text.find("since the last report: 2\r\n"));
}

}  // namespace
}  // namespace morvasvc
