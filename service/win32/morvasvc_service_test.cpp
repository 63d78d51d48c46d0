// Morvasvc.exe as the Service Control Manager runs it, with the stand-in
// engine as the install folder's Java runtime. This test program stays alive
// while the service runs, which keeps Wine's services up.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "activity_log_entries.h"
#include "handle.h"
#include "installed_service.h"
#include "resource.h"
#include "window_driver.h"
#include "wine_test_support.h"

namespace morvasvc {
namespace {

using namespace testing_support;

const char kLaunchArguments[] =
    " -Xrs -cp .;help;morva7.jar; com.morva.engine.Engine";

TEST(MorvasvcService, StartLaunchesTheEngineAndStopShutsItDown) {
  InstalledService service("Plenor", "Plenor7");
  ASSERT_TRUE(service.StartWithEngine());
  const Strings starts = service.EngineStarts();
  ASSERT_EQ(1u, starts.size());
  const std::string expectedTail =
      std::string(kLaunchArguments) + "|" + service.Dir();
  ASSERT_GE(starts[0].size(), expectedTail.size());
  EXPECT_EQ(expectedTail, starts[0].substr(starts[0].size() - expectedTail.size()));

  Strings messages = service.LogMessages();
  // The installer's and the window's own entries come first.
  const auto first = std::find(messages.rbegin(), messages.rend(),
                               "NT Service Module: Starting NT Service")
                         .base() - 1;
  ASSERT_GE(messages.end() - first, 9);
  const Strings start(first, first + 9);
  EXPECT_EQ(
      Strings({"NT Service Module: Starting NT Service",
               "NT Service Module: Service Working Directory = " + service.Dir(),
               "NT Service Module: Engine Port = " +
                   std::to_string(service.Port()),
               "NT Service Module: Java runtime = " + service.Dir() +
                   "\\jre\\bin\\javaw.exe, a " +
                   std::to_string(sizeof(void*) * 8) + "-bit program",
               "NT Service Module: Engine is not running",
               "NT Service Module: launching scheduler engine",
               "NT Service Module: Engine path = jre\\bin\\javaw.exe",
               "NT Service Module: Engine arguments = -Xrs -cp "
               ".;help;morva7.jar; com.morva.engine.Engine",
               "NT Service Module: NT Service Started. Service Working "
               "Directory = " + service.Dir()}),
      start);

  ASSERT_TRUE(WaitFor([&] { return service.State() == SERVICE_RUNNING; }, 1000));
  ASSERT_TRUE(service.Stop());
  EXPECT_EQ(Strings({"NTSERVICE^SHUTDOWN_ENGINE|EOF"}), service.EngineCommands());
  messages = service.LogMessages();
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(Strings({"NT Service Module: Sending Shutdown request to engine",
                     "NT Service Module: NT Service has been Stopped"}),
            Strings(messages.end() - 2, messages.end()));
}

// The operator changes the period and sends the parameter change: the
// service takes it, and the engine runs on untouched.
TEST(MorvasvcService, ParameterChangeKeepsTheEngineRunning) {
  InstalledService service("Quiddal", "Quiddal7");
  ASSERT_TRUE(service.StartWithEngine());
  WriteAll(service.Path("ntServiceSettings.jsd"),
           std::string("\x07\0\0\0\x11jre\\bin\\javaw.exe\0\0\0\0\0", 27));
  ASSERT_TRUE(service.SendParamChange());
  const std::string reread =
      "NT Service Module: Settings re-read: period = 7 minutes, Java path = "
      "jre\\bin\\javaw.exe";
  EXPECT_TRUE(WaitFor(
      [&] {
        const Strings messages = service.LogMessages();
        return !messages.empty() && messages.back() == reread;
      },
      10000));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.State());
  EXPECT_EQ(1u, service.EngineStarts().size());
  EXPECT_TRUE(service.EngineCommands().empty());
}

// The window's line on the service follows it while it is open.
TEST(MorvasvcService, WindowShowsTheServiceState) {
  InstalledService service("Quiddal", "Quiddal7");
  WindowDriver window(service.Path("Morvasvc.exe"), "Morvasvc");
  ASSERT_NE(static_cast<HWND>(NULL), window.Window());
  const auto shows = [&](const char* state, const char* port,
                         DWORD boundMs = 15000) {
    const std::string line = std::string("Service: ") + state +
                             ";  engine port " +
                             std::to_string(service.Port()) + ": " + port;
    return WaitFor([&] { return window.Text(IDC_SERVICE_STATE) == line; },
                   boundMs);
  };
  // There as the window opens, before the first refresh.
  EXPECT_TRUE(shows("stopped", "nothing answers", 2000));
  ASSERT_TRUE(service.StartWithEngine());
  EXPECT_TRUE(shows("running", "answering"));
  ASSERT_TRUE(service.Stop());
  EXPECT_TRUE(shows("stopped", "nothing answers"));
}

TEST(MorvasvcService, AnsweringEngineIsNotLaunchedAgain) {
  InstalledService service("Quiddal", "Quiddal7");
  ASSERT_TRUE(service.StartEngine());
  ASSERT_TRUE(service.Start());
  ASSERT_TRUE(WaitFor([&] { return !service.EngineCommands().empty(); }, 20000));
  EXPECT_EQ(Strings({"NTSERVICE^CONFIRM_RUNNING_TO_NTSERVICE|EOF"}),
            service.EngineCommands());
  // Running means the start was handled whole: a launch would be logged.
  const Strings messages = service.LogMessages();
  EXPECT_EQ(messages.end(), std::find(messages.begin(), messages.end(),
                                      "NT Service Module: launching scheduler "
                                      "engine"));
  EXPECT_EQ(1u, service.EngineStarts().size());
  // Adopted, its listener is named (Wine tells no owner of a port, so
  // only the entry shows here), and nothing warns.
  const std::string adopted = "NT Service Module: Engine port " +
                              std::to_string(service.Port()) +
                              " is answered by ";
  EXPECT_EQ(1, std::count_if(messages.begin(), messages.end(),
                             [&](const std::string& m) {
                               return m.rfind(adopted, 0) == 0;
                             }));
  EXPECT_EQ(messages.end(),
            std::find_if(messages.begin(), messages.end(),
                         [](const std::string& m) {
                           return m.find("WARNING") != std::string::npos;
                         }));
  ASSERT_TRUE(service.Stop());
}

// A runtime that cannot start the engine says why in a box nobody sees on
// the service's desktop: the log quotes it, and the box is closed, so that
// the runtime ends instead of waiting for ever.
TEST(MorvasvcService, BoxOfTheLaunchedRuntimeIsQuotedAndClosed) {
  InstalledService service("Tolsey", "Tolsey7", /*period=*/0);
  WriteAll(service.Path("engine-mode.txt"),
           "box:Error: Could not find or load main class");
  ASSERT_TRUE(service.Start());
  EXPECT_TRUE(WaitFor(
      [&] { return service.EngineCommands() == Strings({"|BOX CLOSED"}); },
      20000));
  ASSERT_TRUE(service.Stop());
  EXPECT_EQ(1, service.Logged({"showed a box, closed as pressing OK does: "
                               "[Java Virtual Machine Launcher] Error: Could "
                               "not find or load main class"}));
}

// A question is never answered for the operator: quoted, left open, and the
// runtime that asks it is ended by the stop, unanswered.
TEST(MorvasvcService, QuestionOfTheLaunchedRuntimeIsLeftOpen) {
  InstalledService service("Tolsey", "Tolsey7", /*period=*/0);
  WriteAll(service.Path("engine-mode.txt"), "ask:Delete the old jobs?");
  ASSERT_TRUE(service.Start());
  const Strings quoted = {"showed a box, left open for an operator to "
                          "answer: [Question] Delete the old jobs?"};
  EXPECT_TRUE(WaitFor([&] { return service.Logged(quoted) > 0; }, 20000));
  ASSERT_TRUE(service.Stop());
  EXPECT_EQ(1, service.Logged(quoted));
  EXPECT_TRUE(service.EngineCommands().empty());
}

// A runtime that crashes is said once: when it was launched, that it ended,
// and the header of the crash report it left in the install folder.
TEST(MorvasvcService, CrashedRuntimeIsSaidWithItsReport) {
  InstalledService service("Tolsey", "Tolsey7", /*period=*/0);
  WriteAll(service.Path("engine-mode.txt"), "crash:1");
  ASSERT_TRUE(service.Start());
  const Strings ended = {
      "has ended: it was found ended at",
      ". Java's crash report " + service.Path("hs_err_pid"),
      ".log: # A fatal error has been detected by the Java Runtime "
      "Environment: #  EXCEPTION_ACCESS_VIOLATION (0xc0000005) at pc=0x0, "
      "pid="};
  EXPECT_TRUE(WaitFor([&] { return service.Logged(ended) > 0; }, 20000));
  ASSERT_TRUE(service.Stop());
  EXPECT_EQ(1, service.Logged(ended));
}

TEST(MorvasvcService, StopWithoutAnEngineStillEndsTheService) {
  InstalledService service("Tolsey", "Tolsey7");
  WriteAll(service.Path("engine-mode.txt"), "die:1");
  ASSERT_TRUE(service.Start());
  ASSERT_TRUE(WaitFor([&] { return !service.EngineCommands().empty(); }, 20000));
  EXPECT_EQ(Strings({"|DIED"}), service.EngineCommands());
  ASSERT_TRUE(service.Stop());
  const Strings messages = service.LogMessages();
  EXPECT_EQ("NT Service Module: Engine is not running or not responding on "
            "selected port: " + std::to_string(service.Port()),
            messages.back());
}

// A Java engine takes seconds to shut down. The stop ends only when it has
// let go of its port, so a start right after it launches a fresh engine.
// A log that another program holds for 2 s from the moment of a stop: the
// stop's entries wait for it, and every entry of the stop and of the next
// start reaches the file, in order.
TEST(MorvasvcService, LogHeldAcrossAStopLosesNothing) {
  InstalledService service("Quiddal", "Quiddal7");
  ASSERT_TRUE(service.StartWithEngine());
  std::thread release =
      HoldFor(service.Path("data\\logs\\activityLog.jsd"), 2000);
  const bool stopped = service.Stop();
  release.join();
  ASSERT_TRUE(stopped);
  ASSERT_TRUE(service.Start());
  const Strings messages = service.LogMessages();
  auto at = messages.begin();
  for (const char* entry :
       {"NT Service Module: Sending Shutdown request to engine",
        "NT Service Module: NT Service has been Stopped",
        "NT Service Module: Starting NT Service"}) {
    at = std::find(at, messages.end(), std::string(entry));
    EXPECT_NE(messages.end(), at) << entry;
  }
}

TEST(MorvasvcService, StopEndsWhenTheEngineHasLetGoOfItsPort) {
  InstalledService service("Plenor", "Plenor7");
  WriteAll(service.Path("engine-mode.txt"), "linger:5");
  ASSERT_TRUE(service.StartWithEngine());
  const DWORD start = GetTickCount();
  ASSERT_TRUE(service.Stop());
  const DWORD stopMs = GetTickCount() - start;
  std::printf("stop with an engine that keeps its port 5 s: %lu ms\n",
              static_cast<unsigned long>(stopMs));
  EXPECT_GE(stopMs, 4500u);
  EXPECT_LT(stopMs, 20000u);
  EXPECT_FALSE(service.Answers());

  ASSERT_TRUE(service.Start());
  EXPECT_TRUE(WaitFor([&] { return service.EngineStarts().size() == 2; }, 20000));
  const Strings messages = service.LogMessages();
  EXPECT_EQ(messages.end(),
            std::find_if(messages.begin(), messages.end(), [](const std::string& m) {
              return m.find("still answers") != std::string::npos;
            }));
}

// An engine hung with its connection queue full answers nothing: the start
// still finishes within seconds and launches the engine, and so does a stop.
TEST(MorvasvcService, HungEngineHoldsNeitherStartNorStop) {
  InstalledService service("Plenor", "Plenor7");
  morva_testing::FullListener hung(service.Port());
  const DWORD start = GetTickCount();
  ASSERT_TRUE(service.Start());
  const DWORD startMs = GetTickCount() - start;
  std::printf("start against a hung engine: %lu ms\n",
              static_cast<unsigned long>(startMs));
  EXPECT_LT(startMs, 15000u);
  EXPECT_TRUE(WaitFor([&] { return !service.EngineStarts().empty(); }, 10000));
  const DWORD stop = GetTickCount();
  ASSERT_TRUE(service.Stop());
  EXPECT_LT(GetTickCount() - stop, 15000u);
}

// The settings file held by the window across the service's start is read
// once it is let go, and keeps its bytes.
TEST(MorvasvcService, SettingsFileHeldAcrossTheStartIsRead) {
  InstalledService service("Quiddal", "Quiddal7", 1, ".\\jre\\bin\\javaw.exe");
  const std::string settings = ReadAll(service.Path("ntServiceSettings.jsd"));
  std::thread release = HoldFor(service.Path("ntServiceSettings.jsd"), 2000);
  const bool started = service.Start();
  release.join();
  ASSERT_TRUE(started);
  ASSERT_TRUE(WaitFor([&] { return !service.EngineStarts().empty(); }, 20000));
  const Strings messages = service.LogMessages();
  EXPECT_NE(messages.end(),
            std::find(messages.begin(), messages.end(),
                      "NT Service Module: Engine path = .\\jre\\bin\\javaw.exe"));
  EXPECT_EQ(settings, ReadAll(service.Path("ntServiceSettings.jsd")));
  ASSERT_TRUE(service.Stop());
}

// A Java path far beyond what a path can be, or one whose extension no
// program is registered for (where the shell would ask which program to
// use, on a desktop nobody sees): the launch fails with its entry, and the
// service starts and stops.
// On 64-bit Windows this 32-bit program would find the system folder's
// 32-bit twin under its name, or nothing: a runtime configured there is
// launched through the Sysnative alias, and the log says so.
TEST(MorvasvcService, RuntimeInTheSystemFolderIsLaunchedThroughSysnative) {
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) {
    GTEST_SKIP() << "only a 32-bit program on 64-bit Windows is redirected";
  }
  char windows[MAX_PATH] = "";
  GetSystemWindowsDirectoryA(windows, MAX_PATH);
  const std::string name =
      "morva_stand_in_" + std::to_string(GetCurrentProcessId()) + ".exe";
  const std::string native = std::string(windows) + "\\Sysnative\\" + name;
  InstalledService service("Quiddal", "Quiddal7", 1,
                           std::string(windows) + "\\System32\\" + name);
  ASSERT_TRUE(CopyFileA(service.Path("jre\\bin\\javaw.exe").c_str(),
                        native.c_str(), FALSE));
  const bool started = service.StartWithEngine();
  const Strings messages = service.LogMessages();
  EXPECT_TRUE(service.Stop());
  DeleteFileA(native.c_str());
  ASSERT_TRUE(started);
  EXPECT_EQ(1, std::count_if(messages.begin(), messages.end(),
                             [&](const std::string& m) {
                               return m.find("\\Sysnative\\" + name) !=
                                          std::string::npos &&
                                      m.find("launched through Sysnative") !=
                                          std::string::npos;
                             }));
}

