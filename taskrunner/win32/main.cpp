#include <windows.h>

#include "task_run.h"
#include "timing_marks.h"
#include "win32_task_platform.h"

// A GUI-subsystem program that never shows a window: the engine starts it in
// the background and reads only its logs and its exit status.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  runwell::MarkTime(runwell::TimingMark::kEntry);
  runwell::Win32TaskRunPlatform platform;
  const uint32_t result = runwell::RunTask(platform);
  runwell::MarkTime(runwell::TimingMark::kBeforeExit);
  ExitProcess(result);
}
