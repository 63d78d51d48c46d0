// Tasks for the latency benchmark. They write the performance counter (and a
// grandchild's process id) to FILE, so the harness knows when they acted.
//   stamp_task exit FILE   stamps, then exits at once
//   stamp_task tree FILE   starts a grandchild, stamps, then sleeps
//   stamp_task sleep       sleeps
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "sleep") {
    Sleep(INFINITE);
    return 0;
  }
  if (argc < 3) return 2;
  DWORD grandchild = 0;
  if (mode == "tree") {
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string commandLine = "\"" + std::string(self) + "\" sleep";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (CreateProcessA(NULL, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL,
                       &startup, &info)) {
      grandchild = info.dwProcessId;
      CloseHandle(info.hThread);
      CloseHandle(info.hProcess);
    }
  }
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  FILE* file = std::fopen(argv[2], "w");
  std::fprintf(file, "%lld %lu\n", now.QuadPart, grandchild);
  std::fclose(file);
  if (mode == "tree") Sleep(INFINITE);
  return 0;
}
