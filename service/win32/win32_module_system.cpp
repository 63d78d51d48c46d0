#include "win32_module_system.h"

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <ctime>
#include <vector>

#include "dialog_framework.h"
#include "event_messages.h"
#include "handle.h"

namespace morvasvc {

std::string SystemErrorText(DWORD error) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      NULL, error, 0, reinterpret_cast<char*>(&text), 0, NULL);
  std::string result = length && text ? std::string(text, length)
                                      : "error " + std::to_string(error);
  if (text) LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                             result.back() == ' ')) {
    result.pop_back();
  }
  return result;
}

namespace {

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return bytes.empty() ||
         (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                    &written, NULL) &&
          written == bytes.size());
}

// Another opener holding the file is worth a retry; a missing file is a
// result of its own; anything else is a failure.
OpenResult OpenFailure() {
  switch (GetLastError()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return OpenResult::kBusy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return OpenResult::kMissing;
    default:
      return OpenResult::kFailed;
  }
}

}  // namespace

// Every file is opened without sharing, so a second opener fails cleanly.
OpenResult Win32ModuleSystem::ReadWholeFile(const std::string& path,
                                            std::string* bytes) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, 0, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
  if (!file.Valid()) return OpenFailure();
  bytes->clear();
  char buffer[4096];
  for (;;) {
    DWORD count = 0;
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &count, NULL)) {
      return OpenFailure();
    }
    if (count == 0) return OpenResult::kDone;
    bytes->append(buffer, count);
  }
}

// The bytes go to a file beside the old one, which is replaced only when
// every byte is written: a full disk or a lost share leaves the old file.
OpenResult Win32ModuleSystem::WriteWholeFile(const std::string& path,
                                             const std::string& bytes) {
  {
    // Held by another opener: busy, before anything is written.
    FileHandle old(CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!old.Valid() && GetLastError() != ERROR_FILE_NOT_FOUND) {
      return OpenFailure();
    }
  }
  // A name of this process's own: the window and the service may save at
  // the same moment, and neither may rename the other's half-written file.
  const std::string temporary =
      path + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
  bool written = false;
  {
    FileHandle file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, NULL,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file.Valid()) return OpenFailure();
    written = WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get());
  }
  if (written &&
      MoveFileExA(temporary.c_str(), path.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return OpenResult::kDone;
  }
  const OpenResult failure = written ? OpenFailure() : OpenResult::kFailed;
  DeleteFileA(temporary.c_str());
  return failure;
}

OpenResult Win32ModuleSystem::AppendToFile(const std::string& path,
                                           const std::string& bytes) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
  if (!file.Valid()) return OpenFailure();
  LARGE_INTEGER zero = {};
  if (!SetFilePointerEx(file.Get(), zero, NULL, FILE_END)) {
    return OpenResult::kFailed;
  }
  return WriteAll(file.Get(), bytes) ? OpenResult::kDone : OpenResult::kFailed;
}

void Win32ModuleSystem::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

int64_t Win32ModuleSystem::Now() { return static_cast<int64_t>(_time64(NULL)); }

uint64_t Win32ModuleSystem::TickMs() { return GetTickCount64(); }

bool Win32ModuleSystem::ToLocalTime(int64_t time, std::tm* local) {
  const __time64_t t = time;
  return _localtime64_s(local, &t) == 0;
}

bool Win32ModuleSystem::SearchFile(const std::string& name,
                                   std::string* fullPath) {
  char buffer[MAX_PATH];
  const DWORD length =
      SearchPathA(NULL, name.c_str(), NULL, MAX_PATH, buffer, NULL);
  if (length == 0 || length >= MAX_PATH) return false;
  fullPath->assign(buffer, length);
  return true;
}

bool Win32ModuleSystem::GetCurrentDir(std::string* dir) {
  char buffer[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH) return false;
  dir->assign(buffer, length);
  return true;
}

bool Win32ModuleSystem::SetCurrentDir(const std::string& dir) {
  return SetCurrentDirectoryA(dir.c_str()) != FALSE;
}

std::vector<std::string> Win32ModuleSystem::FindEntries(
    const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  FindHandle search(FindFirstFileA(pattern.c_str(), &found));
  if (!search.Valid()) return names;
  do {
    names.push_back(found.cFileName);
  } while (FindNextFileA(search.Get(), &found));
  return names;
}

bool Win32ModuleSystem::ShellOpen(const std::string& file,
                                  const std::string& parameters,
                                  const std::string& directory,
                                  ShellPrompts prompts, std::string* error) {
  // The shell has fixed-size buffers for the program's path; a longer one
  // could crash the caller instead of failing.
  if (file.size() >= MAX_PATH || directory.size() >= MAX_PATH) {
    *error = SystemErrorText(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  SHELLEXECUTEINFOA execute = {};
  execute.cbSize = sizeof execute;
  // Done before the call returns: the thread goes on with the next step.
  execute.fMask = SEE_MASK_NOASYNC;
  if (prompts == ShellPrompts::kNever) {
    // A prompt on the service's desktop would hold its thread for ever.
    execute.fMask |= SEE_MASK_FLAG_NO_UI;
  } else {
    execute.hwnd = AfxGetMainWnd();
  }
  execute.lpVerb = "open";
  execute.lpFile = file.c_str();
  execute.lpParameters = parameters.c_str();
  execute.lpDirectory = directory.c_str();
  execute.nShow = SW_SHOWNORMAL;
  SetLastError(NO_ERROR);
  if (ShellExecuteExA(&execute)) return true;
  DWORD code = GetLastError();
  // The shell's own codes below 32 match the system's error numbers.
  if (code == NO_ERROR) {
    const INT_PTR result = reinterpret_cast<INT_PTR>(execute.hInstApp);
    code = result > 0 && result <= 32 ? static_cast<DWORD>(result)
                                      : ERROR_OUTOFMEMORY;
  }
  *error = SystemErrorText(code);
  return false;
}

// A service's parent is the Service Control Manager's process.
bool Win32ModuleSystem::RunByServiceManager() {
  const DWORD self = GetCurrentProcessId();
  FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.Valid()) return false;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = Process32First(snapshot.Get(), &entry); more;
       more = Process32Next(snapshot.Get(), &entry)) {
    if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
  }
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.Get(), &entry); parent && more;
       more = Process32Next(snapshot.Get(), &entry)) {
    if (entry.th32ProcessID == parent) {
      return lstrcmpiA(entry.szExeFile, "services.exe") == 0;
    }
  }
  return false;
}

