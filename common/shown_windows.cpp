#include "shown_windows.h"

namespace morva_common {

std::string OneLine(std::string text, size_t bound) {
  // A box's text has lines of its own; a log keeps one message a line.
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  if (text.size() > bound) text = text.substr(0, bound - 3) + "...";
  return text;
}

int AcknowledgingButton(const std::vector<int>& buttons) {
  if (buttons.size() == 1 &&
      (buttons[0] == kOkButton || buttons[0] == kCancelButton)) {
    return buttons[0];
  }
  const bool okAndCancel =
      buttons.size() == 2 &&
      ((buttons[0] == kOkButton && buttons[1] == kCancelButton) ||
       (buttons[0] == kCancelButton && buttons[1] == kOkButton));
  return okAndCancel ? kCancelButton : 0;
}

std::string DescribeShownWindows(const std::vector<ShownWindow>& windows,
                                 size_t bound) {
  std::string shown;
  for (const ShownWindow& window : windows) {
    if (!shown.empty()) shown += "; ";
    shown += "[" + window.caption + "]";
    if (!window.text.empty()) shown += " " + window.text;
  }
  return OneLine(shown, bound);
}

}  // namespace morva_common
