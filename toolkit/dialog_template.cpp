#include "toolkit/dialog_template.h"

#include <atomic>
#include <cstring>

namespace {

constexpr DWORD kDefaultDialogStyle =
    WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK;
constexpr DWORD kAlwaysAddedDialogStyle = DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK;
constexpr LONG kBoldStyleBit = 1;
constexpr LONG kItalicStyleBit = 2;

std::atomic<const DialogFontSettings*> mainThreadBlock{nullptr};

DialogFontSettings firstUseBlock() {
  const DialogFontSettings* main = mainThreadBlock.load();
  return main ? *main : DialogFontSettings{};
}

}  // namespace

DialogFontSettings& threadDialogFont() {
  thread_local DialogFontSettings block = firstUseBlock();
  return block;
}

void setMainThreadDialogFont(const char* face, WORD pointSize, BYTE style, BYTE charSet) {
  DialogFontSettings& block = threadDialogFont();
  block = DialogFontSettings{};
  for (std::size_t i = 0; i + 1 < std::size(block.face) && face[i]; ++i) {
    block.face[i] = static_cast<unsigned char>(face[i]);
  }
  block.pointSize = pointSize;
  block.style = style;
  block.charSet = charSet;
  mainThreadBlock.store(&block);
}

DWORD dialogStyleFor(DWORD style, std::int32_t x, std::int32_t y, HWND owner) {
  if (style == 0) style = kDefaultDialogStyle;
  style |= kAlwaysAddedDialogStyle;
  // Always created hidden: the modal run shows it after the handler's initialisation.
  style &= ~(WS_VISIBLE | DS_SYSMODAL);
  if (x == COORD_OMITTED || y == COORD_OMITTED) style |= DS_CENTER;
  if (style & WS_CHILD) {
    style &= ~(WS_POPUP | DS_ABSALIGN);
    if (!owner) style = (style & ~WS_CHILD) | WS_POPUP;
  }
  return style;
}

int showCommandFor(DWORD finalStyle) {
  if (finalStyle & WS_MAXIMIZE) return SW_SHOWMAXIMIZED;
  if (finalStyle & WS_MINIMIZE) return SW_MINIMIZE;
  return SW_SHOW;
}

DialogTemplate::DialogTemplate(DWORD style, DWORD exStyle, std::int32_t x, std::int32_t y,
                               std::int32_t width, std::int32_t height,
                               const DialogFontSettings& font) {
  put(WORD{1});       // dlgVer
  put(WORD{0xFFFF});  // signature: the extended form
  put(DWORD{0});      // helpID
  put(exStyle);
  put(style);
  put(WORD{0});  // cDlgItems
  put(static_cast<std::int16_t>(x == COORD_OMITTED ? 0 : x));
  put(static_cast<std::int16_t>(y == COORD_OMITTED ? 0 : y));
  put(static_cast<std::int16_t>(width));
  put(static_cast<std::int16_t>(height));
  put(WORD{0});  // no menu
  put(WORD{0});  // the standard dialog class
  // The real caption may hold any bytes of the ANSI code page; it is set with
  // SetWindowTextA once the window exists.
  put(char16_t{u' '});
  put(char16_t{0});
  if (style & DS_SETFONT) {
    put(font.pointSize);
    put(static_cast<WORD>((font.style & kBoldStyleBit) ? FW_BOLD : FW_NORMAL));
    put(static_cast<BYTE>((font.style & kItalicStyleBit) ? 1 : 0));
    put(font.charSet);
    std::size_t length = 0;
    while (length + 1 < std::size(font.face) && font.face[length]) ++length;
    put(font.face, length * sizeof(char16_t));
    put(char16_t{0});
  }
}

void DialogTemplate::put(const void* value, std::size_t length) {
  if (size_ + length > sizeof words_) return;  // cannot happen: the face is bounded
  std::memcpy(reinterpret_cast<BYTE*>(words_) + size_, value, length);
  size_ += length;
}
