#include "toolkit/startup.h"

#include "toolkit/dialog_template.h"
#include "toolkit/fonts.h"

namespace {
HINSTANCE moduleInstance = nullptr;
}  // namespace

HINSTANCE toolkitInstance() { return moduleInstance; }

void toolkitStartup() {
  moduleInstance = platform::GetModuleHandleA(nullptr);
  setMainThreadDialogFont("MS Sans Serif", 8, 0, ANSI_CHARSET);
  // None of the three control kinds needs these classes; the result is not looked at.
  INITCOMMONCONTROLSEX init{};
  init.dwSize = sizeof(INITCOMMONCONTROLSEX);
  init.dwICC = ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES |
               ICC_PROGRESS_CLASS | ICC_HOTKEY_CLASS | ICC_PAGESCROLLER_CLASS |
               ICC_NATIVEFNTCTL_CLASS | ICC_STANDARD_CLASSES;
  platform::InitCommonControlsEx(&init);
  startFontTable();
}
