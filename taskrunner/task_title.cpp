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

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// The system takes a name as a device by the part before its first dot, less
// trailing blanks: "nul", "Aux.log" and "COM1 .txt" all open devices.
bool IsDeviceName(const std::string& title) {
  std::string base = title.substr(0, title.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = Upper(c);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (base == device) return true;
  }
  if (base.size() != 4) return false;
  const std::string stem = base.substr(0, 3);
  const unsigned char digit = static_cast<unsigned char>(base[3]);
  // Superscript 1, 2 and 3 of the Western code page count as digits too.
  return (stem == "COM" || stem == "LPT") &&
         ((digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 ||
          digit == 0xB3);
}

}  // namespace

TitleProblem CheckTaskTitle(const std::string& title) {
  for (char c : title) {
    if (c == '\\' || c == '/' || c == ':' || IsControl(c)) {
      return TitleProblem::kForbiddenCharacter;
    }
  }
  return IsDeviceName(title) ? TitleProblem::kDeviceName : TitleProblem::kNone;
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
