// A tiny program on the Linux window system, for what needs a process of its own:
//   probe dpi           prints GetDeviceCaps(LOGPIXELSY) of the display
//   probe hold CAPTION  shows a dialog and pumps its messages until it is gone
//   probe create        prints whether a dialog and a message box could be made
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "x11_support.h"

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "dpi") {
    HDC dc = platform::GetDC(nullptr);
    std::printf("%d\n", platform::GetDeviceCaps(dc, LOGPIXELSY));
    platform::ReleaseDC(nullptr, dc);
    return 0;
  }
  if (mode == "hold" && argc > 2) {
    HWND dialog = wintest::createTestDialog(wintest::kMainStyle, 80, 75, argv[2]);
    if (!dialog) return 3;
    platform::SetTimer(dialog, 0, 100, nullptr);
    platform::ShowWindow(dialog, SW_SHOW);
    while (platform::IsWindow(dialog))
      if (!wintest::pumpOnce(dialog)) usleep(1000);
    return 0;
  }
  if (mode == "create") {
    HWND dialog = wintest::createTestDialog(wintest::kMainStyle, 80, 75, "Nowhere");
    const int box = platform::MessageBoxA(nullptr, "text", "caption", MB_OK | MB_ICONERROR);
    HDC dc = platform::GetDC(nullptr);
    std::printf("%s %d %d\n", dialog ? "window" : "none", box, platform::GetDeviceCaps(dc, LOGPIXELSY));
    return 0;
  }
  std::fprintf(stderr, "usage: probe dpi | hold CAPTION | create\n");
  return 2;
}
