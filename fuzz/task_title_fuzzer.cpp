// The runner's title extraction: any bytes as its command line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "task_title.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string commandLine(reinterpret_cast<const char*>(data), size);
  const std::string title =
      runwell::ExtractTaskTitle(commandLine).value_or(std::string());
  if (title.size() > commandLine.size()) __builtin_trap();
  // A safe title never leaves its folder nor names a stream, and what is
  // shown has no control character left.
  if (runwell::CheckTaskTitle(title) == runwell::TitleProblem::kNone &&
      title.find_first_of("\\/:") != std::string::npos) {
    __builtin_trap();
  }
  for (char c : runwell::ShowControlCharacters(title)) {
    if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
  }
  if (!title.empty() &&
      (runwell::IsBlank(title.front()) || runwell::IsBlank(title.back()))) {
    __builtin_trap();
  }
  return 0;
}
