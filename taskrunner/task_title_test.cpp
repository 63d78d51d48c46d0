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

TEST(CheckTaskTitle, NothingThatLeavesAFileOrBreaksALine) {
  // A title that ends in a dot shares its log with the one without it.
  for (const char* title : {"Nightly", "Nightly backup", "Nightly\"", "",
                            "a.b", "..", "\xE9t\xE9", "Nightly.", "CONSOLE",
                            "nul1", "COM0", "LPT10", "xNUL", "COM",
                            "COM\xB4", "LPT\xB1"}) {
    EXPECT_EQ(TitleProblem::kNone, CheckTaskTitle(title)) << title;
  }
  for (const char* title : {"..\\..\\victim", "a/b", "C:\\x", "a:b", "a\rb",
                            "a\nb", "a\tb", "a\x7F"}) {
    EXPECT_EQ(TitleProblem::kForbiddenCharacter, CheckTaskTitle(title))
        << title;
  }
  for (const char* title : {"NUL", "con", "Aux.log", "prn.", "COM1", "com9.x.y",
                            "LPT1", "lpt9", "NUL .txt", "COM\xB9", "LPT\xB2",
                            "com\xB3.txt", "CONIN$",
                            "conout$.log"}) {
    EXPECT_EQ(TitleProblem::kDeviceName, CheckTaskTitle(title)) << title;
  }
  EXPECT_EQ("a\\x0D\\x0AExit Code = 0\\x7F",
            ShowControlCharacters("a\r\nExit Code = 0\x7F"));
}

}  // namespace
}  // namespace runwell
