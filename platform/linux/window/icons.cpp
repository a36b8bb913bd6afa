// Stock icons on Linux: LoadIconA for the IDI_* icons, drawn rather than loaded: a
// generic application window for the window manager, and the error, warning, question
// and information symbols a message box draws, on FLTK 1.3's fl_draw. Leaves out icon
// resources, cursors, DrawIcon and icons of other sizes.
#include "icons.h"

#include <FL/Enumerations.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "gdi.h"

namespace fltkwin {

namespace {

void drawApplicationIcon(unsigned char* rgba, int size) {
  const int border = std::max(1, size / 16);
  const int top = size / 8, bottom = size - size / 8, left = size / 16, right = size - size / 16;
  const int title = top + std::max(3, size / 5);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      unsigned char* p = rgba + 4 * (y * size + x);
      p[0] = p[1] = p[2] = p[3] = 0;
      if (x < left || x >= right || y < top || y >= bottom) continue;
      p[3] = 255;
      if (x < left + border || x >= right - border || y < top + border || y >= bottom - border) {
        p[0] = p[1] = p[2] = 0x40;
      } else if (y < title) {
        p[0] = 0x00;
        p[1] = 0x40;
        p[2] = 0xA8;
      } else {
        p[0] = p[1] = p[2] = 0xFF;
      }
    }
  }
}

}  // namespace

HICON stockIcon(IconKind kind) {
  if (kind < kIconApplication || kind > kIconInformation) return nullptr;
  return reinterpret_cast<HICON>(kIconHandleBase + static_cast<std::uintptr_t>(kind));
}

IconKind iconKind(HICON icon) {
  const auto value = reinterpret_cast<std::uintptr_t>(icon);
  if (value > kIconHandleBase && value <= kIconHandleBase + kIconInformation)
    return static_cast<IconKind>(value - kIconHandleBase);
  return kIconNone;
}

const Fl_RGB_Image* const* iconImages(IconKind kind) {
  // Every stock icon shows as the generic application icon in the window manager.
  (void)kind;
  static const Fl_RGB_Image* images[2] = {nullptr, nullptr};
  static std::unique_ptr<unsigned char[]> pixels16, pixels32;
  if (!images[0]) {
    pixels16.reset(new unsigned char[16 * 16 * 4]);
    pixels32.reset(new unsigned char[32 * 32 * 4]);
    drawApplicationIcon(pixels16.get(), 16);
    drawApplicationIcon(pixels32.get(), 32);
    images[0] = new Fl_RGB_Image(pixels16.get(), 16, 16, 4);
    images[1] = new Fl_RGB_Image(pixels32.get(), 32, 32, 4);
  }
  return images;
}

void drawIcon(int kind, int x, int y, int size) {
  const int stroke = std::max(2, size / 9);
  switch (kind) {
    case kIconError: {  // a red disc with a white cross
      fl_color(fl_rgb_color(0xD0, 0x10, 0x10));
      fl_pie(x, y, size, size, 0, 360);
      fl_color(FL_WHITE);
      fl_line_style(FL_SOLID | FL_CAP_ROUND, stroke);
      const int a = size * 3 / 10, b = size - a - 1;
      fl_line(x + a, y + a, x + b, y + b);
      fl_line(x + b, y + a, x + a, y + b);
      fl_line_style(0);
      break;
    }
    case kIconWarning: {  // a yellow triangle with "!"
      fl_color(fl_rgb_color(0xF8, 0xD0, 0x20));
      fl_polygon(x + size / 2, y, x + size - 1, y + size - 1, x, y + size - 1);
      fl_color(FL_BLACK);
      fl_font(FL_HELVETICA_BOLD, size * 2 / 3);
      fl_draw("!", x, y + size / 6, size, size, FL_ALIGN_CENTER);
      break;
    }
    case kIconQuestion:
    case kIconInformation: {
      fl_color(fl_rgb_color(0x20, 0x60, 0xD0));
      fl_pie(x, y, size, size, 0, 360);
      fl_color(FL_WHITE);
      fl_font(FL_HELVETICA_BOLD, size * 2 / 3);
      fl_draw(kind == kIconQuestion ? "?" : "i", x, y, size, size, FL_ALIGN_CENTER);
      break;
    }
    default: break;
  }
}

}  // namespace fltkwin

namespace platform {

using namespace fltkwin;

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (instance) return nullptr;  // the program carries no icon resources
  switch (reinterpret_cast<std::uintptr_t>(name)) {
    case 32512: return stockIcon(kIconApplication);  // IDI_APPLICATION
    case 32513: return stockIcon(kIconError);        // IDI_HAND, IDI_ERROR
    case 32514: return stockIcon(kIconQuestion);     // IDI_QUESTION
    case 32515: return stockIcon(kIconWarning);      // IDI_EXCLAMATION, IDI_WARNING
    case 32516: return stockIcon(kIconInformation);  // IDI_ASTERISK, IDI_INFORMATION
    case 32517: return stockIcon(kIconApplication);  // IDI_WINLOGO
    default: return nullptr;
  }
}

}  // namespace platform
