// The window table and the window functions on Linux: HWND records, SendMessage to the
// class procedures, DefWindowProc, CreateWindowExA for the BUTTON, STATIC and EDIT
// controls, text, styles, showing, enabling and destroying, and the FLTK widget behind
// each window. Leaves out other classes, top-level controls, controls in controls,
// window classes of the program's own and threads.
#include "window.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "button.h"
#include "dialog_manager.h"
#include "dialog_window.h"
#include "display.h"
#include "edit.h"
#include "focus.h"
#include "gdi.h"
#include "message_queue.h"
#include "paint.h"
#include "static.h"
#include "text.h"
#include "win32_values.h"

namespace fltkwin {

namespace {

std::map<std::uintptr_t, std::unique_ptr<Wnd>>& windows() {
  static std::map<std::uintptr_t, std::unique_ptr<Wnd>> table;
  return table;
}
std::uintptr_t nextHandle = 0x00010010;

void setWindowText(Wnd& w, const char* text) {
  w.text = text ? std::string(text) : std::string();
  syncWidgetText(w);
}

LRESULT copyText(const Wnd& w, WPARAM size, LPARAM buffer) {
  char* out = reinterpret_cast<char*>(buffer);
  if (!out || size == 0) return 0;
  const std::size_t n = std::min<std::size_t>(w.text.size(), static_cast<std::size_t>(size) - 1);
  std::memcpy(out, w.text.data(), n);
  out[n] = '\0';
  return static_cast<LRESULT>(n);
}

// The control's widget, added to its dialog's window; none when the dialog has no window.
Fl_Widget* createControlWidget(const Wnd& c) {
  Wnd* d = findWnd(c.parent);
  Fl_Window* window = d ? dialogWindowOf(*d) : nullptr;
  if (!window) return nullptr;
  Fl_Group::current(nullptr);
  Fl_Widget* widget = nullptr;
  switch (c.kind) {
    case WindowKind::Button: widget = createButtonWidget(c.handle, c.x, c.y, c.w, c.h); break;
    case WindowKind::Static: widget = createStaticWidget(c.handle, c.x, c.y, c.w, c.h); break;
    case WindowKind::Edit: widget = createEditWidget(c.handle, c.x, c.y, c.w, c.h); break;
    case WindowKind::Dialog: return nullptr;
  }
  window->add(widget);
  window->redraw();
  return widget;
}

}  // namespace

// ---- The handle table -----------------------------------------------------------------
Wnd* findWnd(std::uintptr_t handle) {
  if (!handle) return nullptr;
  auto it = windows().find(handle);
  return it == windows().end() ? nullptr : it->second.get();
}
Wnd* findWnd(HWND window) { return findWnd(fromHwnd(window)); }
HWND toHwnd(std::uintptr_t handle) { return reinterpret_cast<HWND>(handle); }
std::uintptr_t fromHwnd(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }

Wnd& newWindow(WindowKind kind) {
  auto record = std::make_unique<Wnd>();
  record->handle = nextHandle;
  record->kind = kind;
  nextHandle += 2;
  Wnd& w = *record;
  windows().emplace(w.handle, std::move(record));
  return w;
}

bool isDescendant(std::uintptr_t ancestor, std::uintptr_t window) {
  for (Wnd* w = findWnd(window); w && w->parent; w = findWnd(w->parent))
    if (w->parent == ancestor) return true;
  return false;
}

std::uintptr_t topLevelOf(std::uintptr_t window) {
  Wnd* w = findWnd(window);
  while (w && w->parent) w = findWnd(w->parent);
  return w ? w->handle : 0;
}

// ---- Messages -------------------------------------------------------------------------
LRESULT sendMessage(std::uintptr_t window, UINT message, WPARAM wParam, LPARAM lParam) {
  Wnd* w = findWnd(window);
  if (!w) return 0;
  switch (w->kind) {
    case WindowKind::Dialog: return sendToDialog(window, message, wParam, lParam);
    case WindowKind::Button: return buttonProc(*w, message, wParam, lParam);
    case WindowKind::Static: return staticProc(*w, message, wParam, lParam);
    case WindowKind::Edit: return editProc(*w, message, wParam, lParam);
  }
  return 0;
}

LRESULT defWindowProc(std::uintptr_t handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Wnd* w = findWnd(handle);
  if (!w) return 0;
  switch (message) {
    case WM_SETTEXT: setWindowText(*w, reinterpret_cast<const char*>(lParam)); return TRUE;
    case WM_GETTEXT: return copyText(*w, wParam, lParam);
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
    case WM_SETICON: {
      HICON& slot = wParam == ICON_BIG ? w->iconBig : w->iconSmall;
      const HICON previous = slot;
      slot = reinterpret_cast<HICON>(lParam);
      if (w->kind == WindowKind::Dialog) applyDialogIcons(*w);
      return reinterpret_cast<LRESULT>(previous);
    }
    case WM_GETICON:
      return reinterpret_cast<LRESULT>(wParam == ICON_BIG ? w->iconBig : w->iconSmall);
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) sendMessage(handle, WM_CLOSE, 0, 0);
      return 0;
    case WM_CLOSE: platform::DestroyWindow(toHwnd(handle)); return 0;
    case WM_SYSKEYDOWN:
      if (wParam == VK_F4 && (lParam & (1L << 29))) {
        if (const std::uintptr_t top = topLevelOf(handle))
          postMessage(top, WM_SYSCOMMAND, SC_CLOSE, 0);
      }
      return 0;
    default:
      if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC)
        return defaultCtlColor(message, reinterpret_cast<HDC>(wParam));
      return 0;
  }
}

