// How a dialog is described to the platform: the style rules, the show command, the
// per-thread default dialog font and the in-memory extended dialog template
// (DLGTEMPLATEEX, which carries no controls; they are added one by one afterwards).
#pragma once

#include <cstddef>
#include <cstdint>

#include "toolkit/toolkit.h"

// The font written into every dialog template. Each thread has its own block,
// zero-filled on first use, or a copy of the main thread's once start-up has set it.
struct DialogFontSettings {
  char16_t face[32];  // up to 31 UTF-16 characters and a terminating zero
  WORD pointSize;
  BYTE style;  // bit 0 bold, bit 1 italic
  BYTE charSet;
};
DialogFontSettings& threadDialogFont();
// Start-up: the calling thread becomes the main thread, whose values later threads copy.
void setMainThreadDialogFont(const char* face, WORD pointSize, BYTE style, BYTE charSet);

DWORD dialogStyleFor(DWORD style, std::int32_t x, std::int32_t y, HWND owner);
int showCommandFor(DWORD finalStyle);

// A DLGTEMPLATEEX in a DWORD-aligned buffer. Longest possible: 40 bytes of fixed
// fields and a 31-character face (64 bytes).
class DialogTemplate {
 public:
  DialogTemplate(DWORD style, DWORD exStyle, std::int32_t x, std::int32_t y, std::int32_t width,
                 std::int32_t height, const DialogFontSettings& font);
  LPCDLGTEMPLATEA get() const { return reinterpret_cast<LPCDLGTEMPLATEA>(words_); }
  const BYTE* bytes() const { return reinterpret_cast<const BYTE*>(words_); }
  std::size_t size() const { return size_; }

 private:
  void put(const void* value, std::size_t length);
  template <class T>
  void put(T value) {
    put(&value, sizeof value);
  }

  DWORD words_[32] = {};
  std::size_t size_ = 0;
};
