// The STATIC class on Linux (text statics): its window procedure and its widget.
#pragma once

#include <cstdint>

#include "platform/platform.h"

class Fl_Widget;

namespace fltkwin {

struct Wnd;

LRESULT staticProc(Wnd& label, UINT message, WPARAM wParam, LPARAM lParam);
Fl_Widget* createStaticWidget(std::uintptr_t handle, int x, int y, int w, int h);

}  // namespace fltkwin
