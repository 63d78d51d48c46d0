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
      {"Runwell.exe /T Nightly", ""},
      {"C:\\x/tools\\Runwell.exe /t Nightly", "ools\\Runwell.exe /t Nightly"},
      {"Runwell.exe /t A /t B", "A /t B"},
      // No marker, no task.
      {"Runwell.exe Nightly", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.title, ExtractTaskTitle(c.commandLine)) << c.commandLine;
  }
}

}  // namespace
}  // namespace runwell
