// The X display under the Linux window system: opening it, its resolution, and the
// rules for code that FLTK calls (drawing and event handling), which must not re-enter
// FLTK nor delete the widget FLTK is working on.
#pragma once

class Fl_Widget;

namespace fltkwin {

bool ensureDisplay();  // opens the X display once; false when there is none
int screenDpi();       // Xft.dpi, 96 when unset

struct FltkScope {  // marks code that FLTK called: drawing and event handling
  FltkScope();
  ~FltkScope();
};
bool insideFltk();
void deleteWidgetLater(Fl_Widget* widget);  // deleted when no FLTK code is on the stack
void deletePendingWidgets();

}  // namespace fltkwin
