#include "ansi_conversion.h"

namespace morva_common {

namespace {
const uint32_t kNoBestFitChars = 0x400;    // WC_NO_BEST_FIT_CHARS
const uint32_t kErrorInvalidChars = 0x80;  // WC_ERR_INVALID_CHARS
const uint32_t kUtf7 = 65000, kUtf8 = 65001, kGb18030 = 54936, kSymbol = 42;
}  // namespace

AnsiConversion ConversionFor(uint32_t codePage) {
  if (codePage == kUtf8) return {kErrorInvalidChars, false};
  if (codePage == kUtf7) return {0, false};
  // These take no flags at all; their default character still applies.
  if (codePage == kGb18030 || codePage == kSymbol ||
      (codePage >= 50220 && codePage <= 50229) ||
      (codePage >= 57002 && codePage <= 57011)) {
    return {0, true};
  }
  return {kNoBestFitChars, true};
}

}  // namespace morva_common
