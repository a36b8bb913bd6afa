// GDI32 on Linux: DCs that record text colour, background colour and mode, solid brushes,
// stock objects, LOGFONTA fonts and the classic system colours, on FLTK 1.3's Xft fonts
// (fontconfig picks faces: "Arial" finds Liberation Sans). Leaves out drawing through an
// HDC, pens, bitmaps, regions and rotated text (lfEscapement is ignored).
#include "gdi.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>

#include "display.h"
#include "win32_values.h"
#include "window.h"

namespace fltkwin {

namespace {

// Handle ranges (icons sit between the stock objects and the run-time ones; see gdi.h).
constexpr std::uintptr_t kSysBrushBase = 0x00300000;  // + COLOR_* index
constexpr std::uintptr_t kStockBase = 0x00310000;     // + stock object index
constexpr std::uintptr_t kObjectBase = 0x00400000;    // brushes, fonts and DCs made at run time
static_assert(kStockBase < kIconHandleBase && kIconHandleBase < kObjectBase);
constexpr int kSysColourCount = 31;

enum class GdiType { Brush, Font, Dc };

struct FontResolution {
  bool resolved = false;
  FontUse use;
};

struct GdiObject {
  GdiType type = GdiType::Brush;
  COLORREF colour = 0;
  LOGFONTA logFont{};
  FontResolution font;
  DcState dc;
};

std::unordered_map<std::uintptr_t, GdiObject>& objects() {
  static std::unordered_map<std::uintptr_t, GdiObject> table;
  return table;
}
std::uintptr_t nextObject = kObjectBase;

std::uintptr_t raw(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

GdiObject* findObject(const void* handle, GdiType type) {
  auto it = objects().find(raw(handle));
  if (it == objects().end() || it->second.type != type) return nullptr;
  return &it->second;
}

std::uintptr_t addObject(GdiObject object) {
  const std::uintptr_t handle = nextObject;
  nextObject += 4;
  objects().emplace(handle, std::move(object));
  return handle;
}

// The classic Windows palette (COLORREF, 0x00BBGGRR).
constexpr COLORREF kSysColours[kSysColourCount] = {
    0xC8C8C8,  // 0 COLOR_SCROLLBAR
    0x000000,  // 1 COLOR_BACKGROUND
    0xD1B499,  // 2 COLOR_ACTIVECAPTION
    0xDBCDBF,  // 3 COLOR_INACTIVECAPTION
    0xF0F0F0,  // 4 COLOR_MENU
    0xFFFFFF,  // 5 COLOR_WINDOW
    0x000000,  // 6 COLOR_WINDOWFRAME
    0x000000,  // 7 COLOR_MENUTEXT
    0x000000,  // 8 COLOR_WINDOWTEXT
    0x000000,  // 9 COLOR_CAPTIONTEXT
    0xB4B4B4,  // 10 COLOR_ACTIVEBORDER
    0xFCF7F4,  // 11 COLOR_INACTIVEBORDER
    0xABABAB,  // 12 COLOR_APPWORKSPACE
    0xFF9933,  // 13 COLOR_HIGHLIGHT
    0xFFFFFF,  // 14 COLOR_HIGHLIGHTTEXT
    0xF0F0F0,  // 15 COLOR_BTNFACE
    0xA0A0A0,  // 16 COLOR_BTNSHADOW
    0x6D6D6D,  // 17 COLOR_GRAYTEXT
    0x000000,  // 18 COLOR_BTNTEXT
    0x000000,  // 19 COLOR_INACTIVECAPTIONTEXT
    0xFFFFFF,  // 20 COLOR_BTNHIGHLIGHT
    0x696969,  // 21 COLOR_3DDKSHADOW
    0xE3E3E3,  // 22 COLOR_3DLIGHT
    0x000000,  // 23 COLOR_INFOTEXT
    0xE1FFFF,  // 24 COLOR_INFOBK
    0x000000,  // 25 (unused)
    0xCC6600,  // 26 COLOR_HOTLIGHT
    0xEAD1B9,  // 27 COLOR_GRADIENTACTIVECAPTION
    0xF2E4D7,  // 28 COLOR_GRADIENTINACTIVECAPTION
    0xFF9933,  // 29 COLOR_MENUHILIGHT
    0xF0F0F0,  // 30 COLOR_MENUBAR
};

bool validSysColour(int index) { return index >= 0 && index < kSysColourCount && index != 25; }

constexpr COLORREF kStockBrushColours[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};

// Stock fonts, as Windows describes them; the faces go through fontconfig like any other.
bool stockFontLogFont(int index, LOGFONTA& lf) {
  lf = LOGFONTA{};
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfWeight = FW_NORMAL;
  switch (index) {
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case SYSTEM_FIXED_FONT:
      std::strcpy(lf.lfFaceName, "Courier New");
      lf.lfHeight = 16;
      return true;
    case ANSI_VAR_FONT:
    case DEFAULT_GUI_FONT:
      std::strcpy(lf.lfFaceName, "MS Sans Serif");
      lf.lfHeight = -mulDiv(8, screenDpi(), 72);
      return true;
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT:
      std::strcpy(lf.lfFaceName, "Sans");
      lf.lfWeight = FW_BOLD;
      lf.lfHeight = 16;
      return true;
    default: return false;
  }
}

// FLTK names an Xft font by a style letter and the family; each distinct name gets a
// font number of its own. FLTK keeps the name pointer, so names live for the process.
int flFontNumber(const std::string& face, bool bold, bool italic) {
  static std::map<std::string, int> numbers;
  static int next = FL_FREE_FONT;
  std::string name(1, bold ? (italic ? 'P' : 'B') : (italic ? 'I' : ' '));
  name += face;
  auto it = numbers.find(name);
  if (it != numbers.end()) return it->second;
  const int number = next++;
  char* kept = new char[name.size() + 1];
  std::memcpy(kept, name.c_str(), name.size() + 1);
  Fl::set_font(static_cast<Fl_Font>(number), kept);
  numbers.emplace(name, number);
  return number;
}

// Only plain printable ASCII reaches fontconfig; a comma would make FLTK read a list and
// a leading '-' an X logical font description.
std::string cleanFace(const char* face) {
  std::string out;
  for (int i = 0; i < LF_FACESIZE && face[i]; ++i) {
    const unsigned char c = static_cast<unsigned char>(face[i]);
    if (c >= 0x20 && c < 0x7F && c != ',' && !(out.empty() && (c == '-' || c == ' '))) out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out.empty() ? std::string("Sans") : out;
}

FontUse resolve(const LOGFONTA& lf) {
  FontUse use;
  use.underline = lf.lfUnderline != 0;
  use.strikeOut = lf.lfStrikeOut != 0;
  use.flFont = flFontNumber(cleanFace(lf.lfFaceName), lf.lfWeight >= 600, lf.lfItalic != 0);
  const long long height = lf.lfHeight;
  long long em;
  if (height < 0) {
    em = -height;  // character height: the em
  } else if (height > 0) {
    em = height;  // cell height: scaled down until ascent + descent fit
  } else {
    em = mulDiv(12, screenDpi(), 96);
  }
  em = std::clamp<long long>(em, 1, 1000);
  use.size = static_cast<int>(em);
  if (height > 0 && fl_display) {
    fl_font(use.flFont, use.size);
    const int cell = fl_height();
    if (cell > 0 && cell != height) {
      long long scaled = (height * height + cell / 2) / cell;
      use.size = static_cast<int>(std::clamp<long long>(scaled, 1, 1000));
      for (int tries = 0; tries < 4 && use.size > 1; ++tries) {
        fl_font(use.flFont, use.size);
        if (fl_height() <= height) break;
        --use.size;
      }
    }
  }
  return use;
}

const LOGFONTA* logFontOf(HFONT font) {
  static std::map<int, LOGFONTA> stock;
  const std::uintptr_t value = raw(font);
  if (value >= kStockBase && value < kStockBase + 32) {
    const int index = static_cast<int>(value - kStockBase);
    auto it = stock.find(index);
    if (it == stock.end()) {
      LOGFONTA lf;
      if (!stockFontLogFont(index, lf)) return nullptr;
      it = stock.emplace(index, lf).first;
    }
    return &it->second;
  }
  GdiObject* object = findObject(font, GdiType::Font);
  return object ? &object->logFont : nullptr;
}

}  // namespace

int mulDiv(long long a, long long b, long long c) {
  if (c == 0) return -1;
  long long product = a * b;
  const bool negative = (product < 0) != (c < 0);
  if (product < 0) product = -product;
  if (c < 0) c = -c;
  const long long q = (product + c / 2) / c;  // halves away from zero
  return static_cast<int>(negative ? -q : q);
}

// ---- DCs, brushes, colours
// --------------------------------------------------------------------------
HDC createDc(std::uintptr_t window) {
  GdiObject object;
  object.type = GdiType::Dc;
  object.dc.window = window;
  return reinterpret_cast<HDC>(addObject(std::move(object)));
}

DcState* findDc(HDC dc) {
  GdiObject* object = findObject(dc, GdiType::Dc);
  return object ? &object->dc : nullptr;
}

void releaseDc(HDC dc) {
  if (findObject(dc, GdiType::Dc)) objects().erase(raw(dc));
}

bool brushColour(HBRUSH brush, COLORREF& colour, bool& paintsNothing) {
  const std::uintptr_t value = raw(brush);
  paintsNothing = false;
  if (value >= kSysBrushBase && value < kSysBrushBase + kSysColourCount) {
    colour = sysColour(static_cast<int>(value - kSysBrushBase));
    return true;
  }
  if (value >= kStockBase && value <= kStockBase + NULL_BRUSH) {
    const int index = static_cast<int>(value - kStockBase);
    if (index == NULL_BRUSH) {
      paintsNothing = true;
      colour = 0;
    } else {
      colour = kStockBrushColours[index];
    }
    return true;
  }
  if (GdiObject* object = findObject(brush, GdiType::Brush)) {
    colour = object->colour;
    return true;
  }
  return false;
}

COLORREF sysColour(int index) { return validSysColour(index) ? kSysColours[index] : 0; }

HBRUSH sysColourBrush(int index) {
  if (!validSysColour(index)) return nullptr;
  return reinterpret_cast<HBRUSH>(kSysBrushBase + static_cast<std::uintptr_t>(index));
}

// ---- Fonts
// ------------------------------------------------------------------------------------------------
HFONT createFontFor(const LOGFONTA& logFont) {
  GdiObject object;
  object.type = GdiType::Font;
  object.logFont = logFont;
  object.logFont.lfFaceName[LF_FACESIZE - 1] = '\0';
  return reinterpret_cast<HFONT>(addObject(std::move(object)));
}

FontUse fontFor(HFONT font) {
  static FontResolution system;
  if (GdiObject* object = findObject(font, GdiType::Font)) {
    if (!object->font.resolved && fl_display) object->font = {true, resolve(object->logFont)};
    return object->font.use;
  }
  const LOGFONTA* stock = logFontOf(font);
  if (!stock) stock = logFontOf(reinterpret_cast<HFONT>(kStockBase + SYSTEM_FONT));
  if (stock && fl_display) {
    static std::map<const LOGFONTA*, FontUse> resolvedStock;
    auto it = resolvedStock.find(stock);
    if (it == resolvedStock.end()) it = resolvedStock.emplace(stock, resolve(*stock)).first;
    return it->second;
  }
  return system.use;
}

bool deleteGdiObject(HGDIOBJ object) {
  auto it = objects().find(raw(object));
  if (it == objects().end() || it->second.type == GdiType::Dc) return false;
  objects().erase(it);
  return true;
}

void baseUnits(HFONT font, int& baseX, int& baseY) {
  baseX = 8;
  baseY = 16;
  if (!fl_display) return;
  const FontUse use = fontFor(font);
  fl_font(use.flFont, use.size);
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const long width = std::lround(fl_width(kLetters, 52));
  baseX = static_cast<int>((width / 26 + 1) / 2);
  baseY = fl_height();
  if (baseX < 1) baseX = 1;
  if (baseY < 1) baseY = 1;
}

namespace {

// SetTextColor and SetBkColor: the previous colour, CLR_INVALID for a non-DC.
COLORREF replaceDcColour(HDC dc, COLORREF DcState::*field, COLORREF colour) {
  DcState* state = findDc(dc);
  if (!state) return CLR_INVALID;
  const COLORREF previous = state->*field;
  state->*field = colour & 0x00FFFFFF;
  return previous;
}

}  // namespace

}  // namespace fltkwin

// ---- The GDI32 calls
// ---------------------------------------------------------------------------------------
namespace platform {

using namespace fltkwin;

HDC GetDC(HWND window) {
  const std::uintptr_t handle = fromHwnd(window);
  if (handle && !findWnd(handle)) return nullptr;
  return createDc(handle);
}

int ReleaseDC(HWND, HDC dc) {
  if (!findDc(dc)) return 0;
  releaseDc(dc);
  return 1;
}

int GetDeviceCaps(HDC dc, int index) {
  if (!findDc(dc)) return 0;
  switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY: return screenDpi();
    case HORZRES: return ensureDisplay() ? Fl::w() : 0;
    case VERTRES: return ensureDisplay() ? Fl::h() : 0;
    case BITSPIXEL: return ensureDisplay() ? DefaultDepth(fl_display, fl_screen) : 0;
    case PLANES: return 1;
    default: return 0;
  }
}

HFONT CreateFontIndirectA(const LOGFONTA* logFont) {
  if (!logFont) return nullptr;
  return createFontFor(*logFont);
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  GdiObject object;
  object.type = GdiType::Brush;
  object.colour = colour & 0x00FFFFFF;
  return reinterpret_cast<HBRUSH>(addObject(std::move(object)));
}

BOOL DeleteObject(HGDIOBJ object) {
  const std::uintptr_t value = raw(object);
  if (value >= kSysBrushBase && value < kObjectBase) return TRUE;  // stock: never deleted
  return deleteGdiObject(object) ? TRUE : FALSE;
}

COLORREF SetTextColor(HDC dc, COLORREF colour) {
  return replaceDcColour(dc, &DcState::text, colour);
}

COLORREF SetBkColor(HDC dc, COLORREF colour) { return replaceDcColour(dc, &DcState::back, colour); }

int SetBkMode(HDC dc, int mode) {
  DcState* state = findDc(dc);
  if (!state || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  const int previous = state->bkMode;
  state->bkMode = mode;
  return previous;
}

DWORD GetSysColor(int index) { return sysColour(index); }

HBRUSH GetSysColorBrush(int index) { return sysColourBrush(index); }

HGDIOBJ GetStockObject(int index) {
  if (index >= 0 && index <= NULL_BRUSH) return reinterpret_cast<HGDIOBJ>(kStockBase + index);
  LOGFONTA lf;
  if (stockFontLogFont(index, lf)) return reinterpret_cast<HGDIOBJ>(kStockBase + index);
  return nullptr;
}

}  // namespace platform
