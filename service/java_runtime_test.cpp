#include "java_runtime.h"

#include <gtest/gtest.h>

#include "module_test_fixture.h"

namespace morvasvc {
namespace {

TEST(NormalizeJavaExe, DefaultAndDoubledBackslashes) {
  EXPECT_EQ("jre\\bin\\javaw.exe", NormalizeJavaExe(""));
  EXPECT_EQ("C:\\java\\bin\\javaw.exe",
            NormalizeJavaExe("C:\\\\java\\\\bin\\javaw.exe"));
  EXPECT_EQ("a\\\\b", NormalizeJavaExe("a\\\\\\b"));
  EXPECT_EQ("a\\\\b", NormalizeJavaExe("a\\\\\\\\b"));
  // A network path keeps its leading pair, written plain or doubled.
  EXPECT_EQ("\\\\server\\java.exe", NormalizeJavaExe("\\\\\\\\server\\java.exe"));
  EXPECT_EQ("\\\\server\\share\\jre\\bin\\javaw.exe",
            NormalizeJavaExe("\\\\server\\share\\jre\\bin\\javaw.exe"));
  EXPECT_EQ("\\\\server\\share", NormalizeJavaExe("\\\\\\server\\\\share"));
  EXPECT_EQ("javaw", NormalizeJavaExe("javaw"));
}

using JavaRuntimeTest = PartTest;

// Which file a configured path launches: in the install folder, as given,
// along the search path; the system folder through Sysnative under WOW64;
// read as the shell reads it.
TEST_F(JavaRuntimeTest, ResolveJava) {
  system.found["javaw.exe"] = "C:\\Java\\bin\\javaw.exe";
  system.environment["JAVA_HOME"] = "C:\\jdk";
  const std::string jdk = "C:\\jdk\\bin\\javaw.exe";
  struct Case {
    std::string javaExe;
    bool wow64;
    std::string launched, resolved;
    bool bare, sysnative;
  } cases[] = {
      {"jre\\bin\\javaw.exe", true, "jre\\bin\\javaw.exe",
       "C:\\Morva\\jre\\bin\\javaw.exe", false, false},
      {"javaw.exe", false, "javaw.exe", "C:\\Java\\bin\\javaw.exe", true, false},
      {"java", false, "java", "", true, false},
      {"C:\\Windows\\System32\\javaw.exe", true,
       "C:\\windows\\Sysnative\\javaw.exe",
       "C:\\windows\\Sysnative\\javaw.exe", false, true},
      {"C:\\Windows\\System32\\javaw.exe", false,
       "C:\\Windows\\System32\\javaw.exe",
       "C:\\Windows\\System32\\javaw.exe", false, false},
      {"C:\\Windows\\System32x\\javaw.exe", true,
       "C:\\Windows\\System32x\\javaw.exe",
       "C:\\Windows\\System32x\\javaw.exe", false, false},
      {" \"C:\\jdk\\bin\\javaw.exe\" ", false, jdk, jdk, false, false},
      {"C:/jdk/bin/javaw", false, jdk, jdk, false, false},
      {"%JAVA_HOME%\\bin\\javaw.exe", false, jdk, jdk, false, false},
      {"\\\\?\\C:\\jdk\\bin\\javaw.exe", false, jdk, jdk, false, false},
      {"\\\\?\\UNC\\srv\\jdk\\javaw.exe", false, "\\\\srv\\jdk\\javaw.exe",
       "\\\\srv\\jdk\\javaw.exe", false, false},
      {"%NONE%\\javaw.exe", false, "%NONE%\\javaw.exe",
       "C:\\Morva\\%NONE%\\javaw.exe", false, false},
  };
  for (const Case& c : cases) {
    system.wow64 = c.wow64;
    const JavaRuntime java =
        ResolveJava(c.javaExe, "C:\\Morva", system, system);
    EXPECT_EQ(c.launched, java.launched) << c.javaExe;
    EXPECT_EQ(c.resolved, java.resolved) << c.javaExe;
    EXPECT_EQ(c.bare, java.bare) << c.javaExe;
    EXPECT_EQ(c.sysnative, java.sysnative) << c.javaExe;
  }
  // The PE header's machine: x86, x64, ARM64; anything else tells nothing.
  std::string header(0x100, '\0');
  header.replace(0, 2, "MZ");
  header[0x3C] = 0x40;
  header.replace(0x40, 4, std::string("PE\0\0", 4));
  for (auto [machine, bits] : {std::pair<uint16_t, int>{0x14C, 32},
                               {0x8664, 64}, {0xAA64, 64}, {0x1C4, 0}}) {
    header[0x44] = static_cast<char>(machine & 0xFF);
    header[0x45] = static_cast<char>(machine >> 8);
    EXPECT_EQ(bits, ProgramBits(header)) << machine;
  }
  // The options the engine gets from the service's environment are said.
  system.environment = {{"JAVA_TOOL_OPTIONS", "-Xmx2g"},
                        {"_JAVA_OPTIONS", "-Xss1m"}};
  JavaReport report(log);
  report.Say(ResolveJava("java", "C:\\Morva", system, system));
  EXPECT_EQ("NT Service Module: Java runtime = java, not found along the "
            "system's search path; the engine gets the options of the "
            "service's environment: JAVA_TOOL_OPTIONS = -Xmx2g, "
            "_JAVA_OPTIONS = -Xss1m",
            LoggedMessages()[0]);
  EXPECT_EQ(0, ProgramBits(header.substr(0, 0x45)));
  // The smallest that can hold one: its PE header inside the DOS header.
  std::string tiny(0x40, '\0');
  tiny.replace(0, 2, "MZ");
  tiny.replace(8, 6, std::string("PE\0\0\x4c\x01", 6));
  tiny[0x3C] = 8;
  EXPECT_EQ(32, ProgramBits(tiny));
  EXPECT_EQ(0, ProgramBits("MZ"));
  header[0x3C] = '\xF0';
  EXPECT_EQ(0, ProgramBits(header));
  // An offset past the bytes read tells nothing, whatever its low bytes.
  header[0x3C] = 0x40;
  header[0x3F] = 1;
  EXPECT_EQ(0, ProgramBits(header));
}

}  // namespace
}  // namespace morvasvc
