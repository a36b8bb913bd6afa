// MessageBoxA on Linux: a dialog of this layer's own (icon, wrapped text, the MB_OK ...
// MB_CANCELTRYCONTINUE buttons), laid out in dialog units and centred, whose loop
// dispatches every message of the thread so timers and other windows keep working; built
// on the layer's own dialogs and controls. Leaves out MB_HELP, MB_TOPMOST and the like,
// and boxes asked for while FLTK is drawing (they return 0).
#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <string>
#include <vector>

#include "dialog_manager.h"
#include "dialog_window.h"
#include "display.h"
#include "gdi.h"
#include "icons.h"
#include "message_queue.h"
#include "platform/platform.h"
#include "text.h"
#include "win32_values.h"
#include "window.h"

namespace fltkwin {

namespace {

struct ButtonSet {
  std::vector<int> ids;
  std::vector<const char*> labels;
};

constexpr int IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7, IDTRYAGAIN = 10,
              IDCONTINUE = 11;

bool buttonsFor(UINT type, ButtonSet& set) {
  switch (type & 0xF) {
    case 0: set = {{IDOK}, {"OK"}}; return true;
    case 1: set = {{IDOK, IDCANCEL}, {"OK", "Cancel"}}; return true;
    case 2: set = {{IDABORT, IDRETRY, IDIGNORE}, {"&Abort", "&Retry", "&Ignore"}}; return true;
    case 3: set = {{IDYES, IDNO, IDCANCEL}, {"&Yes", "&No", "Cancel"}}; return true;
    case 4: set = {{IDYES, IDNO}, {"&Yes", "&No"}}; return true;
    case 5: set = {{IDRETRY, IDCANCEL}, {"&Retry", "Cancel"}}; return true;
    case 6:
      set = {{IDCANCEL, IDTRYAGAIN, IDCONTINUE}, {"Cancel", "&Try Again", "&Continue"}};
      return true;
    default: return false;
  }
}

IconKind iconFor(UINT type) {
  switch (type & 0xF0) {
    case MB_ICONERROR: return kIconError;
    case MB_ICONQUESTION: return kIconQuestion;
    case MB_ICONWARNING: return kIconWarning;
    case MB_ICONINFORMATION: return kIconInformation;
    default: return kIconNone;
  }
}

// A DLGTEMPLATEEX without items: a caption, a close box, the 8-point dialog font.
std::vector<WORD> boxTemplate() {
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
  std::vector<WORD> t = {1,
                         0xFFFF,
                         0,
                         0,
                         0,
                         0,
                         static_cast<WORD>(style & 0xFFFF),
                         static_cast<WORD>(style >> 16),
                         0,
                         0,
                         0,
                         1,
                         1,
                         0,
                         0,
                         ' ',
                         0,
                         8,
                         FW_NORMAL,
                         0};
  for (const char* p = "MS Sans Serif"; *p; ++p) t.push_back(static_cast<WORD>(*p));
  t.push_back(0);
  return t;
}

INT_PTR messageBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Wnd* d = findWnd(window);
  switch (message) {
    case WM_INITDIALOG:
      if (d) d->box = reinterpret_cast<MessageBoxInfo*>(lParam);
      return FALSE;
    case WM_COMMAND: {
      if (!d || !d->box) return FALSE;
      int id = static_cast<int>(wParam & 0xFFFF);
      const auto& ids = d->box->buttons;
      if (std::find(ids.begin(), ids.end(), id) == ids.end()) {
        if (id != IDCANCEL || !d->box->escapeResult) return TRUE;
        id = d->box->escapeResult;  // Escape on a box without Cancel
      }
      d->box->result = id;
      platform::DestroyWindow(window);
      return TRUE;
    }
    case WM_CLOSE:
      if (d && d->box && d->box->escapeResult) {
        d->box->result = d->box->escapeResult;
        platform::DestroyWindow(window);
      }
      return TRUE;
    default: return FALSE;
  }
}

int textWidth(const std::string& utf8) {
  return static_cast<int>(fl_width(utf8.c_str(), static_cast<int>(utf8.size())) + 0.999);
}

}  // namespace

}  // namespace fltkwin

namespace platform {

using namespace fltkwin;

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  // A box asked for from inside FLTK's drawing could never see its own input.
  if (insideFltk() || !ensureDisplay()) return 0;
  ButtonSet set;
  if (!buttonsFor(type, set)) return 0;
  if (owner && !IsWindow(owner)) return 0;

