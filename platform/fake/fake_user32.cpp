// The window half of the recording fake: dialogs made from in-memory templates, child
// controls of the classes BUTTON, STATIC and EDIT, one posted-message queue, device
// contexts, fonts and brushes as counted handles; every call is logged.
// Built on fake_core.cpp's log and reset; no window system underneath. Nothing is
// drawn, timers never fire and keyboard handling stops at Escape, which is all the
// toolkit leans on.
#include "platform/fake/fake_user32.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <set>

namespace fake {
namespace {

constexpr int kEmptyPollLimit = 20000;
constexpr std::size_t kTemplateReadLimit = 4096;
constexpr char kDialogClass[] = "#32770";
constexpr UINT kBnClicked = 0;

// GDI objects get values above 32 bits on 64-bit builds, so that a brush or font
// squeezed through a 32-bit value somewhere shows as a different handle.
constexpr std::uintptr_t kGdiBase = sizeof(std::uintptr_t) >= 8
                                        ? static_cast<std::uintptr_t>(0x7F0000000000ULL)
                                        : static_cast<std::uintptr_t>(0x30000000u);
constexpr std::uintptr_t kStockBase = kGdiBase + 0x100000;
constexpr std::uintptr_t kSysBrushBase = kGdiBase + 0x200000;
// Window handles stay 32-bit values as on 64-bit Windows.
constexpr std::uintptr_t kWindowBase = 0x10000000;
constexpr std::uintptr_t kIconBase = 0x20000000;
// As on 64-bit Windows, Get/SetWindowLongA refuse the owner index in 64-bit builds.
constexpr bool kPointerSizedWindowLongs = sizeof(void*) == 8;

using DcState = DeviceContextColours;

struct State {
  std::map<HWND, Window> windows;
  HWND newestDialog = nullptr;
  HWND focus = nullptr;
  std::deque<MSG> queue;
  int emptyPolls = 0;
  std::function<void()> idleAction;
  int baseUnitX = 6;
  int baseUnitY = 13;
  int pixelsPerInch = 96;
  std::map<int, COLORREF> sysColors;
  std::map<std::string, int> failures;
  std::vector<Timer> timers;
  std::vector<MessageBoxCall> boxes;
  std::function<void(const MessageBoxCall&)> boxAction;
  std::vector<LOGFONTA> fonts;
  std::set<HGDIOBJ> liveFonts;
  std::map<HGDIOBJ, COLORREF> brushes;  // every brush made, live or deleted
  std::set<HGDIOBJ> liveBrushes;
  std::size_t brushCount = 0;
  std::size_t invalidDeletes = 0;
  std::map<HDC, DcState> dcs;
  std::set<HDC> openDcs;
};

State& state() {
  static State s;
  return s;
}

void resetUser32() { state() = State{}; }
const ResetHook hook{resetUser32};

// Handle values are never reused, not even across resets.
HWND newWindowHandle() {
  static std::uintptr_t next = kWindowBase;
  next += 0x10;
  return reinterpret_cast<HWND>(next);
}

std::uintptr_t newGdiValue() {
  static std::uintptr_t next = kGdiBase + 0x1000000;
  next += 0x10;
  return next;
}

// Window class names are matched without regard to letter case, as Win32 does.
bool isClass(const std::string& className, const char* expected) {
  const std::size_t length = std::strlen(expected);
  if (className.size() != length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (std::toupper(static_cast<unsigned char>(className[i])) != expected[i]) return false;
  }
  return true;
}

std::string hex(std::uintmax_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%jx", value);
  return text;
}

std::string handleText(const void* handle) {
  return handle ? hex(reinterpret_cast<std::uintptr_t>(handle)) : "null";
}

std::string quoted(LPCSTR text) { return text ? "\"" + std::string(text) + "\"" : "null"; }

std::string messageName(UINT message) {
  static const std::map<UINT, const char*> names = {
      {WM_DESTROY, "WM_DESTROY"},
      {WM_SIZE, "WM_SIZE"},
      {WM_ACTIVATE, "WM_ACTIVATE"},
      {WM_CLOSE, "WM_CLOSE"},
      {WM_QUIT, "WM_QUIT"},
      {WM_CANCELMODE, "WM_CANCELMODE"},
      {WM_SETFONT, "WM_SETFONT"},
      {WM_GETFONT, "WM_GETFONT"},
      {WM_SETICON, "WM_SETICON"},
      {WM_NCDESTROY, "WM_NCDESTROY"},
      {WM_KEYDOWN, "WM_KEYDOWN"},
      {WM_CHAR, "WM_CHAR"},
      {WM_INITDIALOG, "WM_INITDIALOG"},
      {WM_COMMAND, "WM_COMMAND"},
      {WM_SYSCOMMAND, "WM_SYSCOMMAND"},
      {WM_TIMER, "WM_TIMER"},
      {WM_ENTERIDLE, "WM_ENTERIDLE"},
      {WM_CTLCOLORMSGBOX, "WM_CTLCOLORMSGBOX"},
      {WM_CTLCOLOREDIT, "WM_CTLCOLOREDIT"},
      {WM_CTLCOLORLISTBOX, "WM_CTLCOLORLISTBOX"},
      {WM_CTLCOLORBTN, "WM_CTLCOLORBTN"},
      {WM_CTLCOLORDLG, "WM_CTLCOLORDLG"},
      {WM_CTLCOLORSCROLLBAR, "WM_CTLCOLORSCROLLBAR"},
      {WM_CTLCOLORSTATIC, "WM_CTLCOLORSTATIC"},
      {DM_SETDEFID, "DM_SETDEFID"},
  };
  auto found = names.find(message);
  return found != names.end() ? found->second : hex(message);
}

std::string messageText(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return handleText(window) + " " + messageName(message) + " " + hex(wParam) + " " +
         hex(static_cast<std::uintptr_t>(lParam));
}

bool takeFailure(const char* callName) {
  auto found = state().failures.find(callName);
  if (found == state().failures.end() || found->second <= 0) return false;
  --found->second;
  return true;
}

Window* find(HWND handle) {
  auto found = state().windows.find(handle);
  return found != state().windows.end() ? &found->second : nullptr;
}

Window* live(HWND handle) {
  Window* w = find(handle);
  return w && w->alive ? w : nullptr;
}

bool isInside(HWND handle, HWND dialog) {
  for (Window* w = live(handle); w; w = live(w->parent)) {
    if (w->handle == dialog) return true;
  }
  return false;
}

HWND childWithId(HWND dialog, int id) {
  Window* parent = live(dialog);
  if (!parent) return nullptr;
  for (HWND child : parent->children) {
    Window* c = live(child);
    if (c && c->id == id) return child;
  }
  return nullptr;
}

int mulDiv(int value, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const std::int64_t product = std::int64_t{value} * numerator;
  const bool negative = (product < 0) != (denominator < 0);
  const std::int64_t magnitude = product < 0 ? -product : product;
  const std::int64_t divisor = denominator < 0 ? -std::int64_t{denominator} : denominator;
  const std::int64_t quotient = (magnitude + divisor / 2) / divisor;
  return static_cast<int>(negative ? -quotient : quotient);
}

LPARAM packWords(WORD low, WORD high) {
  return static_cast<LPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}

void post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  state().queue.push_back(msg);
}

// Messages whose dialog-procedure result is the answer itself; for every other
// message a non-zero dialog-procedure result means "the answer is in DWL_MSGRESULT".
bool answersDirectly(UINT message) {
  return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_INITDIALOG;
}

LRESULT deliver(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);

// The platform's default dialog processing, for messages the dialog procedure left.
LRESULT defaultDialogProcessing(Window& dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(dialog.font);
    case WM_SETFONT:
      dialog.font = reinterpret_cast<HFONT>(wParam);
      dialog.fontRedraw = lParam != 0;
      return 0;
    case WM_SETICON: {
      HICON& slot = wParam == ICON_BIG ? dialog.bigIcon : dialog.smallIcon;
      const HICON previous = slot;
      slot = reinterpret_cast<HICON>(lParam);
      return reinterpret_cast<LRESULT>(previous);
    }
    case DM_SETDEFID:
      dialog.defaultId = static_cast<int>(wParam);
      return TRUE;
    case WM_CLOSE: {
      // As Win32 does: the close becomes a posted click of the IDCANCEL button.
      const HWND cancel = childWithId(dialog.handle, IDCANCEL);
      if (!cancel || live(cancel)->enabled) {
        post(dialog.handle, WM_COMMAND, static_cast<WPARAM>(packWords(IDCANCEL, kBnClicked)),
             reinterpret_cast<LPARAM>(cancel));
      }
      return 0;
    }
    case WM_SYSCOMMAND:
      if ((wParam & ~WPARAM{0xF}) == SC_CLOSE) deliver(dialog.handle, WM_CLOSE, 0, 0);
      return 0;
  }
  return 0;
}

