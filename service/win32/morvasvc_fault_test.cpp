// The service module's operations on the real system under faults: odd
// programs on the engine port, files held by other openers, a missing data
// folder, paths at the platform's limit.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "handle.h"
#include "fake_module_system.h"
#include "morva_module.h"
#include "win32_module_system.h"
#include "wine_test_support.h"

namespace morvasvc {
namespace {

using morva_testing::Exists;
using morva_testing::ReadAll;
using morva_testing::WriteAll;

// A program on a loopback port that accepts and then does one odd thing.
class OddListener {
 public:
  enum Behaviour { kNeverReads, kAnswers, kClosesAtOnce };

  explicit OddListener(Behaviour behaviour) {
    listener_.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    port_ = morva_testing::BindLoopback(listener_.Get());
    listen(listener_.Get(), 8);
    thread_ = std::thread([this, behaviour] {
      for (;;) {
        SOCKET client = accept(listener_.Get(), NULL, NULL);
        if (client == INVALID_SOCKET) return;
        ++accepted_;
        if (behaviour == kAnswers) {
          send(client, "HELLO\r\n", 7, 0);
          char buffer[64];
          while (recv(client, buffer, sizeof buffer, 0) > 0) {
          }
        }
        if (behaviour == kNeverReads) {
          held_.push_back(client);  // open, unread, until the test ends
        } else {
          closesocket(client);
        }
      }
    });
  }
  ~OddListener() {
    listener_.Reset();  // ends accept()
    thread_.join();
    for (SOCKET client : held_) closesocket(client);
  }
  uint16_t Port() const { return port_; }
  int Accepted() const { return accepted_; }

 private:
  SocketHandle listener_;
  uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<int> accepted_{0};
  std::vector<SOCKET> held_;
};

class FaultTest : public testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
    dir_ = morva_testing::NewTempFolder("morvasvc_fault");
    CreateDirectoryA(Path("data").c_str(), NULL);
    CreateDirectoryA(Path("data\\logs").c_str(), NULL);
    GetCurrentDirectoryA(MAX_PATH, savedDir_);
    SetCurrentDirectoryA(dir_.c_str());
    module_.activityLog().SetPath(Path("data\\logs\\activityLog.jsd"));
  }
  void TearDown() override {
    SetCurrentDirectoryA(savedDir_);
    WSACleanup();
  }
  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }
  std::string Log() const { return ReadAll(Path("data\\logs\\activityLog.jsd")); }

  std::string dir_;
  char savedDir_[MAX_PATH] = "";
  Win32ModuleSystem system_;
  FakeServiceControl control_;
  MorvaModule module_{system_, control_};
};

TEST_F(FaultTest, AnythingThatAcceptsCountsAsTheEngine) {
  for (auto behaviour : {OddListener::kNeverReads, OddListener::kAnswers,
                         OddListener::kClosesAtOnce}) {
    OddListener listener(behaviour);
    module_.enginePort = listener.Port();
    const DWORD start = GetTickCount();
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(module_.IsEngineRunning());
    EXPECT_TRUE(module_.RequestEngineShutdown());
    // Never held up by a peer that does not read or does not close.
    EXPECT_LT(GetTickCount() - start, 5000u);
  }
  EXPECT_EQ(std::string::npos, Log().find("Engine is not running"));
}

TEST_F(FaultTest, MissingDataFolderLosesEntriesAndNothingElse) {
  module_.activityLog().SetPath(Path("gone\\logs\\activityLog.jsd"));
  module_.enginePort = 0;
  EXPECT_FALSE(module_.IsEngineRunning());
  EXPECT_EQ("NT Service Module: Engine is not running", module_.statusText);
  EXPECT_FALSE(Exists(Path("gone")));
}

// Both settings files, held for a second by another program (the window, a
// backup): read once they are let go, both keys from one reading, and kept
// as they were.
TEST_F(FaultTest, SettingsFilesHeldByAnotherOpener) {
  WriteAll(Path("engineSettings.jsd"), "DATA_FOLDER=elsewhere\r\nENGINE_PORT=5\r\n");
  WriteAll(Path("ntServiceSettings.jsd"), std::string("\x09\0\0\0\0\0\0\0\0\0", 10));
  std::vector<HANDLE> held;
  for (const char* name : {"engineSettings.jsd", "ntServiceSettings.jsd"}) {
    held.push_back(CreateFileA(Path(name).c_str(), GENERIC_READ, 0, NULL,
                               OPEN_EXISTING, 0, NULL));
    ASSERT_NE(INVALID_HANDLE_VALUE, held.back());
  }
  std::thread release([held] {
    Sleep(1000);
    for (HANDLE file : held) CloseHandle(file);
  });
  module_.ReadEngineSettings();
  module_.LoadModuleSettings();
  release.join();
  EXPECT_EQ("elsewhere\\logs\\activityLog.jsd", module_.activityLog().Path());
  EXPECT_EQ(5u, module_.enginePort);
  EXPECT_EQ(9, module_.period);
  EXPECT_EQ(std::string("\x09\0\0\0\0\0\0\0\0\0", 10),
            ReadAll(Path("ntServiceSettings.jsd")));
  EXPECT_EQ("", Log());
}

TEST_F(FaultTest, ActivityLogHeldBrieflyOrLong) {
  const std::string log = Path("data\\logs\\activityLog.jsd");
  for (DWORD holdMs : {60u, 1500u}) {
    HANDLE held = CreateFileA(log.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                              OPEN_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    std::thread release([held, holdMs] {
      Sleep(holdMs);
      CloseHandle(held);
    });
    const DWORD start = GetTickCount();
    module_.LogActivity("held for " + std::to_string(holdMs) + " ms");
    const DWORD waited = GetTickCount() - start;
    release.join();
    // A tick is never held up for long.
    EXPECT_LT(waited, 500u);
  }
  // Held longer, the entry is kept, and the retry writes it before the next
  // one.
  EXPECT_TRUE(module_.RetryHeldLogEntries());
  module_.LogActivity("let go");
  const std::string text = Log();
  const size_t held = text.find("\theld for 1500 ms\r\n");
  EXPECT_LT(text.find("\theld for 60 ms\r\n"), held);
  EXPECT_LT(held, text.find("\tlet go\r\n"));
}

// The jar's full path must fit the platform's 260 characters, terminator
// included: 259 characters are found, 260 are not.
TEST_F(FaultTest, InstallFolderAtThePathLimit) {
  for (size_t jarPathLength : {259u, 260u}) {
    std::string folder = dir_ + "\\";
    const size_t folderLength = jarPathLength - std::string("\\morva7.jar").size();
    folder += std::string(folderLength - folder.size(), 'p');
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL)) << folder.size();
    WriteAll(folder + "\\morva7.jar", "");
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str())) << folder.size();
    module_.activityLog().SetPath(Path("data\\logs\\activityLog.jsd"));
    module_.FindInstallDir();
    if (jarPathLength == 259) {
      EXPECT_EQ(folder, module_.installDir);
    } else {
      EXPECT_EQ(morva_testing::ProgramFolder(), module_.installDir);
      EXPECT_NE(std::string::npos,
                Log().find("NT Service module installed in wrong directory"));
    }
  }
}

}  // namespace
}  // namespace morvasvc