TEST(MorvasvcService, JavaPathsTheShellCannotOpenFailTheLaunchOnly) {
  for (const std::string& javaExe :
       {"C:\\" + std::string(1000, 'j') + "\\javaw.exe",
        std::string("jre\\bin\\javaw.morvanoprogram")}) {
  InstalledService service("Quiddal", "Quiddal7", 1, javaExe);
  WriteAll(service.Path("jre\\bin\\javaw.morvanoprogram"), "");
  ASSERT_TRUE(service.Start());
  const Strings messages = service.LogMessages();
  const auto failed = std::find_if(
      messages.begin(), messages.end(), [](const std::string& m) {
        return m.rfind("NT Service Module: ERROR: Engine could not be launched: ",
                       0) == 0;
      });
  ASSERT_NE(messages.end(), failed);
  EXPECT_EQ(0u, (failed - 1)->rfind("NT Service Module: Engine arguments = ", 0));
  ASSERT_TRUE(service.Stop());
  }
}

// Remove takes only this folder's own service, and stops it first when it
// runs: the engine gets its shutdown and the name is free at once.
TEST(MorvasvcService, RemoveTakesOnlyItsOwnServiceAndStopsItFirst) {
  InstalledService service("Tolsey", "Tolsey7");
  const std::string other =
      morva_testing::NewTempFolder("morvasvc_other") + "\\Tolsey";
  for (const char* sub : {"", "\\data", "\\data\\logs"}) {
    CreateDirectoryA((other + sub).c_str(), NULL);
  }
  WriteAll(other + "\\morva7.jar", "");
  WriteAll(other + "\\engineSettings.jsd", "DATA_FOLDER=data\r\n");
  CopyFileA(service.Path("Morvasvc.exe").c_str(),
            (other + "\\Morvasvc.exe").c_str(), FALSE);
  EXPECT_EQ(1u, service.Run("remove_51924706", other));
  EXPECT_TRUE(service.Registered());
  const std::string otherLog = ReadAll(other + "\\data\\logs\\activityLog.jsd");
  EXPECT_NE(std::string::npos,
            otherLog.find("\tNT Service Module commandline mode: Service could "
                          "not be removed: The service belongs to another "
                          "program: "))
      << otherLog;

  ASSERT_TRUE(service.StartWithEngine());
  EXPECT_EQ(0u, service.Run("remove_51924706", service.Dir()));
  EXPECT_EQ(SERVICE_STOPPED, service.State());
  // Still held by the test, the name cannot be deleted twice: the entry says
  // which step failed.
  EXPECT_EQ(1u, service.Run("remove_51924706", service.Dir()));
  EXPECT_NE(std::string::npos,
            ReadAll(service.Path("data\\logs\\activityLog.jsd"))
                .find("Service could not be removed: Deleting the service "
                      "failed: "));
  service.ReleaseHandle();
  EXPECT_FALSE(service.Registered());
  const Strings commands = service.EngineCommands();
  EXPECT_NE(commands.end(), std::find(commands.begin(), commands.end(),
                                      "NTSERVICE^SHUTDOWN_ENGINE|EOF"));
}

