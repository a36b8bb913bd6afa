// USER32/COMCTL32 windows on Linux: dialogs from an in-memory DLGTEMPLATE(EX), BUTTON,
// STATIC and EDIT controls, the dialog manager (keys, Tab order, mnemonics, DefDlgProc) and
// window lifetime, on top of FLTK 1.3 (controls are FLTK widgets, not X windows). Leaves out
// other classes, child dialogs, template items (controls come from CreateWindowExA), threads.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "window.h"

namespace fltkwin {

namespace {

std::map<std::uintptr_t, std::unique_ptr<Wnd>>& windows() {
  static std::map<std::uintptr_t, std::unique_ptr<Wnd>> table;
  return table;
}
std::uintptr_t nextHandle = 0x00010010;
std::uintptr_t focus = 0;
std::uintptr_t active = 0;
std::uintptr_t pendingActivation = 0;
std::vector<std::uintptr_t> activationOrder;  // top-level dialogs, most recent last

int mulDiv(long long a, long long b, long long c) {
  if (c == 0) return -1;
  long long product = a * b;
  const bool negative = (product < 0) != (c < 0);
  if (product < 0) product = -product;
  if (c < 0) c = -c;
  const long long q = (product + c / 2) / c;  // halves away from zero
  return static_cast<int>(negative ? -q : q);
}

bool usable(const Wnd& w) { return (w.style & WS_VISIBLE) && !(w.style & WS_DISABLED); }

std::vector<std::uintptr_t> childrenOf(std::uintptr_t dialog) {
  Wnd* d = findWnd(dialog);
  return d ? d->children : std::vector<std::uintptr_t>{};
}

int indexOf(const std::vector<std::uintptr_t>& list, std::uintptr_t item) {
  auto it = std::find(list.begin(), list.end(), item);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

// GetNextDlgTabItem: the next (or previous) visible, enabled WS_TABSTOP control in
// creation order, wrapping around; 0 when there is none.
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

bool isPushButton(const Wnd& w) {
  return w.kind == WindowKind::Button && (w.style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON;
}

// A push button looks and acts as the default while it has the focus; otherwise the
// dialog's DM_SETDEFID button does, as in Win32 dialogs.
bool actsAsDefault(const Wnd& button) {
  if (!isPushButton(button)) return false;
  if (focus == button.handle) return true;
  Wnd* f = findWnd(focus);
  if (f && f->parent == button.parent && isPushButton(*f)) return false;
  Wnd* d = findWnd(button.parent);
  if (d && d->defId != 0) return d->defId == button.id;
  return (button.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

void redrawButtonsOf(std::uintptr_t dialog) {
  for (std::uintptr_t c : childrenOf(dialog))
    if (Wnd* w = findWnd(c); w && w->kind == WindowKind::Button) redrawWindow(*w);
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

void notifyParent(std::uintptr_t control, WORD code) {
  Wnd* w = findWnd(control);
  if (!w || !w->parent) return;
  sendMessage(w->parent, WM_COMMAND, makeWParam(static_cast<unsigned>(w->id), code),
              static_cast<LPARAM>(control));
}

// Win32's mnemonic search (DIALOG_IsAccelerator): from the control after `from`, round
// the dialog, for a visible enabled button or static whose "&" letter is `ch`.
bool dialogAccelerator(std::uintptr_t dialog, std::uintptr_t from, WPARAM ch) {
  const auto children = childrenOf(dialog);
  const int n = static_cast<int>(children.size());
  const int start = indexOf(children, from);
  int wanted = static_cast<int>(ch & 0xFF);
  if (wanted >= 'a' && wanted <= 'z') wanted -= 32;
  if (wanted >= 0xE0 && wanted <= 0xFE && wanted != 0xF7) wanted -= 32;
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

LRESULT defaultCtlColor(UINT message, HDC dc) {
  int text = COLOR_WINDOWTEXT, back = COLOR_BTNFACE;
  switch (message) {
    case WM_CTLCOLORMSGBOX: text = COLOR_MENUTEXT; back = COLOR_MENU; break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: back = COLOR_WINDOW; break;
    case WM_CTLCOLORBTN: text = COLOR_BTNTEXT; break;
    case WM_CTLCOLORSCROLLBAR: back = COLOR_SCROLLBAR; break;
    default: break;
  }
  if (DcState* s = findDc(dc)) {
    s->text = sysColour(text);
    s->back = sysColour(back);
  }
  return reinterpret_cast<LRESULT>(sysColourBrush(back));
}

// DefWindowProc, for what these classes leave to it.
LRESULT defWindowProc(std::uintptr_t handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Wnd* w = findWnd(handle);
  if (!w) return 0;
  switch (message) {
    case WM_SETTEXT:
      setWindowText(*w, reinterpret_cast<const char*>(lParam));
      return TRUE;
    case WM_GETTEXT:
      return copyText(*w, wParam, lParam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->text.size());
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
    case WM_CLOSE:
      platform::DestroyWindow(toHwnd(handle));
      return 0;
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

// DefDlgProc's own part, for what the dialog procedure answers with 0.
LRESULT defDialogProc(std::uintptr_t handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Wnd* d = findWnd(handle);
  if (!d) return 0;
  switch (message) {
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(d->font);
    case WM_SETFONT:
      d->font = reinterpret_cast<HFONT>(wParam);
      return 0;
    case DM_SETDEFID:
      d->defId = static_cast<int>(wParam);
      redrawButtonsOf(handle);
      return TRUE;
    case DM_GETDEFID:
      return d->defId ? static_cast<LRESULT>(makeWParam(static_cast<unsigned>(d->defId), DC_HASDEFID))
                      : 0;
    case WM_NEXTDLGCTL: {
      std::uintptr_t target;
      if (lParam & 0xFFFF) {
        target = fromHwnd(reinterpret_cast<HWND>(wParam));
        Wnd* t = findWnd(target);
        if (!t || t->parent != handle) return 0;
      } else {
        const std::uintptr_t from = isDescendant(handle, focus) ? focus : 0;
        target = nextTabItem(handle, from, wParam != 0);
      }
      if (target) dialogSetFocus(target);
      return 0;
    }
    case WM_ACTIVATE:
      if ((wParam & 0xFFFF) != static_cast<WPARAM>(WA_INACTIVE)) restoreDialogFocus(handle);
      return 0;
    case WM_SETFOCUS:
      restoreDialogFocus(handle);
      return 0;
    case WM_CLOSE:
      // A dialog does not end itself here: the toolkit ends it on SC_CLOSE, and a
      // command made up from WM_CLOSE would reach the handler a second time.
      return 0;
    case WM_INITDIALOG:
      return 0;
    default:
      return defWindowProc(handle, message, wParam, lParam);
  }
}

bool resultComesDirect(UINT message) {
  return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) ||
         message == WM_INITDIALOG || message == 0x0039 /* WM_COMPAREITEM */ ||
         message == 0x002E /* WM_VKEYTOITEM */ || message == 0x002F /* WM_CHARTOITEM */ ||
         message == 0x0037 /* WM_QUERYDRAGICON */;
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

void clickButton(std::uintptr_t handle) { notifyParent(handle, BN_CLICKED); }

// The font every control class keeps for itself.
LRESULT controlFontMessage(Wnd& w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_GETFONT) return reinterpret_cast<LRESULT>(w.font);
  w.font = reinterpret_cast<HFONT>(wParam);
  if (lParam & 0xFFFF) redrawWindow(w);
  return 0;
}

LRESULT buttonProc(std::uintptr_t handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Wnd* w = findWnd(handle);
  switch (message) {
    case WM_GETDLGCODE:
      return DLGC_BUTTON | (actsAsDefault(*w) ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case WM_LBUTTONDOWN:
      if (w->style & WS_DISABLED) return 0;
      w->mouseCaptured = true;
      if (focus != handle) setFocusTo(handle);
      return 0;
    case WM_LBUTTONUP: {
      if (!w->mouseCaptured) return 0;
      w->mouseCaptured = false;
      const int x = static_cast<short>(lParam & 0xFFFF);
      const int y = static_cast<short>((lParam >> 16) & 0xFFFF);
      if (x >= 0 && y >= 0 && x < w->w && y < w->h) clickButton(handle);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_SPACE && !w->spaceDown) {
        w->spaceDown = true;
        w->pressedLook = true;
        redrawWindow(*w);
      }
      return 0;
    case WM_KEYUP:
      if (wParam == VK_SPACE && w->spaceDown) {
        w->spaceDown = false;
        w->pressedLook = false;
        redrawWindow(*w);
        clickButton(handle);
      }
      return 0;
    case WM_KILLFOCUS:
      w->spaceDown = false;
      w->pressedLook = false;
      w->mouseCaptured = false;
      redrawWindow(*w);
      return 0;
    case WM_SETFOCUS:
    case WM_ENABLE:
      redrawWindow(*w);
      return 0;
    case BM_CLICK:
      if (w->style & WS_DISABLED) return 0;
      sendMessage(handle, WM_LBUTTONDOWN, 0, 0);
      sendMessage(handle, WM_LBUTTONUP, 0, 0);
      return 0;
    case WM_SETFONT:
    case WM_GETFONT:
      return controlFontMessage(*w, message, wParam, lParam);
    default:
      return defWindowProc(handle, message, wParam, lParam);
  }
}

LRESULT staticProc(std::uintptr_t handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Wnd* w = findWnd(handle);
  switch (message) {
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    case WM_ENABLE:
      redrawWindow(*w);
      return 0;
    case WM_SETFONT:
    case WM_GETFONT:
      return controlFontMessage(*w, message, wParam, lParam);
    default:
      return defWindowProc(handle, message, wParam, lParam);
  }
}

void editNotify(std::uintptr_t handle, int outcome) {
  if (outcome & kEditChanged) {
    notifyParent(handle, EN_UPDATE);
    notifyParent(handle, EN_CHANGE);
  }
  if (outcome & kEditFull) notifyParent(handle, EN_MAXTEXT);
}

LRESULT editProc(std::uintptr_t handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Wnd* w = findWnd(handle);
  switch (message) {
    case WM_GETDLGCODE: {
      UINT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
      if (w->style & ES_MULTILINE) code |= DLGC_WANTALLKEYS;
      return code;
    }
    case WM_CHAR:
      editNotify(handle, editChar(*w, static_cast<unsigned char>(wParam)));
      return 0;
    case WM_KEYDOWN:
      editNotify(handle, editKey(*w, wParam, currentModifiers()));
      return 0;
    case WM_PASTE:
      editNotify(handle, editPaste(*w));
      return 0;
    case WM_LBUTTONDOWN:
      if (focus != handle) setFocusTo(handle);
      return 0;
    case WM_SETFOCUS:
      redrawWindow(*w);
      notifyParent(handle, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      redrawWindow(*w);
      notifyParent(handle, EN_KILLFOCUS);
      return 0;
    case WM_ENABLE:
      redrawWindow(*w);
      return 0;
    case WM_SETTEXT:
      w->text = lParam ? std::string(reinterpret_cast<const char*>(lParam)) : std::string();
      editSetText(*w);
      editNotify(handle, 1);
      return TRUE;
    case EM_SETSEL:
      editSetSelection(*w, static_cast<long>(static_cast<LONG>(wParam)),
                       static_cast<long>(static_cast<LONG>(lParam)));
      return 0;
    case EM_GETSEL:
      return editGetSelection(*w, wParam, lParam);
    case EM_SETLIMITTEXT:
      w->editLimit = wParam ? wParam : 0x7FFFFFFE;
      return 0;
    case WM_SETFONT:
    case WM_GETFONT:
      return controlFontMessage(*w, message, wParam, lParam);
    default:
      return defWindowProc(handle, message, wParam, lParam);
  }
}

void activate(std::uintptr_t dialog) {
  Wnd* d = findWnd(dialog);
  if (!d || d->kind != WindowKind::Dialog) return;
  noteActivated(dialog);
  const std::uintptr_t previous = active;
  if (previous == dialog) return;
  active = dialog;
  if (previous && findWnd(previous))
    sendMessage(previous, WM_ACTIVATE, static_cast<WPARAM>(WA_INACTIVE), static_cast<LPARAM>(dialog));
  if (findWnd(dialog))
    sendMessage(dialog, WM_ACTIVATE, static_cast<WPARAM>(WA_ACTIVE), static_cast<LPARAM>(previous));
}

// ---- The dialog template ---------------------------------------------------------------------
struct DialogTemplate {
  DWORD style = 0, exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::string title;
  bool hasFont = false;
  WORD pointSize = 0, weight = FW_NORMAL;
  BYTE italic = 0, charset = 0;
  std::string face;
};

class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* p) : p_(p) {}
  WORD word() {
    WORD v;
    std::memcpy(&v, p_, sizeof v);
    p_ += sizeof v;
    return v;
  }
  DWORD dword() {
    DWORD v;
    std::memcpy(&v, p_, sizeof v);
    p_ += sizeof v;
    return v;
  }
  BYTE byte() { return *p_++; }
  // A zero-terminated UTF-16 string, kept as ANSI; long strings are cut, not trusted.
  std::string wide() {
    std::string out;
    for (int i = 0; i < 4096; ++i) {
      const WORD c = word();
      if (c == 0) return out;
      if (c < 0x100) {
        out += static_cast<char>(c);
      } else {
        const std::string utf8 = [&] {
          std::string s;
          s += static_cast<char>(0xE0 | (c >> 12));
          s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
          s += static_cast<char>(0x80 | (c & 0x3F));
          return s;
        }();
        const std::string ansi = utf8ToAnsi(utf8.data(), utf8.size());
        out += ansi.empty() ? std::string("?") : ansi;
      }
    }
    return out;
  }
  void skipNameOrOrdinal() {
    const WORD first = word();
    if (first == 0) return;
    if (first == 0xFFFF) {
      word();
      return;
    }
    for (int i = 0; i < 4096 && word() != 0; ++i) {
    }
  }

 private:
  const BYTE* p_;
};

DialogTemplate readTemplate(const BYTE* bytes) {
  DialogTemplate t;
  TemplateReader r(bytes);
  const WORD version = r.word();
  const WORD signature = r.word();
  const bool extended = version == 1 && signature == 0xFFFF;
  if (extended) {
    r.dword();  // help id
    t.exStyle = r.dword();
    t.style = r.dword();
  } else {
    TemplateReader again(bytes);
    t.style = again.dword();
    t.exStyle = again.dword();
    r = again;
  }
  r.word();  // the number of items: controls are added later, one by one
  t.x = static_cast<short>(r.word());
  t.y = static_cast<short>(r.word());
  t.cx = static_cast<short>(r.word());
  t.cy = static_cast<short>(r.word());
  r.skipNameOrOrdinal();  // menu
  r.skipNameOrOrdinal();  // class
  t.title = r.wide();
  if (t.style & DS_SETFONT) {
    t.hasFont = true;
    t.pointSize = r.word();
    if (extended) {
      t.weight = r.word();
      t.italic = r.byte();
      t.charset = r.byte();
    }
    t.face = r.wide();
  }
  return t;
}

}  // namespace

// ---- Shared with the other files of this layer --------------------------------------------------
Wnd* findWnd(std::uintptr_t handle) {
  if (!handle) return nullptr;
  auto it = windows().find(handle);
  return it == windows().end() ? nullptr : it->second.get();
}
Wnd* findWnd(HWND window) { return findWnd(fromHwnd(window)); }
HWND toHwnd(std::uintptr_t handle) { return reinterpret_cast<HWND>(handle); }
std::uintptr_t fromHwnd(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }

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

std::uintptr_t focusedWindow() { return focus; }

LRESULT sendMessage(std::uintptr_t window, UINT message, WPARAM wParam, LPARAM lParam) {
  Wnd* w = findWnd(window);
  if (!w) return 0;
  switch (w->kind) {
    case WindowKind::Dialog: return sendToDialog(window, message, wParam, lParam);
    case WindowKind::Button: return buttonProc(window, message, wParam, lParam);
    case WindowKind::Static: return staticProc(window, message, wParam, lParam);
    case WindowKind::Edit: return editProc(window, message, wParam, lParam);
  }
  return 0;
}

bool setFocusTo(std::uintptr_t window) {
  Wnd* w = findWnd(window);
  if (window && !w) return false;
  if (w && (w->style & WS_DISABLED)) return false;
  const std::uintptr_t previous = focus;
  if (previous == window) return true;
  focus = window;
  if (w && w->parent) {
    if (Wnd* d = findWnd(w->parent)) d->focusChild = window;
  }
  if (previous && findWnd(previous))
    sendMessage(previous, WM_KILLFOCUS, static_cast<WPARAM>(window), 0);
  if (window && findWnd(window))
    sendMessage(window, WM_SETFOCUS, static_cast<WPARAM>(previous), 0);
  if (Wnd* now = findWnd(window); now && focus == window) giveWidgetFocus(*now);
  if (Wnd* p = findWnd(previous); p && p->parent) redrawButtonsOf(p->parent);
  if (w && w->parent) redrawButtonsOf(w->parent);
  return true;
}

PaintColours askColours(std::uintptr_t window, UINT message) {
  PaintColours out;
  Wnd* w = findWnd(window);
  if (!w) return out;
  const std::uintptr_t target = w->kind == WindowKind::Dialog ? window : w->parent;
  const HDC dc = createDc(window);
  const LRESULT answer =
      sendMessage(target, message, reinterpret_cast<WPARAM>(dc), static_cast<LPARAM>(window));
  COLORREF colour = 0;
  bool nothing = false;
  if (answer && brushColour(reinterpret_cast<HBRUSH>(answer), colour, nothing)) {
    if (DcState* s = findDc(dc)) {
      out.text = s->text;
      out.back = s->back;
      out.bkMode = s->bkMode;
    }
    out.brush = colour;
    out.brushPaintsNothing = nothing;
  } else {
    // No brush came back: the class's default colours, as if nobody had answered.
    const HDC fresh = createDc(window);
    brushColour(reinterpret_cast<HBRUSH>(defaultCtlColor(message, fresh)), out.brush, nothing);
    if (DcState* s = findDc(fresh)) {
      out.text = s->text;
      out.back = s->back;
    }
    releaseDc(fresh);
  }
  releaseDc(dc);
  return out;
}

void noteActivated(std::uintptr_t dialog) {
  activationOrder.erase(std::remove(activationOrder.begin(), activationOrder.end(), dialog),
                        activationOrder.end());
  activationOrder.push_back(dialog);
}

void notePendingActivation(std::uintptr_t dialog) { pendingActivation = dialog; }

void processPendingActivation() {
  const std::uintptr_t dialog = pendingActivation;
  pendingActivation = 0;
  if (dialog && dialog != active && findWnd(dialog)) activate(dialog);
}

// The active window went away or was hidden: the most recently active visible dialog
// that remains takes over, as Win32 activates the next top-level window.
void activateAfterLoss(std::uintptr_t gone) {
  activationOrder.erase(std::remove(activationOrder.begin(), activationOrder.end(), gone),
                        activationOrder.end());
  if (active != gone) return;
  active = 0;
  if (isDescendant(gone, focus) || focus == gone) focus = 0;
  for (auto it = activationOrder.rbegin(); it != activationOrder.rend(); ++it) {
    Wnd* d = findWnd(*it);
    if (d && (d->style & WS_VISIBLE) && !d->destroying) {
      requestActivation(*d);
      pendingActivation = d->handle;
      return;
    }
  }
}

}  // namespace fltkwin

// ---- The USER32 and COMCTL32 calls ----------------------------------------------------------------
namespace platform {

using namespace fltkwin;

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
  return init && init->dwSize == sizeof(INITCOMMONCONTROLSEX) ? TRUE : FALSE;
}

HWND CreateDialogIndirectParamA(HINSTANCE, LPCDLGTEMPLATEA dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM initParam) {
  if (!dialogTemplate) return nullptr;
  const DialogTemplate t = readTemplate(reinterpret_cast<const BYTE*>(dialogTemplate));
  std::uintptr_t ownerHandle = fromHwnd(owner);
  if (ownerHandle && !findWnd(ownerHandle)) return nullptr;
  if (t.style & WS_CHILD) return nullptr;  // child dialogs are not supported
  if (!ensureDisplay()) return nullptr;
  ownerHandle = topLevelOf(ownerHandle);

  HFONT font = nullptr;
  if (t.hasFont) {
    LOGFONTA lf{};
    const int points = t.pointSize == 0x7FFF ? 8 : t.pointSize;
    lf.lfHeight = -mulDiv(points, screenDpi(), 72);
    lf.lfWeight = t.weight;
    lf.lfItalic = t.italic;
    lf.lfCharSet = t.charset;
    std::strncpy(lf.lfFaceName, t.face.c_str(), LF_FACESIZE - 1);
    font = createFontFor(lf);
  }

  auto record = std::make_unique<Wnd>();
  Wnd& d = *record;
  d.handle = nextHandle;
  nextHandle += 2;
  d.kind = WindowKind::Dialog;
  d.owner = ownerHandle;
  d.style = t.style & ~WS_VISIBLE;
  d.exStyle = t.exStyle;
  d.text = t.title;
  d.font = font;
  d.ownedFont = font;
  d.dlgProc = dialogProc;
  baseUnits(font, d.baseX, d.baseY);
  d.w = std::max(0, mulDiv(t.cx, d.baseX, 4));
  d.h = std::max(0, mulDiv(t.cy, d.baseY, 8));

  int areaX = 0, areaY = 0, areaW = 0, areaH = 0;
  Fl::screen_work_area(areaX, areaY, areaW, areaH, 0);
  if (t.style & DS_CENTER) {
    d.x = areaX + (areaW - d.w) / 2;
    d.y = areaY + (areaH - d.h) / 2;
  } else {
    d.x = mulDiv(t.x, d.baseX, 4);
    d.y = mulDiv(t.y, d.baseY, 8);
    if (Wnd* o = findWnd(ownerHandle); o && !(t.style & DS_ABSALIGN)) {
      d.x += o->x;
      d.y += o->y;
    }
  }
  d.x = std::max(d.x, areaX);
  d.y = std::max(d.y, areaY);

  const std::uintptr_t handle = d.handle;
  windows().emplace(handle, std::move(record));
  Wnd* created = findWnd(handle);
  created->widget = createDialogWidget(handle, created->x, created->y, created->w, created->h);
  syncWidgetText(*created);

  if (t.hasFont) sendMessage(handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  if (!findWnd(handle)) return nullptr;
  const INT_PTR wantsFocus =
      sendMessage(handle, WM_INITDIALOG, static_cast<WPARAM>(nextTabItem(handle, 0, false)), initParam);
  Wnd* after = findWnd(handle);
  if (!after) return nullptr;
  if (wantsFocus) after->focusChild = nextTabItem(handle, 0, false);
  if (t.style & WS_VISIBLE) ShowWindow(toHwnd(handle), SW_SHOW);
  return findWnd(handle) ? toHwnd(handle) : nullptr;
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

  const auto useDefault = static_cast<int>(0x80000000u);  // CW_USEDEFAULT
  if (x == useDefault) x = 0;
  if (y == useDefault) y = 0;
  if (width == useDefault || width < 0) width = 0;
  if (height == useDefault || height < 0) height = 0;

  auto record = std::make_unique<Wnd>();
  Wnd& c = *record;
  c.handle = nextHandle;
  nextHandle += 2;
  c.kind = kind;
  c.parent = p->handle;
  c.id = static_cast<int>(reinterpret_cast<std::intptr_t>(idOrMenu));
  c.style = style;
  c.exStyle = exStyle;
  c.text = text ? std::string(text) : std::string();
  c.x = x;
  c.y = y;
  c.w = width;
  c.h = height;
  const std::uintptr_t handle = c.handle;
  p->children.push_back(handle);
  windows().emplace(handle, std::move(record));
  Wnd* created = findWnd(handle);
  created->widget = createControlWidget(handle, kind, x, y, width, height);
  if (kind == WindowKind::Edit) editSetText(*created);
  setWidgetVisible(*created, (style & WS_VISIBLE) != 0);
  setWidgetEnabled(*created, (style & WS_DISABLED) == 0);
  return toHwnd(handle);
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
  Wnd* d = findWnd(dialog);
  if (!d || d->kind != WindowKind::Dialog || !rect) return FALSE;
  rect->left = mulDiv(rect->left, d->baseX, 4);
  rect->right = mulDiv(rect->right, d->baseX, 4);
  rect->top = mulDiv(rect->top, d->baseY, 8);
  rect->bottom = mulDiv(rect->bottom, d->baseY, 8);
  return TRUE;
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

HWND GetDlgItem(HWND dialog, int id) {
  Wnd* d = findWnd(dialog);
  if (!d) return nullptr;
  for (std::uintptr_t child : d->children)
    if (Wnd* c = findWnd(child); c && c->id == id) return toHwnd(child);
  return nullptr;
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
    if (focus == handle || isDescendant(handle, focus)) setFocusTo(0);
    if (Wnd* again = findWnd(handle)) setWidgetEnabled(*again, false);
    sendMessage(handle, WM_ENABLE, FALSE, 0);
  }
  return wasDisabled ? TRUE : FALSE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return sendMessage(fromHwnd(window), message, wParam, lParam);
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (instance) return nullptr;  // the program carries no icon resources
  const auto id = reinterpret_cast<std::uintptr_t>(name);
  switch (id) {
    case 32512: return stockIcon(1);  // IDI_APPLICATION
    case 32513: return stockIcon(2);  // IDI_HAND / IDI_ERROR
    case 32514: return stockIcon(3);  // IDI_QUESTION
    case 32515: return stockIcon(4);  // IDI_EXCLAMATION / IDI_WARNING
    case 32516: return stockIcon(5);  // IDI_ASTERISK / IDI_INFORMATION
    case 32517: return stockIcon(1);  // IDI_WINLOGO
    default: return nullptr;
  }
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
        case VK_RETURN: {
          Wnd* f = findWnd(focus);
          if (f && isDescendant(d, focus) &&
              (sendMessage(focus, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)) {
            sendMessage(d, WM_COMMAND, makeWParam(static_cast<unsigned>(f->id), BN_CLICKED),
                        static_cast<LPARAM>(focus));
            return TRUE;
          }
          const LRESULT def = sendMessage(d, DM_GETDEFID, 0, 0);
          if (((def >> 16) & 0xFFFF) == DC_HASDEFID) {
            const int id = static_cast<int>(def & 0xFFFF);
            HWND button = GetDlgItem(dialog, id);
            Wnd* b = findWnd(button);
            if (!b || !(b->style & WS_DISABLED))
              sendMessage(d, WM_COMMAND, makeWParam(static_cast<unsigned>(id), BN_CLICKED),
                          reinterpret_cast<LPARAM>(button));
          } else {
            sendMessage(d, WM_COMMAND, makeWParam(IDOK, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
          }
          return TRUE;
        }
        default:
          break;
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
    default:
      break;
  }
  TranslateMessage(msg);
  DispatchMessageA(msg);
  return TRUE;
}

BOOL IsWindow(HWND window) { return findWnd(window) ? TRUE : FALSE; }

BOOL ShowWindow(HWND window, int command) {
  const std::uintptr_t handle = fromHwnd(window);
  Wnd* w = findWnd(handle);
  if (!w) return FALSE;
  const bool wasVisible = (w->style & WS_VISIBLE) != 0;
  if (w->kind != WindowKind::Dialog) {
    if (command == 0 /* SW_HIDE */) {
      w->style &= ~WS_VISIBLE;
      if (focus == handle) setFocusTo(0);
    } else {
      w->style |= WS_VISIBLE;
    }
    if (Wnd* again = findWnd(handle)) setWidgetVisible(*again, (again->style & WS_VISIBLE) != 0);
    return wasVisible ? TRUE : FALSE;
  }
  if (command == 0) {
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
  const bool activates = command != 4 /* SW_SHOWNOACTIVATE */ && command != 6 /* SW_MINIMIZE */ &&
                         command != 7 /* SW_SHOWMINNOACTIVE */ && command != 8 /* SW_SHOWNA */;
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
  if (focus == handle || isDescendant(handle, focus)) focus = 0;

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
  if (focus == handle) focus = 0;
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
    default:
      return 0;
  }
  return previous;
}

HWND SetFocus(HWND window) {
  const std::uintptr_t previous = focus;
  if (!setFocusTo(fromHwnd(window))) return nullptr;
  return toHwnd(previous);
}

}  // namespace platform
