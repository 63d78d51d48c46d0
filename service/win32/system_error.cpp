#include "system_error.h"

#include "handle.h"

namespace morvasvc {

std::string SystemErrorText(DWORD error) {
  LocalMemory text;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      NULL, error, 0, reinterpret_cast<char*>(text.Receive()), 0, NULL);
  std::string result =
      length && text.Valid()
          ? std::string(static_cast<const char*>(text.Get()), length)
          : "error " + std::to_string(error);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                             result.back() == ' ')) {
    result.pop_back();
  }
  return result;
}

std::string StepFailed(const std::string& step, const std::string& object,
                       DWORD error) {
  return step + (object.empty() ? std::string() : "(" + object + ")") +
         " failed: " + SystemErrorText(error);
}

}  // namespace morvasvc
