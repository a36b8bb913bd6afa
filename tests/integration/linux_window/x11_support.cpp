#include "x11_support.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

extern char** environ;

namespace wintest {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool canConnect(const std::string& display) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return false;
  XCloseDisplay(d);
  return true;
}

int dispatchDepth = 0;
int destroyDepth = 0;

}  // namespace

// ---- X servers ------------------------------------------------------------------------------
bool PrivateXServer::start() {
  int fds[2];
  if (pipe(fds) != 0) return false;
  const std::string fd = std::to_string(fds[1]);
  std::vector<std::string> args = {"Xvfb", "-displayfd", fd, "-screen", "0", "1024x768x24",
                                   "-nolisten", "tcp", "-noreset"};
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
  // The server writes its display number once it accepts connections.
  std::string number;
  const auto start = Clock::now();
  while (secondsSince(start) < 30) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 200) > 0) {
      char buf[32];
      const ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      number.append(buf, static_cast<std::size_t>(n));
      if (number.find('\n') != std::string::npos) break;
    }
  }
  close(fds[0]);
  while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
  if (number.empty()) {
    stop();
    return false;
  }
  display_ = ":" + number;
  while (secondsSince(start) < 30) {
    if (canConnect(display_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  stop();
  return false;
}

void PrivateXServer::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

void PrivateXServer::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

void useTestDisplay() {
  const char* current = std::getenv("DISPLAY");
  if (current && *current) return;
  static PrivateXServer server;  // ends with the test program
  if (!server.start()) {
    std::fprintf(stderr, "could not start Xvfb\n");
    std::exit(2);
  }
  setenv("DISPLAY", server.display().c_str(), 1);
}

// ---- Inspector -------------------------------------------------------------------------------------
std::string describe(const Rgb& c) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", c.r, c.g, c.b);
  return buf;
}

Rgb rgbOf(COLORREF colour) {
  return Rgb{static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
             static_cast<int>((colour >> 16) & 0xFF)};
}

Inspector::Inspector(const std::string& display)
    : display_(XOpenDisplay(display.empty() ? nullptr : display.c_str())) {}

Inspector::~Inspector() {
  if (display_) XCloseDisplay(display_);
}

namespace {

std::string windowName(Display* d, Window w) {
  Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
  Atom type;
  int format;
  unsigned long count, remaining;
  unsigned char* data = nullptr;
  std::string name;
  if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &count, &remaining,
                         &data) == Success && data) {
    name.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
    return name;
  }
  char* legacy = nullptr;
  if (XFetchName(d, w, &legacy) && legacy) {
    name = legacy;
    XFree(legacy);
  }
  return name;
}

Window findByName(Display* d, Window w, const std::string& name) {
  XWindowAttributes a;
  if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable && windowName(d, w) == name)
    return w;
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, w, &root, &parent, &children, &n)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < n && !found; ++i) found = findByName(d, children[i], name);
  if (children) XFree(children);
  return found;
}

}  // namespace

unsigned long Inspector::findWindow(const std::string& name) {
  if (!display_) return 0;
  return findByName(display_, DefaultRootWindow(display_), name);
}

Geometry Inspector::geometry(unsigned long window) {
  Geometry g;
  XWindowAttributes a;
  if (!display_ || !XGetWindowAttributes(display_, window, &a)) return g;
  Window child;
  XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &g.x, &g.y, &child);
  g.width = a.width;
  g.height = a.height;
  g.viewable = a.map_state == IsViewable;
  return g;
}

std::vector<Rgb> Inspector::pixels(unsigned long window, int x, int y, int width, int height) {
  std::vector<Rgb> out;
  if (!display_ || width <= 0 || height <= 0) return out;
  XImage* image = XGetImage(display_, window, x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image) return out;
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      const unsigned long p = XGetPixel(image, col, row);
      out.push_back(Rgb{static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
                        static_cast<int>(p & 0xFF)});
    }
  }
  XDestroyImage(image);
  return out;
}

Rgb Inspector::pixel(unsigned long window, int x, int y) {
  auto p = pixels(window, x, y, 1, 1);
  return p.empty() ? Rgb{-1, -1, -1} : p[0];
}