  MessageBoxInfo info;
  info.buttons = set.ids;
  info.icon = iconFor(type);
  if (std::find(set.ids.begin(), set.ids.end(), IDCANCEL) != set.ids.end()) {
    info.escapeResult = IDCANCEL;
  } else if ((type & 0xF) == 0) {
    info.escapeResult = IDOK;
  }

  const std::vector<WORD> templ = boxTemplate();
  HWND box = CreateDialogIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(templ.data()),
                                        nullptr, messageBoxProc, reinterpret_cast<LPARAM>(&info));
  if (!box) return 0;
  SetWindowTextA(box, caption ? caption : "Error");
  Wnd* d = findWnd(box);
  if (!d) return 0;

  // Layout in pixels from the dialog units of the box's font.
  const FontUse font = fontFor(d->font);
  fl_font(font.flFont, font.size);
  const int lineHeight = fl_height();
  const int marginX = std::max(1, dialogUnitsX(*d, 7));
  const int marginY = std::max(1, dialogUnitsY(*d, 7));
  const int buttonW = dialogUnitsX(*d, 50), buttonH = dialogUnitsY(*d, 14);
  const int gap = dialogUnitsX(*d, 4);
  const int iconSize = info.icon ? 32 : 0, iconGap = info.icon ? marginX : 0;
  int areaX, areaY, areaW, areaH;
  Fl::screen_work_area(areaX, areaY, areaW, areaH, 0);
  const std::string body = text ? text : "";
  const int wrapWidth = std::max(100, areaW * 5 / 8);
  const auto lines = wrapText(body, false, true, wrapWidth);
  int textW = 0;
  for (const TextLine& line : lines) textW = std::max(textW, textWidth(line.utf8));
  const int textH = lineHeight * static_cast<int>(lines.size());
  const int contentH = std::max(iconSize, textH);
  const int buttonsW =
      static_cast<int>(set.ids.size()) * buttonW + (static_cast<int>(set.ids.size()) - 1) * gap;
  const int contentW = iconSize + iconGap + textW;
  d->w = std::max(contentW, buttonsW) + 2 * marginX;
  d->h = marginY + contentH + marginY + buttonH + marginY;
  d->x = areaX + (areaW - d->w) / 2;
  d->y = areaY + (areaH - d->h) / 2;
  info.iconX = marginX;
  info.iconY = marginY + (contentH - iconSize) / 2;
  placeDialogWidget(*d);

  const HFONT boxFont = d->font;
  HWND label =
      CreateWindowExA(0, "STATIC", body.c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX,
                      marginX + iconSize + iconGap, marginY + (contentH - textH) / 2, textW + 1,
                      textH, box, reinterpret_cast<HMENU>(0xFFFF), nullptr, nullptr);
  SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(boxFont), 0);
  const std::size_t defaultIndex = std::min<std::size_t>((type >> 8) & 0xF, set.ids.size() - 1);
  int left = (findWnd(box) ? findWnd(box)->w : 0) / 2 - buttonsW / 2;
  const int top = marginY + contentH + marginY;
  HWND defaultButton = nullptr;
  for (std::size_t i = 0; i < set.ids.size(); ++i) {
    const DWORD style =
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == defaultIndex ? BS_DEFPUSHBUTTON : 0);
    HWND button = CreateWindowExA(
        0, "BUTTON", set.labels[i], style, left, top, buttonW, buttonH, box,
        reinterpret_cast<HMENU>(static_cast<std::intptr_t>(set.ids[i])), nullptr, nullptr);
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(boxFont), 0);
    if (i == defaultIndex) defaultButton = button;
    left += buttonW + gap;
  }
  SendMessageA(box, DM_SETDEFID, static_cast<WPARAM>(set.ids[defaultIndex]), 0);

  const bool disableOwner = owner && !(GetWindowLongA(owner, GWL_STYLE) & WS_DISABLED);
  if (disableOwner) EnableWindow(owner, FALSE);
  ShowWindow(box, SW_SHOW);
  if (defaultButton) SetFocus(defaultButton);

  while (IsWindow(box)) {
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!IsWindow(box) || !IsDialogMessageA(box, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    } else {
      idlePause();
    }
  }
  if (disableOwner && IsWindow(owner)) EnableWindow(owner, TRUE);
  return info.result;
}

}  // namespace platform
