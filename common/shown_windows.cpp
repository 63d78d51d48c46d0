#include "shown_windows.h"

namespace morva_common {

std::string DescribeShownWindows(const std::vector<ShownWindow>& windows,
                                 size_t bound) {
  std::string shown;
  for (const ShownWindow& window : windows) {
    if (!shown.empty()) shown += "; ";
    shown += "[" + window.caption + "]";
    if (!window.text.empty()) shown += " " + window.text;
  }
  // A box's text has lines of its own; a log keeps one message a line.
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  if (shown.size() > bound) shown = shown.substr(0, bound - 3) + "...";
  return shown;
}

}  // namespace morva_common
