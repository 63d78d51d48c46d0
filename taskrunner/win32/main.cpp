#include <windows.h>

#include "task_run.h"
#include "win32_task_platform.h"

// A GUI-subsystem program that never shows a window: the engine starts it in
// the background and reads only its logs and its exit status.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  runwell::Win32TaskRunPlatform platform;
  ExitProcess(runwell::RunTask(platform));
}
