// Morvasvc.exe's configuration window as a user sees and drives it.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "activity_log_entries.h"
#include "handle.h"
#include "install_folder.h"
#include "window_driver.h"
#include "wine_test_support.h"

namespace morvasvc {
namespace {

using namespace testing_support;
using Strings = std::vector<std::string>;

TEST(MorvasvcWindow, WhatAUserSeesAndDoes) {
  InstallFolder folder("Brenmar Office");
  const std::string command = "\"" + folder.Path("Morvasvc.exe") + "\"";
  WindowDriver driver(folder);
  ASSERT_NE(static_cast<HWND>(NULL), driver.Window());

  // At start: the fields from the module state, the status lines.
  EXPECT_EQ("Brenmar7", driver.Text(1004));
  EXPECT_EQ("jre\\bin\\javaw.exe", driver.Text(1005));
  EXPECT_EQ("5", driver.Text(1006));
  EXPECT_EQ("1", driver.Text(1007));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(driver.Window(), 1007)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(driver.Window(), 1008)));
  EXPECT_EQ("Service is not installed.  Click on [Install Service]",
            driver.Text(1009));
  EXPECT_EQ("Use Service Control Manager to Start/Stop Service",
            driver.Text(1010));
  EXPECT_EQ("IMPORTANT (6.x USERS):  Remove version 6.x service module before "
            "using [Install Service] - SEE HELP",
            driver.Text(1012));
  SaveScreenshot(driver.Window(), ProgramFolder() + "\\morvasvc-window.bmp");

  // Install Service: a box with the outcome, which the status line keeps.
  driver.Click(1000);
  const std::string installed =
      "Service Installed. Use Service Control Manager to Start Service.  This "
      "window can be closed now.  You only need this window to register the "
      "software, change settings or remove the service";
  EXPECT_EQ(installed, driver.DismissBox());
  driver.Settle();
  EXPECT_EQ(installed, driver.Text(1009));
  EXPECT_TRUE(QueryService("Brenmar7").found);
  driver.Click(1000);
  EXPECT_EQ("Service is already Installed", driver.DismissBox());

  // Save Settings: a period that is no number is refused and nothing saved.
  const std::string defaults = ReadAll(folder.Path("ntServiceSettings.jsd"));
  driver.Type(1006, "abc");
  driver.Click(1002);
  EXPECT_EQ("Please enter an integer.", driver.DismissBox());
  driver.Settle();
  EXPECT_EQ(defaults, ReadAll(folder.Path("ntServiceSettings.jsd")));
  driver.Type(1006, "10 minutes");
  driver.Click(1002);
  EXPECT_EQ("For settings to take effect, Stop and ReStart NT service using "
            "Service Control Manager",
            driver.DismissBox());
  driver.Settle();
  EXPECT_EQ("10", driver.Text(1006));
  EXPECT_EQ(std::string("\r\n\0\0\0", 5),
            ReadAll(folder.Path("ntServiceSettings.jsd")).substr(0, 5));

  // Remove Service: no box, only the status line.
  driver.Click(1001);
  Sleep(500);
  EXPECT_EQ("", WindowDriver::UnexpectedBox());
  driver.Settle();
  EXPECT_EQ("Service has been removed.  Please logout of windows",
            driver.Text(1009));
  EXPECT_FALSE(QueryService("Brenmar7").found);

