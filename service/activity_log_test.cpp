#include <gtest/gtest.h>

#include <algorithm>

#include "module_test_fixture.h"
#include "module_texts.h"

namespace morvasvc {
namespace {

using ActivityLogTest = ModuleTest;

TEST_F(ActivityLogTest, LogActivityAppendsExactEntries) {
  module.LogActivity("first");
  module.LogActivity("");
  module.LogActivity("two\nlines");
  EXPECT_EQ(
      "\r\nMar 08, 2007 02:05:09 PM\tfirst\r\n"
      "\r\nMar 08, 2007 02:05:09 PM\t\r\n"
      "\r\nMar 08, 2007 02:05:09 PM\ttwo\r\nlines\r\n",
      system.LogFile());
}

TEST_F(ActivityLogTest, LogActivityDropsWhatItCannotWrite) {
  module.activityLog().SetPath("");
  module.LogActivity("lost");
  module.activityLog().SetPath("C:\\nowhere\\logs\\activityLog.jsd");
  module.LogActivity("lost");
  EXPECT_EQ(0u, system.files.count("C:\\nowhere\\logs\\activityLog.jsd"));
  EXPECT_TRUE(system.sleeps.empty());
}

// A log held for a moment is waited for; held longer, entries are kept in
// order and written before the next, bounded, and what is left at the end
// goes to the event log. No append waits longer than a moment.
TEST_F(ActivityLogTest, LogActivityKeepsWhatAHeldLogCannotTake) {
  const std::string log = system.Resolve("data\\logs\\activityLog.jsd");
  int armed = 0;
  module.activityLog().OnHeld([&] { ++armed; });
  system.busyFor[log] = 3;
  module.LogActivity("after a wait");
  EXPECT_EQ(3u, system.sleeps.size());

  system.busyFor[log] = 1 << 30;
  for (int i = 0; i < 1003; ++i) module.LogActivity(std::to_string(i));
  EXPECT_EQ(1, armed);
  EXPECT_FALSE(module.RetryHeldLogEntries());
  EXPECT_EQ(Strings({"after a wait"}), LoggedMessages());
  uint32_t longest = 0;
  for (uint32_t ms : system.sleeps) longest = std::max(longest, ms);
  EXPECT_LE(system.sleeps.size(), 4u + 1004u * 11u);
  EXPECT_LE(longest, 250u);

  system.busyFor[log] = 0;
  module.LogActivity("let go");
  const Strings messages = LoggedMessages();
  ASSERT_EQ(1003u, messages.size());
  EXPECT_EQ("0", messages[1]);
  EXPECT_EQ("999", messages[1000]);
  EXPECT_EQ("NT Service Module: WARNING: 3 activity log entries were lost "
            "while another program held the log, made between Mar 08, 2007 "
            "02:05:09 PM and Mar 08, 2007 02:05:09 PM",
            messages[1001]);
  EXPECT_EQ("let go", messages[1002]);

  // Still held at the end: a few seconds, then one event.
  system.busyFor[log] = 1 << 30;
  module.LogActivity("first kept");
  module.LogActivity("last kept");
  const uint64_t before = system.tickMs;
  module.activityLog().FlushBeforeEnd("Plenor7");
  EXPECT_LE(system.tickMs - before, 4000u);
  ASSERT_EQ(1u, system.events.size());
  EXPECT_EQ("Plenor7", system.events[0].source);
  EXPECT_EQ("NT Service Module: WARNING: 2 activity log entries could not be "
            "written to data\\logs\\activityLog.jsd: another program held "
            "it.\r\n\r\nThe first: Mar 08, 2007 02:05:09 PM first kept\r\n"
            "The last kept: Mar 08, 2007 02:05:09 PM last kept",
            system.events[0].text);
}

}  // namespace
}  // namespace morvasvc
