// The time of one liveness probe of the engine port through the service
// module's own code, next to a bare loopback exchange of the same bytes
// (connect, the confirm command, close) on the same port in the same run:
// median, minimum and maximum of each, and their ratio. The two are
// interleaved, so a slower moment of the machine costs both alike.
// Usage: probe_timer PORT COUNT
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fake_module_system.h"
#include "morva_module.h"
#include "win32_module_system.h"

namespace {

double Ms(const LARGE_INTEGER& begin, const LARGE_INTEGER& end,
          const LARGE_INTEGER& frequency) {
  return 1000.0 * (end.QuadPart - begin.QuadPart) / frequency.QuadPart;
}

// The floor: the same bytes over the same port, with nothing around them.
bool BareExchange(u_short port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  const bool connected =
      connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (connected) {
    send(s, morvasvc::kConfirmRunningCommand,
         static_cast<int>(std::strlen(morvasvc::kConfirmRunningCommand)), 0);
  }
  closesocket(s);
  return connected;
}

void Print(const char* what, std::vector<double>& ms, int answered) {
  std::sort(ms.begin(), ms.end());
  std::printf("%-22s %zu, %d answered: median %.3f ms, min %.3f ms, max %.3f ms\n",
              what, ms.size(), answered, ms[ms.size() / 2], ms.front(),
              ms.back());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: probe_timer PORT COUNT\n");
    return 2;
  }
  WSADATA data;
  WSAStartup(MAKEWORD(1, 1), &data);
  morvasvc::Win32ModuleSystem system;
  morvasvc::FakeServiceControl control;
  morvasvc::MorvaModule module(system, control);
  const u_short port = static_cast<u_short>(std::atoi(argv[1]));
  module.enginePort = port;
  const int count = std::atoi(argv[2]);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> probes, connects;
  int probesAnswered = 0, connectsAnswered = 0;
  for (int i = 0; i < count; ++i) {
    LARGE_INTEGER a, b, c;
    QueryPerformanceCounter(&a);
    probesAnswered += module.IsEngineRunning() ? 1 : 0;
    QueryPerformanceCounter(&b);
    connectsAnswered += BareExchange(port) ? 1 : 0;
    QueryPerformanceCounter(&c);
    probes.push_back(Ms(a, b, frequency));
    connects.push_back(Ms(b, c, frequency));
  }
  Print("module probes", probes, probesAnswered);
  Print("bare exchange", connects, connectsAnswered);
  std::printf("probe / bare exchange (medians): %.2f\n",
              probes[probes.size() / 2] / connects[connects.size() / 2]);
  return 0;
}