  // The About box from the system menu, twice: modal to the main window and
  // centred on it; message boxes still show once it is closed.
  for (int round = 0; round < 2; ++round) {
    PostMessageA(driver.Window(), WM_SYSCOMMAND, 16, 0);
    HWND about = WindowDriver::WaitForWindow("About Morvasvc");
    ASSERT_NE(static_cast<HWND>(NULL), about);
    std::string aboutTexts;
    for (HWND child = GetWindow(about, GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
      aboutTexts += WindowDriver::TextOf(child) + "|";
    }
    EXPECT_NE(std::string::npos, aboutTexts.find("|Morvasvc Version 7.02|"));
    EXPECT_NE(std::string::npos, aboutTexts.find("|OK|"));
    EXPECT_EQ(driver.Window(), GetWindow(about, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(driver.Window()));
    RECT outer, inner;
    GetWindowRect(driver.Window(), &outer);
    GetWindowRect(about, &inner);
    EXPECT_NEAR(outer.left + outer.right, inner.left + inner.right, 4);
    EXPECT_NEAR(outer.top + outer.bottom, inner.top + inner.bottom, 4);
    if (round == 0) SaveScreenshot(about, ProgramFolder() + "\\morvasvc-about.bmp");
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 100 && IsWindow(about); ++i) Sleep(20);
    driver.Settle();
    EXPECT_TRUE(IsWindowEnabled(driver.Window()));
    driver.Type(1006, "abc");
    driver.Click(1002);
    EXPECT_EQ("Please enter an integer.", driver.DismissBox()) << round;
  }

  // Cancel closes without saving.
  driver.Type(1006, "77");
  PostMessageA(driver.Window(), WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(driver.Ended(10000));
  EXPECT_EQ(std::string("\r\n\0\0\0", 5),
            ReadAll(folder.Path("ntServiceSettings.jsd")).substr(0, 5));

  EXPECT_EQ(
      Strings({"NT Service Module: commandline = " + command,
               "NT Service Module: module window opened. Please close module "
               "before starting NT Service",
               "NT Service Module: " + installed,
               "NT Service settings have been changed",
               "NT Service Module: Service has been removed.  Please logout of "
               "windows"}),
      folder.LogMessages());
}

// Installed under a typed name, the service is this program's all the same:
// the install switch adds no second one, and the window opened again shows
// that name and removes it with its event source.
TEST(MorvasvcWindow, ServiceInstalledUnderATypedName) {
  InstallFolder folder("Verrin Typed");
  {
    WindowDriver driver(folder);
    ASSERT_NE(static_cast<HWND>(NULL), driver.Window());
    driver.Type(1004, "VerrinEdited");
    driver.Click(1002);
    driver.DismissBox();
    driver.Click(1000);
    driver.DismissBox();
    driver.Settle();
  }
  ASSERT_TRUE(QueryService("VerrinEdited").found);
  EXPECT_EQ(folder.Path("Morvasvc.exe"), EventMessageFile("VerrinEdited"));
  EXPECT_EQ(1u, folder.Run("install_51924706"));
  EXPECT_FALSE(QueryService("Verrin7").found);

  {
    WindowDriver driver(folder);
    ASSERT_NE(static_cast<HWND>(NULL), driver.Window());
    EXPECT_EQ("VerrinEdited", driver.Text(1004));
  }

  // The folder moved: the window there removes the service under the name
  // the operator types and saves, its program being gone.
  const std::string moved = folder.Dir() + " Moved";
  ASSERT_TRUE(MoveFileA(folder.Dir().c_str(), moved.c_str()));
  WindowDriver driver(moved + "\\Morvasvc.exe", "Morvasvc");
  ASSERT_NE(static_cast<HWND>(NULL), driver.Window());
  driver.Type(1004, "VerrinEdited");
  driver.Click(1002);
  driver.DismissBox();
  driver.Click(1001);
  driver.Settle();
  EXPECT_EQ("Service has been removed.  Please logout of windows",
            driver.Text(1009));
  EXPECT_FALSE(QueryService("VerrinEdited").found);
  EXPECT_EQ("(none)", EventMessageFile("VerrinEdited"));
}

// Enter takes the fields and closes the window; it saves nothing. A refused
// field keeps the window open.
TEST(MorvasvcWindow, EnterTakesTheFieldsAndCloses) {
  InstallFolder folder("Brenmar Enter");
  // A renamed copy's boxes carry its own name.
  CopyFileA(folder.Path("Morvasvc.exe").c_str(),
            folder.Path("MorvaCopy.exe").c_str(), FALSE);
  WindowDriver driver(folder, "MorvaCopy");
  ASSERT_NE(static_cast<HWND>(NULL), driver.Window());
  const std::string defaults = ReadAll(folder.Path("ntServiceSettings.jsd"));
  driver.Type(1006, "");
  PostMessageA(driver.Window(), WM_COMMAND, IDOK, 0);
  EXPECT_EQ("Please enter an integer.", driver.DismissBox());
  EXPECT_FALSE(driver.Ended(300));
  driver.Type(1006, "12");
  PostMessageA(driver.Window(), WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(driver.Ended(10000));
  EXPECT_EQ(defaults, ReadAll(folder.Path("ntServiceSettings.jsd")));
}

}  // namespace
}  // namespace morvasvc
