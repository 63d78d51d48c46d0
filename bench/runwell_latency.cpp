// How quickly Runwell reacts: from its task's exit to its own exit (median of
// RUNS), and, when asked, from the time limit to the end of the task's tree.
// Usage: runwell_latency RUNS [limit]   (in a folder laid out for Runwell)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string Folder() {
  char path[MAX_PATH];
  GetModuleFileNameA(NULL, path, MAX_PATH);
  std::string self = path;
  return self.substr(0, self.find_last_of('\\'));
}

double frequencyMs = 0;

// Runs Runwell on the task; returns the counter when Runwell had ended.
LONGLONG RunRunwell(const std::string& title) {
  std::string commandLine = "\"" + Folder() + "\\Runwell.exe\" /t " + title;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(NULL, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL,
                      &startup, &info)) {
    std::exit(1);
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  LARGE_INTEGER end;
  QueryPerformanceCounter(&end);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return end.QuadPart;
}

void WriteTask(const std::string& title, const std::string& task,
               const char* limit) {
  std::ofstream out("runwell_" + title + ".txt", std::ios::binary);
  out << "\"" << Folder() << "\\stamp_task.exe\" " << task << "\r\n"
      << Folder() << "\r\n" << limit << "\r\n";
}

void ReadStamp(LONGLONG* stamp, DWORD* grandchild) {
  std::ifstream in("stamp.txt");
  in >> *stamp >> *grandchild;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  frequencyMs = frequency.QuadPart / 1000.0;

  WriteTask("Exit", "exit stamp.txt", "0");
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const LONGLONG end = RunRunwell("Exit");
    LONGLONG stamp = 0;
    DWORD unused = 0;
    ReadStamp(&stamp, &unused);
    ms.push_back((end - stamp) / frequencyMs);
  }
  std::sort(ms.begin(), ms.end());
  std::printf("task exit to Runwell exit: median %.2f ms, min %.2f, max %.2f (%d runs)\n",
              ms[ms.size() / 2], ms.front(), ms.back(), runs);

  if (argc > 2 && std::string(argv[2]) == "limit") {
    WriteTask("Limit", "tree stamp.txt", "1");
    const LONGLONG runwellEnd = RunRunwell("Limit");
    LONGLONG stamp = 0;
    DWORD grandchild = 0;
    ReadStamp(&stamp, &grandchild);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, grandchild);
    if (process) WaitForSingleObject(process, 10000);
    LARGE_INTEGER gone;
    QueryPerformanceCounter(&gone);
    if (process) CloseHandle(process);
    // Runwell ends the tree, then writes two messages and exits; its wait
    // began when the task was created, before the task's own start-up.
    std::printf("time limit: Runwell exited %.2f ms after the task's start + 60 s;"
                " the task tree was gone %.2f ms after Runwell's exit\n",
                (runwellEnd - stamp) / frequencyMs - 60000.0,
                (gone.QuadPart - runwellEnd) / frequencyMs);
  }
  return 0;
}
