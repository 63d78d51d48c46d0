// Messages per second into one shared log: WRITERS processes of this program
// append MESSAGES messages each with Runwell's own append, all at once; then
// the log is checked for lost and torn messages.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "log_append.h"

namespace {

const size_t kLineLength = 120;

int Writer(const char* path, int writer, int count) {
  for (int i = 0; i < count; ++i) {
    char head[40];
    std::snprintf(head, sizeof head, "\nwriter %03d message %06d ", writer, i);
    std::string message = head;
    message.append(kLineLength - message.size(), '.');
    std::string bytes;
    for (char c : message) {
      if (c == '\n') bytes += '\r';
      bytes += c;
    }
    if (runwell::AppendToLog(path, bytes) != runwell::FileResult::kDone) {
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--writer") {
    return Writer(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: append_load LOG WRITERS MESSAGES\n");
    return 2;
  }
  const std::string log = argv[1];
  const int writers = std::atoi(argv[2]);
  const int messages = std::atoi(argv[3]);
  DeleteFileA(log.c_str());
  char self[MAX_PATH];
  GetModuleFileNameA(NULL, self, MAX_PATH);

  LARGE_INTEGER frequency, begin, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&begin);
  std::vector<HANDLE> processes;
  for (int w = 0; w < writers; ++w) {
    std::string commandLine = "\"" + std::string(self) + "\" --writer \"" +
                              log + "\" " + std::to_string(w) + " " +
                              std::to_string(messages);
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(NULL, buffer.data(), NULL, NULL, FALSE, 0, NULL, NULL,
                        &startup, &info)) {
      return 1;
    }
    CloseHandle(info.hThread);
    processes.push_back(info.hProcess);
  }
  for (HANDLE process : processes) {
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
  }
  QueryPerformanceCounter(&end);
  const double seconds =
      double(end.QuadPart - begin.QuadPart) / frequency.QuadPart;

  std::ifstream in(log, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  std::set<std::string> seen;
  long torn = 0;
  std::string line;
  std::istringstream lines(content.str());
  while (std::getline(lines, line)) {
    // Each message begins with its own line end, so the last one has none.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line.size() != kLineLength - 1 ||
        !seen.insert(line.substr(0, 27)).second) {
      ++torn;
    }
  }
  const long total = long(writers) * messages;
  std::printf("%d writers x %d messages: %.2f s, %.0f messages/s, lost %ld, torn %ld\n",
              writers, messages, seconds, total / seconds,
              total - long(seen.size()), torn);
  return 0;
}
