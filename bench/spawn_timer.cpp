// Starts one command line again and again and prints the median wall time of
// a start-to-exit, measured inside Windows so Wine's own start-up is not in it.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: spawn_timer RUNS COMMAND-LINE\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  const std::string commandLine = argv[2];
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    LARGE_INTEGER begin, end;
    QueryPerformanceCounter(&begin);
    if (!CreateProcessA(NULL, buffer.data(), NULL, NULL, FALSE, 0, NULL, NULL,
                        &startup, &info)) {
      std::fprintf(stderr, "cannot start %s: %lu\n", commandLine.c_str(),
                   GetLastError());
      return 1;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    QueryPerformanceCounter(&end);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    ms.push_back(1000.0 * (end.QuadPart - begin.QuadPart) / frequency.QuadPart);
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%.2f %.2f %.2f\n", ms[ms.size() / 2], ms.front(), ms.back());
  return 0;
}
