// GDI of the Linux window system: DCs, brushes, system colours and fonts, and MulDiv.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace fltkwin {

// GDI handles and icons share no value with a window or with each other. Every handle
// from 0x00300000 up to the objects made at run time is stock and is never deleted;
// icons take theirs from this base (+ IconKind).
inline constexpr std::uintptr_t kIconHandleBase = 0x00320000;

// MulDiv: a * b / c rounded half away from zero; -1 when c is 0.
int mulDiv(long long a, long long b, long long c);

struct DcState {
  std::uintptr_t window = 0;
  COLORREF text = 0x000000;
  COLORREF back = 0xFFFFFF;
  int bkMode = OPAQUE;
};
HDC createDc(std::uintptr_t window);
DcState* findDc(HDC dc);
void releaseDc(HDC dc);

// What a brush paints: a colour, or nothing (NULL_BRUSH). False for a non-brush.
bool brushColour(HBRUSH brush, COLORREF& colour, bool& paintsNothing);
HBRUSH sysColourBrush(int index);
COLORREF sysColour(int index);

struct FontUse {
  int flFont = 0;  // Fl_Font
  int size = 12;   // FLTK size: pixels per em
  bool underline = false;
  bool strikeOut = false;
};
FontUse fontFor(HFONT font);  // an unknown or deleted font falls back to the system font
HFONT createFontFor(const LOGFONTA& logFont);
bool deleteGdiObject(HGDIOBJ object);  // false for a stock object, a DC or a non-object
// Dialog base units of a font, Win32's way: average of the 52 letters, and the height.
void baseUnits(HFONT font, int& baseX, int& baseY);

}  // namespace fltkwin
