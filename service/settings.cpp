#include "settings.h"

#include <climits>

namespace morvasvc {

const char kDefaultJavaExe[] = "jre\\bin\\javaw.exe";
const char kDefaultDataFolder[] = "data";

bool IsSettingBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

namespace {

// Length in bytes of the character that starts at text[i].
size_t CharLength(const std::string& text, size_t i,
                  const LeadBytePredicate& isLeadByte) {
  if (i + 1 < text.size() && isLeadByte(static_cast<unsigned char>(text[i]))) {
    return 2;
  }
  return 1;
}

// White space is below 0x40 and so never a trail byte: trimming by bytes is
// safe in every double-byte code page.
std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsSettingBlank(text[begin])) ++begin;
  while (end > begin && IsSettingBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// One left-to-right pass replacing "\" + second by second.
std::string Unescape(const std::string& text, char second,
                     const LeadBytePredicate& isLeadByte) {
  std::string result;
  size_t i = 0;
  while (i < text.size()) {
    const size_t length = CharLength(text, i, isLeadByte);
    if (length == 1 && text[i] == '\\' && i + 1 < text.size() &&
        text[i + 1] == second) {
      result += second;
      i += 2;
      continue;
    }
    result.append(text, i, length);
    i += length;
  }
  return result;
}

size_t FindEquals(const std::string& line,
                  const LeadBytePredicate& isLeadByte) {
  for (size_t i = 0; i < line.size(); i += CharLength(line, i, isLeadByte)) {
    if (line[i] == '=') return i;
  }
  return std::string::npos;
}

}  // namespace

std::string FindSetting(const std::string& text, const std::string& key,
                        const std::string& defaultValue,
                        const LeadBytePredicate& isLeadByte) {
  std::string result = defaultValue;
  // An editor's UTF-8 byte-order mark is not part of the first key.
  size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const size_t equals = FindEquals(line, isLeadByte);
    if (equals == std::string::npos) continue;
    if (Trim(line.substr(0, equals)) != key) continue;
    result = Unescape(Unescape(Trim(line.substr(equals + 1)), ':', isLeadByte),
                      '\\', isLeadByte);
  }
  return result;
}

int32_t ParseDecimal(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsSettingBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(value > INT32_MAX ? INT32_MAX : value);
}

namespace {

void PutInteger(std::string* out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
}

void PutArchiveString(std::string* out, const std::string& text) {
  const uint64_t n = text.size();
  if (n < 0xFF) {
    PutInteger(out, n, 1);
  } else if (n < 0xFFFE) {
    PutInteger(out, 0xFF, 1);
    PutInteger(out, n, 2);
  } else {
    PutInteger(out, 0xFF, 1);
    PutInteger(out, 0xFFFF, 2);
    PutInteger(out, n, 4);
  }
  *out += text;
}

class StreamReader {
 public:
  explicit StreamReader(const std::string& stream) : stream_(stream) {}

  bool Integer(int bytes, uint64_t* value) {
    if (stream_.size() - position_ < static_cast<size_t>(bytes)) return false;
    *value = 0;
    for (int i = 0; i < bytes; ++i) {
      *value |= uint64_t{static_cast<unsigned char>(stream_[position_ + i])}
                << (8 * i);
    }
    position_ += bytes;
    return true;
  }

  bool Bytes(uint64_t count, std::string* bytes) {
    if (stream_.size() - position_ < count) return false;
    bytes->assign(stream_, position_, static_cast<size_t>(count));
    position_ += static_cast<size_t>(count);
    return true;
  }

  // The length prefix in every form a settings file may hold.
  bool ArchiveString(const WideToAnsiFunction& wideToAnsi, std::string* text) {
    uint64_t value = 0;
    bool wide = false;
    if (!Integer(1, &value)) return false;
    if (value == 0xFF) {
      if (!Integer(2, &value)) return false;
      if (value == 0xFFFE) {
        wide = true;
        if (!Integer(1, &value)) return false;
        if (value == 0xFF && !Integer(2, &value)) return false;
      }
      if (value == 0xFFFF) {
        if (!Integer(4, &value)) return false;
        if (value == 0xFFFFFFFFu) {
          if (!Integer(8, &value)) return false;
          if (value > 0x7FFFFFFF) return false;
        }
      }
    }
    if (!wide) return Bytes(value, text);
    std::string units;
    if (!Bytes(value * 2, &units)) return false;
    std::u16string wideText;
    for (size_t i = 0; i + 1 < units.size(); i += 2) {
      wideText.push_back(static_cast<char16_t>(
          static_cast<unsigned char>(units[i]) |
          (static_cast<unsigned char>(units[i + 1]) << 8)));
    }
    *text = wideToAnsi(wideText);
    return true;
  }

 private:
  const std::string& stream_;
  size_t position_ = 0;
};

}  // namespace

std::string EncodeModuleSettings(const ModuleSettings& settings) {
  std::string stream;
  PutInteger(&stream, static_cast<uint32_t>(settings.period), 4);
  PutArchiveString(&stream, settings.javaExe);
  for (const std::string& reserved : settings.reserved) {
    PutArchiveString(&stream, reserved);
  }
  return stream;
}

bool DecodeModuleSettings(const std::string& stream,
                          const WideToAnsiFunction& wideToAnsi,
                          ModuleSettings* settings) {
  StreamReader reader(stream);
  *settings = ModuleSettings();
  uint64_t period = 0;
  if (!reader.Integer(4, &period)) return false;
  settings->period = static_cast<int32_t>(static_cast<uint32_t>(period));
  std::string javaExe;
  if (!reader.ArchiveString(wideToAnsi, &javaExe)) return false;
  settings->javaExe = javaExe;
  for (std::string& reserved : settings->reserved) {
    if (!reader.ArchiveString(wideToAnsi, &reserved)) {
      reserved.clear();
      break;
    }
  }
  return true;
}

}  // namespace morvasvc