LRESULT defControlProc(Wnd& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ENABLE: redrawWindow(w); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(w.font);
    case WM_SETFONT:
      w.font = reinterpret_cast<HFONT>(wParam);
      if (lParam & 0xFFFF) redrawWindow(w);
      return 0;
    default: return defWindowProc(w.handle, message, wParam, lParam);
  }
}

void notifyParent(std::uintptr_t control, WORD code) {
  Wnd* w = findWnd(control);
  if (!w || !w->parent) return;
  sendMessage(w->parent, WM_COMMAND, makeWParam(static_cast<unsigned>(w->id), code),
              static_cast<LPARAM>(control));
}

// ---- The widget behind a window ----------------------------------------------------------
void syncWidgetText(Wnd& w) {
  if (!w.widget) return;
  if (w.kind == WindowKind::Dialog) {
    w.widget->copy_label(ansiToUtf8(w.text).c_str());
  } else if (w.kind == WindowKind::Edit) {
    editSetText(w);
  } else {
    w.widget->redraw();
  }
}

void redrawWindow(Wnd& w) {
  if (w.widget) w.widget->redraw();
}

void giveWidgetFocus(Wnd& w) {
  if (!w.widget || w.kind == WindowKind::Dialog) return;
  Fl_Widget* current = Fl::focus();
  // Another window has the keyboard: this one's focus waits for its activation.
  if (current && current->top_window() != w.widget->top_window()) return;
  w.widget->take_focus();
}

void setWidgetEnabled(Wnd& w, bool enabled) {
  if (!w.widget) return;
  if (enabled) {
    w.widget->activate();
  } else {
    w.widget->deactivate();
  }
  w.widget->redraw();
}

void setWidgetVisible(Wnd& w, bool visible) {
  if (!w.widget || w.kind == WindowKind::Dialog) return;
  if (visible) {
    w.widget->show();
  } else {
    w.widget->hide();
  }
  if (Fl_Window* window = w.widget->window()) window->redraw();
}

void detachWidget(Wnd& w) {
  Fl_Widget* widget = w.widget;
  w.widget = nullptr;
  if (!widget) return;
  if (!insideFltk()) widget->hide();
  deleteWidgetLater(widget);
}

}  // namespace fltkwin

// ---- The USER32 and COMCTL32 calls ------------------------------------------------------
namespace platform {

using namespace fltkwin;

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
  return init && init->dwSize == sizeof(INITCOMMONCONTROLSEX) ? TRUE : FALSE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR text, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU idOrMenu, HINSTANCE, LPVOID) {
  if (reinterpret_cast<std::uintptr_t>(className) < 0x10000) return nullptr;  // atoms: no
  WindowKind kind;
  if (strcasecmp(className, "BUTTON") == 0) {
    kind = WindowKind::Button;
  } else if (strcasecmp(className, "STATIC") == 0) {
    kind = WindowKind::Static;
  } else if (strcasecmp(className, "EDIT") == 0) {
    kind = WindowKind::Edit;
  } else {
    return nullptr;
  }
  Wnd* p = findWnd(parent);
  // Controls live in dialogs; top-level controls and controls in controls are not made.
  if (!p || p->kind != WindowKind::Dialog || p->destroying || !(style & WS_CHILD)) return nullptr;

  if (x == CW_USEDEFAULT) x = 0;
  if (y == CW_USEDEFAULT) y = 0;
  if (width == CW_USEDEFAULT || width < 0) width = 0;
  if (height == CW_USEDEFAULT || height < 0) height = 0;

  Wnd& c = newWindow(kind);
  c.parent = p->handle;
  c.id = static_cast<int>(reinterpret_cast<std::intptr_t>(idOrMenu));
  c.style = style;
  c.exStyle = exStyle;
  c.text = text ? std::string(text) : std::string();
  c.x = x;
  c.y = y;
  c.w = width;
  c.h = height;
  p->children.push_back(c.handle);
  c.widget = createControlWidget(c);
  if (kind == WindowKind::Edit) editSetText(c);
  setWidgetVisible(c, (style & WS_VISIBLE) != 0);
  setWidgetEnabled(c, (style & WS_DISABLED) == 0);
  return toHwnd(c.handle);
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  const std::uintptr_t handle = fromHwnd(window);
  if (!findWnd(handle)) return FALSE;
  return sendMessage(handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) ? TRUE
                                                                                        : FALSE;
}

