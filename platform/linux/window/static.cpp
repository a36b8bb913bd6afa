// The STATIC class on Linux: text statics (SS_LEFT wrapped between words, SS_CENTER,
// SS_RIGHT, SS_SIMPLE, SS_LEFTNOWORDWRAP, "&" mnemonics unless SS_NOPREFIX) painted in
// the colours the dialog answers to WM_CTLCOLORSTATIC, as an FLTK widget. Leaves out
// icons, bitmaps, frames, rectangles, SS_NOTIFY and ellipses.
#include "static.h"

#include <FL/Fl.H>
#include <FL/Fl_Widget.H>
#include <FL/fl_draw.H>

#include "display.h"
#include "gdi.h"
#include "paint.h"
#include "text.h"
#include "win32_values.h"
#include "window.h"

namespace fltkwin {

namespace {

class StaticWidget : public Fl_Widget {
 public:
  StaticWidget(std::uintptr_t handle, int x, int y, int w, int h)
      : Fl_Widget(x, y, w, h), handle_(handle) {}

  int handle(int event) override { return event == FL_FOCUS || event == FL_UNFOCUS ? 1 : 0; }

  void draw() override {
    FltkScope scope;
    if (!findWnd(handle_)) return;
    const PaintColours c = askColours(handle_, WM_CTLCOLORSTATIC);
    Wnd* w = findWnd(handle_);
    if (!w) return;
    const int X = x(), Y = y(), W = this->w(), H = h();
    fl_push_clip(X, Y, W, H);
    fl_rectf(X, Y, W, H, static_cast<Fl_Color>(flColour(controlBackground(*w, c))));
    const DWORD type = w->style & SS_TYPEMASK;
    if (type <= SS_RIGHT || type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP) {
      const FontUse font = fontFor(w->font);
      fl_font(font.flFont, font.size);
      const int lineHeight = fl_height();
      const bool wrap = type <= SS_RIGHT;
      const auto lines = wrapText(w->text, !(w->style & SS_NOPREFIX), wrap, W);
      const bool enabled = !(w->style & WS_DISABLED);
      for (std::size_t i = 0; i < lines.size(); ++i) {
        const int width = lineWidth(lines[i]);
        int left = X;
        if (type == SS_CENTER) left = X + (W - width) / 2;
        if (type == SS_RIGHT) left = X + W - width;
        const int top = Y + static_cast<int>(i) * lineHeight;
        if (c.bkMode == OPAQUE && width > 0)
          fl_rectf(left, top, width, lineHeight, static_cast<Fl_Color>(flColour(c.back)));
        fl_color(static_cast<Fl_Color>(enabled ? flColour(c.text) : flSysColour(COLOR_GRAYTEXT)));
        drawTextLine(lines[i], font, left, top, lineHeight);
      }
    }
    fl_pop_clip();
  }

 private:
  std::uintptr_t handle_;
};

}  // namespace

LRESULT staticProc(Wnd& w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_GETDLGCODE) return DLGC_STATIC;
  return defControlProc(w, message, wParam, lParam);
}

Fl_Widget* createStaticWidget(std::uintptr_t handle, int x, int y, int w, int h) {
  return new StaticWidget(handle, x, y, w, h);
}

}  // namespace fltkwin