// The install folder renamed after the install: its program is gone from
// the registered path, and the renamed folder's program may remove it.
TEST(MorvasvcService, RemoveAfterTheInstallFolderMoved) {
  InstalledService service("Tolsey", "Tolsey7");
  service.ReleaseHandle();
  const std::string moved = service.Dir() + "Moved";
  ASSERT_TRUE(MoveFileA(service.Dir().c_str(), moved.c_str()));
  EXPECT_EQ(0u, service.Run("remove_51924706", moved));
  EXPECT_FALSE(service.Registered());
  MoveFileA(moved.c_str(), service.Dir().c_str());
}

struct WindowSearch {
  DWORD processId;
  HWND window;
};

BOOL CALLBACK FindVisibleWindow(HWND candidate, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(candidate, &owner);
  if (owner == search->processId && IsWindowVisible(candidate)) {
    search->window = candidate;
  }
  return TRUE;
}

// Remove Service in the window while the service takes seconds to stop: the
// window keeps answering, says that it waits, and then that it removed it.
TEST(MorvasvcService, WindowKeepsAnsweringWhileItsRemoveStopsTheService) {
  InstalledService service("Plenor", "Plenor7");
  WriteAll(service.Path("engine-mode.txt"), "linger:4");
  // Opened first: Wine lets a program that a user starts while the service
  // runs connect to the service's control pipe.
  KernelHandle program(morva_testing::StartProcess(
      "\"" + service.Path("Morvasvc.exe") + "\"", service.Dir()));
  // Never left open for the next test to find, whatever fails here.
  const std::shared_ptr<void> ending(nullptr, [&program](void*) {
    TerminateProcess(program.Get(), 1);
  });
  // The service's own window has the same caption: this program's window.
  WindowSearch search = {GetProcessId(program.Get()), NULL};
  ASSERT_TRUE(WaitFor([&] {
    EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
    return search.window != NULL;
  }, 20000));
  const HWND window = search.window;
  ASSERT_TRUE(service.StartWithEngine());
  const auto status = [window] {
    char text[256] = "";
    SendMessageTimeoutA(GetDlgItem(window, 1009), WM_GETTEXT, sizeof text,
                        reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 20000,
                        NULL);
    return std::string(text);
  };
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, 1001)));
  DWORD longestMs = 0;
  bool sawWaiting = false;
  const DWORD start = GetTickCount();
  std::string text;
  const std::string removed =
      "Service has been removed.  Please logout of windows";
  while (text != removed && text.find("ERROR") != 0 &&
         GetTickCount() - start < 60000) {
    const DWORD asked = GetTickCount();
    text = status();
    longestMs = std::max<DWORD>(longestMs, GetTickCount() - asked);
    sawWaiting = sawWaiting || text.find("Stopping the service") == 0;
    Sleep(50);
  }
  std::printf("remove in the window: %lu ms, longest without an answer %lu ms\n",
              static_cast<unsigned long>(GetTickCount() - start),
              static_cast<unsigned long>(longestMs));
  EXPECT_EQ(removed, text);
  EXPECT_TRUE(sawWaiting);
  EXPECT_LT(longestMs, 1000u);
  PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0),
            WaitForSingleObject(program.Get(), 10000));
}

