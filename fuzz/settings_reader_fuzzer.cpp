// The engine settings reader: any bytes as engineSettings.jsd.
#include <cstddef>
#include <cstdint>
#include <string>

#include "settings.h"
#include "text_mode.h"

namespace {
bool ShiftJisLead(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool NoLeadBytes(unsigned char) { return false; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the code page, the rest is the file.
  const morvasvc::LeadBytePredicate lead =
      data[0] & 1 ? morvasvc::LeadBytePredicate(ShiftJisLead)
                  : morvasvc::LeadBytePredicate(NoLeadBytes);
  const std::string text =
      morvasvc::FromTextMode(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  const std::string folder = morvasvc::FindSetting(text, "DATA_FOLDER", "data", lead);
  const std::string port = morvasvc::FindSetting(text, "ENGINE_PORT", "1967", lead);
  morvasvc::ParseDecimal(port);
  // Unescaping only ever shortens a value.
  if (folder.size() > text.size() + 4) __builtin_trap();
  return 0;
}
