// The EDIT class on Linux (single-line edits): its window procedure (typing, Backspace,
// Delete, the caret keys, clipboard, undo, selection, EN_* notifications) and its widget,
// an Fl_Input that draws the thin or sunken border and takes no key of its own: keys are
// posted by the dialog and edit the text when dispatched. Without ES_AUTOHSCROLL the
// edit stops taking text when the box is full, as Win32's does. Leaves out multi-line
// edits, ES_PASSWORD, ES_NUMBER, case conversion, margins and the context menu.
#include "edit.h"

#include <FL/Fl.H>
#include <FL/Fl_Input.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <string>

#include "dialog_window.h"
#include "display.h"
#include "focus.h"
#include "gdi.h"
#include "message_queue.h"
#include "paint.h"
#include "text.h"
#include "win32_values.h"
#include "window.h"

namespace fltkwin {

namespace {

constexpr int kEditMargin = 1;
// What an edit did to its text: changed it, refused some of it because it is full, or both.
constexpr int kEditChanged = 1;
constexpr int kEditFull = 2;

int editPaste(Wnd& w);

int borderWidth(const Wnd& w) {
  return ((w.style & WS_BORDER) ? 1 : 0) + ((w.exStyle & WS_EX_CLIENTEDGE) ? 2 : 0);
}

class EditWidget : public Fl_Input {
 public:
  EditWidget(std::uintptr_t handle, int x, int y, int w, int h)
      : Fl_Input(x, y, w, h), handle_(handle) {
    box(FL_FLAT_BOX);
    when(FL_WHEN_NEVER);
    maximum_size(0x1FFFFFFF);
  }

  int handle(int event) override {
    FltkScope scope;
    Wnd* w = findWnd(handle_);
    if (!w) return 0;
    switch (event) {
      case FL_KEYBOARD:
      case FL_KEYUP:
      case FL_SHORTCUT:
        return 0;  // the dialog posts keys; editing happens when they are dispatched
      case FL_PASTE:
        if (Fl::event_text() && Fl::event_length() > 0) {
          w->pendingPaste.assign(Fl::event_text(), static_cast<std::size_t>(Fl::event_length()));
          postMessage(handle_, WM_PASTE, 0, 0);
        }
        return 1;
      case FL_DND_ENTER:
      case FL_DND_DRAG:
      case FL_DND_LEAVE:
      case FL_DND_RELEASE: return 0;
      case FL_PUSH:
        if (Fl::event_button() == FL_LEFT_MOUSE)
          postMessage(handle_, WM_LBUTTONDOWN, MK_LBUTTON, mousePointIn(this));
        return Fl_Input::handle(event);
      case FL_FOCUS:
      case FL_UNFOCUS: {
        int X, Y, W, H;
        textArea(*w, X, Y, W, H);
        return handletext(event, X, Y, W, H);
      }
      default: return Fl_Input::handle(event);
    }
  }

  void draw() override {
    FltkScope scope;
    Wnd* w = findWnd(handle_);
    if (!w) return;
    const bool plain = (w->style & (ES_READONLY | WS_DISABLED)) != 0;
    const PaintColours c = askColours(handle_, plain ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT);
    w = findWnd(handle_);
    if (!w) return;
    const int X = x(), Y = y(), W = this->w(), H = h();
    const int b = borderWidth(*w);
    const COLORREF background = controlBackground(*w, c);
    if (damage() & FL_DAMAGE_ALL) {
      int fx = X, fy = Y, fw = W, fh = H;
      if (w->exStyle & WS_EX_CLIENTEDGE) {
        drawFrame(fx, fy, fw, fh, flSysColour(COLOR_BTNSHADOW), flSysColour(COLOR_BTNHIGHLIGHT));
        drawFrame(fx + 1, fy + 1, fw - 2, fh - 2, flSysColour(COLOR_3DDKSHADOW),
                  flSysColour(COLOR_3DLIGHT));
        fx += 2;
        fy += 2;
        fw -= 4;
        fh -= 4;
      }
      if (w->style & WS_BORDER) {
        drawFrame(fx, fy, fw, fh, flSysColour(COLOR_WINDOWFRAME), flSysColour(COLOR_WINDOWFRAME));
      }
      fl_rectf(X + b, Y + b, std::max(0, W - 2 * b), std::max(0, H - 2 * b),
               static_cast<Fl_Color>(flColour(background)));
    }
    const FontUse font = fontFor(w->font);
    textfont(font.flFont);
    textsize(font.size);
    color(static_cast<Fl_Color>(flColour(background)));
    textcolor(static_cast<Fl_Color>(
        flColour((w->style & WS_DISABLED) ? sysColour(COLOR_GRAYTEXT) : c.text)));
    selection_color(flSysColour(COLOR_HIGHLIGHT));
    cursor_color(FL_BLACK);
    int tx, ty, tw, th;
    textArea(*w, tx, ty, tw, th);
    if (tw > 0 && th > 0) drawtext(tx, ty, tw, th);
  }

