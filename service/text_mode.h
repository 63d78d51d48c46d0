#ifndef MORVASVC_TEXT_MODE_H_
#define MORVASVC_TEXT_MODE_H_

#include <string>

namespace morvasvc {

// Files are written and read through the text-mode translation: each LF is
// stored as CR LF, each stored CR LF reads as LF. A lone CR and 0x1A are data.
std::string ToTextMode(const std::string& data);
std::string FromTextMode(const std::string& stored);

}  // namespace morvasvc

#endif
