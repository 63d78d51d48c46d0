#ifndef RUNWELL_WIN32_LOG_APPEND_H_
#define RUNWELL_WIN32_LOG_APPEND_H_

#include <string>

#include "task_run.h"

namespace runwell {

// The one place that decides whether a failed open or write is another
// program holding the file (worth a retry) or a failure; error is the code
// taken right at the failing call.
FileResult FileFailure(unsigned long error);

// Appends bytes to a log in one write while holding the file's lock, so that
// concurrent runners never tear or lose each other's messages. Creates the
// file but never a folder.
FileResult AppendToLog(const std::string& path, const std::string& bytes);

}  // namespace runwell

#endif
