#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "activity_log_entries.h"
#include "fake_module_system.h"
#include "morva_module.h"

namespace morvasvc {
namespace {

using Strings = std::vector<std::string>;

// The window as the actions see it: boxes, and fields typed by the user.
class FakeWindow : public MorvaModule {
 public:
  using MorvaModule::MorvaModule;
  Strings boxes;
  std::function<bool(MorvaModule&)> typed = [](MorvaModule&) { return true; };
  int fills = 0;
  std::string shownServiceName;

 protected:
  void ShowMessage(const std::string& text) override { boxes.push_back(text); }
  bool TakeFields() override { return typed(*this); }
  void FillFields() override {
    ++fills;
    shownServiceName = serviceName;
  }
};

class WindowActionsTest : public testing::Test {
 protected:
  WindowActionsTest() : window(system, control) {
    window.activityLog().SetPath("data\\logs\\activityLog.jsd");
    window.serviceName = "Plenor7";
  }

  Strings LoggedMessages() {
    return morva_testing::ActivityLogMessages(system.LogFile());
  }

  FakeModuleSystem system;
  FakeServiceControl control;
  FakeWindow window;
};

const char kInstalled[] =
    "Service Installed. Use Service Control Manager to Start Service.  This "
    "window can be closed now.  You only need this window to register the "
    "software, change settings or remove the service";

TEST_F(WindowActionsTest, InstallUsesTheNameTheModuleHeld) {
  // A name typed but not saved is neither taken nor used, and shown back.
  window.typed = [](MorvaModule& m) {
    m.serviceName = "Typed";
    return true;
  };
  window.OnInstallService();
  EXPECT_EQ(Strings({"ServiceName=Plenor7", "DisplayName=Plenor7",
                     "IsInstalled", "Install", "AddEventSource"}),
            control.calls);
  EXPECT_EQ(kInstalled, window.statusText);
  EXPECT_EQ(Strings({kInstalled}), window.boxes);
  EXPECT_EQ(Strings({std::string("NT Service Module: ") + kInstalled}),
            LoggedMessages());
  EXPECT_EQ("Plenor7", window.shownServiceName);
  // What the system refused of the registration is logged; the service's
  // event source is registered under its name.
  EXPECT_EQ(std::set<std::string>({"Plenor7"}), control.eventSources);
  control.installed = false;
  control.installWarning = "Setting the service to restart after a failure "
                           "failed: Access is denied.";
  system.LogFile().clear();
  window.OnInstallService();
  EXPECT_EQ(Strings({std::string("NT Service Module: ") + kInstalled,
                     "NT Service Module: WARNING: " + control.installWarning}),
            LoggedMessages());
}

TEST_F(WindowActionsTest, InstallRefusals) {
  control.installed = true;
  control.ownService = "Plenor7";
  window.OnInstallService();
  // Another folder's program holds the name.
  control.ownService = "";
  window.OnInstallService();
  control.installed = false;
  window.serviceName = "";
  window.OnInstallService();
  // This program's service under another name: never a second one.
  control.ownService = "EditedSvc";
  window.serviceName = "Plenor7";
  window.OnInstallService();
  EXPECT_EQ(Strings({"Service is already Installed",
                     "Service is already Installed for another program: "
                     "\"C:\\Other\\Morvasvc.exe\"",
                     "Please enter a Service Name",
                     "Service is already Installed as EditedSvc"}),
            window.boxes);
  EXPECT_EQ(0, window.fills);
  EXPECT_EQ("", window.statusText);
  EXPECT_TRUE(LoggedMessages().empty());
}

// The name the operator typed and saved is the one Install and Remove act
// on: a second folder installs beside another program's service, and a
// moved folder removes the service it installed under a typed name.
TEST_F(WindowActionsTest, TypedNamesForInstallAndRemove) {
  control.otherPrograms = {"Plenor7"};
  system.searchResult = "D:\\Plenor2\\morva7.jar";
  system.folders.insert("D:\\Plenor2\\data\\logs");
  window.RunStartUpSequence();
  EXPECT_EQ("Service Plenor7 is installed for another program: "
            "\"C:\\Other\\Morvasvc.exe\".  Type another Service Name, Save "
            "Settings, then click on [Install Service]",
            window.statusText);
  // Installed, the folder is checked for who can change what it runs.
  system.security["D:\\Plenor2"] = {
      true, false, "S-1-5-32-544", {{false, false, "S-1-5-32-545", 0x1301bf}}};
  window.serviceName = "Edited Svc7";
  window.OnInstallService();
  EXPECT_EQ("Edited Svc7", control.installedAs);
  EXPECT_EQ(kInstalled, window.statusText);
  EXPECT_NE(std::string::npos,
            system.LogFile().find("D:\\Plenor2 can be changed by"));

  control.installed = false;
  control.otherPrograms = {"Edited Svc7"};
  window.OnRemoveService();
  EXPECT_EQ("Edited Svc7", control.removedAs);
  EXPECT_EQ("Service has been removed.  Please logout of windows",
            window.statusText);
}

// Closing the window gives a held log the stop's few seconds; what it still
// cannot take is said in a box, as the window has no event log.
TEST_F(WindowActionsTest, ClosingTheWindowWithTheLogHeld) {
  const std::string file = system.Resolve("data\\logs\\activityLog.jsd");
  window.OnWindowClosing();
  system.busyFor[file] = 1 << 30;
  window.LogActivity("kept");
  window.LogActivity("kept too");
  system.busyFor[file] = 20;
  window.OnWindowClosing();
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ(Strings({"kept", "kept too"}), LoggedMessages());
  system.busyFor[file] = 1 << 30;
  window.LogActivity("lost");
  window.OnWindowClosing();
  EXPECT_EQ(Strings({"The activity log data\\logs\\activityLog.jsd is held "
                     "by another program: 1 entries could not be written to "
                     "it and are lost"}),
            window.boxes);
}

TEST_F(WindowActionsTest, FailedInstallOrRemovalSaysSo) {
  control.refuses = true;
  window.OnInstallService();
  EXPECT_EQ("ERROR: Service could not be installed: Access is denied.",
            window.statusText);
  control.installed = true;
  window.OnRemoveService();
  EXPECT_EQ("ERROR: Service could not be removed: Access is denied.",
            window.statusText);
  EXPECT_EQ(Strings({"ERROR: Service could not be installed: Access is denied.",
                     "ERROR: Service could not be removed: Access is denied."}),
            window.boxes);
  EXPECT_EQ(
      Strings({"NT Service Module: ERROR: Service could not be installed: "
               "Access is denied.",
               "NT Service Module: ERROR: Service could not be removed: "
               "Access is denied."}),
      LoggedMessages());
}

TEST_F(WindowActionsTest, RemoveShowsNoBox) {
  control.installed = true;
  window.OnRemoveService();
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ("Service has been removed.  Please logout of windows",
            window.statusText);
  EXPECT_EQ(Strings({"NT Service Module: Service has been removed.  Please "
                     "logout of windows"}),
            LoggedMessages());
  EXPECT_EQ(1, window.fills);

  control.installed = false;
  window.OnRemoveService();
  EXPECT_EQ(Strings({"Service is not Installed"}), window.boxes);
}

TEST_F(WindowActionsTest, ServiceStateLine) {
  window.enginePort = 1967;
  EXPECT_EQ("Service: not installed;  engine port 1967: nothing answers",
            window.ServiceStateLine());
  control.installed = system.engineListening = true;
  const char* const shown[] = {"unknown",  "stopped", "starting",
                               "stopping", "running", "unknown"};
  for (uint32_t state = 0; state < 6; ++state) {
    control.state = state;
    EXPECT_EQ(std::string("Service: ") + shown[state] +
                  ";  engine port 1967: answering",
              window.ServiceStateLine());
  }
  // A look, not a probe: nothing sent or logged, a short bound.
  EXPECT_TRUE(system.sent.empty() && system.LogFile().empty());
  EXPECT_EQ(250u, system.connectBounds.back());
}

TEST_F(WindowActionsTest, SaveRange) {
  for (int32_t period : {1, 100000, 0, 100001, -5}) {
    system.files.erase(system.Resolve("ntServiceSettings.jsd"));
    window.boxes.clear();
    window.typed = [period](MorvaModule& m) {
      m.period = period;
      return true;
    };
    const int fills = window.fills;
    window.OnSaveSettings();
    const bool inRange = period >= 1 && period <= 100000;
    // The fields show what was saved.
    EXPECT_EQ(fills + (inRange ? 1 : 0), window.fills) << period;
    EXPECT_EQ(inRange, system.files.count(system.Resolve("ntServiceSettings.jsd")) == 1)
        << period;
    EXPECT_EQ(inRange ? 1u : 0u, window.boxes.size()) << period;
    EXPECT_EQ(period, window.period) << period;
  }
  EXPECT_EQ(Strings({"NT Service settings have been changed",
                     "NT Service settings have been changed"}),
            LoggedMessages());

  // A running service is told to re-read them; one that refuses, a
  // stopped one, or another program's of the same name, needs the restart
  // the box names.
  control.installed = true;
  window.typed = [](MorvaModule& m) {
    m.period = 2;
    return true;
  };
  for (int i = 0; i < 4; ++i) {
    control.state = i != 2 ? 4 : 1;
    control.refusesReread = i == 1;
    control.ownService = i < 3 ? window.serviceName : "";
    control.calls.clear();
    window.boxes.clear();
    window.OnSaveSettings();
    EXPECT_EQ(i == 0 ? "Settings saved. The running NT service has been told "
                       "to use them now; the engine keeps running"
                     : "For settings to take effect, Stop and ReStart NT "
                       "service using Service Control Manager",
              window.boxes.at(0))
        << i;
  }
  EXPECT_EQ(0, std::count(control.calls.begin(), control.calls.end(), "Reread"));
}

TEST_F(WindowActionsTest, SaveStopsAtARefusedField) {
  window.period = 3;
  window.typed = [](MorvaModule& m) {
    m.javaExe = "taken before the refusal";
    return false;
  };
  window.OnSaveSettings();
  EXPECT_EQ(0u, system.files.count(system.Resolve("ntServiceSettings.jsd")));
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ("taken before the refusal", window.javaExe);
}

TEST_F(WindowActionsTest, SaveThatCannotWriteSaysSo) {
  system.readOnly.insert(system.Resolve("ntServiceSettings.jsd"));
  window.period = 10;
  window.OnSaveSettings();
  EXPECT_EQ(Strings({"ERROR: NT Service module maybe installed in wrong folder"}),
            window.boxes);
  EXPECT_TRUE(LoggedMessages().empty());
}

// A file held or damaged at the window's start is shown as such, and a save
// never writes a value that it never read.
TEST_F(WindowActionsTest, SaveNeverWritesWhatItNeverRead) {
  const std::string path = system.Resolve("ntServiceSettings.jsd");
  const std::string file = std::string("\x09\0\0\0\x04java\x02r1\0\0\0\0", 16);
  system.files[path] = file;
  system.busyFor[path] = 1 << 30;
  window.RunStartUpSequence();
  EXPECT_EQ("ERROR: ntServiceSettings.jsd is held by another program; the "
            "window shows default settings",
            window.statusText);
  window.typed = [](MorvaModule& m) {
    m.period = 12;
    return true;
  };
  window.OnSaveSettings();
  EXPECT_EQ(Strings({"ERROR: Settings were not saved: ntServiceSettings.jsd "
                     "is held by another program. Please try again"}),
            window.boxes);
  EXPECT_EQ(file, system.files[path]);

  // Let go: the new period, and the Java path and reserved strings that the
  // window never had.
  system.busyFor[path] = 0;
  window.OnSaveSettings();
  EXPECT_EQ(std::string("\x0C\0\0\0\x04java\x02r1\0\0\0\0", 16),
            system.files[path]);
  EXPECT_EQ("java", window.javaExe);

  system.files[path] = std::string("\x09\0", 2);
  window.OnSaveSettings();
  EXPECT_EQ(std::string("\x09\0", 2), system.files[path]);
  EXPECT_EQ("ERROR: Settings were not saved: ntServiceSettings.jsd is damaged; "
            "saving would lose what cannot be read. Rename or delete the "
            "file, then save again",
            window.boxes.back());
}

TEST_F(WindowActionsTest, HelpOpensThePageInTheInstallFolder) {
  window.OnOpenHelp();
  ASSERT_EQ(1u, system.shellCalls.size());
  EXPECT_EQ("C:\\Morva\\help\\english\\gui\\NTService.htm",
            system.shellCalls[0].file);
  EXPECT_EQ("", system.shellCalls[0].parameters);
  EXPECT_EQ(ShellPrompts::kOwnedByWindow, system.shellCalls[0].prompts);
}

}  // namespace
}  // namespace morvasvc
