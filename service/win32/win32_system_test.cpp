// The service module's Win32 system layer under Windows or Wine: files with
// their sharing modes, the file search and the engine connection.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "handle.h"
#include "win32_module_system.h"
#include "wine_test_support.h"

namespace morvasvc {
namespace {

using morva_testing::Exists;
using morva_testing::ProgramFolder;
using morva_testing::ReadAll;
using morva_testing::WriteAll;

// Holds a file open the way another program would, without sharing.
FileHandle HoldExclusively(const std::string& path) {
  return FileHandle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
}

TEST(Win32Files, AnotherOpenerMakesEveryOpenFail) {
  Win32ModuleSystem system;
  const std::string folder = morva_testing::NewTempSubfolder("morvasvc_test", "files");
  const std::string path = folder + "\\activityLog.jsd";
  {
    FileHandle held = HoldExclusively(path);
    ASSERT_TRUE(held.Valid());
    EXPECT_EQ(OpenResult::kBusy, system.AppendToFile(path, "x"));
    std::string bytes;
    EXPECT_EQ(OpenResult::kBusy, system.ReadWholeFile(path, &bytes));
    EXPECT_EQ(OpenResult::kBusy, system.WriteWholeFile(path, "y"));
  }
  EXPECT_EQ(OpenResult::kDone, system.AppendToFile(path, "ab"));
  {
    // A viewer that follows the log holds up no entry; a second writer is
    // kept out while one appends.
    FileHandle viewer(CreateFileA(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    ASSERT_TRUE(viewer.Valid());
    EXPECT_EQ(OpenResult::kDone, system.AppendToFile(path, "cd"));
    FileHandle writer(CreateFileA(path.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    ASSERT_TRUE(writer.Valid());
    EXPECT_EQ(OpenResult::kBusy, system.AppendToFile(path, "x"));
  }
  std::string bytes;
  EXPECT_EQ(OpenResult::kDone, system.ReadWholeFile(path, &bytes));
  EXPECT_EQ("abcd", bytes);
  EXPECT_EQ(OpenResult::kDone, system.WriteWholeFile(path, "new"));
  EXPECT_EQ("new", ReadAll(path));
  const std::string temporary =
      path + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
  EXPECT_FALSE(Exists(temporary));
  EXPECT_EQ(OpenResult::kMissing,
            system.ReadWholeFile(folder + "\\missing.jsd", &bytes));
  // Another process's temporary file is not touched.
  WriteAll(path + ".tmp", "theirs");

  // A write that cannot be completed leaves the old file as it was.
  ASSERT_TRUE(CreateDirectoryA(temporary.c_str(), NULL));
  EXPECT_EQ(OpenResult::kFailed, system.WriteWholeFile(path, "lost"));
  EXPECT_EQ("new", ReadAll(path));
  EXPECT_EQ("theirs", ReadAll(path + ".tmp"));

  // Never a folder created for a log.
  EXPECT_EQ(OpenResult::kMissing,
            system.AppendToFile(folder + "\\logs\\activityLog.jsd", "x"));
  EXPECT_FALSE(Exists(folder + "\\logs"));
}

TEST(Win32Files, SearchFindsTheFileBesideTheProgram) {
  Win32ModuleSystem system;
  const std::string probe = ProgramFolder() + "\\search_probe_7.jar";
  WriteAll(probe, "");
  std::string found;
  EXPECT_TRUE(system.SearchFile("search_probe_7.jar", &found));
  EXPECT_EQ(system.LowerCase(probe), system.LowerCase(found));
  DeleteFileA(probe.c_str());
  EXPECT_FALSE(system.SearchFile("search_probe_7.jar", &found));
  EXPECT_EQ("c:\\apps\\plenor", system.LowerCase("C:\\Apps\\PLENOR"));
}

// A listener on an ephemeral loopback port that records what one client sent.
class Listener {
 public:
  Listener() {
    socket_.Reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    port_ = morva_testing::BindLoopback(socket_.Get());
    listen(socket_.Get(), 4);
    thread_ = std::thread([this] {
      SocketHandle client(accept(socket_.Get(), NULL, NULL));
      char buffer[256];
      int count;
      while ((count = recv(client.Get(), buffer, sizeof buffer, 0)) > 0) {
        received_.append(buffer, count);
      }
      endOfStream_ = count == 0;
    });
  }
  uint16_t Port() const { return port_; }
  // Waits for the client to close; then what it sent is known.
  std::string Received() {
    thread_.join();
    return received_;
  }
  bool EndOfStream() const { return endOfStream_; }

 private:
  SocketHandle socket_;
  uint16_t port_ = 0;
  std::thread thread_;
  std::string received_;
  bool endOfStream_ = false;
};

class Win32Sockets : public testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
  }
  void TearDown() override { WSACleanup(); }
};

TEST_F(Win32Sockets, CommandBytesThenEndOfStream) {
  Win32ModuleSystem system;
  for (const std::string command :
       {"NTSERVICE^CONFIRM_RUNNING_TO_NTSERVICE", "NTSERVICE^SHUTDOWN_ENGINE"}) {
    Listener listener;
    std::unique_ptr<EngineConnection> connection;
    ASSERT_EQ(ConnectResult::kConnected,
              system.ConnectToEngine(listener.Port(), 3000, &connection));
    connection->SendAll(command);
    EXPECT_EQ(command, listener.Received());
    EXPECT_TRUE(listener.EndOfStream());
  }
}

TEST_F(Win32Sockets, NothingListeningFailsTheConnection) {
  Win32ModuleSystem system;
  uint16_t port;
  {
    Listener listener;  // bound, then closed: nothing listens there any more
    port = listener.Port();
    std::unique_ptr<EngineConnection> connection;
    ASSERT_EQ(ConnectResult::kConnected,
              system.ConnectToEngine(port, 3000, &connection));
    connection.reset();
    listener.Received();
  }
  std::unique_ptr<EngineConnection> connection;
  EXPECT_EQ(ConnectResult::kFailed,
            system.ConnectToEngine(port, 3000, &connection));
  EXPECT_EQ(ConnectResult::kFailed,
            system.ConnectToEngine(0, 3000, &connection));
}

// An engine that hangs with its connection queue full answers a connection
// attempt with nothing at all: the bound ends the wait.
TEST_F(Win32Sockets, HungEngineCountsAsNotAnswering) {
  Win32ModuleSystem system;
  morva_testing::FullListener hung;
  const DWORD start = GetTickCount();
  std::unique_ptr<EngineConnection> connection;
  EXPECT_EQ(ConnectResult::kFailed,
            system.ConnectToEngine(hung.Port(), 1000, &connection));
  const DWORD waited = GetTickCount() - start;
  EXPECT_GE(waited, 900u);
  EXPECT_LT(waited, 3000u);
}

}  // namespace
}  // namespace morvasvc
