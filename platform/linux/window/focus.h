// The keyboard focus and the active dialog of the Linux window system: SetFocus and
// WM_SETFOCUS/WM_KILLFOCUS, WM_ACTIVATE, and which dialog takes over when the active one
// goes.
#pragma once

#include <cstdint>

namespace fltkwin {

bool setFocusTo(std::uintptr_t window);  // SetFocus without the return value
std::uintptr_t focusedWindow();
// The focus leaves `window` and what is inside it without WM_KILLFOCUS: they are going.
void forgetFocusWithin(std::uintptr_t window);

void activate(std::uintptr_t dialog);  // WM_ACTIVATE to the old and the new active dialog
void activateAfterLoss(std::uintptr_t goneOrHidden);
// The X focus came to a dialog: WM_ACTIVATE follows from the next PeekMessageA, once
// FLTK is off the stack.
void notePendingActivation(std::uintptr_t dialog);
void processPendingActivation();

}  // namespace fltkwin