int GetWindowTextLengthA(HWND window) {
  const std::uintptr_t handle = fromHwnd(window);
  if (!findWnd(handle)) return 0;
  return static_cast<int>(sendMessage(handle, WM_GETTEXTLENGTH, 0, 0));
}

int GetWindowTextA(HWND window, LPSTR buffer, int bufferSize) {
  if (!buffer || bufferSize <= 0) return 0;
  buffer[0] = '\0';
  const std::uintptr_t handle = fromHwnd(window);
  if (!findWnd(handle)) return 0;
  return static_cast<int>(sendMessage(handle, WM_GETTEXT, static_cast<WPARAM>(bufferSize),
                                      reinterpret_cast<LPARAM>(buffer)));
}

BOOL EnableWindow(HWND window, BOOL enable) {
  const std::uintptr_t handle = fromHwnd(window);
  Wnd* w = findWnd(handle);
  if (!w) return FALSE;
  const bool wasDisabled = (w->style & WS_DISABLED) != 0;
  if (enable && wasDisabled) {
    w->style &= ~WS_DISABLED;
    setWidgetEnabled(*w, true);
    sendMessage(handle, WM_ENABLE, TRUE, 0);
  } else if (!enable && !wasDisabled) {
    w->style |= WS_DISABLED;
    const std::uintptr_t focus = focusedWindow();
    if (focus == handle || isDescendant(handle, focus)) setFocusTo(0);
    if (Wnd* again = findWnd(handle)) setWidgetEnabled(*again, false);
    sendMessage(handle, WM_ENABLE, FALSE, 0);
  }
  return wasDisabled ? TRUE : FALSE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return sendMessage(fromHwnd(window), message, wParam, lParam);
}

BOOL IsWindow(HWND window) { return findWnd(window) ? TRUE : FALSE; }

BOOL ShowWindow(HWND window, int command) {
  const std::uintptr_t handle = fromHwnd(window);
  Wnd* w = findWnd(handle);
  if (!w) return FALSE;
  const bool wasVisible = (w->style & WS_VISIBLE) != 0;
  if (w->kind != WindowKind::Dialog) {
    if (command == SW_HIDE) {
      w->style &= ~WS_VISIBLE;
      if (focusedWindow() == handle) setFocusTo(0);
    } else {
      w->style |= WS_VISIBLE;
    }
    if (Wnd* again = findWnd(handle)) setWidgetVisible(*again, (again->style & WS_VISIBLE) != 0);
    return wasVisible ? TRUE : FALSE;
  }
  if (command == SW_HIDE) {
    if (!wasVisible) return FALSE;
    w->style &= ~WS_VISIBLE;
    sendMessage(handle, WM_SHOWWINDOW, FALSE, 0);
    if (Wnd* again = findWnd(handle)) hideDialogWidget(*again);
    activateAfterLoss(handle);
    return TRUE;
  }
  w->style |= WS_VISIBLE;
  if (!wasVisible) sendMessage(handle, WM_SHOWWINDOW, TRUE, 0);
  Wnd* again = findWnd(handle);
  if (!again || !(again->style & WS_VISIBLE)) return wasVisible ? TRUE : FALSE;
  showDialogWidget(*again, command);
  const bool activates = command != SW_SHOWNOACTIVATE && command != SW_MINIMIZE &&
                         command != SW_SHOWMINNOACTIVE && command != SW_SHOWNA;
  if (activates) {
    requestActivation(*again);
    activate(handle);
  }
  return wasVisible ? TRUE : FALSE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
  Wnd* w = findWnd(window);
  if (!w || !rect) return FALSE;
  *rect = RECT{0, 0, w->w, w->h};
  return TRUE;
}

