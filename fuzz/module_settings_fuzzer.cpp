// The module settings file: any bytes through the text-mode translation and
// the archive-string decoder; what decodes must encode and decode the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "settings.h"
#include "text_mode.h"

namespace {
std::string Latin(const std::u16string& wide) {
  std::string ansi;
  for (char16_t c : wide) ansi += c < 0x100 ? static_cast<char>(c) : '?';
  return ansi;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file(reinterpret_cast<const char*>(data), size);
  morvasvc::ModuleSettings settings;
  if (!morvasvc::DecodeModuleSettings(morvasvc::FromTextMode(file), Latin,
                                      &settings)) {
    return 0;
  }
  const std::string stored =
      morvasvc::ToTextMode(morvasvc::EncodeModuleSettings(settings));
  morvasvc::ModuleSettings again;
  if (!morvasvc::DecodeModuleSettings(morvasvc::FromTextMode(stored), Latin,
                                      &again) ||
      again.period != settings.period || again.javaExe != settings.javaExe) {
    __builtin_trap();
  }
  for (int i = 0; i < 5; ++i) {
    if (again.reserved[i] != settings.reserved[i]) __builtin_trap();
  }
  return 0;
}
