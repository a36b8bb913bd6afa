#include "toolkit/dialog_template.h"
#include "toolkit/startup.h"
#include "toolkit/window_records.h"

HWND createDialog(int unitMode, HWND owner, const std::string& caption, std::int32_t x,
                  std::int32_t y, std::int32_t width, std::int32_t height, DWORD style,
                  DWORD exStyle) {
  const DWORD finalStyle = dialogStyleFor(style, x, y, owner);
  const DialogTemplate dialogTemplate(finalStyle, exStyle, x, y, width, height, threadDialogFont());
  const HWND dialog = platform::CreateDialogIndirectParamA(toolkitInstance(), dialogTemplate.get(),
                                                           owner, toolkitDialogProc, 0);
  if (!dialog) return nullptr;
  // The template carried a single blank: its UTF-16 text could not hold the ANSI bytes.
  platform::SetWindowTextA(dialog, caption.c_str());

  // Pixel dialogs are not sized apart from the template: this program has none.
  WindowRecord* record = newRecord(dialog);
  if (!record) return nullptr;
  record->parent = owner;
  record->flags =
      RECORD_DIALOG | (unitMode == UNIT_MODE_PIXELS ? RECORD_PIXELS : RECORD_DIALOG_UNITS);
  record->style = finalStyle;
  record->showCommand = showCommandFor(finalStyle);
  insertRecord(record);

  const auto font = reinterpret_cast<HFONT>(platform::SendMessageA(dialog, WM_GETFONT, 0, 0));
  if (WindowRecord* stored = findRecord(dialog)) stored->dialogFont = font;
  return dialog;
}

LRESULT sendDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return platform::SendMessageA(window, message, wParam, lParam);
}
