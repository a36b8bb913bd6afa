#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>

#include "toolkit/startup.h"
#include "toolkit/window_records.h"

namespace {

constexpr DWORD kChildVisible = WS_CHILD | WS_VISIBLE;

// The kinds this program creates. A style argument of 0 takes the kind's default,
// from which `defaultExchangedStyle` is dropped in favour of `defaultAddedExStyle`
// (a text box gets a sunken edge instead of a thin line); a given style is used as is.
struct KindInfo {
  ControlKind kind;
  const char* windowClass;
  DWORD defaultStyle;
  DWORD defaultExchangedStyle;
  DWORD defaultAddedExStyle;
  DWORD alwaysAdded;
  DWORD alwaysRemoved;
};

constexpr KindInfo kKinds[] = {
    {PushButton, "BUTTON", kChildVisible | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, kChildVisible, 0},
    {Label, "STATIC", kChildVisible | SS_LEFT, 0, 0, kChildVisible, 0},
    {TextBox, "EDIT", kChildVisible | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, WS_BORDER,
     WS_EX_CLIENTEDGE, kChildVisible, 0},
};

const KindInfo* kindInfo(ControlKind kind) {
  for (const KindInfo& info : kKinds) {
    if (info.kind == kind) return &info;
  }
  return nullptr;
}

LONG edge(std::int32_t origin, std::int32_t extent) {
  const std::int64_t value = std::int64_t{origin} + extent;
  return static_cast<LONG>(std::clamp<std::int64_t>(value, std::numeric_limits<LONG>::min(),
                                                    std::numeric_limits<LONG>::max()));
}

}  // namespace

void addControl(ControlKind kind, HWND dialog, int controlId, const std::string& text,
                std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                DWORD style, DWORD exStyle, EventHandler controlHandler) {
  const WindowRecord* dialogRecord = findRecord(dialog);
  if (!dialogRecord || !(dialogRecord->flags & RECORD_DIALOG)) return;
  const std::uint32_t unitBits = dialogRecord->flags & RECORD_UNIT_BITS;
  const HFONT dialogFont = dialogRecord->dialogFont;
  const KindInfo* info = kindInfo(kind);
  if (!info) return;

  RECT rect{x, y, edge(x, width), edge(y, height)};
  if (unitBits & RECORD_DIALOG_UNITS) platform::MapDialogRect(dialog, &rect);

  DWORD finalStyle = style;
  DWORD finalExStyle = exStyle;
  if (style == 0) {
    finalStyle = info->defaultStyle & ~info->defaultExchangedStyle;
    finalExStyle |= info->defaultAddedExStyle;
  }
  finalStyle = (finalStyle | info->alwaysAdded) & ~info->alwaysRemoved;

  const HWND control = platform::CreateWindowExA(
      finalExStyle, info->windowClass, text.c_str(), finalStyle, rect.left, rect.top,
      rect.right - rect.left, rect.bottom - rect.top, dialog,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), toolkitInstance(), nullptr);
  if (!control) return;
  platform::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont), TRUE);

  if (WindowRecord* record = newRecord(control)) {
    record->parent = dialog;
    record->flags = RECORD_CONTROL | unitBits;
    record->kind = kind;
    record->eventHandler = controlHandler;
    record->style = finalStyle;
    insertRecord(record);
  }
  if (kind == PushButton && (finalStyle & BS_DEFPUSHBUTTON)) {
    platform::SendMessageA(dialog, DM_SETDEFID, static_cast<WPARAM>(controlId), 0);
  }
}

HWND controlWindow(HWND dialog, int controlId) {
  if (!dialog) return nullptr;
  return platform::GetDlgItem(dialog, controlId);
}

std::string getControlText(HWND control) {
  if (!control) return {};
  const int length = platform::GetWindowTextLengthA(control);
  if (length <= 0) return {};
  const std::size_t capacity = static_cast<std::size_t>(length) + 1;
  const std::unique_ptr<char[]> buffer(new (std::nothrow) char[capacity]);
  if (!buffer) return {};
  const int bufferSize =
      static_cast<int>(std::min<std::size_t>(capacity, std::numeric_limits<int>::max()));
  const int copied = platform::GetWindowTextA(control, buffer.get(), bufferSize);
  if (copied <= 0) return {};
  try {
    return std::string(buffer.get(), std::min(static_cast<std::size_t>(copied), capacity - 1));
  } catch (const std::bad_alloc&) {
    return {};
  }
}

void setControlText(HWND control, const std::string& text) {
  if (!control) return;
  platform::SetWindowTextA(control, text.c_str());
}

void enableControl(HWND dialog, int controlId, int enable) {
  if (!dialog) return;
  const HWND window =
      controlId == ENABLE_TARGET_DIALOG ? dialog : platform::GetDlgItem(dialog, controlId);
  if (!window) return;
  platform::EnableWindow(window, enable ? TRUE : FALSE);
}
