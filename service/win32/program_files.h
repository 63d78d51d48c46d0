#ifndef MORVASVC_WIN32_PROGRAM_FILES_H_
#define MORVASVC_WIN32_PROGRAM_FILES_H_

#include <string>

#include "system_values.h"

namespace morvasvc {

// The running program's path; false with the reason when the system's ANSI
// code page cannot hold it: registered with question marks, it never starts.
bool ProgramPath(std::string* path, std::string* error);

// The program of a service's registered command line, environment strings
// expanded (the configuration query leaves them as they were registered).
std::string RegisteredProgramPath(const std::string& command);

// Whether the service registered with command is ours to remove: this very
// program, by any path, or a program that no longer exists (its folder was
// moved or renamed) where the registered path leaves no doubt.
bool IsOursToRemove(const std::string& command, const std::string& program);

// Whether two paths name one file, through links and other spellings;
// kGone when the first does not exist.
FileIdentity CompareFiles(const std::string& first, const std::string& second);

// Whether the program registered with command is this very program file.
bool IsThisProgram(const std::string& command, const std::string& program);

}  // namespace morvasvc

#endif
