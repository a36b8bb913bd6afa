// The top-level window of a dialog on Linux: an FLTK window that turns X input into
// posted messages, and what the X side of a dialog needs (showing, hiding, placing,
// window-manager hints, activation, icons).
#pragma once

#include <cstdint>

#include "platform/platform.h"

class Fl_Widget;
class Fl_Window;

namespace fltkwin {

struct Wnd;

Fl_Window* createDialogWidget(std::uintptr_t handle, int x, int y, int w, int h);
Fl_Window* dialogWindowOf(const Wnd& dialog);  // null when the dialog has none
void showDialogWidget(Wnd& dialog, int command);
void placeDialogWidget(Wnd& dialog);  // after x, y, w, h of a hidden dialog changed
void hideDialogWidget(Wnd& dialog);
void finishPendingHides();  // hides asked for while FLTK was drawing
void requestActivation(Wnd& dialog);
void applyDialogIcons(Wnd& dialog);
// The mouse position of the current FLTK event in the widget's client coordinates, as
// the lParam of a mouse message.
LPARAM mousePointIn(const Fl_Widget* widget);

}  // namespace fltkwin
