#include "x_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace e2e {

namespace {

// Our windows come and go under us (the program may end between two requests): an X
// error must not end the test program, which is Xlib's default.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

std::string windowTitle(Display* d, Window w) {
  const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
  Atom type;
  int format;
  unsigned long count, remaining;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &count, &remaining,
                         &data) == Success && data) {
    std::string name(reinterpret_cast<char*>(data), count);
    XFree(data);
    return name;
  }
  char* legacy = nullptr;
  std::string name;
  if (XFetchName(d, w, &legacy) && legacy) {
    name = legacy;
    XFree(legacy);
  }
  return name;
}

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
  if (width <= 0 || height <= 0) return out;
  XImage* image = XGetImage(d, w, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            AllPlanes, ZPixmap);
  if (!image) return out;
  out.width = width;
  out.height = height;
  out.pixels.reserve(static_cast<std::size_t>(width * height));
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      const unsigned long p = XGetPixel(image, col, row);
      out.pixels.push_back(Rgb{static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
                               static_cast<int>(p & 0xFF)});
    }
  }
  XDestroyImage(image);
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
  if (!display_) return;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window, False, NoEventMask, &e);
  XFlush(display_);
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

namespace {

// Runs the command once; its exit code (-1 when it could not be run) and its stderr.
int runOnce(const std::vector<std::string>& args, std::string& errors) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  char errorFile[] = "/tmp/fileptt-e2e-stderr-XXXXXX";
  const int errorFd = mkstemp(errorFile);
  pid_t pid;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (errorFd >= 0) posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  bool waited = rc == 0;
  while (waited && waitpid(pid, &status, 0) < 0) waited = errno == EINTR;
  errors.clear();
  if (errorFd >= 0) {
    char buf[512];
    ssize_t n;
    lseek(errorFd, 0, SEEK_SET);
    while ((n = read(errorFd, buf, sizeof buf)) > 0) errors.append(buf, static_cast<std::size_t>(n));
    close(errorFd);
    unlink(errorFile);
  }
  if (!waited) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int runCommand(const std::vector<std::string>& args) {
  std::string errors;
  int rc = -1;
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    rc = runOnce(args, errors);
    // A refused connection did nothing yet: the command may be run again.
    if (rc == 0 || !displayRefused(errors)) break;
  }
  if (rc != 0 && !errors.empty()) std::fprintf(stderr, "%s", errors.c_str());
  return rc;
}

bool displayRefused(const std::string& output) {
  return output.find("open display") != std::string::npos ||
         output.find("open X server") != std::string::npos ||
         output.find("open the X display") != std::string::npos;
}

bool xdotool(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"xdotool"};
  all.insert(all.end(), args.begin(), args.end());
  return runCommand(all) == 0;
}

// Without --sync: it waits for the pointer to move, which never happens when the pointer
// is already there (a second click on the same button). The server takes the move and
// the click in order anyway.
bool clickAt(int screenX, int screenY) {
  return xdotool({"mousemove", std::to_string(screenX), std::to_string(screenY), "click", "1"});
}

bool pressKeys(const std::vector<std::string>& keys) {
  std::vector<std::string> args = {"key", "--delay", "30"};
  args.insert(args.end(), keys.begin(), keys.end());
  return xdotool(args);
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

namespace {

class PrivateXvfb {
 public:
  ~PrivateXvfb() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status;
      waitpid(pid_, &status, 0);
    }
  }

  // Xvfb picks a free display itself and writes its number once it accepts clients.
  bool start(std::string& display) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                     "1024x768x24", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
      close(fds[0]);
      pid_ = -1;
      return false;
    }
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
      pollfd p{fds[0], POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      char buf[32];
      const ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      number.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
    if (number.empty()) return false;
    display = ":" + number;
    return true;
  }

 private:
  pid_t pid_ = -1;
};

}  // namespace

bool useDisplay() {
  const char* current = std::getenv("DISPLAY");
  if (current && *current) return true;
  static PrivateXvfb server;
  std::string display;
  if (!server.start(display)) return false;
  setenv("DISPLAY", display.c_str(), 1);
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < deadline) {
    if (XSession(display).connected()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

}  // namespace e2e
