// Painting of controls on Linux: the WM_CTLCOLOR* request a control makes before it
// paints, answered through a DC of gdi.cpp, and the drawing pieces the classic Win32
// controls share, on FLTK's fl_draw. Leaves out themes and WM_PAINT.
#include "paint.h"

#include <FL/fl_draw.H>

#include "gdi.h"
#include "win32_values.h"
#include "window.h"

namespace fltkwin {

PaintColours askColours(std::uintptr_t window, UINT message) {
  PaintColours out;
  Wnd* w = findWnd(window);
  if (!w) return out;
  const std::uintptr_t target = w->kind == WindowKind::Dialog ? window : w->parent;
  const HDC dc = createDc(window);
  const LRESULT answer =
      sendMessage(target, message, reinterpret_cast<WPARAM>(dc), static_cast<LPARAM>(window));
  COLORREF colour = 0;
  bool nothing = false;
  if (answer && brushColour(reinterpret_cast<HBRUSH>(answer), colour, nothing)) {
    if (DcState* s = findDc(dc)) {
      out.text = s->text;
      out.back = s->back;
      out.bkMode = s->bkMode;
    }
    out.brush = colour;
    out.brushPaintsNothing = nothing;
  } else {
    // No brush came back: the class's default colours, as if nobody had answered.
    const HDC fresh = createDc(window);
    brushColour(reinterpret_cast<HBRUSH>(defaultCtlColor(message, fresh)), out.brush, nothing);
    if (DcState* s = findDc(fresh)) {
      out.text = s->text;
      out.back = s->back;
    }
    releaseDc(fresh);
  }
  releaseDc(dc);
  return out;
}

LRESULT defaultCtlColor(UINT message, HDC dc) {
  int text = COLOR_WINDOWTEXT, back = COLOR_BTNFACE;
  switch (message) {
    case WM_CTLCOLORMSGBOX:
      text = COLOR_MENUTEXT;
      back = COLOR_MENU;
      break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: back = COLOR_WINDOW; break;
    case WM_CTLCOLORBTN: text = COLOR_BTNTEXT; break;
    case WM_CTLCOLORSCROLLBAR: back = COLOR_SCROLLBAR; break;
    default: break;
  }
  if (DcState* s = findDc(dc)) {
    s->text = sysColour(text);
    s->back = sysColour(back);
  }
  return reinterpret_cast<LRESULT>(sysColourBrush(back));
}

COLORREF controlBackground(const Wnd& control, const PaintColours& c) {
  if (!c.brushPaintsNothing) return c.brush;
  const Wnd* d = findWnd(control.parent);
  return d ? d->paintedBackground : sysColour(COLOR_BTNFACE);
}

unsigned flColour(COLORREF colour) {
  return fl_rgb_color(static_cast<uchar>(colour & 0xFF), static_cast<uchar>((colour >> 8) & 0xFF),
                      static_cast<uchar>((colour >> 16) & 0xFF));
}

unsigned flSysColour(int index) { return flColour(sysColour(index)); }

void drawFrame(int x, int y, int w, int h, unsigned topLeft, unsigned bottomRight) {
  if (w <= 0 || h <= 0) return;
  fl_color(static_cast<Fl_Color>(topLeft));
  fl_xyline(x, y, x + w - 1);
  fl_yxline(x, y, y + h - 1);
  fl_color(static_cast<Fl_Color>(bottomRight));
  fl_xyline(x, y + h - 1, x + w - 1);
  fl_yxline(x + w - 1, y, y + h - 1);
}

void drawFocusRect(int x, int y, int w, int h) {
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

}  // namespace fltkwin
