// X helpers shared by the Linux window tests and the end-to-end tests: a private Xvfb,
// a window's title and pixels read through a connection of the caller's, the close box
// a window manager would send, and X clients (xdotool) run as commands.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

struct _XDisplay;

namespace xtest {

using Clock = std::chrono::steady_clock;

// ---- X servers ------------------------------------------------------------------------------
class Xvfb {
 public:
  Xvfb() = default;
  ~Xvfb() { stop(); }
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  // Xvfb :N (N chosen by the server) 1024x768x24 without TCP, followed by `extraArgs`;
  // true once it accepts clients.
  bool start(const std::vector<std::string>& extraArgs = {});
  void stop();
  void kill();  // SIGKILL, as if the server crashed
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// Starts a private Xvfb (with `extraArgs`) for the whole process unless $DISPLAY is
// already set, and sets $DISPLAY to it. False when no server could be started.
bool useDisplay(const std::vector<std::string>& extraArgs = {});

// ---- Looking at windows through a connection of our own ---------------------------------------
struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
  int luminance() const { return (299 * r + 587 * g + 114 * b) / 1000; }
};

// _NET_WM_NAME, else WM_NAME; "" when the window has neither.
std::string windowTitle(::_XDisplay* display, unsigned long window);
// Every pixel of a rectangle of the drawable, row by row; empty when it cannot be read.
std::vector<Rgb> readPixels(::_XDisplay* display, unsigned long drawable, int x, int y, int width,
                            int height);
// What a window manager sends when the caption's close box is clicked.
void sendDeleteWindow(::_XDisplay* display, unsigned long window);

// ---- X clients run as commands -----------------------------------------------------------------
// Runs `argv` and waits for it; its exit code, or -1. A command that could not connect
// to the X server is run again; its error output is shown when it failed.
int runCommand(const std::vector<std::string>& argv);
// True when a program's error output says it could not connect to the X server.
bool displayRefused(const std::string& output);

// xdotool with these arguments; true when it succeeded.
bool xdotool(const std::vector<std::string>& args);
bool pressKeys(const std::vector<std::string>& keys);

}  // namespace xtest
