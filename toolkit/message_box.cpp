#include "toolkit/toolkit.h"

namespace {
// Used only for an empty caption, which the program never passes.
constexpr char kDefaultCaption[] = "Error";
}  // namespace

// The box has no owner window on purpose: the main window stays enabled, so its ticks
// and buttons keep being handled underneath, nested inside this call.
int showMessageBox(const std::string& text, UINT style, const std::string& caption) {
  const char* shownCaption = caption.empty() ? kDefaultCaption : caption.c_str();
  platform::Sleep(5);
  return platform::MessageBoxA(nullptr, text.c_str(), shownCaption, style);
}
