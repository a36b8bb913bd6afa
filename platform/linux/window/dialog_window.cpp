// The dialog's top-level window on Linux: an Fl_Double_Window per dialog that paints the
// WM_CTLCOLORDLG background and posts its keys and close box as messages, with Motif
// hints for the caption buttons, _NET_ACTIVE_WINDOW activation and the window icons, on
// FLTK 1.3 and Xlib. Leaves out the caption itself (the window manager's), resizing,
// maximizing and menus.
#include "dialog_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "display.h"
#include "focus.h"
#include "gdi.h"
#include "icons.h"
#include "message_queue.h"
#include "paint.h"
#include "win32_values.h"
#include "window.h"

namespace fltkwin {

namespace {

// Win32 key codes for FLTK's keys; 0 for keys Win32 has no code for.
WPARAM virtualKey(int key, const char* text) {
  if (key >= 'a' && key <= 'z') return static_cast<WPARAM>(key - 32);
  if ((key >= '0' && key <= '9') || key == ' ') return static_cast<WPARAM>(key);
  if (key >= FL_KP + '0' && key <= FL_KP + '9')
    return static_cast<WPARAM>(0x60 + key - FL_KP - '0');
  if (key > FL_F && key <= FL_F + 24) return static_cast<WPARAM>(0x6F + key - FL_F);
  switch (key) {
    case FL_Escape: return VK_ESCAPE;
    case FL_Tab: return VK_TAB;
    case FL_Enter:
    case FL_KP_Enter: return VK_RETURN;
    case FL_BackSpace: return VK_BACK;
    case FL_Delete: return VK_DELETE;
    case FL_Insert: return VK_INSERT;
    case FL_Home: return VK_HOME;
    case FL_End: return VK_END;
    case FL_Page_Up: return 0x21;
    case FL_Page_Down: return 0x22;
    case FL_Left: return VK_LEFT;
    case FL_Up: return VK_UP;
    case FL_Right: return VK_RIGHT;
    case FL_Down: return VK_DOWN;
    case FL_Shift_L:
    case FL_Shift_R: return VK_SHIFT;
    case FL_Control_L:
    case FL_Control_R: return VK_CONTROL;
    case FL_Alt_L:
    case FL_Alt_R: return VK_MENU;
    case FL_Meta_L:
    case FL_Meta_R: return 0x5B;
    case FL_Menu: return 0x5D;
    case FL_Caps_Lock: return 0x14;
    case FL_Num_Lock: return 0x90;
    case FL_Scroll_Lock: return 0x91;
    case FL_Pause: return 0x13;
    case FL_Print: return 0x2C;
    case FL_KP + '*': return 0x6A;
    case FL_KP + '+': return 0x6B;
    case FL_KP + '-': return 0x6D;
    case FL_KP + '.': return 0x6E;
    case FL_KP + '/': return 0x6F;
    case ';': return 0xBA;
    case '=': return 0xBB;
    case ',': return 0xBC;
    case '-': return 0xBD;
    case '.': return 0xBE;
    case '/': return 0xBF;
    case '`': return 0xC0;
    case '[': return 0xDB;
    case '\\': return 0xDC;
    case ']': return 0xDD;
    case '\'': return 0xDE;
    default: return (text && *text) ? 0xDF : 0;  // a key of another layout that types something
  }
}

std::uintptr_t dialogOfKeyEvent(std::uintptr_t fallback);

int forwardKey(std::uintptr_t dialog, bool down) {
  const int key = Fl::event_key();
  const WPARAM vk = virtualKey(key, Fl::event_text());
  if (!vk) return 1;
  const int state = Fl::event_state();
  const bool alt = (state & FL_ALT) && !(state & FL_CTRL);
  const bool system = alt || vk == VK_MENU || vk == VK_F10;
  UINT message;
  if (down) {
    message = system ? WM_SYSKEYDOWN : WM_KEYDOWN;
  } else {
    message = system ? WM_SYSKEYUP : WM_KEYUP;
  }
  unsigned keycode = 0;
  if (fl_xevent && (fl_xevent->type == KeyPress || fl_xevent->type == KeyRelease))
    keycode = fl_xevent->xkey.keycode;
  LPARAM lParam = 1 | static_cast<LPARAM>((keycode & 0xFF) << 16);
  if (alt) lParam |= static_cast<LPARAM>(1) << 29;
  if (!down) lParam |= static_cast<LPARAM>(3) << 30;
  std::string text;
  if (down && Fl::event_text())
    text.assign(Fl::event_text(), static_cast<std::size_t>(Fl::event_length()));
  postKeyInput(dialogOfKeyEvent(dialog), message, vk, lParam, text, state);
  return 1;
}

class DialogWindow : public Fl_Double_Window {
 public:
  DialogWindow(std::uintptr_t handle, int x, int y, int w, int h)
      : Fl_Double_Window(x, y, std::max(1, w), std::max(1, h)), handle_(handle) {
    end();
    size_range(this->w(), this->h(), this->w(), this->h());
    callback(closeRequested);
  }

