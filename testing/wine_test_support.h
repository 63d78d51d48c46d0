#ifndef MORVA_TESTING_WINE_TEST_SUPPORT_H_
#define MORVA_TESTING_WINE_TEST_SUPPORT_H_

// Small helpers of the tests that run the programs under Windows or Wine.

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace morva_testing {

inline std::string ProgramFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(NULL, path, MAX_PATH);
  const std::string self = path;
  return self.substr(0, self.find_last_of('\\'));
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Removes a folder and everything in it, names outside the code page too.
inline void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

// The folders a test program made; they go when it ends, passed or failed.
class TempFolders {
 public:
  static TempFolders& Instance() {
    static TempFolders folders;
    return folders;
  }
  void Add(const std::string& folder) { folders_.push_back(folder); }
  ~TempFolders() {
    for (const std::string& folder : folders_) {
      wchar_t wide[MAX_PATH];
      if (MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, wide, MAX_PATH)) {
        RemoveTree(wide);
      }
    }
  }

 private:
  std::vector<std::string> folders_;
};

// A folder under the temporary folder that did not exist before, removed
// when the test program ends. Wine hands out process ids again and again, so
// an id alone does not make a name new.
inline std::string NewTempFolder(const std::string& prefix) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  for (unsigned attempt = GetTickCount();; ++attempt) {
    const std::string folder = std::string(temp) + prefix + "_" +
                               std::to_string(GetCurrentProcessId()) + "_" +
                               std::to_string(attempt);
    if (CreateDirectoryA(folder.c_str(), NULL)) {
      TempFolders::Instance().Add(folder);
      return folder;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      ADD_FAILURE() << "cannot create " << folder << ": " << GetLastError();
      return folder;
    }
  }
}

// A new temporary folder with the given path of subfolders below it.
inline std::string NewTempSubfolder(const std::string& prefix,
                                    const std::string& name) {
  std::string folder = NewTempFolder(prefix);
  for (size_t at = 0; (at = name.find('\\', at + 1)) != std::string::npos;) {
    CreateDirectoryA((folder + "\\" + name.substr(0, at)).c_str(), NULL);
  }
  folder += "\\" + name;
  CreateDirectoryA(folder.c_str(), NULL);
  return folder;
}

// Binds a TCP socket to port (0: one of the system's choice) on the loopback
// address and returns the port.
inline uint16_t BindLoopback(SOCKET socket, uint16_t port = 0) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int length = sizeof address;
  getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

// A listener whose connection queue is full and that accepts nothing, like
// an engine that hangs: a further connection attempt gets no answer at all.
class FullListener {
 public:
  // On port, or on one of the system's choice when 0.
  explicit FullListener(uint16_t port = 0) {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    port_ = BindLoopback(listener_, port);
    listen(listener_, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    for (int i = 0; i < kFillers; ++i) {
      fillers_[i] = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      u_long nonBlocking = 1;
      ioctlsocket(fillers_[i], FIONBIO, &nonBlocking);
      connect(fillers_[i], reinterpret_cast<sockaddr*>(&address),
              sizeof address);
    }
    // Until the queue is full: the first filler's handshake is done.
    timeval bound = {10, 0};
    fd_set first;
    FD_ZERO(&first);
    FD_SET(fillers_[0], &first);
    select(0, NULL, &first, NULL, &bound);
  }
  ~FullListener() {
    for (SOCKET filler : fillers_) closesocket(filler);
    closesocket(listener_);
  }
  FullListener(const FullListener&) = delete;
  FullListener& operator=(const FullListener&) = delete;
  uint16_t Port() const { return port_; }

 private:
  static const int kFillers = 4;
  SOCKET listener_;
  SOCKET fillers_[kFillers];
  uint16_t port_ = 0;
};

// Starts a program in dir (the caller's own folder when empty) and returns
// its process handle, which the caller closes; NULL when it cannot start.
// flags: DETACHED_PROCESS starts it without this program's console, as a
// service starts its programs.
inline HANDLE StartProcess(const std::string& commandLine,
                           const std::string& dir = "", DWORD flags = 0) {
  std::vector<char> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(NULL, buffer.data(), NULL, NULL, FALSE, flags, NULL,
                      dir.empty() ? NULL : dir.c_str(), &startup, &info)) {
    ADD_FAILURE() << "cannot start " << commandLine << ": " << GetLastError();
    return NULL;
  }
  CloseHandle(info.hThread);
  return info.hProcess;
}

// The exit code of a process that ends within the time; 0xDEADBEEF if not.
inline DWORD WaitForExit(HANDLE process, DWORD timeoutMs = 120000) {
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, timeoutMs));
  DWORD code = 0xDEADBEEF;
  GetExitCodeProcess(process, &code);
  return code;
}

}  // namespace morva_testing

#endif
