#include "x11_support.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace wintest {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

int dispatchDepth = 0;
int destroyDepth = 0;

}  // namespace

// ---- X servers ------------------------------------------------------------------------------
void useTestDisplay() {
  if (!xtest::useDisplay({"-noreset"})) {
    std::fprintf(stderr, "could not start Xvfb\n");
    std::exit(2);
  }
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

Window findByName(Display* d, Window w, const std::string& name) {
  XWindowAttributes a;
  if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable && xtest::windowTitle(d, w) == name)
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
  if (!display_) return {};
  return xtest::readPixels(display_, window, x, y, width, height);
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
  xtest::sendDeleteWindow(display_, window);
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
// Without "--sync", which waits for the pointer to move: it was seen to hang for about 15 s
// when clicking the same point again after a message box was dismissed. The server takes
// the moves and the click in order anyway.
bool clickAt(int rootX, int rootY) {
  return xdotool({"mousemove", "0", "0", "mousemove", std::to_string(rootX), std::to_string(rootY),
                  "click", "1"});
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
