// The EDIT class on Linux (single-line edits): its window procedure and its widget.
#pragma once

#include <cstdint>

#include "platform/platform.h"

class Fl_Widget;

namespace fltkwin {

struct Wnd;

LRESULT editProc(Wnd& edit, UINT message, WPARAM wParam, LPARAM lParam);
Fl_Widget* createEditWidget(std::uintptr_t handle, int x, int y, int w, int h);
void editSetText(Wnd& edit);  // the widget shows the whole text, caret at 0, no width limit

}  // namespace fltkwin
