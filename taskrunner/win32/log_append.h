#ifndef RUNWELL_WIN32_LOG_APPEND_H_
#define RUNWELL_WIN32_LOG_APPEND_H_

#include <string>

namespace runwell {

// Appends bytes to a log in one write while holding the file's lock, so that
// concurrent runners never tear or lose each other's messages. Creates the
// file but never a folder; false when the file cannot be opened or written.
bool AppendToLog(const std::string& path, const std::string& bytes);

}  // namespace runwell

#endif
