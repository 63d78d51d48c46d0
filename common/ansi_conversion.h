#ifndef MORVA_COMMON_ANSI_CONVERSION_H_
#define MORVA_COMMON_ANSI_CONVERSION_H_

#include <cstdint>

namespace morva_common {

// How UTF-16 text is converted to the system's ANSI code page. A code page
// that holds every character (UTF-8) takes no best-fit flag and no default
// character arguments: the system refuses the call otherwise; there only an
// invalid sequence (an unpaired surrogate) is refused. Elsewhere a character
// the code page lacks is a refusal, never another in its place.
struct AnsiConversion {
  uint32_t flags;          // WideCharToMultiByte's dwFlags
  bool defaultArguments;   // whether the default-character arguments apply
};
AnsiConversion ConversionFor(uint32_t codePage);

}  // namespace morva_common

#endif
