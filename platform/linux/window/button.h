// The BUTTON class on Linux (push buttons): its window procedure and its widget.
#pragma once

#include <cstdint>

#include "platform/platform.h"

class Fl_Widget;

namespace fltkwin {

struct Wnd;

LRESULT buttonProc(Wnd& button, UINT message, WPARAM wParam, LPARAM lParam);
Fl_Widget* createButtonWidget(std::uintptr_t handle, int x, int y, int w, int h);
// The default look follows the focus and DM_SETDEFID: the dialog's buttons repaint.
void redrawButtonsOf(std::uintptr_t dialog);

}  // namespace fltkwin
