// A stand-in for the Java engine, placed as an install folder's
// jre\bin\javaw.exe. Started by the service module in the install folder, it
// reads ENGINE_PORT from engineSettings.jsd, records how it was started and
// every command it receives, and ends on the shutdown command.
//
// Files in its current folder:
//   engine-started.txt   one line per start: the command line, then the folder
//   engine-commands.txt  one line per connection: the bytes received, "|EOF"
//   engine-listening.txt one line per start that listens: the port
//   engine-mode.txt      optional: "die:N" ends after N seconds without a
//                        shutdown command, "linger:N" keeps answering N
//                        seconds after the shutdown command, "slow:N"
//                        opens the port only after N seconds, "box:TEXT"
//                        shows TEXT in a box, as a Java launcher that cannot
//                        start the engine does, and ends once it is closed;
//                        "ask:TEXT" asks TEXT in a Yes/No box and records
//                        the answer it got as "|ANSWER <id>";
//                        "crash:N" ends after N seconds as a Java runtime
//                        that crashes does, its report hs_err_pid<id>.log
//                        left in its current folder
//   engine-pids.txt      one line per start: its process id
// "stand_in_engine --sleep SECONDS" only sleeps: it keeps Wine's services up.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ReadFileText(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void AppendLine(const char* path, const std::string& line) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << line << "\n";
}

int EnginePort() {
  const std::string settings = ReadFileText("engineSettings.jsd");
  const size_t at = settings.find("ENGINE_PORT=");
  if (at == std::string::npos) return 1967;
  return std::atoi(settings.c_str() + at + 12);
}

std::string Mode() {
  std::string mode = ReadFileText("engine-mode.txt");
  while (!mode.empty() && (mode.back() == '\n' || mode.back() == '\r' ||
                           mode.back() == ' ')) {
    mode.pop_back();
  }
  return mode;
}

bool crashes = false;

DWORD WINAPI DieLater(LPVOID seconds) {
  Sleep(static_cast<DWORD>(reinterpret_cast<INT_PTR>(seconds)) * 1000);
  if (crashes) {
    const std::string pid = std::to_string(GetCurrentProcessId());
    AppendLine(("hs_err_pid" + pid + ".log").c_str(),
               "#\r\n# A fatal error has been detected by the Java Runtime "
               "Environment:\r\n#\r\n#  EXCEPTION_ACCESS_VIOLATION "
               "(0xc0000005) at pc=0x0, pid=" + pid + "\r\n#\r\n\r\n"
               "---------------  S U M M A R Y ------------\r");
    ExitProcess(0xC0000005);
  }
  AppendLine("engine-commands.txt", "|DIED");
  ExitProcess(3);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--sleep") {
    Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
    return 0;
  }
  char folder[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, folder);
  AppendLine("engine-started.txt",
             std::string(GetCommandLineA()) + "|" + folder);

  AppendLine("engine-pids.txt", std::to_string(GetCurrentProcessId()));
  const std::string mode = Mode();
  if (mode.rfind("ask:", 0) == 0) {
    const int answer = MessageBoxA(NULL, mode.c_str() + 4, "Question",
                                   MB_YESNO | MB_ICONQUESTION);
    AppendLine("engine-commands.txt", "|ANSWER " + std::to_string(answer));
    return 1;
  }
  if (mode.rfind("box:", 0) == 0) {
    MessageBoxA(NULL, mode.c_str() + 4, "Java Virtual Machine Launcher", MB_OK);
    AppendLine("engine-commands.txt", "|BOX CLOSED");
    return 1;
  }
  if (mode.rfind("slow:", 0) == 0) {
    Sleep(static_cast<DWORD>(std::atoi(mode.c_str() + 5)) * 1000);
  }
  crashes = mode.rfind("crash:", 0) == 0;
  if (mode.rfind("die:", 0) == 0 || crashes) {
    CloseHandle(CreateThread(
        NULL, 0, DieLater,
        reinterpret_cast<LPVOID>(static_cast<INT_PTR>(
            std::atoi(mode.c_str() + mode.find(':') + 1))),
        0, NULL));
  }

  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(EnginePort()));
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) ||
      listen(listener, 16)) {
    AppendLine("engine-commands.txt", "|CANNOT LISTEN");
    return 2;
  }
  AppendLine("engine-listening.txt", std::to_string(EnginePort()));
  DWORD shutdownAt = 0;
  const DWORD lingerMs =
      mode.rfind("linger:", 0) == 0 ? std::atoi(mode.c_str() + 7) * 1000 : 0;
  for (;;) {
    if (shutdownAt) {
      // Shutting down, as a Java engine does, with the port still open.
      const DWORD elapsed = GetTickCount() - shutdownAt;
      if (elapsed >= lingerMs) return 0;
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(listener, &readable);
      timeval left = {static_cast<long>((lingerMs - elapsed) / 1000),
                      static_cast<long>((lingerMs - elapsed) % 1000) * 1000};
      if (select(0, &readable, NULL, NULL, &left) != 1) return 0;
    }
    SOCKET connection = accept(listener, NULL, NULL);
    if (connection == INVALID_SOCKET) return 1;
    std::string received;
    char buffer[256];
    int count;
    while ((count = recv(connection, buffer, sizeof buffer, 0)) > 0) {
      received.append(buffer, count);
    }
    closesocket(connection);
    AppendLine("engine-commands.txt",
               received + (count == 0 ? "|EOF" : "|ERROR"));
    if (received == "NTSERVICE^SHUTDOWN_ENGINE") {
      if (!lingerMs) return 0;
      if (!shutdownAt) shutdownAt = GetTickCount();
    }
  }
}