LRESULT dialogWindowProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* dialog = live(handle);
  dialog->messageResult = 0;
  const DLGPROC proc = dialog->dialogProc;
  const INT_PTR result = proc ? proc(handle, message, wParam, lParam) : 0;
  dialog = live(handle);
  if (!dialog) return result;  // the procedure destroyed it
  if (result) return answersDirectly(message) ? result : dialog->messageResult;
  return defaultDialogProcessing(*dialog, message, wParam, lParam);
}

LRESULT controlWindowProc(Window& control, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(control.font);
    case WM_SETFONT:
      control.font = reinterpret_cast<HFONT>(wParam);
      control.fontRedraw = lParam != 0;
      return 0;
    case WM_CHAR:
      if (isClass(control.className, "EDIT") && wParam >= 0x20) {
        control.text.push_back(static_cast<char>(wParam));
      }
      return 0;
  }
  return 0;
}

LRESULT deliver(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = live(handle);
  if (!w) return 0;
  if (w->isDialog) return dialogWindowProc(handle, message, wParam, lParam);
  return controlWindowProc(*w, message, wParam, lParam);
}

void forgetQueuedAndTimers(HWND handle) {
  auto& queue = state().queue;
  for (auto it = queue.begin(); it != queue.end();) {
    it = it->hwnd == handle ? queue.erase(it) : it + 1;
  }
  auto& timers = state().timers;
  for (auto it = timers.begin(); it != timers.end();) {
    it = it->window == handle ? timers.erase(it) : it + 1;
  }
  if (state().focus == handle) state().focus = nullptr;
}

