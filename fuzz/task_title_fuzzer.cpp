// The runner's title extraction: any bytes as its command line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "task_title.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string commandLine(reinterpret_cast<const char*>(data), size);
  const std::string title = runwell::ExtractTaskTitle(commandLine);
  if (title.size() > commandLine.size()) __builtin_trap();
  if (!title.empty() &&
      (runwell::IsBlank(title.front()) || runwell::IsBlank(title.back()))) {
    __builtin_trap();
  }
  return 0;
}