// Seconds since 1970 of an entry's local time stamp, "Mar 08, 2007 02:05:09
// PM", read whole: a run may cross midnight at a month's or a year's end.
int64_t StampSeconds(const std::string& stamp) {
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const int month =
      static_cast<int>(std::string(kMonths).find(stamp.substr(0, 3)) / 3) + 1;
  const int day = std::atoi(stamp.substr(4, 2).c_str());
  int year = std::atoi(stamp.substr(8, 4).c_str());
  const int hour = std::atoi(stamp.substr(13, 2).c_str()) % 12 +
                   (stamp.substr(22, 2) == "PM" ? 12 : 0);
  const int minute = std::atoi(stamp.substr(16, 2).c_str());
  const int second = std::atoi(stamp.substr(19, 2).c_str());
  // Days since 1970 of a civil date (March-based years).
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra =
      yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const int64_t days = era * 146097 + dayOfEra - 719468;
  return ((days * 24 + hour) * 60 + minute) * 60 + second;
}

// A runtime slow to open the port is given its time: over a minute of
// checks (period 0: one every moment) it is launched once, not again beside
// it, and the stop ends it, as it never answered. The port is one the
// system also hands out: thousands of probes never meet themselves there.
TEST(MorvasvcServiceSlow, SlowRuntimeIsLaunchedOnceAndTheStopEndsIt) {
  InstalledService service("Tolsey", "Tolsey7", /*period=*/0);
  WriteAll(service.Path("engine-mode.txt"), "slow:600");
  ASSERT_TRUE(service.Start());
  Sleep(65000);
  const Strings pids = Lines(ReadAll(service.Path("engine-pids.txt")));
  ASSERT_EQ(1u, pids.size());
  KernelHandle engine(
      OpenProcess(SYNCHRONIZE, FALSE, std::stoul(pids[0])));
  ASSERT_TRUE(engine.Valid());
  ASSERT_TRUE(service.Stop());
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(engine.Get(), 5000));
  const Strings messages = service.LogMessages();
  const auto has = [&](const std::string& text) {
    return std::any_of(messages.begin(), messages.end(),
                       [&](const std::string& m) {
                         return m.find(text) != std::string::npos;
                       });
  };
  EXPECT_TRUE(has("(process " + pids[0] + ") has not opened its port yet"));
  EXPECT_TRUE(has("(process " + pids[0] +
                  ") never opened its port; the stop ended it"));
}

