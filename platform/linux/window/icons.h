// The stock icons of the Linux window system: LoadIconA's handles, the images the window
// manager shows, and the message box's drawn icons.
#pragma once

#include "platform/platform.h"

class Fl_RGB_Image;

namespace fltkwin {

enum IconKind : int {
  kIconNone = 0,
  kIconApplication = 1,
  kIconError = 2,
  kIconQuestion = 3,
  kIconWarning = 4,
  kIconInformation = 5,
};

HICON stockIcon(IconKind kind);
IconKind iconKind(HICON icon);  // kIconNone when not an icon
void drawIcon(int kind, int x, int y, int size);
// The window manager's images of an icon, 16 and 32 pixels.
const Fl_RGB_Image* const* iconImages(IconKind kind);

}  // namespace fltkwin
