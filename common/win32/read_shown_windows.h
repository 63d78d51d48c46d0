#ifndef MORVA_COMMON_READ_SHOWN_WINDOWS_H_
#define MORVA_COMMON_READ_SHOWN_WINDOWS_H_

#include <windows.h>

#include <string>
#include <vector>

#include "shown_windows.h"

namespace morva_common {

// A visible top-level window of one of the processes, on this thread's
// desktop; dialogBox: of the standard dialog class, as a message box is.
struct FoundWindow {
  HWND handle;
  bool dialogBox;
  ShownWindow shown;
};

// Text in the system's ANSI code page; a character it lacks becomes "?".
std::string AnsiText(const wchar_t* text, int length);

// At most 32 windows, read within boundMs in all: a process with hundreds
// of windows, or one that hangs, holds up its reader no longer. Texts are
// in the system's ANSI code page.
std::vector<FoundWindow> ReadShownWindows(const std::vector<DWORD>& processes,
                                          DWORD boundMs);

}  // namespace morva_common

#endif
