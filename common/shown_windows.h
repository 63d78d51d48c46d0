#ifndef MORVA_COMMON_SHOWN_WINDOWS_H_
#define MORVA_COMMON_SHOWN_WINDOWS_H_

#include <cstddef>
#include <string>
#include <vector>

// What another process shows on the desktop: often a box that waits for
// somebody to press OK where nobody ever looks. Both programs quote it.
namespace morva_common {

struct ShownWindow {
  std::string caption;
  std::string text;  // its static and edit controls, not its buttons
  std::vector<int> buttons;  // the control IDs of its visible push buttons
};

// The button that only acknowledges a box: its one button (OK, or the
// Cancel id a lone button may have), or Cancel beside OK, as Esc does; 0
// for a box that asks a question, or whose buttons cannot be read: only an
// operator may answer those.
int AcknowledgingButton(const std::vector<int>& buttons);
const int kOkButton = 1;      // IDOK
const int kCancelButton = 2;  // IDCANCEL

// The text on one line, its control characters made blanks, cut to bound
// characters with "...": what another program wrote, quoted in a log.
std::string OneLine(std::string text, size_t bound);

// "[Caption] text; [Caption] text" on one line (control characters made
// blanks), cut to bound characters with "..."; empty for no windows.
std::string DescribeShownWindows(const std::vector<ShownWindow>& windows,
                                 size_t bound);

}  // namespace morva_common

#endif
