// What the controls of the Linux window system paint with: the colours their dialog
// answers to WM_CTLCOLOR*, the background a brush leaves, the classic 3-D frames, and
// COLORREF to FLTK colours. Drawing happens in the current FLTK drawing context.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace fltkwin {

struct Wnd;

// The colours a control paints with: the answer to its WM_CTLCOLOR* request.
struct PaintColours {
  COLORREF text = 0;
  COLORREF back = 0xFFFFFF;
  int bkMode = OPAQUE;
  COLORREF brush = 0xF0F0F0;
  bool brushPaintsNothing = false;
};
PaintColours askColours(std::uintptr_t window, UINT message);
// DefWindowProc's answer to WM_CTLCOLOR*: the class's system colours set into `dc`, and
// the brush.
LRESULT defaultCtlColor(UINT message, HDC dc);
// What a control's brush paints; a NULL_BRUSH shows the dialog behind the control.
COLORREF controlBackground(const Wnd& control, const PaintColours& colours);

unsigned flColour(COLORREF colour);  // Fl_Color
unsigned flSysColour(int index);     // Fl_Color of a COLOR_* system colour
// A one-pixel frame: the top and left edges in one colour, the bottom and right in another.
void drawFrame(int x, int y, int w, int h, unsigned topLeft, unsigned bottomRight);
void drawFocusRect(int x, int y, int w, int h);  // dotted, as DrawFocusRect

}  // namespace fltkwin
