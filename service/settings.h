#ifndef MORVASVC_SETTINGS_H_
#define MORVASVC_SETTINGS_H_

#include <cstdint>
#include <functional>
#include <string>

namespace morvasvc {

using LeadBytePredicate = std::function<bool(unsigned char)>;
using WideToAnsiFunction = std::function<std::string(const std::u16string&)>;

// Space, TAB, LF, VT, FF and CR; no byte of 0x80 or above.
bool IsSettingBlank(char c);

// The value of key in key=value text (already through the text-mode
// translation), or defaultValue. The last matching line wins; a double-byte
// character's trail byte is never taken for "=", "\" or white space.
std::string FindSetting(const std::string& text, const std::string& key,
                        const std::string& defaultValue,
                        const LeadBytePredicate& isLeadByte);

// Decimal text read like strtol with base 10 and a 32-bit long.
int32_t ParseDecimal(const std::string& text);

// The engine's control port and data folder when its settings say nothing.
const uint32_t kDefaultEnginePort = 1967;
extern const char kDefaultDataFolder[];

// Minutes between two checks of the engine when no settings say otherwise,
// and the range the window takes.
const int32_t kDefaultPeriod = 5;
const int32_t kLowestPeriod = 1;
const int32_t kHighestPeriod = 100000;
// The Java runtime bundled in the install folder.
extern const char kDefaultJavaExe[];

// The module's own settings, in the order the file stores them.
struct ModuleSettings {
  int32_t period = kDefaultPeriod;
  std::string javaExe = kDefaultJavaExe;
  std::string reserved[5];
};

// The byte stream of the settings file before the text-mode translation.
std::string EncodeModuleSettings(const ModuleSettings& settings);
// Every value read whole is kept, the others keep their defaults (reserved
// strings: empty). false when period or javaExe could not be read whole (the
// stream ends early or a length is impossible): the file is damaged.
bool DecodeModuleSettings(const std::string& stream,
                          const WideToAnsiFunction& wideToAnsi,
                          ModuleSettings* settings);

}  // namespace morvasvc

#endif
