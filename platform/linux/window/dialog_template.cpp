// CreateDialogIndirectParamA on Linux: reads an in-memory DLGTEMPLATE or DLGTEMPLATEEX
// (styles, position and size in dialog units, caption, DS_SETFONT font), makes the
// dialog's record and window, and sends WM_SETFONT and WM_INITDIALOG as Win32 does.
// Leaves out the template's items (controls come from CreateWindowExA), menus, window
// classes and child dialogs.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>

#include <algorithm>
#include <cstring>
#include <string>

#include "dialog_manager.h"
#include "dialog_window.h"
#include "display.h"
#include "gdi.h"
#include "platform/platform.h"
#include "text.h"
#include "window.h"

namespace fltkwin {

namespace {

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
  // A zero-terminated UTF-16 string, kept as ANSI: units below 0x100 as they are, the
  // others through the code page, '?' where it has none. Long strings are cut, not trusted.
  std::string wide() {
    std::string out;
    for (int i = 0; i < 4096; ++i) {
      const WORD c = word();
      if (c == 0) return out;
      const int byte = c < 0x100 ? c : ansiByte(c);
      out += byte >= 0 ? static_cast<char>(byte) : '?';
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

}  // namespace fltkwin

namespace platform {

using namespace fltkwin;

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

  Wnd& d = newWindow(WindowKind::Dialog);
  d.owner = ownerHandle;
  d.style = t.style & ~WS_VISIBLE;
  d.exStyle = t.exStyle;
  d.text = t.title;
  d.font = font;
  d.ownedFont = font;
  d.dlgProc = dialogProc;
  baseUnits(font, d.baseX, d.baseY);
  d.w = std::max(0, dialogUnitsX(d, t.cx));
  d.h = std::max(0, dialogUnitsY(d, t.cy));

  int areaX = 0, areaY = 0, areaW = 0, areaH = 0;
  Fl::screen_work_area(areaX, areaY, areaW, areaH, 0);
  if (t.style & DS_CENTER) {
    d.x = areaX + (areaW - d.w) / 2;
    d.y = areaY + (areaH - d.h) / 2;
  } else {
    d.x = dialogUnitsX(d, t.x);
    d.y = dialogUnitsY(d, t.y);
    if (Wnd* o = findWnd(ownerHandle); o && !(t.style & DS_ABSALIGN)) {
      d.x += o->x;
      d.y += o->y;
    }
  }
  d.x = std::max(d.x, areaX);
  d.y = std::max(d.y, areaY);

  const std::uintptr_t handle = d.handle;
  d.widget = createDialogWidget(handle, d.x, d.y, d.w, d.h);
  syncWidgetText(d);

  if (t.hasFont) sendMessage(handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  if (!findWnd(handle)) return nullptr;
  const INT_PTR wantsFocus = sendMessage(
      handle, WM_INITDIALOG, static_cast<WPARAM>(nextTabItem(handle, 0, false)), initParam);
  Wnd* after = findWnd(handle);
  if (!after) return nullptr;
  if (wantsFocus) after->focusChild = nextTabItem(handle, 0, false);
  if (t.style & WS_VISIBLE) ShowWindow(toHwnd(handle), SW_SHOW);
  return findWnd(handle) ? toHwnd(handle) : nullptr;
}

}  // namespace platform
