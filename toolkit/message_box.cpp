#include "toolkit/toolkit.h"

namespace {
// Used only for an empty caption, which the program never passes.
constexpr char kDefaultCaption[] = "Error";
}  // namespace

// The box has no owner window on purpose: the main window stays enabled, so its ticks
// and buttons keep being handled underneath, nested inside this call.
int showMessageBox(const std::string& text, UINT style, const std::string& caption) {
  const char* shownCaption = caption.empty() ? kDefaultCaption : caption.c_str();
  // A short yield before the box's own modal loop takes over, as the toolkit has always
  // done: the processor goes to other processes (the window manager, the X server or the
  // desktop) for 5 ms before a new top-level window asks them for work. No message is
  // handled during the pause, and nothing depends on its length.
  platform::Sleep(5);
  return platform::MessageBoxA(nullptr, text.c_str(), shownCaption, style);
}