std::string Inspector::wmClass(unsigned long window) {
  XClassHint hint{};
  if (!display_ || !XGetClassHint(display_, window, &hint)) return {};
  std::string out = std::string(hint.res_name ? hint.res_name : "") + "/" +
                    (hint.res_class ? hint.res_class : "");
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return out;
}

bool Inspector::normalHints(unsigned long window, int& minW, int& minH, int& maxW, int& maxH) {
  XSizeHints hints{};
  long supplied = 0;
  if (!display_ || !XGetWMNormalHints(display_, window, &hints, &supplied)) return false;
  if (!(hints.flags & PMinSize) || !(hints.flags & PMaxSize)) return false;
  minW = hints.min_width;
  minH = hints.min_height;
  maxW = hints.max_width;
  maxH = hints.max_height;
  return true;
}

std::vector<long> Inspector::cardinals(unsigned long window, const char* property, const char* typeName) {
  std::vector<long> out;
  if (!display_) return out;
  Atom prop = XInternAtom(display_, property, False);
  Atom wanted = XInternAtom(display_, typeName, False);
  Atom type;
  int format;
  unsigned long count, remaining;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display_, window, prop, 0, 1 << 20, False, wanted, &type, &format, &count,
                         &remaining, &data) != Success || !data)
    return out;
  if (format == 32) {
    const long* values = reinterpret_cast<const long*>(data);
    out.assign(values, values + count);
  }
  XFree(data);
  return out;
}

