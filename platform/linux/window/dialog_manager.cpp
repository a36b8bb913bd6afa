// The dialog manager on Linux: DefDlgProc's part (DM_SETDEFID, WM_NEXTDLGCTL, the focus
// a dialog restores), the results a dialog procedure gives, IsDialogMessageA (Tab,
// arrows within a group, Enter, Escape, "&" mnemonics), GetDlgItem and MapDialogRect.
// Leaves out child dialogs, DS_CONTROL, radio groups and the WM_GETDLGCODE of classes
// other than BUTTON, STATIC and EDIT.
#include "dialog_manager.h"

#include <FL/Enumerations.H>

#include <algorithm>
#include <vector>

#include "button.h"
#include "focus.h"
#include "gdi.h"
#include "message_queue.h"
#include "text.h"
#include "win32_values.h"
#include "window.h"

namespace fltkwin {

namespace {

bool usable(const Wnd& w) { return (w.style & WS_VISIBLE) && !(w.style & WS_DISABLED); }

std::vector<std::uintptr_t> childrenOf(std::uintptr_t dialog) {
  Wnd* d = findWnd(dialog);
  return d ? d->children : std::vector<std::uintptr_t>{};
}

int indexOf(const std::vector<std::uintptr_t>& list, std::uintptr_t item) {
  auto it = std::find(list.begin(), list.end(), item);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

// GetNextDlgGroupItem: arrows move within the WS_GROUP group of the control.
std::uintptr_t nextGroupItem(std::uintptr_t dialog, std::uintptr_t from, bool previous) {
  const auto children = childrenOf(dialog);
  const int n = static_cast<int>(children.size());
  const int at = indexOf(children, from);
  if (at < 0) return 0;
  auto hasGroup = [&](int i) {
    Wnd* c = findWnd(children[i]);
    return c && (c->style & WS_GROUP);
  };
  int first = at;
  while (first > 0 && !hasGroup(first)) --first;
  int last = at + 1;
  while (last < n && !hasGroup(last)) ++last;
  const int size = last - first;
  for (int step = 1; step < size; ++step) {
    const int offset = ((at - first + (previous ? -step : step)) % size + size) % size;
    Wnd* c = findWnd(children[first + offset]);
    if (c && usable(*c)) return c->handle;
  }
  return 0;
}

void dialogSetFocus(std::uintptr_t control) {
  if (sendMessage(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
    sendMessage(control, EM_SETSEL, 0, -1);
  setFocusTo(control);
}

void restoreDialogFocus(std::uintptr_t dialog) {
  Wnd* d = findWnd(dialog);
  if (!d) return;
  Wnd* saved = findWnd(d->focusChild);
  if (saved && saved->parent == dialog && usable(*saved)) {
    setFocusTo(saved->handle);
    return;
  }
  const std::uintptr_t first = nextTabItem(dialog, 0, false);
  if (first) {
    dialogSetFocus(first);
  } else {
    setFocusTo(dialog);
  }
}

// Win32's mnemonic search (DIALOG_IsAccelerator): from the control after `from`, round
// the dialog, for a visible enabled button or static whose "&" letter is `ch`.
bool dialogAccelerator(std::uintptr_t dialog, std::uintptr_t from, WPARAM ch) {
  const auto children = childrenOf(dialog);
  const int n = static_cast<int>(children.size());
  const int start = indexOf(children, from);
  const int wanted = upperAnsi(static_cast<int>(ch & 0xFF));
  for (int step = 1; step <= n; ++step) {
    const int i = ((start < 0 ? -1 : start) + step) % n;
    Wnd* c = findWnd(children[i]);
    if (!c || !usable(*c)) continue;
    if (c->kind == WindowKind::Static && (c->style & SS_NOPREFIX)) continue;
    if (c->kind != WindowKind::Static && c->kind != WindowKind::Button) continue;
    const char m = mnemonicOf(c->text);
    if (!m || static_cast<unsigned char>(m) != wanted) continue;
    const std::uintptr_t hit = c->handle;
    if (c->kind == WindowKind::Static) {
      sendMessage(dialog, WM_NEXTDLGCTL, static_cast<WPARAM>(hit), 1);
      sendMessage(dialog, WM_NEXTDLGCTL, 0, 0);
    } else {
      sendMessage(hit, BM_CLICK, 0, 0);
    }
    return true;
  }
  return false;
}

// DefDlgProc's own part, for what the dialog procedure answers with 0.
LRESULT defDialogProc(std::uintptr_t handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Wnd* d = findWnd(handle);
  if (!d) return 0;
  switch (message) {
    case WM_GETFONT: return reinterpret_cast<LRESULT>(d->font);
    case WM_SETFONT: d->font = reinterpret_cast<HFONT>(wParam); return 0;
    case DM_SETDEFID:
      d->defId = static_cast<int>(wParam);
      redrawButtonsOf(handle);
      return TRUE;
    case DM_GETDEFID:
      return d->defId
                 ? static_cast<LRESULT>(makeWParam(static_cast<unsigned>(d->defId), DC_HASDEFID))
                 : 0;
    case WM_NEXTDLGCTL: {
      std::uintptr_t target;
      if (lParam & 0xFFFF) {
        target = fromHwnd(reinterpret_cast<HWND>(wParam));
        Wnd* t = findWnd(target);
        if (!t || t->parent != handle) return 0;
      } else {
        const std::uintptr_t focus = focusedWindow();
        const std::uintptr_t from = isDescendant(handle, focus) ? focus : 0;
        target = nextTabItem(handle, from, wParam != 0);
      }
      if (target) dialogSetFocus(target);
      return 0;
    }
    case WM_ACTIVATE:
      if ((wParam & 0xFFFF) != static_cast<WPARAM>(WA_INACTIVE)) restoreDialogFocus(handle);
      return 0;
    case WM_SETFOCUS: restoreDialogFocus(handle); return 0;
    case WM_CLOSE:
      // A dialog does not end itself here: the toolkit ends it on SC_CLOSE, and a
      // command made up from WM_CLOSE would reach the handler a second time.
      return 0;
    case WM_INITDIALOG: return 0;
    default: return defWindowProc(handle, message, wParam, lParam);
  }
}

// The messages whose answer is the dialog procedure's return value, not DWL_MSGRESULT.
bool resultComesDirect(UINT message) {
  return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) ||
         message == WM_INITDIALOG || message == WM_COMPAREITEM || message == WM_VKEYTOITEM ||
         message == WM_CHARTOITEM || message == WM_QUERYDRAGICON;
}

// Enter: the focused push button, else the DM_GETDEFID button, else IDOK.
void pressDefault(HWND dialog, std::uintptr_t d) {
  const std::uintptr_t focus = focusedWindow();
  Wnd* f = findWnd(focus);
  if (f && isDescendant(d, focus) &&
      (sendMessage(focus, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)) {
    sendMessage(d, WM_COMMAND, makeWParam(static_cast<unsigned>(f->id), BN_CLICKED),
                static_cast<LPARAM>(focus));
    return;
  }
  const LRESULT def = sendMessage(d, DM_GETDEFID, 0, 0);
  if (((def >> 16) & 0xFFFF) == DC_HASDEFID) {
    const int id = static_cast<int>(def & 0xFFFF);
    HWND button = platform::GetDlgItem(dialog, id);
    Wnd* b = findWnd(button);
    if (!b || !(b->style & WS_DISABLED))
      sendMessage(d, WM_COMMAND, makeWParam(static_cast<unsigned>(id), BN_CLICKED),
                  reinterpret_cast<LPARAM>(button));
  } else {
    sendMessage(d, WM_COMMAND, makeWParam(IDOK, BN_CLICKED),
                reinterpret_cast<LPARAM>(platform::GetDlgItem(dialog, IDOK)));
  }
}

}  // namespace

std::uintptr_t nextTabItem(std::uintptr_t dialog, std::uintptr_t from, bool previous) {
  const auto children = childrenOf(dialog);
  const int n = static_cast<int>(children.size());
  if (n == 0) return 0;
  int start = indexOf(children, from);
  if (start < 0) start = previous ? 0 : n - 1;
  for (int step = 1; step <= n; ++step) {
    const int i = ((start + (previous ? -step : step)) % n + n) % n;
    Wnd* c = findWnd(children[i]);
    if (c && usable(*c) && (c->style & WS_TABSTOP)) return c->handle;
  }
  return 0;
}

LRESULT sendToDialog(std::uintptr_t handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Wnd* d = findWnd(handle);
  const DLGPROC proc = d->dlgProc;
  d->msgResult = 0;
  INT_PTR result = proc ? proc(toHwnd(handle), message, wParam, lParam) : 0;
  d = findWnd(handle);
  if (!d) return resultComesDirect(message) ? result : 0;
  if (!result) return defDialogProc(handle, message, wParam, lParam);
  if (resultComesDirect(message)) return result;
  return d->msgResult;
}

int dialogUnitsX(const Wnd& dialog, int units) { return mulDiv(units, dialog.baseX, 4); }
int dialogUnitsY(const Wnd& dialog, int units) { return mulDiv(units, dialog.baseY, 8); }

}  // namespace fltkwin

namespace platform {

using namespace fltkwin;

HWND GetDlgItem(HWND dialog, int id) {
  Wnd* d = findWnd(dialog);
  if (!d) return nullptr;
  for (std::uintptr_t child : d->children)
    if (Wnd* c = findWnd(child); c && c->id == id) return toHwnd(child);
  return nullptr;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
  Wnd* d = findWnd(dialog);
  if (!d || d->kind != WindowKind::Dialog || !rect) return FALSE;
  rect->left = dialogUnitsX(*d, rect->left);
  rect->right = dialogUnitsX(*d, rect->right);
  rect->top = dialogUnitsY(*d, rect->top);
  rect->bottom = dialogUnitsY(*d, rect->bottom);
  return TRUE;
}

BOOL IsDialogMessageA(HWND dialog, LPMSG msg) {
  if (!msg) return FALSE;
  const std::uintptr_t d = fromHwnd(dialog);
  if (!findWnd(d)) return FALSE;
  const std::uintptr_t target = fromHwnd(msg->hwnd);
  if (target != d && !isDescendant(d, target)) return FALSE;

  switch (msg->message) {
    case WM_KEYDOWN: {
      const auto code = static_cast<UINT>(
          sendMessage(target, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg)));
      if (code & DLGC_WANTALLKEYS) break;
      switch (msg->wParam) {
        case VK_TAB:
          if (code & DLGC_WANTTAB) break;
          sendMessage(d, WM_NEXTDLGCTL, (currentModifiers() & FL_SHIFT) ? 1 : 0, 0);
          return TRUE;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN: {
          if (code & DLGC_WANTARROWS) break;
          const bool previous = msg->wParam == VK_LEFT || msg->wParam == VK_UP;
          if (const std::uintptr_t next = nextGroupItem(d, target, previous))
            sendMessage(d, WM_NEXTDLGCTL, static_cast<WPARAM>(next), 1);
          return TRUE;
        }
        case VK_ESCAPE:
          sendMessage(d, WM_COMMAND, makeWParam(IDCANCEL, 0),
                      reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
          return TRUE;
        case VK_RETURN: pressDefault(dialog, d); return TRUE;
        default: break;
      }
      break;
    }
    case WM_CHAR: {
      const auto code = static_cast<UINT>(
          sendMessage(target, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg)));
      if (code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS)) break;
      if (msg->wParam == '\t' && (code & DLGC_WANTTAB)) break;
      if (dialogAccelerator(d, target, msg->wParam)) return TRUE;
      break;
    }
    case WM_SYSCHAR:
      if (dialogAccelerator(d, target, msg->wParam)) return TRUE;
      break;
    default: break;
  }
  TranslateMessage(msg);
  DispatchMessageA(msg);
  return TRUE;
}

}  // namespace platform
