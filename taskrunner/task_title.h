#ifndef RUNWELL_TASK_TITLE_H_
#define RUNWELL_TASK_TITLE_H_

#include <string>

namespace runwell {

// The C library's white space: blank, tab, LF, vertical tab, form feed, CR.
bool IsBlank(char c);
std::string TrimBlanks(const std::string& text);

// The task title follows the first "/t" of the runner's whole command line.
// A command line without "/t" names no task and gives the empty title.
std::string ExtractTaskTitle(const std::string& commandLine);

}  // namespace runwell

#endif