// Win32's order: WM_DESTROY to the window and then its children, the children gone
// (each with its WM_NCDESTROY), then the window's own WM_NCDESTROY.
void destroyTree(HWND handle) {
  Window* w = live(handle);
  w->visible = false;
  deliver(handle, WM_DESTROY, 0, 0);
  const std::vector<HWND> children = live(handle) ? live(handle)->children : std::vector<HWND>{};
  for (HWND child : children) {
    if (live(child)) deliver(child, WM_DESTROY, 0, 0);
  }
  for (HWND child : children) {
    if (!live(child)) continue;
    deliver(child, WM_NCDESTROY, 0, 0);
    live(child)->alive = false;
    forgetQueuedAndTimers(child);
  }
  if (!live(handle)) return;
  deliver(handle, WM_NCDESTROY, 0, 0);
  if (Window* gone = live(handle)) gone->alive = false;
  forgetQueuedAndTimers(handle);
}

UINT colourRequestFor(const Window& w) {
  if (w.isDialog) return WM_CTLCOLORDLG;
  if (isClass(w.className, "EDIT")) return WM_CTLCOLOREDIT;
  if (isClass(w.className, "BUTTON")) return WM_CTLCOLORBTN;
  return WM_CTLCOLORSTATIC;
}

void askColours(HWND dialog, HWND target) {
  Window* w = live(target);
  if (!w) return;
  const UINT message = colourRequestFor(*w);
  const HDC dc = reinterpret_cast<HDC>(newGdiValue());
  state().dcs[dc] = DcState{};
  const LRESULT answer =
      deliver(dialog, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(target));
  if (Window* painted = live(target)) {
    painted->lastPaint = Paint{true, message, answer, state().dcs[dc]};
  }
  state().dcs.erase(dc);
}

DcState* dcState(HDC dc) {
  auto found = state().dcs.find(dc);
  return found != state().dcs.end() ? &found->second : nullptr;
}

std::u16string readUtf16(const BYTE* bytes, std::size_t available, std::size_t* offset, bool* ok) {
  std::u16string text;
  for (;;) {
    if (*offset + 2 > available) {
      *ok = false;
      return text;
    }
    char16_t c;
    std::memcpy(&c, bytes + *offset, 2);
    *offset += 2;
    if (c == 0) return text;
    text.push_back(c);
  }
}

