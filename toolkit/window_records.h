// The toolkit's record of every dialog and control it created, kept in one process-wide
// list, newest first, and found by window handle. Every insertion, removal and search
// runs under the list's spin lock; a found record's fields are read and written after
// the search, outside the lock, and never while a handler or the platform is called
// with the lock held. (Why a lock in a program with one thread: see SpinLock in
// serial/call_platform.h.)
#pragma once

#include <cstddef>
#include <cstdint>

#include "toolkit/toolkit.h"

inline constexpr std::uint32_t RECORD_DIALOG_UNITS = 0x1;
inline constexpr std::uint32_t RECORD_PIXELS = 0x2;
inline constexpr std::uint32_t RECORD_UNIT_BITS = RECORD_DIALOG_UNITS | RECORD_PIXELS;
inline constexpr std::uint32_t RECORD_MODAL = 0x4000;
inline constexpr std::uint32_t RECORD_CONTROL = 0x20000000;
inline constexpr std::uint32_t RECORD_DIALOG = 0x40000000;

struct WindowRecord {
  WindowRecord* next = nullptr;
  HWND window = nullptr;
  HWND parent = nullptr;  // a dialog's owner (or none); a control's dialog
  std::uint32_t flags = 0;
  int showCommand = 0;           // dialogs: how the modal run shows the window
  HFONT dialogFont = nullptr;    // dialogs: the font the platform made from the template
  int font = 0;                  // controls: the toolkit font handle last set, 0 for none
  HFONT previousFont = nullptr;  // controls: the font before the first setControlFont
  EventHandler eventHandler = nullptr;
  std::int32_t* resultPlace = nullptr;  // dialogs: where dismissDialog stores the end result
  HBRUSH backgroundBrush = nullptr;
  std::int32_t backgroundColour = COLOUR_NOT_SET;
  std::int32_t textColour = COLOUR_NOT_SET;
  int kind = 0;  // the control kind; 0 for a dialog
  DWORD style = 0;
};

// A record allocated for `window`, not yet in the list; nullptr when memory is short.
WindowRecord* newRecord(HWND window);
void insertRecord(WindowRecord* record);
WindowRecord* findRecord(HWND window);
// Takes the record of `window` out of the list and hands it over; nullptr if none.
WindowRecord* unlinkRecord(HWND window);
// The window of the newest control record whose dialog (or parent control) is
// `parent`; nullptr when there is none.
HWND findChildControl(HWND parent);
// The first record (newest first) whose background colour is `colour`; nullptr if none.
// Its brush is what brush sharing by colour hands out.
HBRUSH brushOfFirstRecordWithBackground(std::int32_t colour, bool* found);
void deleteRecord(WindowRecord* record);

std::size_t recordCount();
