// The BUTTON class on Linux: push buttons that click on a mouse release inside them, on
// Space released, and on BM_CLICK, and that act as the default while focused; drawn the
// classic Win32 way (3-D frame, black default border, dotted focus rectangle) as an FLTK
// widget whose input only posts messages. Leaves out check boxes, radio buttons, group
// boxes, owner-drawn and image buttons.
#include "button.h"

#include <FL/Fl.H>
#include <FL/Fl_Widget.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "dialog_window.h"
#include "display.h"
#include "focus.h"
#include "gdi.h"
#include "message_queue.h"
#include "paint.h"
#include "text.h"
#include "win32_values.h"
#include "window.h"

namespace fltkwin {

namespace {

bool isPushButton(const Wnd& w) {
  return w.kind == WindowKind::Button && (w.style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON;
}

// A push button looks and acts as the default while it has the focus; otherwise the
// dialog's DM_SETDEFID button does, as in Win32 dialogs.
bool actsAsDefault(const Wnd& button) {
  if (!isPushButton(button)) return false;
  const std::uintptr_t focus = focusedWindow();
  if (focus == button.handle) return true;
  Wnd* f = findWnd(focus);
  if (f && f->parent == button.parent && isPushButton(*f)) return false;
  Wnd* d = findWnd(button.parent);
  if (d && d->defId != 0) return d->defId == button.id;
  return (button.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
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
        postMessage(handle_, WM_LBUTTONDOWN, MK_LBUTTON, mousePointIn(this));
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
        postMessage(handle_, WM_LBUTTONUP, 0, mousePointIn(this));
        return 1;
      case FL_FOCUS:
      case FL_UNFOCUS:
      case FL_ENTER:
      case FL_LEAVE: return 1;
      default: return 0;
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
    fl_rectf(X, Y, W, H, static_cast<Fl_Color>(flSysColour(COLOR_BTNFACE)));
    if (isDefault || pressed) {
      drawFrame(X, Y, W, H, FL_BLACK, FL_BLACK);
      X += 1;
      Y += 1;
      W -= 2;
      H -= 2;
    }
    if (pressed) {
      drawFrame(X, Y, W, H, flSysColour(COLOR_BTNSHADOW), flSysColour(COLOR_BTNSHADOW));
    } else {
      drawFrame(X, Y, W, H, flSysColour(COLOR_BTNHIGHLIGHT), flSysColour(COLOR_3DDKSHADOW));
      drawFrame(X + 1, Y + 1, W - 2, H - 2, flSysColour(COLOR_3DLIGHT),
                flSysColour(COLOR_BTNSHADOW));
    }
    const FontUse font = fontFor(w->font);
    fl_font(font.flFont, font.size);
    const int lineHeight = fl_height();
    const auto lines = wrapText(w->text, true, false, 0);
    const int textTop =
        Y + (H - lineHeight * static_cast<int>(lines.size())) / 2 + (pressed ? 1 : 0);
    fl_push_clip(X + 1, Y + 1, std::max(0, W - 2), std::max(0, H - 2));
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const int left = X + (W - lineWidth(lines[i])) / 2 + (pressed ? 1 : 0);
      const int top = textTop + static_cast<int>(i) * lineHeight;
      if (!enabled) {
        fl_color(static_cast<Fl_Color>(flSysColour(COLOR_BTNHIGHLIGHT)));
        drawTextLine(lines[i], font, left + 1, top + 1, lineHeight);
      }
      fl_color(static_cast<Fl_Color>(flSysColour(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT)));
      drawTextLine(lines[i], font, left, top, lineHeight);
    }
    fl_pop_clip();
    if (focused) drawFocusRect(X + 3, Y + 3, W - 6, H - 6);
  }

 private:
  std::uintptr_t handle_;
  bool mouseDown_ = false;
  bool inside_ = false;
};

}  // namespace

LRESULT buttonProc(Wnd& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const std::uintptr_t handle = w.handle;
  switch (message) {
    case WM_GETDLGCODE:
      return DLGC_BUTTON | (actsAsDefault(w) ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case WM_LBUTTONDOWN:
      if (w.style & WS_DISABLED) return 0;
      w.mouseCaptured = true;
      if (focusedWindow() != handle) setFocusTo(handle);
      return 0;
    case WM_LBUTTONUP: {
      if (!w.mouseCaptured) return 0;
      w.mouseCaptured = false;
      const int x = static_cast<short>(lParam & 0xFFFF);
      const int y = static_cast<short>((lParam >> 16) & 0xFFFF);
      if (x >= 0 && y >= 0 && x < w.w && y < w.h) notifyParent(handle, BN_CLICKED);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_SPACE && !w.spaceDown) {
        w.spaceDown = true;
        w.pressedLook = true;
        redrawWindow(w);
      }
      return 0;
    case WM_KEYUP:
      if (wParam == VK_SPACE && w.spaceDown) {
        w.spaceDown = false;
        w.pressedLook = false;
        redrawWindow(w);
        notifyParent(handle, BN_CLICKED);
      }
      return 0;
    case WM_KILLFOCUS:
      w.spaceDown = false;
      w.pressedLook = false;
      w.mouseCaptured = false;
      redrawWindow(w);
      return 0;
    case WM_SETFOCUS: redrawWindow(w); return 0;
    case BM_CLICK:
      if (w.style & WS_DISABLED) return 0;
      sendMessage(handle, WM_LBUTTONDOWN, 0, 0);
      sendMessage(handle, WM_LBUTTONUP, 0, 0);
      return 0;
    default: return defControlProc(w, message, wParam, lParam);
  }
}

Fl_Widget* createButtonWidget(std::uintptr_t handle, int x, int y, int w, int h) {
  return new ButtonWidget(handle, x, y, w, h);
}

void redrawButtonsOf(std::uintptr_t dialog) {
  Wnd* d = findWnd(dialog);
  if (!d) return;
  for (std::uintptr_t c : d->children)
    if (Wnd* w = findWnd(c); w && w->kind == WindowKind::Button) redrawWindow(*w);
}

}  // namespace fltkwin
