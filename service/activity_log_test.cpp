#include <gtest/gtest.h>

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

TEST_F(ActivityLogTest, LogActivityWaitsBrieflyForAnotherHolder) {
  const std::string log = system.Resolve("data\\logs\\activityLog.jsd");
  system.busyFor[log] = 3;
  module.LogActivity("after a wait");
  EXPECT_EQ(Strings({"after a wait"}), LoggedMessages());
  EXPECT_EQ(3u, system.sleeps.size());

  // Held for longer than the retry: the entry is lost, the wait bounded.
  system.sleeps.clear();
  system.busyFor[log] = 1000;
  module.LogActivity("lost");
  EXPECT_EQ(Strings({"after a wait"}), LoggedMessages());
  uint32_t waited = 0;
  for (uint32_t ms : system.sleeps) waited += ms;
  EXPECT_LE(waited, 250u);
  EXPECT_GT(waited, 0u);
}

}  // namespace
}  // namespace morvasvc