NameOrOrdinal readNameOrOrdinal(const BYTE* bytes, std::size_t available, std::size_t* offset,
                                bool* ok) {
  NameOrOrdinal result;
  if (*offset + 2 > available) {
    *ok = false;
    return result;
  }
  WORD first;
  std::memcpy(&first, bytes + *offset, 2);
  if (first == 0) {
    *offset += 2;
  } else if (first == 0xFFFF) {
    result.kind = NameOrOrdinal::Ordinal;
    if (*offset + 4 > available) {
      *ok = false;
      return result;
    }
    std::memcpy(&result.ordinal, bytes + *offset + 2, 2);
    *offset += 4;
  } else {
    result.kind = NameOrOrdinal::Name;
    result.name = readUtf16(bytes, available, offset, ok);
  }
  return result;
}

std::string narrow(const std::u16string& text) {
  std::string result;
  for (char16_t c : text) result.push_back(static_cast<char>(c & 0xFF));
  return result;
}

}  // namespace

DialogTemplateView parseDialogTemplate(const BYTE* bytes, std::size_t available) {
  DialogTemplateView view;
  bool ok = true;
  std::size_t offset = 0;
  auto read = [&](auto* field) {
    if (offset + sizeof *field > available) {
      ok = false;
      return;
    }
    std::memcpy(field, bytes + offset, sizeof *field);
    offset += sizeof *field;
  };
  read(&view.version);
  read(&view.signature);
  if (!ok || view.version != 1 || view.signature != 0xFFFF) return view;
  read(&view.helpId);
  read(&view.exStyle);
  read(&view.style);
  read(&view.itemCount);
  read(&view.x);
  read(&view.y);
  read(&view.cx);
  read(&view.cy);
  if (!ok) return view;
  view.menu = readNameOrOrdinal(bytes, available, &offset, &ok);
  view.windowClass = readNameOrOrdinal(bytes, available, &offset, &ok);
  view.title = readUtf16(bytes, available, &offset, &ok);
  if (ok && (view.style & DS_SETFONT)) {
    view.hasFont = true;
    read(&view.pointSize);
    read(&view.weight);
    read(&view.italic);
    read(&view.charSet);
    if (ok) view.face = readUtf16(bytes, available, &offset, &ok);
  }
  view.length = offset;
  view.valid = ok;
  return view;
}

const Window* window(HWND handle) { return find(handle); }
HWND lastDialog() { return state().newestDialog; }
std::vector<HWND> liveDialogs() {
  std::vector<HWND> dialogs;  // handles grow with creation, and so does the map's order
  for (const auto& [handle, w] : state().windows) {
    if (w.isDialog && w.alive) dialogs.push_back(handle);
  }
  return dialogs;
}
HWND focusWindow() { return state().focus; }

void paint(HWND dialog) {
  Window* w = live(dialog);
  if (!w || !w->isDialog) return;
  askColours(dialog, dialog);
  const std::vector<HWND> children = w->children;
  for (HWND child : children) askColours(dialog, child);
}

void setDialogBaseUnits(int horizontal, int vertical) {
  state().baseUnitX = horizontal;
  state().baseUnitY = vertical;
}
void setPixelsPerInch(int pixelsPerInch) { state().pixelsPerInch = pixelsPerInch; }
void setSysColor(int index, COLORREF colour) { state().sysColors[index] = colour; }
void failNext(const std::string& callName, int times) { state().failures[callName] += times; }

HBRUSH sysColorBrush(int index) {
  return reinterpret_cast<HBRUSH>(kSysBrushBase + static_cast<std::uintptr_t>(index) * 0x10);
}
HGDIOBJ stockObject(int index) {
  return reinterpret_cast<HGDIOBJ>(kStockBase + static_cast<std::uintptr_t>(index) * 0x10);
}
HICON stockIcon(LPCSTR name) {
  return reinterpret_cast<HICON>(kIconBase + (reinterpret_cast<std::uintptr_t>(name) & 0xFFFF));
}

void postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  post(window, message, wParam, lParam);
}
void postKeyDown(HWND window, WPARAM virtualKey) { post(window, WM_KEYDOWN, virtualKey, 1); }
void postClick(HWND dialog, int controlId) {
  post(dialog, WM_COMMAND, static_cast<WPARAM>(packWords(static_cast<WORD>(controlId), kBnClicked)),
       reinterpret_cast<LPARAM>(childWithId(dialog, controlId)));
}
void postCloseBox(HWND dialog) { post(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }
std::size_t queuedMessageCount() { return state().queue.size(); }
void whenQueueEmpty(std::function<void()> action) { state().idleAction = std::move(action); }

void dispatchQueuedMessages() {
  while (!state().queue.empty()) {
    const MSG msg = state().queue.front();
    state().queue.pop_front();
    deliver(msg.hwnd, msg.message, msg.wParam, msg.lParam);
  }
}

std::vector<Timer> liveTimers() { return state().timers; }
const std::vector<MessageBoxCall>& messageBoxes() { return state().boxes; }
void whileMessageBoxUp(std::function<void(const MessageBoxCall&)> action) {
  state().boxAction = std::move(action);
}

const std::vector<LOGFONTA>& createdFonts() { return state().fonts; }
std::size_t brushesCreated() { return state().brushCount; }
std::size_t liveBrushCount() { return state().liveBrushes.size(); }
bool isLiveBrush(HBRUSH brush) { return state().liveBrushes.count(brush) != 0; }
COLORREF brushColour(HBRUSH brush) {
  auto found = state().brushes.find(brush);
  return found != state().brushes.end() ? found->second : 0xFFFFFFFFu;
}
std::size_t invalidDeletes() { return state().invalidDeletes; }
std::size_t openDeviceContexts() { return state().openDcs.size(); }
DeviceContextColours deviceContextColours(HDC dc) {
  auto found = state().dcs.find(dc);
  return found != state().dcs.end() ? found->second : DeviceContextColours{};
}

}  // namespace fake

// ---- The calls ------------------------------------------------------------------------------
namespace platform {

using fake::handleText;
using fake::hex;
using fake::state;

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
  fake::record(
      "InitCommonControlsEx",
      init ? "size " + std::to_string(init->dwSize) + ", classes " + hex(init->dwICC) : "null");
  return init ? TRUE : FALSE;
}

HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM initParam) {
  fake::record("CreateDialogIndirectParamA", handleText(instance) + " owner " + handleText(owner));
  if (fake::takeFailure("CreateDialogIndirectParamA") || !dialogTemplate) return nullptr;
  if (owner && !fake::live(owner)) return nullptr;
  const auto* bytes = reinterpret_cast<const BYTE*>(dialogTemplate);
  const fake::DialogTemplateView view = fake::parseDialogTemplate(bytes, fake::kTemplateReadLimit);
  if (!view.valid) return nullptr;

  const HWND handle = fake::newWindowHandle();
  fake::Window& w = state().windows[handle];
  w.handle = handle;
  w.isDialog = true;
  w.className = fake::kDialogClass;
  w.text = fake::narrow(view.title);
  w.style = view.style;
  w.exStyle = view.exStyle;
  w.owner = owner;
  w.rect = RECT{0, 0, fake::mulDiv(view.cx, state().baseUnitX, 4),
                fake::mulDiv(view.cy, state().baseUnitY, 8)};
  w.dialogProc = dialogProc;
  w.templateBytes.assign(bytes, bytes + view.length);
  w.templateAddress = reinterpret_cast<std::uintptr_t>(bytes);
  w.dialogTemplate = view;
  w.visible = (view.style & WS_VISIBLE) != 0;
  state().newestDialog = handle;

  if (view.hasFont) {
    const HFONT dialogFont = reinterpret_cast<HFONT>(fake::newGdiValue());
    fake::deliver(handle, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont), 0);
  }
  fake::deliver(handle, WM_INITDIALOG, 0, initParam);
  return fake::live(handle) ? handle : nullptr;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR text, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU idOrMenu, HINSTANCE instance,
                     LPVOID) {
  fake::record("CreateWindowExA", fake::quoted(className) + " " + fake::quoted(text) + " " +
                                      hex(style) + " " + hex(exStyle) + " " + std::to_string(x) +
                                      "," + std::to_string(y) + " " + std::to_string(width) + "x" +
                                      std::to_string(height) + " parent " + handleText(parent) +
                                      " instance " + handleText(instance));
  if (fake::takeFailure("CreateWindowExA")) return nullptr;
  fake::Window* parentWindow = fake::live(parent);
  if (!parentWindow || !className) return nullptr;
  const std::string name = className;
  const bool knownClass =
      fake::isClass(name, "BUTTON") || fake::isClass(name, "STATIC") || fake::isClass(name, "EDIT");
  if (!knownClass) return nullptr;

  const HWND handle = fake::newWindowHandle();
  fake::Window& w = state().windows[handle];
  w.handle = handle;
  w.className = className;
  w.text = text ? text : "";
  w.style = style;
  w.exStyle = exStyle;
  w.id = static_cast<int>(reinterpret_cast<INT_PTR>(idOrMenu));
  w.parent = parent;
  w.rect = RECT{x, y, x + width, y + height};
  w.visible = (style & WS_VISIBLE) != 0;
  fake::live(parent)->children.push_back(handle);
  return handle;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
  fake::record("MapDialogRect", handleText(dialog));
  fake::Window* w = fake::live(dialog);
  if (!w || !w->isDialog || !rect) return FALSE;
  const int x = state().baseUnitX;
  const int y = state().baseUnitY;
  rect->left = fake::mulDiv(rect->left, x, 4);
  rect->right = fake::mulDiv(rect->right, x, 4);
  rect->top = fake::mulDiv(rect->top, y, 8);
  rect->bottom = fake::mulDiv(rect->bottom, y, 8);
  return TRUE;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  fake::record("SetWindowTextA", handleText(window) + " " + fake::quoted(text));
  fake::Window* w = fake::live(window);
  if (!w) return FALSE;
  w->text = text ? text : "";
  return TRUE;
}