namespace {

class SocketConnection : public EngineConnection {
 public:
  explicit SocketConnection(SOCKET socket) : socket_(socket) {}
  void SendAll(const std::string& bytes) override {
    size_t sent = 0;
    while (sent < bytes.size()) {
      const int count = send(socket_.Get(), bytes.data() + sent,
                             static_cast<int>(bytes.size() - sent), 0);
      if (count == SOCKET_ERROR || count == 0) break;
      sent += static_cast<size_t>(count);
    }
    socket_.Reset();
  }

 private:
  SocketHandle socket_;
};

}  // namespace

ConnectResult Win32ModuleSystem::ConnectToEngine(
    uint16_t port, uint32_t timeoutMs,
    std::unique_ptr<EngineConnection>* connection) {
  SocketHandle socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!socket.Valid()) return ConnectResult::kSocketProblem;
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = 0;
  if (bind(socket.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) ==
      SOCKET_ERROR) {
    return ConnectResult::kSocketProblem;
  }
  // Version 1.1 sockets: the loopback host name through the host look-up.
  const hostent* host = gethostbyname("localhost");
  if (!host || host->h_addrtype != AF_INET || !host->h_addr_list[0]) {
    return ConnectResult::kFailed;
  }
  sockaddr_in engine = {};
  engine.sin_family = AF_INET;
  engine.sin_port = htons(port);
  memcpy(&engine.sin_addr, host->h_addr_list[0], sizeof engine.sin_addr);
  // A blocking connect to an engine whose queue is full waits for minutes:
  // connect without blocking and wait for the outcome at most timeoutMs.
  u_long nonBlocking = 1;
  if (ioctlsocket(socket.Get(), FIONBIO, &nonBlocking) == SOCKET_ERROR) {
    return ConnectResult::kSocketProblem;
  }
  if (connect(socket.Get(), reinterpret_cast<sockaddr*>(&engine),
              sizeof engine) == SOCKET_ERROR) {
    if (WSAGetLastError() != WSAEWOULDBLOCK) return ConnectResult::kFailed;
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket.Get(), &writable);
    FD_SET(socket.Get(), &failed);
    timeval bound;
    bound.tv_sec = static_cast<long>(timeoutMs / 1000);
    bound.tv_usec = static_cast<long>(timeoutMs % 1000) * 1000;
    if (select(0, NULL, &writable, &failed, &bound) != 1 ||
        !FD_ISSET(socket.Get(), &writable)) {
      return ConnectResult::kFailed;
    }
    int error = 0;
    int length = sizeof error;
    if (getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR,
                   reinterpret_cast<char*>(&error), &length) == SOCKET_ERROR ||
        error != 0) {
      return ConnectResult::kFailed;
    }
  }
  u_long blocking = 0;
  ioctlsocket(socket.Get(), FIONBIO, &blocking);
  connection->reset(new SocketConnection(socket.Release()));
  return ConnectResult::kConnected;
}

std::string Win32ModuleSystem::LowerCase(const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  if (!buffer.empty()) {
    CharLowerBuffA(buffer.data(), static_cast<DWORD>(buffer.size()));
  }
  return std::string(buffer.begin(), buffer.end());
}

bool Win32ModuleSystem::IsLeadByte(unsigned char byte) {
  return IsDBCSLeadByte(byte) != FALSE;
}

std::string Win32ModuleSystem::WideToAnsi(const std::u16string& text) {
  if (text.empty()) return std::string();
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int wideLength = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(CP_ACP, 0, wide, wideLength, NULL, 0, NULL, NULL);
  std::string ansi(length > 0 ? length : 0, '\0');
  if (length > 0) {
    WideCharToMultiByte(CP_ACP, 0, wide, wideLength, &ansi[0], length, NULL,
                        NULL);
  }
  return ansi;
}

// The message table's one message per severity shows the text as it is.
void Win32ModuleSystem::ReportToEventLog(const std::string& source,
                                         EventType type,
                                         const std::string& text) {
  HANDLE log = RegisterEventSourceA(NULL, source.c_str());
  if (!log) return;
  const char* strings[] = {text.c_str()};
  const bool error = type == EventType::kError;
  ReportEventA(log, error ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE, 0,
               error ? MSG_MODULE_ERROR : MSG_MODULE_WARNING, NULL, 1, 0,
               strings, NULL);
  DeregisterEventSource(log);
}

std::string Win32ModuleSystem::CommandLine() {
  const char* commandLine = GetCommandLineA();
  return commandLine ? commandLine : "";
}

std::string Win32ModuleSystem::ProgramPath() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
  return std::string(path, length < MAX_PATH ? length : 0);
}

void Win32ModuleSystem::EndProcess(uint32_t exitCode) { ExitProcess(exitCode); }

}  // namespace morvasvc