void Inspector::sendDeleteWindow(unsigned long window) {
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

void Inspector::move(unsigned long window, int x, int y) {
  XMoveWindow(display_, window, x, y);
  XSync(display_, False);
}

void Inspector::setRootResource(const std::string& resources) {
  Atom prop = XInternAtom(display_, "RESOURCE_MANAGER", False);
  XChangeProperty(display_, DefaultRootWindow(display_), prop, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(resources.data()),
                  static_cast<int>(resources.size()));
  XSync(display_, False);
}

void Inspector::sync() {
  if (display_) XSync(display_, False);
}

// ---- Input -----------------------------------------------------------------------------------------
bool xdotool(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"xdotool"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool clickAt(int rootX, int rootY) {
  // "--sync" waits for the pointer to move, so it must not already be there.
  return xdotool({"mousemove", "0", "0", "mousemove", "--sync", std::to_string(rootX),
                  std::to_string(rootY), "click", "1"});
}

bool pressKeys(const std::vector<std::string>& keys) {
  std::vector<std::string> args = {"key", "--delay", "30"};
  args.insert(args.end(), keys.begin(), keys.end());
  return xdotool(args);
}

bool typeText(const std::string& text) { return xdotool({"type", "--delay", "20", text}); }

// ---- Pump ---------------------------------------------------------------------------------------------
bool insideDispatch() { return dispatchDepth > 0; }

bool pumpOnce(HWND dialog) {
  MSG msg;
  if (!platform::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  ++dispatchDepth;
  if (!dialog || !platform::IsWindow(dialog) || !platform::IsDialogMessageA(dialog, &msg)) {
    platform::TranslateMessage(&msg);
    platform::DispatchMessageA(&msg);
  }
  --dispatchDepth;
  return true;
}

bool pumpUntil(HWND dialog, const std::function<bool()>& condition, double seconds) {
  const auto start = Clock::now();
  while (secondsSince(start) < seconds) {
    if (condition()) return true;
    if (!pumpOnce(dialog)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

void pumpFor(HWND dialog, double seconds) {
  pumpUntil(dialog, [] { return false; }, seconds);
}

// ---- Recording procedure ----------------------------------------------------------------------------
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> reaction;

std::vector<Received>& received() {
  static std::vector<Received> log;
  return log;
}

std::vector<Received> receivedOf(UINT message) {
  std::vector<Received> out;
  for (const Received& r : received())
    if (r.message == message) out.push_back(r);
  return out;
}

INT_PTR recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  received().push_back({window, message, wParam, lParam, destroyDepth, insideDispatch()});
  return reaction ? reaction(window, message, wParam, lParam) : 0;
}

BOOL destroyWindowCounted(HWND window) {
  ++destroyDepth;
  const BOOL ok = platform::DestroyWindow(window);
  --destroyDepth;
  return ok;
}

// ---- Dialogs -------------------------------------------------------------------------------------------
std::vector<WORD> dialogTemplate(DWORD style, short cx, short cy, short x, short y) {
  std::vector<WORD> t = {1, 0xFFFF, 0, 0, 0, 0, static_cast<WORD>(style & 0xFFFF),
                         static_cast<WORD>(style >> 16), 0, static_cast<WORD>(x), static_cast<WORD>(y),
                         static_cast<WORD>(cx), static_cast<WORD>(cy), 0, 0, ' ', 0};
  if (style & DS_SETFONT) {
    t.push_back(8);
    t.push_back(FW_NORMAL);
    t.push_back(0);  // italic, character set
    for (const char* p = "MS Sans Serif"; *p; ++p) t.push_back(static_cast<WORD>(*p));
    t.push_back(0);
  }
  return t;
}

namespace {
std::vector<HWND>& testDialogs() {
  static std::vector<HWND> dialogs;
  return dialogs;
}
}  // namespace

void destroyTestDialogs() {
  for (HWND dialog : testDialogs())
    if (platform::IsWindow(dialog)) platform::DestroyWindow(dialog);
  testDialogs().clear();
}

HWND createTestDialog(DWORD style, short cx, short cy, const char* caption) {
  const std::vector<WORD> t = dialogTemplate(style, cx, cy);
  HWND dialog = platform::CreateDialogIndirectParamA(
      nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(t.data()), nullptr, recordingProc, 0);
  if (dialog && caption) platform::SetWindowTextA(dialog, caption);
  if (dialog) testDialogs().push_back(dialog);
  return dialog;
}

RECT dialogUnitsToPixels(HWND dialog, int x, int y, int cx, int cy) {
  RECT r{x, y, x + cx, y + cy};
  platform::MapDialogRect(dialog, &r);
  return r;
}

HWND addControl(HWND dialog, const char* className, const char* text, int id, DWORD style,
                DWORD exStyle, int x, int y, int cx, int cy) {
  const RECT r = dialogUnitsToPixels(dialog, x, y, cx, cy);
  HWND control = platform::CreateWindowExA(
      exStyle, className, text, style | WS_CHILD | WS_VISIBLE, r.left, r.top, r.right - r.left,
      r.bottom - r.top, dialog, reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr, nullptr);
  const LRESULT font = platform::SendMessageA(dialog, WM_GETFONT, 0, 0);
  platform::SendMessageA(control, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
  return control;
}

MainWindow buildMainWindow(const char* caption) {
  MainWindow m;
  m.dialog = createTestDialog(kMainStyle, 80, 75, caption);
  m.edit = addControl(m.dialog, "EDIT", "1", 1002, WS_BORDER, 0, 60, 45, 20, 14);
  m.close = addControl(m.dialog, "BUTTON", "&Close", IDCANCEL, WS_TABSTOP, 0, 0, 60, 80, 14);
  m.label = addControl(m.dialog, "STATIC", "", 1994, 0, 0, 0, 0, 80, 40);
  m.setPort = addControl(m.dialog, "BUTTON", "Set comport", 1003, WS_TABSTOP, 0, 0, 45, 60, 14);
  platform::ShowWindow(m.dialog, SW_SHOW);
  Inspector inspector;
  pumpUntil(m.dialog, [&] {
    m.xid = inspector.findWindow(caption);
    return m.xid != 0;
  });
  if (m.xid) m.client = inspector.geometry(m.xid);
  pumpFor(m.dialog, 0.1);  // let it paint and take the keyboard
  return m;
}

void controlCentre(const MainWindow& main, HWND control, int& rootX, int& rootY) {
  // The controls sit at known dialog-unit rectangles; find which one this is.
  struct Known {
    HWND window;
    int x, y, cx, cy;
  } known[] = {{main.edit, 60, 45, 20, 14},
               {main.close, 0, 60, 80, 14},
               {main.label, 0, 0, 80, 40},
               {main.setPort, 0, 45, 60, 14}};
  for (const Known& k : known) {
    if (k.window != control) continue;
    const RECT r = dialogUnitsToPixels(main.dialog, k.x, k.y, k.cx, k.cy);
    rootX = main.client.x + (r.left + r.right) / 2;
    rootY = main.client.y + (r.top + r.bottom) / 2;
    return;
  }
  rootX = rootY = -1;
}

}  // namespace wintest