int GetWindowTextLengthA(HWND window) {
  fake::record("GetWindowTextLengthA", handleText(window));
  fake::Window* w = fake::live(window);
  return w ? static_cast<int>(w->text.size()) : 0;
}

int GetWindowTextA(HWND window, LPSTR buffer, int bufferSize) {
  fake::record("GetWindowTextA", handleText(window) + " " + std::to_string(bufferSize));
  fake::Window* w = fake::live(window);
  if (!w || !buffer || bufferSize <= 0) return 0;
  const std::size_t copied = std::min(w->text.size(), static_cast<std::size_t>(bufferSize) - 1);
  std::memcpy(buffer, w->text.data(), copied);
  buffer[copied] = 0;
  return static_cast<int>(copied);
}

HWND GetDlgItem(HWND dialog, int id) {
  fake::record("GetDlgItem", handleText(dialog) + " " + std::to_string(id));
  return fake::childWithId(dialog, id);
}

BOOL EnableWindow(HWND window, BOOL enable) {
  fake::record("EnableWindow", handleText(window) + " " + std::to_string(enable));
  fake::Window* w = fake::live(window);
  if (!w) return FALSE;
  const BOOL wasDisabled = w->enabled ? FALSE : TRUE;
  w->enabled = enable != FALSE;
  return wasDisabled;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  fake::record("SendMessageA", fake::messageText(window, message, wParam, lParam));
  return fake::deliver(window, message, wParam, lParam);
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  const auto value = reinterpret_cast<std::uintptr_t>(name);
  fake::record("LoadIconA", handleText(instance) + " " +
                                (value <= 0xFFFF ? std::to_string(value) : fake::quoted(name)));
  if (instance || value > 0xFFFF) return nullptr;  // only the stock icons exist
  return fake::stockIcon(name);
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMode) {
  fake::record("PeekMessageA", handleText(window) + " " + hex(filterMin) + " " + hex(filterMax) +
                                   " " + hex(removeMode));
  auto& queue = state().queue;
  for (auto it = queue.begin(); it != queue.end(); ++it) {
    const bool windowMatches = !window || it->hwnd == window;
    const bool numberMatches = (filterMin == 0 && filterMax == 0) ||
                               (it->message >= filterMin && it->message <= filterMax);
    if (!windowMatches || !numberMatches) continue;
    *msg = *it;
    if (removeMode & PM_REMOVE) queue.erase(it);
    state().emptyPolls = 0;
    return TRUE;
  }
  if (state().idleAction) {
    auto action = state().idleAction;
    action();
  }
  if (++state().emptyPolls > fake::kEmptyPollLimit) {
    std::fprintf(stderr,
                 "fake PeekMessageA: the queue stayed empty for %d polls; the code under test "
                 "waits for a message that no test posted\n",
                 fake::kEmptyPollLimit);
    std::abort();
  }
  return FALSE;
}

