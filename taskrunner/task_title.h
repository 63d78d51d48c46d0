#ifndef RUNWELL_TASK_TITLE_H_
#define RUNWELL_TASK_TITLE_H_

#include <optional>
#include <string>

namespace runwell {

// The C library's white space: blank, tab, LF, vertical tab, form feed, CR.
bool IsBlank(char c);
std::string TrimBlanks(const std::string& text);

// The task title follows the first "/t" of the runner's whole command line.
// A command line without "/t" names no task: no title at all.
std::optional<std::string> ExtractTaskTitle(const std::string& commandLine);

enum class TitleProblem {
  kNone,
  // "\" or "/" would leave the task's folders, ":" names a stream of another
  // file, and a control character would forge log lines.
  kForbiddenCharacter,
  // NUL, CON, COM1... with or without an extension open a device, not a file.
  kDeviceName,
};

// What is wrong with a title that goes into file paths and log lines.
TitleProblem CheckTaskTitle(const std::string& title);
// The text with each control character shown as \xNN.
std::string ShowControlCharacters(const std::string& text);

}  // namespace runwell

#endif
