// The runner's task data file: any bytes as runwell_<title>.txt.
#include <cstddef>
#include <cstdint>
#include <string>

#include "task_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file(reinterpret_cast<const char*>(data), size);
  const runwell::TaskData task = runwell::ParseTaskData(file);
  // A line never holds its line end, and "null" never reaches the start.
  if (task.commandLine && (task.commandLine->find('\n') != std::string::npos ||
                           *task.commandLine == "null")) {
    __builtin_trap();
  }
  if (task.workingDir.find('\n') != std::string::npos) __builtin_trap();
  // Any multiple of 60000 modulo 2^32 is still a multiple of 32.
  if (task.timeLimitMs % 32u != 0) __builtin_trap();
  return 0;
}
