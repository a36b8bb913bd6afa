// Looking at and driving the program's windows from outside, as an operator and a window
// manager would: a connection of our own to the X server (windows by title, geometry,
// pixels, WM_DELETE_WINDOW, moving a window), xdotool for real input, ImageMagick's
// import for screenshots kept as files, and a private Xvfb when no display is set.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "x_test_support.h"

struct _XDisplay;

namespace e2e {

// Shared with the Linux window tests.
using xtest::Clock;
using xtest::displayRefused;
using xtest::pressKeys;
using xtest::Rgb;
using xtest::runCommand;
using xtest::useDisplay;  // a private Xvfb unless $DISPLAY is set
using xtest::xdotool;

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  int right() const { return x + width; }
  int bottom() const { return y + height; }
  bool intersects(const Rect& o) const {
    return x < o.right() && o.x < right() && y < o.bottom() && o.y < bottom();
  }
};

// A rectangle of pixels, row by row.
struct Image {
  int width = 0, height = 0;
  std::vector<Rgb> pixels;
  const Rgb& at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
  bool empty() const { return pixels.empty(); }
};

// The bounding box of the dark pixels (luminance below half) inside `area` of `image`:
// where text has been drawn. Width 0 when there are none.
Rect inkBox(const Image& image, const Rect& area);

class XSession {
 public:
  explicit XSession(const std::string& display = {});  // "" : $DISPLAY
  ~XSession();
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;

  bool connected() const { return display_ != nullptr; }
  Rect screen();

  // Top-level windows (and, under a window manager, the clients inside its frames)
  // that are viewable and carry this title.
  std::vector<unsigned long> windowsNamed(const std::string& title);
  // Polls until exactly one such window is viewable; 0 when none appeared in time.
  unsigned long waitForWindow(const std::string& title, std::chrono::milliseconds timeout);
  bool waitUntilNoWindow(const std::string& title, std::chrono::milliseconds timeout);

  std::string title(unsigned long window);
  bool viewable(unsigned long window);
  Rect geometry(unsigned long window);  // the window's inside, in screen coordinates

  // Pixels of the window as they are on the screen (what covers it included).
  Image capture(unsigned long window);
  Image captureScreen(const Rect& area);

  // What a window manager sends when the caption's close box is clicked.
  void sendDeleteWindow(unsigned long window);
  // Moves a top-level window, as a window manager does when the operator drags it.
  void move(unsigned long window, int x, int y);

  // Start watching top-level windows being mapped (for timing a start-up).
  void watchMaps();
  // Waits for the next map of a top-level window titled `title`; the time it was
  // received, or nothing when the deadline passed.
  bool waitForMap(const std::string& title, Clock::time_point deadline, Clock::time_point& when);

 private:
  ::_XDisplay* display_ = nullptr;
};

bool clickAt(int screenX, int screenY);
bool typeText(const std::string& text);

// Saves a PNG of the window (ImageMagick import); false on failure.
bool saveWindowPng(unsigned long window, const std::string& path);
bool saveScreenPng(const Rect& area, const std::string& path);

}  // namespace e2e