BOOL IsDialogMessageA(HWND dialog, LPMSG msg) {
  fake::record(
      "IsDialogMessageA",
      handleText(dialog) + " " +
          (msg ? fake::messageText(msg->hwnd, msg->message, msg->wParam, msg->lParam) : "null"));
  fake::Window* w = fake::live(dialog);
  if (!w || !w->isDialog || !msg || !fake::isInside(msg->hwnd, dialog)) return FALSE;
  if (msg->message == WM_KEYDOWN && msg->wParam == fake::kVirtualKeyEscape) {
    const HWND cancel = fake::childWithId(dialog, IDCANCEL);
    fake::deliver(dialog, WM_COMMAND,
                  static_cast<WPARAM>(fake::packWords(IDCANCEL, fake::kBnClicked)),
                  reinterpret_cast<LPARAM>(cancel));
    return TRUE;
  }
  if (msg->message == WM_KEYDOWN) return TRUE;  // Tab and the rest: navigation, not modelled
  fake::deliver(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  return TRUE;
}

BOOL TranslateMessage(const MSG* msg) {
  fake::record("TranslateMessage", msg ? fake::messageName(msg->message) : "null");
  return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) {
    fake::record("DispatchMessageA", "null");
    return 0;
  }
  fake::record("DispatchMessageA",
               fake::messageText(msg->hwnd, msg->message, msg->wParam, msg->lParam));
  return fake::deliver(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL IsWindow(HWND window) {
  fake::record("IsWindow", handleText(window));
  return fake::live(window) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND window, int command) {
  fake::record("ShowWindow", handleText(window) + " " + std::to_string(command));
  fake::Window* w = fake::live(window);
  if (!w) return FALSE;
  const BOOL wasVisible = w->visible ? TRUE : FALSE;
  w->lastShowCommand = command;
  w->visible = command != 0;  // SW_HIDE
  if (w->isDialog && w->visible && !wasVisible) {
    fake::deliver(window, WM_ACTIVATE, WA_ACTIVE, 0);
    fake::paint(window);
  }
  return wasVisible;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
  fake::record("GetClientRect", handleText(window));
  fake::Window* w = fake::live(window);
  if (!w || !rect) return FALSE;
  *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

BOOL DestroyWindow(HWND window) {
  fake::record("DestroyWindow", handleText(window));
  if (fake::takeFailure("DestroyWindow") || !fake::live(window)) return FALSE;
  fake::destroyTree(window);
  return TRUE;
}

LONG GetWindowLongA(HWND window, int index) {
  fake::record("GetWindowLongA", handleText(window) + " " + std::to_string(index));
  fake::Window* w = fake::live(window);
  if (!w) return 0;
  if (index == DWL_MSGRESULT && w->isDialog) return w->messageResult;
  if (index == GWL_HWNDPARENT) {
    // 64-bit Windows refuses this index here: it is pointer-sized there.
    if (fake::kPointerSizedWindowLongs) return 0;
    const HWND up = w->isDialog ? w->owner : w->parent;
    return static_cast<LONG>(reinterpret_cast<LONG_PTR>(up));
  }
  return 0;
}

LONG SetWindowLongA(HWND window, int index, LONG value) {
  fake::record("SetWindowLongA",
               handleText(window) + " " + std::to_string(index) + " " + std::to_string(value));
  fake::Window* w = fake::live(window);
  if (!w) return 0;
  if (index == DWL_MSGRESULT && w->isDialog) {
    const LONG previous = w->messageResult;
    w->messageResult = value;
    return previous;
  }
  if (index == GWL_HWNDPARENT && w->isDialog && !fake::kPointerSizedWindowLongs) {
    const LONG previous = static_cast<LONG>(reinterpret_cast<LONG_PTR>(w->owner));
    w->owner = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
    return previous;
  }
  return 0;
}

HWND SetFocus(HWND window) {
  fake::record("SetFocus", handleText(window));
  const HWND previous = state().focus;
  if (!window || fake::live(window)) state().focus = window;
  return previous;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
  fake::record("SetTimer", handleText(window) + " " + std::to_string(id) + " " +
                               std::to_string(elapse) + (timerProc ? " proc" : ""));
  if (!fake::live(window)) return 0;
  auto& timers = state().timers;
  for (auto it = timers.begin(); it != timers.end(); ++it) {
    if (it->window == window && it->id == id) {
      timers.erase(it);
      break;
    }
  }
  timers.push_back({window, id, elapse, timerProc != nullptr});
  return id ? id : 1;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  fake::record("MessageBoxA", handleText(owner) + " " + fake::quoted(text) + " " +
                                  fake::quoted(caption) + " " + hex(type));
  const fake::MessageBoxCall call{owner, text ? text : "", caption ? caption : "", type};
  state().boxes.push_back(call);
  if (state().boxAction) {
    auto action = state().boxAction;  // the action may show another box
    action(call);
  }
  return IDOK;
}

HDC GetDC(HWND window) {
  fake::record("GetDC", handleText(window));
  if (fake::takeFailure("GetDC")) return nullptr;
  if (window && !fake::live(window)) return nullptr;
  const HDC dc = reinterpret_cast<HDC>(fake::newGdiValue());
  state().dcs[dc] = fake::DcState{};
  state().openDcs.insert(dc);
  return dc;
}

int ReleaseDC(HWND window, HDC dc) {
  fake::record("ReleaseDC", handleText(window) + " " + handleText(dc));
  if (state().openDcs.erase(dc) == 0) return 0;
  state().dcs.erase(dc);
  return 1;
}

int GetDeviceCaps(HDC dc, int index) {
  fake::record("GetDeviceCaps", handleText(dc) + " " + std::to_string(index));
  if (!fake::dcState(dc)) return 0;
  return index == LOGPIXELSY ? state().pixelsPerInch : 0;
}

HFONT CreateFontIndirectA(const LOGFONTA* logFont) {
  fake::record("CreateFontIndirectA", logFont ? fake::quoted(logFont->lfFaceName) + " " +
                                                    std::to_string(logFont->lfHeight) + " " +
                                                    std::to_string(logFont->lfWeight)
                                              : "null");
  if (fake::takeFailure("CreateFontIndirectA") || !logFont) return nullptr;
  state().fonts.push_back(*logFont);
  const HFONT font = reinterpret_cast<HFONT>(fake::newGdiValue());
  state().liveFonts.insert(font);
  return font;
}

HBRUSH CreateSolidBrush(COLORREF color) {
  fake::record("CreateSolidBrush", hex(color));
  if (fake::takeFailure("CreateSolidBrush")) return nullptr;
  const HBRUSH brush = reinterpret_cast<HBRUSH>(fake::newGdiValue());
  state().brushes[brush] = color;
  state().liveBrushes.insert(brush);
  ++state().brushCount;
  return brush;
}

BOOL DeleteObject(HGDIOBJ object) {
  fake::record("DeleteObject", handleText(object));
  if (state().liveBrushes.erase(object) || state().liveFonts.erase(object)) return TRUE;
  ++state().invalidDeletes;
  return FALSE;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
  fake::record("SetTextColor", handleText(dc) + " " + hex(color));
  fake::DcState* s = fake::dcState(dc);
  if (!s) return 0xFFFFFFFFu;  // CLR_INVALID
  const COLORREF previous = s->textColourSet ? s->textColour : 0;
  s->textColour = color;
  s->textColourSet = true;
  return previous;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
  fake::record("SetBkColor", handleText(dc) + " " + hex(color));
  fake::DcState* s = fake::dcState(dc);
  if (!s) return 0xFFFFFFFFu;
  const COLORREF previous = s->backgroundColourSet ? s->backgroundColour : 0xFFFFFF;
  s->backgroundColour = color;
  s->backgroundColourSet = true;
  return previous;
}

int SetBkMode(HDC dc, int mode) {
  fake::record("SetBkMode", handleText(dc) + " " + std::to_string(mode));
  fake::DcState* s = fake::dcState(dc);
  if (!s) return 0;
  const int previous = s->backgroundMode ? s->backgroundMode : OPAQUE;
  s->backgroundMode = mode;
  return previous;
}

DWORD GetSysColor(int index) {
  fake::record("GetSysColor", std::to_string(index));
  auto found = state().sysColors.find(index);
  if (found != state().sysColors.end()) return found->second;
  return 0x00A00000u | (static_cast<DWORD>(index) << 8) | static_cast<DWORD>(index);
}

HBRUSH GetSysColorBrush(int index) {
  fake::record("GetSysColorBrush", std::to_string(index));
  return fake::sysColorBrush(index);
}

HGDIOBJ GetStockObject(int index) {
  fake::record("GetStockObject", std::to_string(index));
  return fake::stockObject(index);
}

}  // namespace platform