  std::uintptr_t handle_;

  int handle(int event) override {
    FltkScope scope;
    switch (event) {
      case FL_KEYBOARD:
      case FL_SHORTCUT: return forwardKey(handle_, true);
      case FL_KEYUP: return forwardKey(handle_, false);
      case FL_FOCUS: {
        // The X focus came in; FLTK's own focus follows the dialog's saved control.
        notePendingActivation(handle_);
        if (Wnd* d = findWnd(handle_)) {
          Wnd* c = findWnd(d->focusChild);
          if (c && c->widget && c->widget != Fl::focus()) c->widget->take_focus();
        }
        return 1;
      }
      case FL_UNFOCUS: return 1;
      case FL_PUSH: {
        Fl_Widget* current = Fl::focus();
        if (Wnd* d = findWnd(handle_); d && (!current || current->top_window() != this))
          requestActivation(*d);
        break;
      }
      default: break;
    }
    return Fl_Double_Window::handle(event);
  }

  void draw() override {
    FltkScope scope;
    if (damage() & ~FL_DAMAGE_CHILD) {
      COLORREF background = sysColour(COLOR_BTNFACE);
      if (findWnd(handle_)) {
        const PaintColours c = askColours(handle_, WM_CTLCOLORDLG);
        if (!c.brushPaintsNothing) background = c.brush;
      }
      fl_rectf(0, 0, w(), h(), static_cast<Fl_Color>(flColour(background)));
      if (Wnd* d = findWnd(handle_)) {
        d->paintedBackground = background;
        if (d->box && d->box->icon) drawIcon(d->box->icon, d->box->iconX, d->box->iconY, 32);
      }
    }
    draw_children();
  }