  void textArea(const Wnd& w, int& X, int& Y, int& W, int& H) const {
    const int b = borderWidth(w);
    X = x() + b + kEditMargin;
    Y = y() + b;
    W = this->w() - 2 * b - 2 * kEditMargin;
    H = h() - 2 * b;
  }

  // The widest text the box shows without scrolling: drawtext starts one pixel in and
  // leaves two for the caret.
  int widthLimit(const Wnd& w) const {
    int X, Y, W, H;
    textArea(w, X, Y, W, H);
    return W - 3;
  }

  bool fits(const Wnd& w, const std::string& utf8) const {
    if (w.style & ES_AUTOHSCROLL) return true;
    const FontUse font = fontFor(w.font);
    fl_font(font.flFont, font.size);
    return fl_width(utf8.c_str(), static_cast<int>(utf8.size())) <= widthLimit(w);
  }

  using Fl_Input_::word_end;
  using Fl_Input_::word_start;

 private:
  std::uintptr_t handle_;
};

EditWidget* editOf(Wnd& w) { return dynamic_cast<EditWidget*>(w.widget); }

void syncEditText(Wnd& w, EditWidget* in) {
  w.text = utf8ToAnsi(in->value(), static_cast<std::size_t>(in->size()));
}

std::size_t ansiLength(const char* utf8, std::size_t bytes) {
  return utf8ToAnsi(utf8, bytes).size();
}

int prevChar(const EditWidget* in, int i) {
  const char* v = in->value();
  if (i <= 0) return 0;
  --i;
  while (i > 0 && (static_cast<unsigned char>(v[i]) & 0xC0) == 0x80) --i;
  return i;
}

int nextChar(const EditWidget* in, int i) {
  const char* v = in->value();
  const int size = in->size();
  if (i >= size) return size;
  ++i;
  while (i < size && (static_cast<unsigned char>(v[i]) & 0xC0) == 0x80) ++i;
  return i;
}

// Replaces the selection with as much of `ansi` as the edit takes: no more characters
// than its limit, and, without ES_AUTOHSCROLL, no more than its width shows.
int insertText(Wnd& w, EditWidget* in, std::string ansi) {
  const std::string value(in->value(), static_cast<std::size_t>(in->size()));
  const int b = std::min(in->position(), in->mark());
  const int e = std::max(in->position(), in->mark());
  const std::string before = value.substr(0, static_cast<std::size_t>(b));
  const std::string after = value.substr(static_cast<std::size_t>(e));
  int outcome = 0;
  const std::size_t kept =
      ansiLength(before.data(), before.size()) + ansiLength(after.data(), after.size());
  const std::size_t room = w.editLimit > kept ? w.editLimit - kept : 0;
  if (ansi.size() > room) {
    ansi.resize(room);
    outcome |= kEditFull;
  }
  while (!ansi.empty() && !in->fits(w, before + ansiToUtf8(ansi) + after)) {
    ansi.pop_back();
    outcome |= kEditFull;
  }
  if (ansi.empty() && b == e) return outcome;
  const std::string utf8 = ansiToUtf8(ansi);
  in->replace(b, e, utf8.c_str(), static_cast<int>(utf8.size()));
  syncEditText(w, in);
  return outcome | kEditChanged;
}

int deleteRange(Wnd& w, EditWidget* in, int from, int to) {
  if (from == to) return 0;
  in->replace(from, to, nullptr, 0);
  syncEditText(w, in);
  return kEditChanged;
}

// ---- Editing, done when the edit's messages are dispatched --------------------------------
int editChar(Wnd& w, unsigned char ch) {
  EditWidget* in = editOf(w);
  if (!in) return 0;
  const bool readOnly = (w.style & ES_READONLY) != 0;
  const int pos = in->position(), mark = in->mark();
  switch (ch) {
    case 0x01:  // Ctrl+A
      in->position(in->size(), 0);
      return 0;
    case 0x03:  // Ctrl+C
      in->copy(1);
      return 0;
    default: break;
  }
  if (readOnly) return 0;
  switch (ch) {
    case 0x08:  // Backspace
      if (pos != mark) return deleteRange(w, in, std::min(pos, mark), std::max(pos, mark));
      return deleteRange(w, in, prevChar(in, pos), pos);
    case 0x16:  // Ctrl+V
      return editPaste(w);
    case 0x18:  // Ctrl+X
      if (pos == mark) return 0;
      in->copy(1);
      return deleteRange(w, in, std::min(pos, mark), std::max(pos, mark));
    case 0x1A:  // Ctrl+Z
      if (!in->undo()) return 0;
      syncEditText(w, in);
      return kEditChanged;
    default: break;
  }
  if (ch < 0x20 || ch == 0x7F) return 0;
  return insertText(w, in, std::string(1, static_cast<char>(ch)));
}

int editKey(Wnd& w, WPARAM vk, int modifiers) {
  EditWidget* in = editOf(w);
  if (!in) return 0;
  const bool shift = (modifiers & FL_SHIFT) != 0;
  const bool ctrl = (modifiers & FL_CTRL) != 0;
  const bool readOnly = (w.style & ES_READONLY) != 0;
  const int pos = in->position(), mark = in->mark();
  auto moveTo = [&](int target) {
    in->position(target, shift ? mark : target);
    return 0;
  };
  switch (vk) {
    case VK_LEFT: return moveTo(ctrl ? in->word_start(prevChar(in, pos)) : prevChar(in, pos));
    case VK_RIGHT: return moveTo(ctrl ? in->word_end(nextChar(in, pos)) : nextChar(in, pos));
    case VK_HOME: return moveTo(0);
    case VK_END: return moveTo(in->size());
    case VK_DELETE:
      if (readOnly) return 0;
      if (shift) {
        if (pos == mark) return 0;
        in->copy(1);
        return deleteRange(w, in, std::min(pos, mark), std::max(pos, mark));
      }
      if (pos != mark) return deleteRange(w, in, std::min(pos, mark), std::max(pos, mark));
      return deleteRange(w, in, pos, nextChar(in, pos));
    case VK_INSERT:
      if (ctrl) in->copy(1);
      if (shift && !readOnly) return editPaste(w);
      return 0;
    default: return 0;
  }
}

int editPaste(Wnd& w) {
  EditWidget* in = editOf(w);
  if (!in || (w.style & ES_READONLY)) return 0;
  if (w.pendingPaste.empty()) {
    Fl::paste(*in, 1);  // the text comes back as FL_PASTE, then WM_PASTE
    return 0;
  }
  std::string ansi = utf8ToAnsi(w.pendingPaste.data(), w.pendingPaste.size());
  w.pendingPaste.clear();
  // A single-line edit takes the clipboard up to its first line end.
  const std::size_t lineEnd = ansi.find_first_of("\r\n");
  if (lineEnd != std::string::npos) ansi.resize(lineEnd);
  ansi.erase(
      std::remove_if(ansi.begin(), ansi.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; }),
      ansi.end());
  if (ansi.empty()) return 0;
  return insertText(w, in, ansi);
}

void editSetSelection(Wnd& w, long start, long end) {
  EditWidget* in = editOf(w);
  if (!in) return;
  const long length = static_cast<long>(w.text.size());
  auto utf8Offset = [&](long ansiIndex) {
    ansiIndex = std::clamp(ansiIndex, 0L, length);
    return static_cast<int>(
        ansiToUtf8(w.text.substr(0, static_cast<std::size_t>(ansiIndex))).size());
  };
  if (start == -1) {
    in->position(in->position(), in->position());
    return;
  }
  if (end < 0 || end > length) end = length;
  in->position(utf8Offset(end), utf8Offset(start));
}

LRESULT editGetSelection(Wnd& w, WPARAM wParam, LPARAM lParam) {
  EditWidget* in = editOf(w);
  DWORD start = 0, end = 0;
  if (in) {
    const int b = std::min(in->position(), in->mark());
    const int e = std::max(in->position(), in->mark());
    start = static_cast<DWORD>(ansiLength(in->value(), static_cast<std::size_t>(b)));
    end = static_cast<DWORD>(ansiLength(in->value(), static_cast<std::size_t>(e)));
  }
  if (wParam) *reinterpret_cast<DWORD*>(wParam) = start;
  if (lParam) *reinterpret_cast<DWORD*>(lParam) = end;
  return static_cast<LRESULT>((std::min<DWORD>(start, 0xFFFF)) |
                              (std::min<DWORD>(end, 0xFFFF) << 16));
}

void editNotify(std::uintptr_t handle, int outcome) {
  if (outcome & kEditChanged) {
    notifyParent(handle, EN_UPDATE);
    notifyParent(handle, EN_CHANGE);
  }
  if (outcome & kEditFull) notifyParent(handle, EN_MAXTEXT);
}

}  // namespace