BOOL DestroyWindow(HWND window) {
  const std::uintptr_t handle = fromHwnd(window);
  Wnd* w = findWnd(handle);
  if (!w || w->destroying) return FALSE;
  w->destroying = true;

  // Windows it owns go first, as on Win32.
  std::vector<std::uintptr_t> owned;
  for (const auto& [h, other] : windows())
    if (other->kind == WindowKind::Dialog && other->owner == handle) owned.push_back(h);
  for (std::uintptr_t h : owned) DestroyWindow(toHwnd(h));

  w = findWnd(handle);
  if (w->kind == WindowKind::Dialog && (w->style & WS_VISIBLE)) {
    w->style &= ~WS_VISIBLE;
    hideDialogWidget(*w);
  }
  forgetFocusWithin(handle);

  const std::vector<std::uintptr_t> children = w->children;
  for (std::uintptr_t c : children)
    if (Wnd* cw = findWnd(c)) cw->destroying = true;

  // WM_DESTROY to the window, then to its children; WM_NCDESTROY the other way round.
  sendMessage(handle, WM_DESTROY, 0, 0);
  for (std::uintptr_t c : children) sendMessage(c, WM_DESTROY, 0, 0);
  for (std::uintptr_t c : children) sendMessage(c, WM_NCDESTROY, 0, 0);
  sendMessage(handle, WM_NCDESTROY, 0, 0);

  for (std::uintptr_t c : children) {
    killTimersOf(c);
    discardMessagesFor(c);
    windows().erase(c);  // their widgets go with the dialog's window
  }
  w = findWnd(handle);
  if (!w) return TRUE;
  killTimersOf(handle);
  discardMessagesFor(handle);
  if (Wnd* p = findWnd(w->parent)) {
    p->children.erase(std::remove(p->children.begin(), p->children.end(), handle),
                      p->children.end());
    if (p->focusChild == handle) p->focusChild = 0;
  }
  detachWidget(*w);
  if (w->ownedFont) deleteGdiObject(w->ownedFont);
  const bool topLevel = w->kind == WindowKind::Dialog;
  windows().erase(handle);
  if (topLevel) activateAfterLoss(handle);
  forgetFocusWithin(handle);
  deletePendingWidgets();
  return TRUE;
}

LONG GetWindowLongA(HWND window, int index) {
  Wnd* w = findWnd(window);
  if (!w) return 0;
  switch (index) {
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->exStyle);
    case GWL_ID: return w->kind == WindowKind::Dialog ? 0 : w->id;
    case GWL_HWNDPARENT:
      return static_cast<LONG>(w->kind == WindowKind::Dialog ? w->owner : w->parent);
    case DWL_MSGRESULT: return w->kind == WindowKind::Dialog ? w->msgResult : 0;
    case DWL_USER: return w->kind == WindowKind::Dialog ? w->user : 0;
    default: return 0;
  }
}

LONG SetWindowLongA(HWND window, int index, LONG value) {
  Wnd* w = findWnd(window);
  if (!w) return 0;
  LONG previous = 0;
  switch (index) {
    case GWL_STYLE:
      previous = static_cast<LONG>(w->style);
      w->style = static_cast<DWORD>(value);
      redrawWindow(*w);
      break;
    case GWL_EXSTYLE:
      previous = static_cast<LONG>(w->exStyle);
      w->exStyle = static_cast<DWORD>(value);
      redrawWindow(*w);
      break;
    case GWL_ID:
      if (w->kind == WindowKind::Dialog) return 0;
      previous = w->id;
      w->id = value;
      break;
    case GWL_HWNDPARENT: {
      if (w->kind != WindowKind::Dialog) return 0;
      const auto owner = static_cast<std::uintptr_t>(static_cast<std::uint32_t>(value));
      if (owner && (!findWnd(owner) || owner == w->handle)) return 0;
      previous = static_cast<LONG>(w->owner);
      w->owner = topLevelOf(owner);
      break;
    }
    case DWL_MSGRESULT:
      if (w->kind != WindowKind::Dialog) return 0;
      previous = w->msgResult;
      w->msgResult = value;
      break;
    case DWL_USER:
      if (w->kind != WindowKind::Dialog) return 0;
      previous = w->user;
      w->user = value;
      break;
    default: return 0;
  }
  return previous;
}

}  // namespace platform
