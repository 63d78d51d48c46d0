// Prints the resources of a running service's process: handles, window
// manager and graphics objects, private bytes and CPU time.
// Usage: process_stats SERVICE-NAME
#include <windows.h>
#include <psapi.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: process_stats SERVICE-NAME\n");
    return 2;
  }
  SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, argv[1], SERVICE_QUERY_STATUS);
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!service || !QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                        reinterpret_cast<BYTE*>(&status),
                                        sizeof status, &needed) ||
      !status.dwProcessId) {
    std::fprintf(stderr, "service %s is not running\n", argv[1]);
    return 1;
  }
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ,
                               FALSE, status.dwProcessId);
  DWORD handles = 0;
  GetProcessHandleCount(process, &handles);
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(process,
                       reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                       sizeof memory);
  FILETIME created, exited, kernel, user;
  GetProcessTimes(process, &created, &exited, &kernel, &user);
  const ULONGLONG cpu100ns =
      (ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}).QuadPart +
      (ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}).QuadPart;
  std::printf("handles=%lu user_objects=%lu gdi_objects=%lu private_kb=%lu cpu_ms=%llu\n",
              handles, GetGuiResources(process, GR_USEROBJECTS),
              GetGuiResources(process, GR_GDIOBJECTS),
              static_cast<unsigned long>(memory.PrivateUsage / 1024),
              cpu100ns / 10000);
  CloseHandle(process);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return 0;
}
