#include <gtest/gtest.h>

#include "module_test_fixture.h"
#include "settings_store.h"

namespace morvasvc {
namespace {

class SettingsStoreTest : public PartTest {
 protected:
  // As the module reads them: the log takes the path the settings name.
  uint32_t ReadEngineSettings() {
    const SettingsStore::EngineSettings engine =
        store.ReadEngineSettings("C:\\Morva");
    log.SetPath(engine.activityLogPath);
    store.ReportEngineSettings(engine);
    return engine.port;
  }
  void Load() { shown = store.Load(&statusText); }
  bool Save() {
    return store.Write(store.WithHidden(shown.period, shown.javaExe),
                       &statusText);
  }

  SettingsStore store{system, system, system, log};
  ModuleSettings shown;
  std::string statusText;
};

TEST_F(SettingsStoreTest, ReadEngineSettings) {
  system.folders.insert("D:\\Data\\logs");
  system.File("engineSettings.jsd") =
      "DATA_FOLDER = D\\:\\\\Data\r\nENGINE_PORT= 2000x\r\n";
  uint32_t port = ReadEngineSettings();
  EXPECT_EQ("D:\\Data\\logs\\activityLog.jsd", log.Path());
  EXPECT_EQ(2000u, port);

  system.File("engineSettings.jsd") = "DATA_FOLDER=\nENGINE_PORT=-1\n";
  port = ReadEngineSettings();
  EXPECT_EQ("\\logs\\activityLog.jsd", log.Path());
  EXPECT_EQ(4294967295u, port);
}

TEST_F(SettingsStoreTest, MissingEngineSettingsGiveDefaults) {
  log.SetPath("");
  uint32_t port = ReadEngineSettings();
  EXPECT_EQ("data\\logs\\activityLog.jsd", log.Path());
  EXPECT_EQ(1967u, port);
  // The first failure came before the log had a path.
  EXPECT_EQ(Strings({"Failed to read settings from: "
                     "C:\\Morva\\engineSettings.jsd"}),
            LoggedMessages());

  // Held for good: about 5 s of tries, the defaults, and one entry.
  system.LogFile().clear();
  system.File("engineSettings.jsd") = "ENGINE_PORT=2001\r\n";
  system.busyFor[system.Resolve("engineSettings.jsd")] = 1 << 30;
  port = ReadEngineSettings();
  EXPECT_EQ(1967u, port);
  EXPECT_EQ(Strings({"NT Service Module: ERROR: C:\\Morva\\engineSettings.jsd "
                     "is held by another program; default settings are used "
                     "for this run"}),
            LoggedMessages());
  EXPECT_GE(system.tickMs - 3600000, 5000u);
}

TEST_F(SettingsStoreTest, LoadModuleSettingsCreatesAMissingFile) {
  // What an earlier file held is not kept.
  system.File("ntServiceSettings.jsd") =
      std::string("\x01\0\0\0\0\0\0\x01x\0", 10);
  Load();
  ASSERT_EQ("x", store.Hidden()[2]);
  system.files.clear();
  Load();
  EXPECT_EQ(5, shown.period);
  EXPECT_EQ("jre\\bin\\javaw.exe", shown.javaExe);
  EXPECT_EQ("", store.Hidden()[2]);
  EXPECT_EQ(std::string("\x05\0\0\0\x11jre\\bin\\javaw.exe\0\0\0\0\0", 27),
            system.File("ntServiceSettings.jsd"));
  EXPECT_EQ("", system.LogFile());

  // A missing file that cannot be written: the log says so.
  system.files.clear();
  system.readOnly.insert(system.Resolve("ntServiceSettings.jsd"));
  Load();
  EXPECT_EQ(Strings({"NT Service Module: ERROR: NT Service module maybe "
                     "installed in wrong folder"}),
            LoggedMessages());
}

TEST_F(SettingsStoreTest, LoadModuleSettingsReadsTheFile) {
  const std::string file =
      std::string("\r\n\0\0\0\x04java\x01r\0\x02r3\0\x02r5", 20);
  system.File("ntServiceSettings.jsd") = file;
  Load();
  EXPECT_EQ(10, shown.period);
  EXPECT_EQ("java", shown.javaExe);
  EXPECT_EQ("r", store.Hidden()[0]);
  EXPECT_EQ("r3", store.Hidden()[2]);
  EXPECT_EQ("r5", store.Hidden()[4]);
  EXPECT_EQ(file, system.File("ntServiceSettings.jsd"));

  // An empty javaExe is defaulted in memory only.
  const std::string empty = std::string("\x07\0\0\0\0\0\0\0\0\0", 10);
  system.File("ntServiceSettings.jsd") = empty;
  Load();
  EXPECT_EQ(7, shown.period);
  EXPECT_EQ("jre\\bin\\javaw.exe", shown.javaExe);
  EXPECT_EQ(empty, system.File("ntServiceSettings.jsd"));
}

// A damaged file keeps what was read whole and stays for the next save.
TEST_F(SettingsStoreTest, DamagedModuleSettingsAreNeverOverwritten) {
  const std::string damagedEntry =
      "NT Service Module: ERROR: ntServiceSettings.jsd is damaged; defaults "
      "stand in for what cannot be read until the settings are saved again";
  struct Case {
    const char* name;
    std::string file;
    int32_t period;
    std::string javaExe, reserved1;
    bool damaged;
  } cases[] = {
      {"last padding byte cut",
       std::string("\x09\0\0\0\x04java\x01r\0\0\0", 14), 9, "java", "r",
       false},
      {"javaExe cut", std::string("\x09\0\0\0\x11jre", 8), 9,
       "jre\\bin\\javaw.exe", "", true},
      {"length past the end",
       std::string("\x09\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 11), 9,
       "jre\\bin\\javaw.exe", "", true},
      {"period cut", std::string("\x09\0", 2), 5, "jre\\bin\\javaw.exe", "",
       true},
  };
  for (const Case& c : cases) {
    system.LogFile().clear();
    system.File("ntServiceSettings.jsd") = c.file;
    Load();
    EXPECT_EQ(c.period, shown.period) << c.name;
    EXPECT_EQ(c.javaExe, shown.javaExe) << c.name;
    EXPECT_EQ(c.reserved1, store.Hidden()[0]) << c.name;
    EXPECT_EQ(c.file, system.File("ntServiceSettings.jsd")) << c.name;
    EXPECT_EQ(c.damaged ? Strings({damagedEntry}) : Strings(),
              LoggedMessages())
        << c.name;
  }
}

TEST_F(SettingsStoreTest, SaveModuleSettingsFailureKeepsTheOldFile) {
  system.File("ntServiceSettings.jsd") = "old";
  system.readOnly.insert(system.Resolve("ntServiceSettings.jsd"));
  Save();
  EXPECT_EQ("ERROR: NT Service module maybe installed in wrong folder",
            statusText);
  EXPECT_EQ("old", system.File("ntServiceSettings.jsd"));
  EXPECT_EQ("", system.LogFile());
}

TEST_F(SettingsStoreTest, ModuleSettingsHeldByAnotherProcess) {
  // Held for a moment: read once it is let go.
  const std::string path = system.Resolve("ntServiceSettings.jsd");
  const std::string file = std::string("\x09\0\0\0\x04java\0\0\0\0\0", 14);
  system.files[path] = file;
  system.busyFor[path] = 20;
  Load();
  EXPECT_EQ(9, shown.period);
  EXPECT_EQ("java", shown.javaExe);
  EXPECT_EQ("", system.LogFile());

  // Held for good: about 5 s of tries, defaults for this run, and the file
  // is not overwritten once it is let go.
  system.sleeps.clear();
  system.busyFor[path] = 1000000;
  Load();
  EXPECT_EQ(5, shown.period);
  uint32_t waited = 0;
  for (uint32_t ms : system.sleeps) waited += ms;
  EXPECT_GE(waited, 4500u);
  EXPECT_LE(waited, 6000u);
  system.busyFor[path] = 0;
  EXPECT_EQ(file, system.files[path]);
  EXPECT_EQ(Strings({"NT Service Module: ERROR: ntServiceSettings.jsd is held "
                     "by another program; default settings are used for this "
                     "run"}),
            LoggedMessages());

  // A save waits for it the same way.
  system.busyFor[path] = 20;
  EXPECT_TRUE(Save());
  EXPECT_EQ(27u, system.files[path].size());

  // Unreadable for another reason (access denied, a locked region): the
  // same, never the defaults written over it.
  system.LogFile().clear();
  system.files[path] = file;
  system.unreadable.insert(path);
  Load();
  EXPECT_EQ(file, system.files[path]);
  EXPECT_EQ(Strings({"NT Service Module: ERROR: ntServiceSettings.jsd could "
                     "not be read; default settings are used for this run"}),
            LoggedMessages());
}

}  // namespace
}  // namespace morvasvc
