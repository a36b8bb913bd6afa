// The X display on Linux: opened once through Xlib and handed to FLTK 1.3, the Xft.dpi
// resolution from the X resources, and the guard for code that FLTK calls, with widgets
// whose deletion waits until FLTK is off the stack. Leaves out several screens and
// displays, and a resolution that changes while the program runs.
#include "display.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace fltkwin {

namespace {

int fltkDepth = 0;

std::vector<Fl_Widget*>& widgetsToDelete() {
  static std::vector<Fl_Widget*> w;
  return w;
}

}  // namespace

bool ensureDisplay() {
  if (fl_display) return true;
  // Tried again on every call: a display that was not there yet may come.
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    static bool told = false;
    if (!told) {
      const char* name = std::getenv("DISPLAY");
      std::fprintf(stderr, "cannot open the X display \"%s\"; no window can be shown\n",
                   name ? name : "");
      told = true;
    }
    return false;
  }
  // A dead X connection must end in FLTK's "X I/O error" exit, not in a silent SIGPIPE.
  struct sigaction current {};
  if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
    std::signal(SIGPIPE, SIG_IGN);
  fl_open_display(display);
  Fl_Window::default_xclass("fileptt");
  Fl::dnd_text_ops(0);  // text moves only by typing and pasting, which the edit checks
  return true;
}

int screenDpi() {
  static int dpi = 0;
  if (dpi) return dpi;
  if (!ensureDisplay()) return 96;
  dpi = 96;
  if (const char* resources = XResourceManagerString(fl_display)) {
    XrmInitialize();
    if (XrmDatabase db = XrmGetStringDatabase(resources)) {
      char* type = nullptr;
      XrmValue value{};
      if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
        char* end = nullptr;
        const double parsed = std::strtod(value.addr, &end);
        if (end != value.addr && std::isfinite(parsed) && parsed >= 24 && parsed <= 1200)
          dpi = static_cast<int>(std::lround(parsed));
      }
      XrmDestroyDatabase(db);
    }
  }
  return dpi;
}

FltkScope::FltkScope() { ++fltkDepth; }
FltkScope::~FltkScope() { --fltkDepth; }
bool insideFltk() { return fltkDepth > 0; }

void deleteWidgetLater(Fl_Widget* widget) {
  if (widget) widgetsToDelete().push_back(widget);
}

void deletePendingWidgets() {
  if (insideFltk()) return;
  std::vector<Fl_Widget*> batch;
  batch.swap(widgetsToDelete());
  for (Fl_Widget* widget : batch) {
    if (Fl_Window* window = widget->as_window(); window && !window->parent()) {
      window->hide();
    } else if (Fl_Group* parent = widget->parent()) {
      parent->remove(widget);
    }
    delete widget;
  }
  // A window that is gone leaves the screen now, not at the next round of the loop.
  if (!batch.empty() && fl_display) XFlush(fl_display);
}

}  // namespace fltkwin
