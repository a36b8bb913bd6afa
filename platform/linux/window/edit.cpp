// The FLTK widgets behind Linux windows: an Fl_Double_Window per dialog, and push buttons,
// statics and single-line edits drawn the classic Win32 way in the colours each WM_CTLCOLOR*
// request answers; input only posts messages. Also window-manager hints, activation, icons.
// Leaves out themes, check and radio buttons, multi-line edits, and the caption (the WM's).
#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>

#include "window.h"

namespace fltkwin {

namespace {

constexpr int kEditMargin = 1;

Fl_Color sys(int index) { return static_cast<Fl_Color>(toFlColour(sysColour(index))); }

void frame(int x, int y, int w, int h, Fl_Color topLeft, Fl_Color bottomRight) {
  if (w <= 0 || h <= 0) return;
  fl_color(topLeft);
  fl_xyline(x, y, x + w - 1);
  fl_yxline(x, y, y + h - 1);
  fl_color(bottomRight);
  fl_xyline(x, y + h - 1, x + w - 1);
  fl_yxline(x + w - 1, y, y + h - 1);
}

void dottedRect(int x, int y, int w, int h) {
  if (w <= 1 || h <= 1) return;
  fl_color(FL_BLACK);
  for (int i = 0; i < w; i += 2) {
    fl_point(x + i, y);
    fl_point(x + i, y + h - 1);
  }
  for (int i = 0; i < h; i += 2) {
    fl_point(x, y + i);
    fl_point(x + w - 1, y + i);
  }
}

// Win32 key codes for FLTK's keys; 0 for keys Win32 has no code for.
WPARAM virtualKey(int key, const char* text) {
  if (key >= 'a' && key <= 'z') return static_cast<WPARAM>(key - 32);
  if ((key >= '0' && key <= '9') || key == ' ') return static_cast<WPARAM>(key);
  if (key >= FL_KP + '0' && key <= FL_KP + '9') return static_cast<WPARAM>(0x60 + key - FL_KP - '0');
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
    default:
      return (text && *text) ? 0xDF : 0;  // a key of another layout that types something
  }
}

int borderWidth(const Wnd& w) {
  return ((w.style & WS_BORDER) ? 1 : 0) + ((w.exStyle & WS_EX_CLIENTEDGE) ? 2 : 0);
}

// Paints a control's background with its brush; a NULL_BRUSH shows the dialog behind it.
void fillBackground(const Wnd& w, const PaintColours& c, int x, int y, int width, int height) {
  COLORREF colour = c.brush;
  if (c.brushPaintsNothing) {
    const Wnd* d = findWnd(w.parent);
    colour = d ? d->paintedBackground : sysColour(COLOR_BTNFACE);
  }
  fl_rectf(x, y, width, height, static_cast<Fl_Color>(toFlColour(colour)));
}

std::uintptr_t dialogOfKeyEvent(std::uintptr_t fallback);

int forwardKey(std::uintptr_t dialog, bool down) {
  const int key = Fl::event_key();
  const WPARAM vk = virtualKey(key, Fl::event_text());
  if (!vk) return 1;
  const int state = Fl::event_state();
  const bool alt = (state & FL_ALT) && !(state & FL_CTRL);
  const bool system = alt || vk == VK_MENU || vk == 0x79 /* F10 */;
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
  if (down && Fl::event_text()) text.assign(Fl::event_text(), static_cast<std::size_t>(Fl::event_length()));
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
      case FL_SHORTCUT:
        return forwardKey(handle_, true);
      case FL_KEYUP:
        return forwardKey(handle_, false);
      case FL_FOCUS: {
        // The X focus came in; FLTK's own focus follows the dialog's saved control.
        notePendingActivation(handle_);
        if (Wnd* d = findWnd(handle_)) {
          Wnd* c = findWnd(d->focusChild);
          if (c && c->widget && c->widget != Fl::focus()) c->widget->take_focus();
        }
        return 1;
      }
      case FL_UNFOCUS:
        return 1;
      case FL_PUSH: {
        Fl_Widget* current = Fl::focus();
        if (Wnd* d = findWnd(handle_); d && (!current || current->top_window() != this))
          requestActivation(*d);
        break;
      }
      default:
        break;
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
      fl_rectf(0, 0, w(), h(), static_cast<Fl_Color>(toFlColour(background)));
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

LPARAM pointFor(const Fl_Widget* widget) {
  const int x = Fl::event_x() - widget->x();
  const int y = Fl::event_y() - widget->y();
  return static_cast<LPARAM>((static_cast<unsigned>(x) & 0xFFFFu) |
                             ((static_cast<unsigned>(y) & 0xFFFFu) << 16));
}

class ButtonWidget : public Fl_Widget {
 public:
  ButtonWidget(std::uintptr_t handle, int x, int y, int w, int h)
      : Fl_Widget(x, y, w, h), handle_(handle) {}

  int handle(int event) override {
    FltkScope scope;
    switch (event) {
      case FL_PUSH:
        if (Fl::event_button() != FL_LEFT_MOUSE) return 0;
        mouseDown_ = inside_ = true;
        redraw();
        postMessage(handle_, WM_LBUTTONDOWN, 1 /* MK_LBUTTON */, pointFor(this));
        return 1;
      case FL_DRAG: {
        const bool in = Fl::event_inside(this) != 0;
        if (in != inside_) {
          inside_ = in;
          redraw();
        }
        return 1;
      }
      case FL_RELEASE:
        if (!mouseDown_) return 0;
        mouseDown_ = false;
        redraw();
        postMessage(handle_, WM_LBUTTONUP, 0, pointFor(this));
        return 1;
      case FL_FOCUS:
      case FL_UNFOCUS:
      case FL_ENTER:
      case FL_LEAVE:
        return 1;
      default:
        return 0;
    }
  }

  void draw() override {
    FltkScope scope;
    if (!findWnd(handle_)) return;
    // Asked as Win32 asks; push buttons keep the system colours whatever the answer.
    askColours(handle_, WM_CTLCOLORBTN);
    Wnd* w = findWnd(handle_);
    if (!w) return;
    int X = x(), Y = y(), W = this->w(), H = h();
    const bool pressed = (mouseDown_ && inside_) || w->pressedLook;
    const bool isDefault = (sendMessage(handle_, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0;
    const bool focused = focusedWindow() == handle_;
    const bool enabled = !(w->style & WS_DISABLED);
    fl_rectf(X, Y, W, H, sys(COLOR_BTNFACE));
    if (isDefault || pressed) {
      frame(X, Y, W, H, FL_BLACK, FL_BLACK);
      X += 1; Y += 1; W -= 2; H -= 2;
    }
    if (pressed) {
      frame(X, Y, W, H, sys(COLOR_BTNSHADOW), sys(COLOR_BTNSHADOW));
    } else {
      frame(X, Y, W, H, sys(COLOR_BTNHIGHLIGHT), sys(COLOR_3DDKSHADOW));
      frame(X + 1, Y + 1, W - 2, H - 2, sys(COLOR_3DLIGHT), sys(COLOR_BTNSHADOW));
    }
    const FontUse font = fontFor(w->font);
    fl_font(font.flFont, font.size);
    const int lineHeight = fl_height();
    const auto lines = wrapText(w->text, true, false, 0);
    const int textTop = Y + (H - lineHeight * static_cast<int>(lines.size())) / 2 + (pressed ? 1 : 0);
    fl_push_clip(X + 1, Y + 1, std::max(0, W - 2), std::max(0, H - 2));
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const int width = static_cast<int>(fl_width(lines[i].utf8.c_str(), static_cast<int>(lines[i].utf8.size())) + 0.5);
      const int left = X + (W - width) / 2 + (pressed ? 1 : 0);
      const int top = textTop + static_cast<int>(i) * lineHeight;
      if (!enabled) {
        fl_color(sys(COLOR_BTNHIGHLIGHT));
        drawTextLine(lines[i], font, left + 1, top + 1, lineHeight);
      }
      fl_color(enabled ? sys(COLOR_BTNTEXT) : sys(COLOR_GRAYTEXT));
      drawTextLine(lines[i], font, left, top, lineHeight);
    }
    fl_pop_clip();
    if (focused) dottedRect(X + 3, Y + 3, W - 6, H - 6);
  }

 private:
  std::uintptr_t handle_;
  bool mouseDown_ = false;
  bool inside_ = false;
};

class StaticWidget : public Fl_Widget {
 public:
  StaticWidget(std::uintptr_t handle, int x, int y, int w, int h)
      : Fl_Widget(x, y, w, h), handle_(handle) {}

  int handle(int event) override {
    return event == FL_FOCUS || event == FL_UNFOCUS ? 1 : 0;
  }

  void draw() override {
    FltkScope scope;
    if (!findWnd(handle_)) return;
    const PaintColours c = askColours(handle_, WM_CTLCOLORSTATIC);
    Wnd* w = findWnd(handle_);
    if (!w) return;
    const int X = x(), Y = y(), W = this->w(), H = h();
    fl_push_clip(X, Y, W, H);
    fillBackground(*w, c, X, Y, W, H);
    const DWORD type = w->style & SS_TYPEMASK;
    if (type <= SS_RIGHT || type == 0xB /* SS_SIMPLE */ || type == SS_LEFTNOWORDWRAP) {
      const FontUse font = fontFor(w->font);
      fl_font(font.flFont, font.size);
      const int lineHeight = fl_height();
      const bool wrap = type <= SS_RIGHT;
      const auto lines = wrapText(w->text, !(w->style & SS_NOPREFIX), wrap, W);
      const bool enabled = !(w->style & WS_DISABLED);
      for (std::size_t i = 0; i < lines.size(); ++i) {
        const int width = static_cast<int>(fl_width(lines[i].utf8.c_str(), static_cast<int>(lines[i].utf8.size())) + 0.5);
        int left = X;
        if (type == SS_CENTER) left = X + (W - width) / 2;
        if (type == SS_RIGHT) left = X + W - width;
        const int top = Y + static_cast<int>(i) * lineHeight;
        if (c.bkMode == OPAQUE && width > 0)
          fl_rectf(left, top, width, lineHeight, static_cast<Fl_Color>(toFlColour(c.back)));
        fl_color(enabled ? static_cast<Fl_Color>(toFlColour(c.text)) : sys(COLOR_GRAYTEXT));
        drawTextLine(lines[i], font, left, top, lineHeight);
      }
    }
    fl_pop_clip();
  }

 private:
  std::uintptr_t handle_;
};

class EditWidget : public Fl_Input {
 public:
  EditWidget(std::uintptr_t handle, int x, int y, int w, int h)
      : Fl_Input(x, y, w, h), handle_(handle) {
    box(FL_FLAT_BOX);
    when(FL_WHEN_NEVER);
    maximum_size(0x1FFFFFFF);
  }

  int handle(int event) override {
    FltkScope scope;
    Wnd* w = findWnd(handle_);
    if (!w) return 0;
    switch (event) {
      case FL_KEYBOARD:
      case FL_KEYUP:
      case FL_SHORTCUT:
        return 0;  // the dialog posts keys; editing happens when they are dispatched
      case FL_PASTE:
        if (Fl::event_text() && Fl::event_length() > 0) {
          w->pendingPaste.assign(Fl::event_text(), static_cast<std::size_t>(Fl::event_length()));
          postMessage(handle_, WM_PASTE, 0, 0);
        }
        return 1;
      case FL_DND_ENTER:
      case FL_DND_DRAG:
      case FL_DND_LEAVE:
      case FL_DND_RELEASE:
        return 0;
      case FL_PUSH:
        if (Fl::event_button() == FL_LEFT_MOUSE)
          postMessage(handle_, WM_LBUTTONDOWN, 1, pointFor(this));
        return Fl_Input::handle(event);
      case FL_FOCUS:
      case FL_UNFOCUS: {
        int X, Y, W, H;
        textArea(*w, X, Y, W, H);
        return handletext(event, X, Y, W, H);
      }
      default:
        return Fl_Input::handle(event);
    }
  }

  void draw() override {
    FltkScope scope;
    Wnd* w = findWnd(handle_);
    if (!w) return;
    const bool plain = (w->style & (ES_READONLY | WS_DISABLED)) != 0;
    const PaintColours c = askColours(handle_, plain ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT);
    w = findWnd(handle_);
    if (!w) return;
    const int X = x(), Y = y(), W = this->w(), H = h();
    const int b = borderWidth(*w);
    COLORREF background = c.brush;
    if (c.brushPaintsNothing) {
      const Wnd* d = findWnd(w->parent);
      background = d ? d->paintedBackground : sysColour(COLOR_BTNFACE);
    }
    if (damage() & FL_DAMAGE_ALL) {
      int fx = X, fy = Y, fw = W, fh = H;
      if (w->exStyle & WS_EX_CLIENTEDGE) {
        frame(fx, fy, fw, fh, sys(COLOR_BTNSHADOW), sys(COLOR_BTNHIGHLIGHT));
        frame(fx + 1, fy + 1, fw - 2, fh - 2, sys(COLOR_3DDKSHADOW), sys(COLOR_3DLIGHT));
        fx += 2; fy += 2; fw -= 4; fh -= 4;
      }
      if (w->style & WS_BORDER) {
        frame(fx, fy, fw, fh, sys(COLOR_WINDOWFRAME), sys(COLOR_WINDOWFRAME));
      }
      fl_rectf(X + b, Y + b, std::max(0, W - 2 * b), std::max(0, H - 2 * b),
               static_cast<Fl_Color>(toFlColour(background)));
    }
    const FontUse font = fontFor(w->font);
    textfont(font.flFont);
    textsize(font.size);
    color(static_cast<Fl_Color>(toFlColour(background)));
    textcolor(static_cast<Fl_Color>(toFlColour(
        (w->style & WS_DISABLED) ? sysColour(COLOR_GRAYTEXT) : c.text)));
    selection_color(sys(COLOR_HIGHLIGHT));
    cursor_color(FL_BLACK);
    int tx, ty, tw, th;
    textArea(*w, tx, ty, tw, th);
    if (tw > 0 && th > 0) drawtext(tx, ty, tw, th);
  }

  void textArea(const Wnd& w, int& X, int& Y, int& W, int& H) const {
    const int b = borderWidth(w);
    X = x() + b + kEditMargin;
    Y = y() + b;
    W = this->w() - 2 * b - 2 * kEditMargin;
    H = h() - 2 * b;
  }

  // The widest text the box shows without scrolling: drawtext starts one pixel in and
  // leaves two for the caret.
  int widthLimit(const Wnd& w) const {
    int X, Y, W, H;
    textArea(w, X, Y, W, H);
    return W - 3;
  }

  bool fits(const Wnd& w, const std::string& utf8) const {
    if (w.style & ES_AUTOHSCROLL) return true;
    const FontUse font = fontFor(w.font);
    fl_font(font.flFont, font.size);
    return fl_width(utf8.c_str(), static_cast<int>(utf8.size())) <= widthLimit(w);
  }

  using Fl_Input_::word_end;
  using Fl_Input_::word_start;

 private:
  std::uintptr_t handle_;
};

EditWidget* editOf(Wnd& w) { return dynamic_cast<EditWidget*>(w.widget); }

void syncEditText(Wnd& w, EditWidget* in) {
  w.text = utf8ToAnsi(in->value(), static_cast<std::size_t>(in->size()));
}

std::size_t ansiLength(const char* utf8, std::size_t bytes) { return utf8ToAnsi(utf8, bytes).size(); }

int prevChar(const EditWidget* in, int i) {
  const char* v = in->value();
  if (i <= 0) return 0;
  --i;
  while (i > 0 && (static_cast<unsigned char>(v[i]) & 0xC0) == 0x80) --i;
  return i;
}

int nextChar(const EditWidget* in, int i) {
  const char* v = in->value();
  const int size = in->size();
  if (i >= size) return size;
  ++i;
  while (i < size && (static_cast<unsigned char>(v[i]) & 0xC0) == 0x80) ++i;
  return i;
}

// Replaces the selection with as much of `ansi` as the edit takes: no more characters
// than its limit, and, without ES_AUTOHSCROLL, no more than its width shows.
int insertText(Wnd& w, EditWidget* in, std::string ansi) {
  const std::string value(in->value(), static_cast<std::size_t>(in->size()));
  const int b = std::min(in->position(), in->mark());
  const int e = std::max(in->position(), in->mark());
  const std::string before = value.substr(0, static_cast<std::size_t>(b));
  const std::string after = value.substr(static_cast<std::size_t>(e));
  int outcome = 0;
  const std::size_t kept = ansiLength(before.data(), before.size()) + ansiLength(after.data(), after.size());
  const std::size_t room = w.editLimit > kept ? w.editLimit - kept : 0;
  if (ansi.size() > room) {
    ansi.resize(room);
    outcome |= kEditFull;
  }
  while (!ansi.empty() && !in->fits(w, before + ansiToUtf8(ansi) + after)) {
    ansi.pop_back();
    outcome |= kEditFull;
  }
  if (ansi.empty() && b == e) return outcome;
  const std::string utf8 = ansiToUtf8(ansi);
  in->replace(b, e, utf8.c_str(), static_cast<int>(utf8.size()));
  syncEditText(w, in);
  return outcome | kEditChanged;
}

int deleteRange(Wnd& w, EditWidget* in, int from, int to) {
  if (from == to) return 0;
  in->replace(from, to, nullptr, 0);
  syncEditText(w, in);
  return kEditChanged;
}

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
  const int status = XGetWindowProperty(fl_display, RootWindow(fl_display, fl_screen), check, 0, 1,
                                        False, XA_WINDOW, &type, &format, &count, &remaining, &data);
  if (data) XFree(data);
  return status == Success && type == XA_WINDOW && count == 1;
}

}  // namespace

// ---- Creation and the X side of dialogs ----------------------------------------------------------
Fl_Window* createDialogWidget(std::uintptr_t handle, int x, int y, int w, int h) {
  Fl_Group::current(nullptr);
  return new DialogWindow(handle, x, y, w, h);
}

Fl_Widget* createControlWidget(std::uintptr_t handle, WindowKind kind, int x, int y, int w, int h) {
  Wnd* c = findWnd(handle);
  Wnd* d = c ? findWnd(c->parent) : nullptr;
  auto* window = d ? dynamic_cast<DialogWindow*>(d->widget) : nullptr;
  if (!window) return nullptr;
  Fl_Group::current(nullptr);
  Fl_Widget* widget = nullptr;
  switch (kind) {
    case WindowKind::Button: widget = new ButtonWidget(handle, x, y, w, h); break;
    case WindowKind::Static: widget = new StaticWidget(handle, x, y, w, h); break;
    case WindowKind::Edit: widget = new EditWidget(handle, x, y, w, h); break;
    case WindowKind::Dialog: return nullptr;
  }
  window->add(widget);
  window->redraw();
  return widget;
}

void syncWidgetText(Wnd& w) {
  if (!w.widget) return;
  if (w.kind == WindowKind::Dialog) {
    w.widget->copy_label(ansiToUtf8(w.text).c_str());
  } else if (w.kind == WindowKind::Edit) {
    editSetText(w);
  } else {
    w.widget->redraw();
  }
}

void redrawWindow(Wnd& w) {
  if (w.widget) w.widget->redraw();
}

void showDialogWidget(Wnd& d, int command) {
  auto* window = dynamic_cast<DialogWindow*>(d.widget);
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
  if (command == 2 /* SW_SHOWMINIMIZED */ || command == 6 /* SW_MINIMIZE */ ||
      command == 7 /* SW_SHOWMINNOACTIVE */)
    window->iconize();
}

void placeDialogWidget(Wnd& d) {
  auto* window = dynamic_cast<DialogWindow*>(d.widget);
  if (!window) return;
  const int w = std::max(1, d.w), h = std::max(1, d.h);
  window->resize(d.x, d.y, w, h);
  window->size_range(w, h, w, h);
}

void hideDialogWidget(Wnd& d) {
  auto* window = dynamic_cast<DialogWindow*>(d.widget);
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

// A fixed-size window with a caption and, with WS_SYSMENU, only a close box: Motif hints,
// which window managers read for the buttons and actions they offer.
void applyWindowManagerHints(Wnd& d) {
  auto* window = dynamic_cast<DialogWindow*>(d.widget);
  if (!window || !window->shown() || !fl_display) return;
  const Window xid = fl_xid(window);
  enum : long {
    kHintFunctions = 1, kHintDecorations = 2,
    kFuncResize = 2, kFuncMove = 4, kFuncMinimize = 8, kFuncMaximize = 16, kFuncClose = 32,
    kDecorBorder = 2, kDecorResize = 4, kDecorTitle = 8, kDecorMenu = 16, kDecorMinimize = 32,
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
    auto* ownerWindow = dynamic_cast<DialogWindow*>(owner->widget);
    if (ownerWindow && ownerWindow->shown()) XSetTransientForHint(fl_display, xid, fl_xid(ownerWindow));
  }
  XFlush(fl_display);
}

// Gives the dialog the keyboard: directly when no window manager runs (a mapped window
// only), and through _NET_ACTIVE_WINDOW when one does.
void requestActivation(Wnd& d) {
  auto* window = dynamic_cast<DialogWindow*>(d.widget);
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
  auto* window = dynamic_cast<DialogWindow*>(d.widget);
  if (!window) return;
  const int kind = iconKind(d.iconBig) ? iconKind(d.iconBig) : iconKind(d.iconSmall);
  if (!kind) return;
  auto* const* images = static_cast<Fl_RGB_Image* const*>(iconImages(kind));
  const Fl_RGB_Image* list[2] = {images[0], images[1]};
  window->icons(list, 2);
}

void giveWidgetFocus(Wnd& w) {
  if (!w.widget || w.kind == WindowKind::Dialog) return;
  Fl_Widget* current = Fl::focus();
  // Another window has the keyboard: this one's focus waits for its activation.
  if (current && current->top_window() != w.widget->top_window()) return;
  w.widget->take_focus();
}

void setWidgetEnabled(Wnd& w, bool enabled) {
  if (!w.widget) return;
  if (enabled) {
    w.widget->activate();
  } else {
    w.widget->deactivate();
  }
  w.widget->redraw();
}

void setWidgetVisible(Wnd& w, bool visible) {
  if (!w.widget || w.kind == WindowKind::Dialog) return;
  if (visible) {
    w.widget->show();
  } else {
    w.widget->hide();
  }
  if (Fl_Window* window = w.widget->window()) window->redraw();
}

void detachWidget(Wnd& w) {
  Fl_Widget* widget = w.widget;
  w.widget = nullptr;
  if (!widget) return;
  if (!insideFltk()) widget->hide();
  deleteWidgetLater(widget);
}

// ---- Editing ----------------------------------------------------------------------------------------------
int editChar(Wnd& w, unsigned char ch) {
  EditWidget* in = editOf(w);
  if (!in) return 0;
  const bool readOnly = (w.style & ES_READONLY) != 0;
  const int pos = in->position(), mark = in->mark();
  switch (ch) {
    case 0x01:  // Ctrl+A
      in->position(in->size(), 0);
      return 0;
    case 0x03:  // Ctrl+C
      in->copy(1);
      return 0;
    default:
      break;
  }
  if (readOnly) return 0;
  switch (ch) {
    case 0x08:  // Backspace
      if (pos != mark) return deleteRange(w, in, std::min(pos, mark), std::max(pos, mark));
      return deleteRange(w, in, prevChar(in, pos), pos);
    case 0x16:  // Ctrl+V
      return editPaste(w);
    case 0x18:  // Ctrl+X
      if (pos == mark) return 0;
      in->copy(1);
      return deleteRange(w, in, std::min(pos, mark), std::max(pos, mark));
    case 0x1A:  // Ctrl+Z
      if (!in->undo()) return 0;
      syncEditText(w, in);
      return kEditChanged;
    default:
      break;
  }
  if (ch < 0x20 || ch == 0x7F) return 0;
  return insertText(w, in, std::string(1, static_cast<char>(ch)));
}

int editKey(Wnd& w, WPARAM vk, int modifiers) {
  EditWidget* in = editOf(w);
  if (!in) return 0;
  const bool shift = (modifiers & FL_SHIFT) != 0;
  const bool ctrl = (modifiers & FL_CTRL) != 0;
  const bool readOnly = (w.style & ES_READONLY) != 0;
  const int pos = in->position(), mark = in->mark();
  auto moveTo = [&](int target) {
    in->position(target, shift ? mark : target);
    return 0;
  };
  switch (vk) {
    case VK_LEFT:
      return moveTo(ctrl ? in->word_start(prevChar(in, pos)) : prevChar(in, pos));
    case VK_RIGHT:
      return moveTo(ctrl ? in->word_end(nextChar(in, pos)) : nextChar(in, pos));
    case VK_HOME:
      return moveTo(0);
    case VK_END:
      return moveTo(in->size());
    case VK_DELETE:
      if (readOnly) return 0;
      if (shift) {
        if (pos == mark) return 0;
        in->copy(1);
        return deleteRange(w, in, std::min(pos, mark), std::max(pos, mark));
      }
      if (pos != mark) return deleteRange(w, in, std::min(pos, mark), std::max(pos, mark));
      return deleteRange(w, in, pos, nextChar(in, pos));
    case VK_INSERT:
      if (ctrl) in->copy(1);
      if (shift && !readOnly) return editPaste(w);
      return 0;
    default:
      return 0;
  }
}

int editPaste(Wnd& w) {
  EditWidget* in = editOf(w);
  if (!in || (w.style & ES_READONLY)) return 0;
  if (w.pendingPaste.empty()) {
    Fl::paste(*in, 1);  // the text comes back as FL_PASTE, then WM_PASTE
    return 0;
  }
  std::string ansi = utf8ToAnsi(w.pendingPaste.data(), w.pendingPaste.size());
  w.pendingPaste.clear();
  // A single-line edit takes the clipboard up to its first line end.
  const std::size_t lineEnd = ansi.find_first_of("\r\n");
  if (lineEnd != std::string::npos) ansi.resize(lineEnd);
  ansi.erase(std::remove_if(ansi.begin(), ansi.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; }),
             ansi.end());
  if (ansi.empty()) return 0;
  return insertText(w, in, ansi);
}

void editSetSelection(Wnd& w, long start, long end) {
  EditWidget* in = editOf(w);
  if (!in) return;
  const long length = static_cast<long>(w.text.size());
  auto utf8Offset = [&](long ansiIndex) {
    ansiIndex = std::clamp(ansiIndex, 0L, length);
    return static_cast<int>(ansiToUtf8(w.text.substr(0, static_cast<std::size_t>(ansiIndex))).size());
  };
  if (start == -1) {
    in->position(in->position(), in->position());
    return;
  }
  if (end < 0 || end > length) end = length;
  in->position(utf8Offset(end), utf8Offset(start));
}

LRESULT editGetSelection(Wnd& w, WPARAM wParam, LPARAM lParam) {
  EditWidget* in = editOf(w);
  DWORD start = 0, end = 0;
  if (in) {
    const int b = std::min(in->position(), in->mark());
    const int e = std::max(in->position(), in->mark());
    start = static_cast<DWORD>(ansiLength(in->value(), static_cast<std::size_t>(b)));
    end = static_cast<DWORD>(ansiLength(in->value(), static_cast<std::size_t>(e)));
  }
  if (wParam) *reinterpret_cast<DWORD*>(wParam) = start;
  if (lParam) *reinterpret_cast<DWORD*>(lParam) = end;
  return static_cast<LRESULT>((std::min<DWORD>(start, 0xFFFF)) | (std::min<DWORD>(end, 0xFFFF) << 16));
}

void editSetText(Wnd& w) {
  EditWidget* in = editOf(w);
  if (!in) return;
  const std::string utf8 = ansiToUtf8(w.text);
  in->value(utf8.c_str(), static_cast<int>(utf8.size()));
  in->position(0, 0);
  in->readonly((w.style & ES_READONLY) ? 1 : 0);
  in->redraw();
}

}  // namespace fltkwin