void editSetText(Wnd& w) {
  EditWidget* in = editOf(w);
  if (!in) return;
  const std::string utf8 = ansiToUtf8(w.text);
  in->value(utf8.c_str(), static_cast<int>(utf8.size()));
  in->position(0, 0);
  in->readonly((w.style & ES_READONLY) ? 1 : 0);
  in->redraw();
}

LRESULT editProc(Wnd& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const std::uintptr_t handle = w.handle;
  switch (message) {
    case WM_GETDLGCODE: {
      UINT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
      if (w.style & ES_MULTILINE) code |= DLGC_WANTALLKEYS;
      return code;
    }
    case WM_CHAR: editNotify(handle, editChar(w, static_cast<unsigned char>(wParam))); return 0;
    case WM_KEYDOWN: editNotify(handle, editKey(w, wParam, currentModifiers())); return 0;
    case WM_PASTE: editNotify(handle, editPaste(w)); return 0;
    case WM_LBUTTONDOWN:
      if (focusedWindow() != handle) setFocusTo(handle);
      return 0;
    case WM_SETFOCUS:
      redrawWindow(w);
      notifyParent(handle, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      redrawWindow(w);
      notifyParent(handle, EN_KILLFOCUS);
      return 0;
    case WM_SETTEXT:
      w.text = lParam ? std::string(reinterpret_cast<const char*>(lParam)) : std::string();
      editSetText(w);
      editNotify(handle, kEditChanged);
      return TRUE;
    case EM_SETSEL:
      editSetSelection(w, static_cast<long>(static_cast<LONG>(wParam)),
                       static_cast<long>(static_cast<LONG>(lParam)));
      return 0;
    case EM_GETSEL: return editGetSelection(w, wParam, lParam);
    case EM_SETLIMITTEXT: w.editLimit = wParam ? wParam : 0x7FFFFFFE; return 0;
    default: return defControlProc(w, message, wParam, lParam);
  }
}

Fl_Widget* createEditWidget(std::uintptr_t handle, int x, int y, int w, int h) {
  return new EditWidget(handle, x, y, w, h);
}

}  // namespace fltkwin
