// The service module's switch detection and naming: any bytes as a command
// line and as a lower-cased install folder.
#include <cstddef>
#include <cstdint>
#include <string>

#include "field_number.h"
#include "start_up.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const morvasvc::CommandLineAction action =
      morvasvc::DetectCommandLineAction(text);
  if (action == morvasvc::CommandLineAction::kRemove &&
      text.find(morvasvc::kInstallSwitch) != std::string::npos) {
    __builtin_trap();  // the install switch always wins
  }
  if (morvasvc::ServiceNameForFolder(text).empty()) __builtin_trap();
  int64_t number = 0;
  morvasvc::ParseFieldNumber(text, &number);
  return 0;
}
