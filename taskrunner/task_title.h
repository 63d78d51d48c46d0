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

// A title goes into file paths and log lines: one with "\", "/" or a control
// character would leave its folders or forge log lines.
bool IsSafeTaskTitle(const std::string& title);
// The text with each control character shown as \xNN.
std::string ShowControlCharacters(const std::string& text);

}  // namespace runwell

#endif
