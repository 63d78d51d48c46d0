#include "task_title.h"

#include <gtest/gtest.h>

namespace runwell {
namespace {

TEST(ExtractTaskTitle, Cases) {
  struct Case {
    const char* commandLine;
    const char* title;
  } cases[] = {
      {"C:\\Morva\\Runwell.exe /t Nightly", "Nightly"},
      {"Runwell.exe /tNightly", "Nightly"},
      {" \t Runwell.exe   /t   Nightly \r\n\v\f ", "Nightly"},
      {"Runwell.exe /t \"Nightly", "Nightly"},
      // Only the opening quote goes; the closing one is part of the title.
      {"Runwell.exe /t \"Nightly\"", "Nightly\""},
      {"Runwell.exe /t \" Nightly ", "Nightly"},
      {"Runwell.exe /t Nightly backup", "Nightly backup"},
      {"Runwell.exe /t", ""},
      {"Runwell.exe /t   ", ""},
      {"Runwell.exe /t \"", ""},
      // The marker is case-sensitive and may stand inside the program path.
      {"Runwell.exe /T Nightly", "(none)"},
      {"C:\\x/tools\\Runwell.exe /t Nightly", "ools\\Runwell.exe /t Nightly"},
      {"Runwell.exe /t A /t B", "A /t B"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.title, ExtractTaskTitle(c.commandLine).value_or("(none)"))
        << c.commandLine;
  }
  // No marker, no task.
  EXPECT_FALSE(ExtractTaskTitle("Runwell.exe Nightly").has_value());
  EXPECT_FALSE(ExtractTaskTitle("").has_value());
}

TEST(IsSafeTaskTitle, NothingThatLeavesAFolderOrBreaksALine) {
  for (const char* title : {"Nightly", "Nightly backup", "Nightly\"", "",
                            "a.b", "..", "\xE9t\xE9"}) {
    EXPECT_TRUE(IsSafeTaskTitle(title)) << title;
  }
  for (const char* title : {"..\\..\\victim", "a/b", "C:\\x", "a\rb", "a\nb",
                            "a\tb", "a\x7F"}) {
    EXPECT_FALSE(IsSafeTaskTitle(title)) << title;
  }
  EXPECT_EQ("a\\x0D\\x0AExit Code = 0\\x7F",
            ShowControlCharacters("a\r\nExit Code = 0\x7F"));
}

}  // namespace
}  // namespace runwell