 private:
  // The close box (the window manager's WM_DELETE_WINDOW) becomes the system command a
  // Win32 caption sends. FLTK also calls this for an unclaimed Escape: that is not ours.
  static void closeRequested(Fl_Widget* widget, void*) {
    if (Fl::event() != FL_CLOSE) return;
    auto* window = static_cast<DialogWindow*>(widget);
    if (findWnd(window->handle_)) postMessage(window->handle_, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
};

std::uintptr_t dialogOfKeyEvent(std::uintptr_t fallback) {
  if (fl_xevent && (fl_xevent->type == KeyPress || fl_xevent->type == KeyRelease)) {
    if (auto* window = dynamic_cast<DialogWindow*>(fl_find(fl_xevent->xkey.window)))
      return window->handle_;
  }
  return fallback;
}

DialogWindow* windowOf(const Wnd& d) { return dynamic_cast<DialogWindow*>(d.widget); }

std::vector<std::uintptr_t>& hidesToFinish() {
  static std::vector<std::uintptr_t> pending;
  return pending;
}

bool windowManagerRunning() {
  if (!fl_display) return false;
  const Atom check = XInternAtom(fl_display, "_NET_SUPPORTING_WM_CHECK", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  const int status =
      XGetWindowProperty(fl_display, RootWindow(fl_display, fl_screen), check, 0, 1, False,
                         XA_WINDOW, &type, &format, &count, &remaining, &data);
  if (data) XFree(data);
  return status == Success && type == XA_WINDOW && count == 1;
}

// A fixed-size window with a caption and, with WS_SYSMENU, only a close box: Motif hints,
// which window managers read for the buttons and actions they offer.
void applyWindowManagerHints(Wnd& d) {
  DialogWindow* window = windowOf(d);
  if (!window || !window->shown() || !fl_display) return;
  const Window xid = fl_xid(window);
  enum : long {
    kHintFunctions = 1,
    kHintDecorations = 2,
    kFuncResize = 2,
    kFuncMove = 4,
    kFuncMinimize = 8,
    kFuncMaximize = 16,
    kFuncClose = 32,
    kDecorBorder = 2,
    kDecorResize = 4,
    kDecorTitle = 8,
    kDecorMenu = 16,
    kDecorMinimize = 32,
    kDecorMaximize = 64,
  };
  const bool caption = (d.style & WS_CAPTION) == WS_CAPTION;
  const bool sysMenu = (d.style & WS_SYSMENU) != 0;
  long functions = kFuncMove;
  long decorations = 0;
  if (caption || (d.style & (WS_BORDER | WS_DLGFRAME))) decorations |= kDecorBorder;
  if (caption) decorations |= kDecorTitle;
  if (sysMenu) {
    functions |= kFuncClose;
    if (caption) decorations |= kDecorMenu;
  }
  if (d.style & WS_THICKFRAME) {
    functions |= kFuncResize;
    decorations |= kDecorResize;
  }
  if (caption && (d.style & WS_MINIMIZEBOX)) {
    functions |= kFuncMinimize;
    decorations |= kDecorMinimize;
  }
  if (caption && (d.style & WS_MAXIMIZEBOX)) {
    functions |= kFuncMaximize;
    decorations |= kDecorMaximize;
  }
  long hints[5] = {kHintFunctions | kHintDecorations, functions, decorations, 0, 0};
  const Atom motif = XInternAtom(fl_display, "_MOTIF_WM_HINTS", False);
  XChangeProperty(fl_display, xid, motif, motif, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(hints), 5);
  if (Wnd* owner = findWnd(d.owner); owner && owner->widget) {
    DialogWindow* ownerWindow = windowOf(*owner);
    if (ownerWindow && ownerWindow->shown())
      XSetTransientForHint(fl_display, xid, fl_xid(ownerWindow));
  }
  XFlush(fl_display);
}

}  // namespace

Fl_Window* createDialogWidget(std::uintptr_t handle, int x, int y, int w, int h) {
  Fl_Group::current(nullptr);
  return new DialogWindow(handle, x, y, w, h);
}

Fl_Window* dialogWindowOf(const Wnd& d) { return windowOf(d); }

void showDialogWidget(Wnd& d, int command) {
  DialogWindow* window = windowOf(d);
  if (!window) return;
  hidesToFinish().erase(std::remove(hidesToFinish().begin(), hidesToFinish().end(), d.handle),
                        hidesToFinish().end());
  if (!window->shown()) {
    if ((d.style & WS_CAPTION) != WS_CAPTION) window->clear_border();
    window->show();
    applyWindowManagerHints(d);
  } else {
    window->show();
  }
  if (command == SW_SHOWMINIMIZED || command == SW_MINIMIZE || command == SW_SHOWMINNOACTIVE)
    window->iconize();
}

void placeDialogWidget(Wnd& d) {
  DialogWindow* window = windowOf(d);
  if (!window) return;
  const int w = std::max(1, d.w), h = std::max(1, d.h);
  window->resize(d.x, d.y, w, h);
  window->size_range(w, h, w, h);
}

void hideDialogWidget(Wnd& d) {
  DialogWindow* window = windowOf(d);
  if (!window) return;
  if (insideFltk()) {
    // Hiding a window while FLTK draws would pull the X window from under it.
    hidesToFinish().push_back(d.handle);
    return;
  }
  window->hide();
}

void finishPendingHides() {
  if (insideFltk()) return;
  std::vector<std::uintptr_t> batch;
  batch.swap(hidesToFinish());
  for (std::uintptr_t handle : batch) {
    Wnd* d = findWnd(handle);
    if (d && !(d->style & WS_VISIBLE) && d->widget) d->widget->hide();
  }
}

// Gives the dialog the keyboard: directly when no window manager runs (a mapped window
// only), and through _NET_ACTIVE_WINDOW when one does.
void requestActivation(Wnd& d) {
  DialogWindow* window = windowOf(d);
  if (!window || !window->shown() || !fl_display) return;
  const Window xid = fl_xid(window);
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(fl_display, xid, &attributes) && attributes.map_state == IsViewable)
    XSetInputFocus(fl_display, xid, RevertToParent, CurrentTime);
  if (windowManagerRunning()) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = xid;
    e.xclient.message_type = XInternAtom(fl_display, "_NET_ACTIVE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 1;  // from an application
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(fl_display, RootWindow(fl_display, fl_screen), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &e);
  }
  XFlush(fl_display);
}

void applyDialogIcons(Wnd& d) {
  DialogWindow* window = windowOf(d);
  if (!window) return;
  const IconKind kind = iconKind(d.iconBig) ? iconKind(d.iconBig) : iconKind(d.iconSmall);
  if (!kind) return;
  const Fl_RGB_Image* const* images = iconImages(kind);
  const Fl_RGB_Image* list[2] = {images[0], images[1]};
  window->icons(list, 2);
}

LPARAM mousePointIn(const Fl_Widget* widget) {
  const int x = Fl::event_x() - widget->x();
  const int y = Fl::event_y() - widget->y();
  return static_cast<LPARAM>((static_cast<unsigned>(x) & 0xFFFFu) |
                             ((static_cast<unsigned>(y) & 0xFFFFu) << 16));
}

}  // namespace fltkwin
