#include "settings.h"

#include <gtest/gtest.h>

#include "text_mode.h"

namespace morvasvc {
namespace {

bool NoLeadBytes(unsigned char) { return false; }
// Shift-JIS lead bytes, enough for the cases below.
bool ShiftJisLead(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
std::string Latin(const std::u16string& wide) {
  std::string ansi;
  // As the code page would: what it cannot hold becomes a question mark.
  for (char16_t c : wide) ansi += c < 0x100 ? static_cast<char>(c) : '?';
  return ansi;
}

TEST(FindSetting, LinesKeysAndValues) {
  struct Case {
    const char* text;
    const char* key;
    const char* value;
  } cases[] = {
      {"DATA_FOLDER=C:\\data", "DATA_FOLDER", "C:\\data"},
      {"DATA_FOLDER=", "DATA_FOLDER", ""},
      {"DATA_FOLDER = D\\:\\\\Data ", "DATA_FOLDER", "D:\\Data"},
      {" \t\v\fDATA_FOLDER\t=\tx\r", "DATA_FOLDER", "x"},
      {"A=b=c", "A", "b=c"},
      {"K=\\\\:", "K", "\\:"},
      {"K=\\\\\\\\", "K", "\\\\"},
      {"K=\\\\\\", "K", "\\\\"},
      {"K=a\\t\\=\\n\\u", "K", "a\\t\\=\\n\\u"},
      {"K=a\\", "K", "a\\"},
      {"data_folder=x", "DATA_FOLDER", "default"},
      {"#DATA_FOLDER=x", "DATA_FOLDER", "default"},
      {"DATA_FOLDER x", "DATA_FOLDER", "default"},
      {"DATA_FOLDER=a\nDATA_FOLDER=b\nOTHER=c", "DATA_FOLDER", "b"},
      // An editor's byte-order mark hides no key; only a leading one goes.
      {"\xEF\xBB\xBF" "DATA_FOLDER=x", "DATA_FOLDER", "x"},
      {"X=1\n\xEF\xBB\xBF" "DATA_FOLDER=x", "DATA_FOLDER", "default"},
      {"X=1\nDATA_FOLDER=y\n", "DATA_FOLDER", "y"},
      {"", "DATA_FOLDER", "default"},
      // Bytes of 0x80 and above are never white space.
      {"K=\xA0v\xA0", "K", "\xA0v\xA0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value, FindSetting(c.text, c.key, "default", NoLeadBytes))
        << c.text;
  }
}

TEST(FindSetting, TrailBytesAreNotSyntax) {
  // 0x95 0x5C is one character whose trail byte is a backslash; 0x83 0x3D
  // would hide an "=" if "=" could be a trail byte.
  EXPECT_EQ("\x95\x5C:", FindSetting("K=\x95\x5C:", "K", "", ShiftJisLead));
  EXPECT_EQ("\x95:", FindSetting("K=\x95\x5C:", "K", "", NoLeadBytes));
  EXPECT_EQ("x", FindSetting("\x83=K=x", "\x83=K", "", ShiftJisLead));
  EXPECT_EQ("", FindSetting("\x83=K=x", "\x83=K", "", NoLeadBytes));
}

TEST(ParseDecimal, StrtolRules) {
  EXPECT_EQ(1967, ParseDecimal("1967"));
  EXPECT_EQ(0, ParseDecimal("abc"));
  EXPECT_EQ(2000, ParseDecimal(" 2000x"));
  EXPECT_EQ(-5, ParseDecimal("\t-5"));
  EXPECT_EQ(7, ParseDecimal("+7"));
  EXPECT_EQ(0, ParseDecimal(""));
  EXPECT_EQ(2147483647, ParseDecimal("99999999999"));
  EXPECT_EQ(-2147483647 - 1, ParseDecimal("-99999999999"));
  EXPECT_EQ(-2147483647 - 1, ParseDecimal("-2147483648"));
}

TEST(ModuleSettingsFile, DefaultFileIs27Bytes) {
  const std::string file = ToTextMode(EncodeModuleSettings(ModuleSettings()));
  EXPECT_EQ(std::string("\x05\0\0\0\x11jre\\bin\\javaw.exe\0\0\0\0\0", 27),
            file);
}

TEST(ModuleSettingsFile, LineFeedBytesAreStoredAsCrLf) {
  ModuleSettings settings;
  settings.period = 10;
  settings.javaExe = std::string(10, 'j');
  settings.reserved[2] = "a\rb\x1a";
  const std::string file = ToTextMode(EncodeModuleSettings(settings));
  EXPECT_EQ(std::string("\r\n\0\0\0\r\n", 7), file.substr(0, 7));
  ModuleSettings back;
  ASSERT_TRUE(DecodeModuleSettings(FromTextMode(file), Latin, &back));
  EXPECT_EQ(10, back.period);
  EXPECT_EQ(settings.javaExe, back.javaExe);
  EXPECT_EQ("a\rb\x1a", back.reserved[2]);
}

TEST(ModuleSettingsFile, LengthPrefixes) {
  struct Case {
    size_t length;
    std::string prefix;
  } cases[] = {
      {254, "\xFE"},
      {255, std::string("\xFF\xFF\x00", 3)},
      {300, std::string("\xFF\x2C\x01", 3)},
      {65533, "\xFF\xFD\xFF"},
      {65534, std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7)},
      {70000, std::string("\xFF\xFF\xFF\x70\x11\x01\x00", 7)},
  };
  for (const Case& c : cases) {
    ModuleSettings settings;
    settings.javaExe = std::string(c.length, 'x');
    const std::string stream = EncodeModuleSettings(settings);
    EXPECT_EQ(c.prefix, stream.substr(4, c.prefix.size())) << c.length;
    ModuleSettings back;
    ASSERT_TRUE(DecodeModuleSettings(stream, Latin, &back)) << c.length;
    EXPECT_EQ(settings.javaExe, back.javaExe) << c.length;
  }
}

TEST(ModuleSettingsFile, ReadsFormsItNeverWrites) {
  const std::string period("\x01\0\0\0", 4);
  const std::string fiveEmpty(5, '\0');
  struct Case {
    const char* name;
    std::string javaExe;  // the encoded field
    std::string expected;
  } cases[] = {
      {"wide, byte length", std::string("\xFF\xFE\xFF\x02J\0V\0", 8), "JV"},
      {"wide, above U+00FF", std::string("\xFF\xFE\xFF\x02J\0\x41\x01", 8),
       "J?"},
      {"wide, 16-bit length",
       std::string("\xFF\xFE\xFF\xFF\x02\x00J\0V\0", 10), "JV"},
      {"wide, 32-bit length",
       std::string("\xFF\xFE\xFF\xFF\xFF\xFF\x01\0\0\0J\0", 12), "J"},
      {"narrow, 16-bit length for a short text",
       std::string("\xFF\x02\x00" "ab", 5), "ab"},
      {"narrow, 32-bit length", std::string("\xFF\xFF\xFF\x01\0\0\0a", 8),
       "a"},
      {"narrow, 64-bit length",
       std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x01\0\0\0\0\0\0\0a", 16),
       "a"},
  };
  for (const Case& c : cases) {
    ModuleSettings back;
    ASSERT_TRUE(
        DecodeModuleSettings(period + c.javaExe + fiveEmpty, Latin, &back))
        << c.name;
    EXPECT_EQ(c.expected, back.javaExe) << c.name;
    EXPECT_EQ(1, back.period) << c.name;
  }
}

TEST(ModuleSettingsFile, ShortOrDamagedStreamsKeepWhatIsWhole) {
  ModuleSettings stored;
  stored.period = 9;
  stored.javaExe = "java";
  stored.reserved[0] = "r1";
  const std::string good = EncodeModuleSettings(stored);
  ModuleSettings back;
  // Period and javaExe end at byte 9; a cut before that is damage.
  for (size_t cut = 0; cut < good.size(); ++cut) {
    EXPECT_EQ(cut >= 9, DecodeModuleSettings(good.substr(0, cut), Latin, &back))
        << cut;
    EXPECT_EQ(cut >= 4 ? 9 : 5, back.period) << cut;
    EXPECT_EQ(cut >= 9 ? "java" : "jre\\bin\\javaw.exe", back.javaExe) << cut;
    // A reserved string cut short counts as empty.
    EXPECT_EQ(cut >= 12 ? "r1" : "", back.reserved[0]) << cut;
  }
  EXPECT_TRUE(DecodeModuleSettings(good + "trailing", Latin, &back));
  // A 64-bit length beyond 2^31 - 1 is damage, not a reason to allocate.
  const std::string huge =
      std::string("\0\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 11) +
      std::string("\0\0\0\x80\0\0\0\0", 8);
  EXPECT_FALSE(DecodeModuleSettings(huge, Latin, &back));
  // A stream that ends inside a 16-, 32- or 64-bit length, or inside a
  // wide text.
  for (const std::string& cut :
       {std::string("\0\0\0\0\xFF\x01", 6),
        std::string("\0\0\0\0\xFF\xFE\xFF\x02J\0", 10),
        std::string("\0\0\0\0\xFF\xFE\xFF\xFF\x01", 9),
        std::string("\0\0\0\0\xFF\xFF\xFF\x01\0", 9),
        std::string("\0\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x01\0\0", 14)}) {
    EXPECT_FALSE(DecodeModuleSettings(cut, Latin, &back)) << cut.size();
  }
  // A length that claims more bytes than the file holds.
  EXPECT_FALSE(DecodeModuleSettings(std::string("\0\0\0\0\xFF\xFF\xFF\xFF\xFF"
                                                "\xFF\x7F", 11),
                                    Latin, &back));
}

TEST(TextMode, Translation) {
  EXPECT_EQ("a\r\nb\r\n", ToTextMode("a\nb\n"));
  EXPECT_EQ("a\n\rb\r\x1a", FromTextMode("a\r\n\rb\r\x1a"));
  EXPECT_EQ("\r\n", FromTextMode("\r\r\n"));
}

}  // namespace
}  // namespace morvasvc
