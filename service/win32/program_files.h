#ifndef MORVASVC_WIN32_PROGRAM_FILES_H_
#define MORVASVC_WIN32_PROGRAM_FILES_H_

#include <string>

namespace morvasvc {

// The running program's path; false with the reason when the system's ANSI
// code page cannot hold it: registered with question marks, it never starts.
bool ProgramPath(std::string* path, std::string* error);

// A registered command line's program: unquoted, the arguments left off.
std::string CommandProgram(const std::string& command);

// Whether the service registered with program registered is ours to remove:
// this very program, by any path, or a program that no longer exists (its
// folder was moved or renamed).
bool IsOursToRemove(const std::string& registered, const std::string& program);

}  // namespace morvasvc

#endif
