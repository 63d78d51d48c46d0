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

std::string ExtractTaskTitle(const std::string& commandLine) {
  const std::string trimmed = TrimBlanks(commandLine);
  const size_t marker = trimmed.find("/t");
  if (marker == std::string::npos) return std::string();
  std::string title = TrimBlanks(trimmed.substr(marker + 2));
  // Only an opening quote is dropped; the engine never writes a closing one.
  if (!title.empty() && title[0] == '"') title.erase(0, 1);
  return TrimBlanks(title);
}

}  // namespace runwell
