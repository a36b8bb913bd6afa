// The dialog manager of the Linux window system: what Win32's DefDlgProc and
// IsDialogMessage do for a dialog (the dialog procedure's result, focus, Tab and arrow
// order, mnemonics, the default button) and dialog units.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace fltkwin {

struct Wnd;

// SendMessage to a dialog: its dialog procedure first, then the dialog manager's defaults.
LRESULT sendToDialog(std::uintptr_t dialog, UINT message, WPARAM wParam, LPARAM lParam);
// GetNextDlgTabItem: the next (or previous) visible, enabled WS_TABSTOP control in
// creation order, wrapping around; 0 when there is none.
std::uintptr_t nextTabItem(std::uintptr_t dialog, std::uintptr_t from, bool previous);
// Dialog units to pixels with the dialog's base units, as MapDialogRect rounds them.
int dialogUnitsX(const Wnd& dialog, int units);
int dialogUnitsY(const Wnd& dialog, int units);

}  // namespace fltkwin
