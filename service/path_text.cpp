#include "path_text.h"

#include <cctype>

namespace morvasvc {

bool IsFullyQualifiedPath(const std::string& path) {
  const bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') ||
                      (path[0] >= 'a' && path[0] <= 'z'));
  const bool share = path.size() >= 5 && path.compare(0, 2, "\\\\") == 0 &&
                     path[2] != '\\' && path[2] != '?' && path[2] != '.' &&
                     path.find('\\', 3) != std::string::npos;
  return drive || share;
}

bool StartsWithPathText(const std::string& path, const std::string& prefix) {
  if (path.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(path[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

bool SamePathText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && StartsWithPathText(a, b);
}

}  // namespace morvasvc
