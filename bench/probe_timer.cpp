// The time of one liveness probe of the engine port, through the service
// module's own code: median, minimum and maximum over many probes.
// Usage: probe_timer PORT COUNT
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fake_module_system.h"
#include "morva_module.h"
#include "win32_module_system.h"

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
  module.enginePort = static_cast<uint32_t>(std::atoi(argv[1]));
  const int count = std::atoi(argv[2]);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> ms;
  int answered = 0;
  for (int i = 0; i < count; ++i) {
    LARGE_INTEGER begin, end;
    QueryPerformanceCounter(&begin);
    answered += module.IsEngineRunning() ? 1 : 0;
    QueryPerformanceCounter(&end);
    ms.push_back(1000.0 * (end.QuadPart - begin.QuadPart) / frequency.QuadPart);
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%d probes, %d answered: median %.3f ms, min %.3f ms, max %.3f ms\n",
              count, answered, ms[ms.size() / 2], ms.front(), ms.back());
  return 0;
}
