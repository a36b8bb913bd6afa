#include "x_session.h"

#include <X11/Xlib.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace e2e {

using xtest::windowTitle;

namespace {

// Our windows come and go under us (the program may end between two requests): an X
// error must not end the test program, which is Xlib's default.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

bool isViewable(Display* d, Window w) {
  XWindowAttributes a;
  return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

// Top-level windows are children of the root, or one level further down inside a
// window manager's frame.
void collectNamed(Display* d, Window w, const std::string& title, int depth,
                  std::vector<unsigned long>& found) {
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, w, &root, &parent, &children, &n)) return;
  for (unsigned i = 0; i < n; ++i) {
    if (isViewable(d, children[i]) && windowTitle(d, children[i]) == title) {
      found.push_back(children[i]);
    } else if (depth > 0) {
      collectNamed(d, children[i], title, depth - 1, found);
    }
  }
  if (children) XFree(children);
}

}  // namespace

Rect inkBox(const Image& image, const Rect& area) {
  int left = area.right(), top = area.bottom(), right = area.x - 1, bottom = area.y - 1;
  const int x1 = std::min(area.right(), image.width), y1 = std::min(area.bottom(), image.height);
  for (int y = std::max(area.y, 0); y < y1; ++y) {
    for (int x = std::max(area.x, 0); x < x1; ++x) {
      if (image.at(x, y).luminance() >= 128) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (right < left) return Rect{};
  return Rect{left, top, right - left + 1, bottom - top + 1};
}

namespace {

// Xvfb now and then resets a new connection that comes right after another client went
// away (observed with Xvfb 21.1 on Debian 12, about one in ten connections in a tight
// connect-and-close loop). A client that meets it simply tries again.
constexpr int kConnectAttempts = 20;

}  // namespace

XSession::XSession(const std::string& display) {
  XSetErrorHandler(ignoreXError);
  for (int attempt = 0; attempt < kConnectAttempts && !display_; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    display_ = XOpenDisplay(display.empty() ? nullptr : display.c_str());
  }
}

XSession::~XSession() {
  if (display_) XCloseDisplay(display_);
}

Rect XSession::screen() {
  if (!display_) return {};
  const int s = DefaultScreen(display_);
  return Rect{0, 0, DisplayWidth(display_, s), DisplayHeight(display_, s)};
}

std::vector<unsigned long> XSession::windowsNamed(const std::string& title) {
  std::vector<unsigned long> found;
  if (display_) collectNamed(display_, DefaultRootWindow(display_), title, 1, found);
  return found;
}

unsigned long XSession::waitForWindow(const std::string& title, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const auto found = windowsNamed(title);
    if (found.size() == 1) return found.front();
    if (Clock::now() >= deadline) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool XSession::waitUntilNoWindow(const std::string& title, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (windowsNamed(title).empty()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string XSession::title(unsigned long window) {
  return display_ ? windowTitle(display_, window) : std::string();
}

bool XSession::viewable(unsigned long window) { return display_ && isViewable(display_, window); }

Rect XSession::geometry(unsigned long window) {
  XWindowAttributes a;
  if (!display_ || !XGetWindowAttributes(display_, window, &a)) return {};
  Rect r{0, 0, a.width, a.height};
  Window child;
  XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &r.x, &r.y, &child);
  return r;
}

namespace {

Image imageOf(Display* d, Window w, int x, int y, int width, int height) {
  Image out;
  out.pixels = xtest::readPixels(d, w, x, y, width, height);
  if (out.pixels.empty()) return out;
  out.width = width;
  out.height = height;
  return out;
}

}  // namespace

Image XSession::capture(unsigned long window) {
  if (!display_) return {};
  // Read from the screen rather than from the window, so that what covers it shows as it
  // would to the operator.
  const Rect r = geometry(window);
  const Rect s = screen();
  if (r.width <= 0 || r.x < 0 || r.y < 0 || r.right() > s.width || r.bottom() > s.height) return {};
  return imageOf(display_, DefaultRootWindow(display_), r.x, r.y, r.width, r.height);
}

Image XSession::captureScreen(const Rect& area) {
  if (!display_) return {};
  return imageOf(display_, DefaultRootWindow(display_), area.x, area.y, area.width, area.height);
}

void XSession::sendDeleteWindow(unsigned long window) {
  if (display_) xtest::sendDeleteWindow(display_, window);
}

void XSession::move(unsigned long window, int x, int y) {
  if (!display_) return;
  XMoveWindow(display_, window, x, y);
  XSync(display_, False);
}

void XSession::watchMaps() {
  if (!display_) return;
  XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
  XSync(display_, False);
}

bool XSession::waitForMap(const std::string& title, Clock::time_point deadline,
                          Clock::time_point& when) {
  if (!display_) return false;
  const int fd = ConnectionNumber(display_);
  for (;;) {
    while (XPending(display_)) {
      XEvent e;
      XNextEvent(display_, &e);
      if (e.type != MapNotify) continue;
      const auto now = Clock::now();
      // The title is set before the window is mapped.
      if (windowTitle(display_, e.xmap.window) == title) {
        when = now;
        return true;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
  }
}

// Without --sync: it waits for the pointer to move, which never happens when the pointer
// is already there (a second click on the same button). The server takes the move and
// the click in order anyway.
bool clickAt(int screenX, int screenY) {
  return xdotool({"mousemove", std::to_string(screenX), std::to_string(screenY), "click", "1"});
}

bool typeText(const std::string& text) { return xdotool({"type", "--delay", "30", text}); }

namespace {

std::string hex(unsigned long window) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%lx", window);
  return buf;
}

}  // namespace

bool saveWindowPng(unsigned long window, const std::string& path) {
  return runCommand({"import", "-window", hex(window), "png:" + path}) == 0;
}

bool saveScreenPng(const Rect& area, const std::string& path) {
  const std::string crop = std::to_string(area.width) + "x" + std::to_string(area.height) + "+" +
                           std::to_string(area.x) + "+" + std::to_string(area.y);
  return runCommand({"import", "-window", "root", "-crop", crop, "+repage", "png:" + path}) == 0;
}

}  // namespace e2e
