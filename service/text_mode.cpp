#include "text_mode.h"

namespace morvasvc {

std::string ToTextMode(const std::string& data) {
  std::string stored;
  stored.reserve(data.size() + 8);
  for (char c : data) {
    if (c == '\n') stored += '\r';
    stored += c;
  }
  return stored;
}

std::string FromTextMode(const std::string& stored) {
  std::string data;
  data.reserve(stored.size());
  for (size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] == '\r' && i + 1 < stored.size() && stored[i + 1] == '\n') {
      continue;
    }
    data += stored[i];
  }
  return data;
}

}  // namespace morvasvc
