// The engine's control port: version 1.1 sockets, each connection bounded.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <vector>

#include "handle.h"
#include "system_error.h"
#include "win32_module_system.h"

namespace morvasvc {

namespace {

class SocketConnection : public EngineConnection {
 public:
  explicit SocketConnection(SOCKET socket) : socket_(socket) {}
  void SendAll(const std::string& bytes) override {
    size_t sent = 0;
    while (sent < bytes.size()) {
      const int count = send(socket_.Get(), bytes.data() + sent,
                             static_cast<int>(bytes.size() - sent), 0);
      if (count == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK &&
          WaitWritable()) {
        continue;
      }
      if (count == SOCKET_ERROR || count == 0) break;
      sent += static_cast<size_t>(count);
    }
    socket_.Reset();
  }

 private:
  // An engine that reads nothing holds up a send no longer than this.
  bool WaitWritable() {
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(socket_.Get(), &writable);
    timeval bound = {3, 0};
    return select(0, NULL, &writable, NULL, &bound) == 1;
  }

  SocketHandle socket_;
};

}  // namespace

namespace {

// One family's table of listening TCP ports with their owners' ids: 1 and
// the owner's id when the port is listed, 0 when not, -1 with the reason.
template <typename Table>
int FindListener(ULONG family, uint16_t port, DWORD* processId,
                 std::string* error) {
  std::vector<char> table(16 * 1024);
  DWORD size = static_cast<DWORD>(table.size());
  DWORD result = ERROR_INSUFFICIENT_BUFFER;
  // The table may grow between the two calls.
  for (int attempt = 0; attempt < 3 && result == ERROR_INSUFFICIENT_BUFFER;
       ++attempt) {
    table.resize(size);
    result = GetExtendedTcpTable(table.data(), &size, FALSE, family,
                                 TCP_TABLE_OWNER_PID_LISTENER, 0);
  }
  if (result != NO_ERROR) {
    *error = StepFailed("GetExtendedTcpTable", std::string(), result);
    return -1;
  }
  const auto* rows = reinterpret_cast<const Table*>(table.data());
  for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
    if (ntohs(static_cast<u_short>(rows->table[i].dwLocalPort)) != port) {
      continue;
    }
    *processId = rows->table[i].dwOwningPid;
    return 1;
  }
  return 0;
}

}  // namespace

// IP Helper's tables: a Java runtime often listens on IPv6 for both
// families, and then is listed in that table only.
bool Win32ModuleSystem::ListenerOf(uint16_t port, PortOwner* owner,
                                   std::string* error) {
  DWORD processId = 0;
  int found = FindListener<MIB_TCPTABLE_OWNER_PID>(AF_INET, port, &processId,
                                                   error);
  if (found == 0) {
    found = FindListener<MIB_TCP6TABLE_OWNER_PID>(AF_INET6, port, &processId,
                                                  error);
  }
  if (found <= 0) return false;
  // Wine, for one, lists the port without its owner.
  if (processId == 0) {
    *error = "the system names no process for the port";
    return false;
  }
  owner->processId = processId;
  owner->program.clear();
  KernelHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  char path[MAX_PATH];
  DWORD length = MAX_PATH;
  if (process.Valid() &&
      QueryFullProcessImageNameA(process.Get(), 0, path, &length)) {
    owner->program.assign(path, length);
  }
  return true;
}

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
    // Success is reported as writable, a failure in the failed set.
    if (select(0, NULL, &writable, &failed, &bound) != 1 ||
        !FD_ISSET(socket.Get(), &writable)) {
      return ConnectResult::kFailed;
    }
  }
  // A port the system also hands out for outgoing connections can meet
  // itself: with nothing listening, the socket bound to that very port is
  // connected to itself (TCP's simultaneous open) and no engine answered.
  sockaddr_in self = {};
  int selfLength = sizeof self;
  if (getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&self),
                  &selfLength) == SOCKET_ERROR ||
      (self.sin_port == engine.sin_port &&
       self.sin_addr.s_addr == engine.sin_addr.s_addr)) {
    return ConnectResult::kFailed;
  }
  // Left non-blocking: a command of a few bytes fits an empty send buffer,
  // and the send waits, bounded, where it does not.
  connection->reset(new SocketConnection(socket.Release()));
  return ConnectResult::kConnected;
}

}  // namespace morvasvc