// An operator's script: a stop sent while the service starts, then a start
// at once, again and again. Each time the manager ends with the state the
// module reports: stopped, then running, then stopped.
TEST(MorvasvcServiceSlow, StopDuringStartThenStartAgain) {
  InstalledService service("Tolsey", "Tolsey7");
  for (DWORD cycle = 0; cycle < 8; ++cycle) {
    ASSERT_TRUE(service.SendStart()) << cycle;
    Sleep(150 * cycle);
    // A service still starting may refuse the stop until it runs.
    ASSERT_TRUE(WaitFor(
        [&] {
          return service.State() == SERVICE_STOPPED || service.SendStop();
        },
        kServiceWaitMs))
        << cycle;
    ASSERT_TRUE(WaitFor([&] { return service.State() == SERVICE_STOPPED; },
                        kServiceWaitMs))
        << cycle;
    ASSERT_TRUE(service.Start()) << cycle << ": " << service.State();
    ASSERT_TRUE(service.Stop()) << cycle;
  }
}

// The engine dies again and again while the service runs; with the shortest
// timer the probe finds it gone at once, yet every relaunch waits for the
// minute to pass, and none comes later than it should.
TEST(MorvasvcServiceSlow, DeadEngineIsRelaunchedOnceAMinuteAgainAndAgain) {
  // Time stamps are read whole, across a year's end too.
  ASSERT_EQ(1, StampSeconds("Jan 01, 2027 12:00:00 AM") -
                   StampSeconds("Dec 31, 2026 11:59:59 PM"));
  ASSERT_EQ(86400, StampSeconds("Mar 01, 2028 12:00:00 PM") -
                       StampSeconds("Feb 29, 2028 12:00:00 PM"));
  InstalledService service("Tolsey", "Tolsey7", /*period=*/0);
  WriteAll(service.Path("engine-mode.txt"), "die:2");
  ASSERT_TRUE(service.Start());
  ASSERT_TRUE(
      WaitFor([&] { return service.EngineStarts().size() >= 4; }, 4 * 70000));
  ASSERT_TRUE(service.Stop());

  std::vector<int64_t> launches;
  const std::string log = ReadAll(service.Path("data\\logs\\activityLog.jsd"));
  const std::string entry = "\tNT Service Module: launching scheduler engine\r\n";
  for (size_t at = 0; (at = log.find(entry, at)) != std::string::npos; ++at) {
    launches.push_back(StampSeconds(log.substr(at - 24, 24)));
  }
  ASSERT_GE(launches.size(), 4u);
  for (size_t i = 1; i < launches.size(); ++i) {
    const int64_t gap = launches[i] - launches[i - 1];
    EXPECT_GE(gap, 60) << "launch " << i;
    EXPECT_LE(gap, 62) << "launch " << i;
  }
}

}  // namespace
}  // namespace morvasvc
