#ifndef MORVASVC_PATH_TEXT_H_
#define MORVASVC_PATH_TEXT_H_

#include <string>

// Paths as text, where the file system is not asked: whether a path is
// absolute, and the comparison the system uses when it spells a path back.

namespace morvasvc {

// A drive's absolute path (C:\...) or a share's (\\server\share\...).
bool IsFullyQualifiedPath(const std::string& path);

// Whether path begins with prefix, ASCII letters in either case.
bool StartsWithPathText(const std::string& path, const std::string& prefix);
bool SamePathText(const std::string& a, const std::string& b);

}  // namespace morvasvc

#endif
