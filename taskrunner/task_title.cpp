#include "task_title.h"

namespace runwell {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

std::string TrimBlanks(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::optional<std::string> ExtractTaskTitle(const std::string& commandLine) {
  const std::string trimmed = TrimBlanks(commandLine);
  const size_t marker = trimmed.find("/t");
  if (marker == std::string::npos) return std::nullopt;
  std::string title = TrimBlanks(trimmed.substr(marker + 2));
  // Only an opening quote is dropped; the engine never writes a closing one.
  if (!title.empty() && title[0] == '"') title.erase(0, 1);
  return TrimBlanks(title);
}

namespace {
bool IsControl(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}
}  // namespace

bool IsSafeTaskTitle(const std::string& title) {
  for (char c : title) {
    if (c == '\\' || c == '/' || IsControl(c)) return false;
  }
  return true;
}

std::string ShowControlCharacters(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string shown;
  for (char c : text) {
    if (!IsControl(c)) {
      shown += c;
      continue;
    }
    const unsigned char byte = static_cast<unsigned char>(c);
    shown += "\\x";
    shown += kHex[byte >> 4];
    shown += kHex[byte & 0xF];
  }
  return shown;
}

}  // namespace runwell
