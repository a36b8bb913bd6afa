#include "toolkit/fonts.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

#include "serial/call_platform.h"
#include "serial/error_status.h"

namespace {

constexpr std::size_t kMaxFaceBytes = LF_FACESIZE - 1;
constexpr float kDefaultPointSize = 8.0f;
// The control reported no font before its first setControlFont (0 means "not saved").
const HFONT kNoFontReported = reinterpret_cast<HFONT>(static_cast<INT_PTR>(-1));

FontEntry* fontTable = nullptr;  // in handle order
SpinLock fontTableLock;

FontEntry* findEntryLocked(int handle) {
  for (FontEntry* e = fontTable; e; e = e->next) {
    if (e->handle == handle) return e;
  }
  return nullptr;
}

LOGFONTA logFontFor(const std::string& face, int style, int pitchAndFamily, int escapement) {
  LOGFONTA logFont{};
  const std::size_t length = face.size() < kMaxFaceBytes ? face.size() : kMaxFaceBytes;
  std::memcpy(logFont.lfFaceName, face.data(), length);
  logFont.lfFaceName[length] = 0;
  logFont.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily & 0xFF);
  logFont.lfEscapement = escapement;
  logFont.lfOrientation = escapement;
  // The character-set argument is not trusted to name an installed set: the platform's
  // font mapper picks one that has the face.
  logFont.lfCharSet = DEFAULT_CHARSET;
  logFont.lfWeight = (style & FONT_STYLE_BOLD) ? FW_BOLD : FW_NORMAL;
  logFont.lfItalic = (style & FONT_STYLE_ITALIC) ? 1 : 0;
  logFont.lfUnderline = (style & FONT_STYLE_UNDERLINE) ? 1 : 0;
  logFont.lfStrikeOut = (style & FONT_STYLE_STRIKEOUT) ? 1 : 0;
  return logFont;
}

// Appends an entry with the next handle; 0 when memory is short.
int appendEntry(float points, const LOGFONTA& logFont) {
  FontEntry* entry = new (std::nothrow) FontEntry{};
  if (!entry) return 0;
  entry->useCount = 1;
  entry->pointSize = points;
  entry->logFont = logFont;
  std::lock_guard guard(fontTableLock);
  int count = 0;
  FontEntry** link = &fontTable;
  for (; *link; link = &(*link)->next) ++count;
  entry->handle = count + 1;
  *link = entry;
  return entry->handle;
}

bool changeUseCount(int handle, std::int32_t change) {
  std::lock_guard guard(fontTableLock);
  FontEntry* entry = findEntryLocked(handle);
  if (!entry) return false;
  entry->useCount += change;
  return true;
}

LONG roundHalfToEven(long double value) {
  if (!std::isfinite(value)) return 0;
  constexpr long double kLowest = std::numeric_limits<LONG>::min();
  constexpr long double kHighest = std::numeric_limits<LONG>::max();
  if (value <= kLowest) return std::numeric_limits<LONG>::min();
  if (value >= kHighest) return std::numeric_limits<LONG>::max();
  const long double below = std::floor(value);
  const long double fraction = value - below;
  long double rounded = below;
  if (fraction > 0.5L || (fraction == 0.5L && std::fmod(below, 2.0L) != 0)) rounded = below + 1;
  return static_cast<LONG>(rounded);
}

}  // namespace

void startFontTable() {
  FontEntry* old = nullptr;
  {
    std::lock_guard guard(fontTableLock);
    old = fontTable;
    fontTable = nullptr;
  }
  while (old) {
    FontEntry* next = old->next;
    delete old;
    old = next;
  }
  // Reserved for toolkit features this program does not use.
  LOGFONTA dialogFace = logFontFor("MS Sans Serif", 0, 0, 0);
  appendEntry(8.0f, dialogFace);
  LOGFONTA fixedFace = logFontFor("Courier New", 0, 0, 0);
  appendEntry(0.0f, fixedFace);
}

bool copyFontEntry(int handle, FontEntry* copy) {
  std::lock_guard guard(fontTableLock);
  const FontEntry* entry = findEntryLocked(handle);
  if (!entry) return false;
  *copy = *entry;
  copy->next = nullptr;
  return true;
}

LONG fontHeightFor(int pixelsPerInch, float points) {
  const long double pixels =
      static_cast<long double>(pixelsPerInch) * static_cast<long double>(points) / 72.0L;
  return roundHalfToEven(-pixels);
}

int createFont(const std::string& face, float points, int style, int /*charSet*/,
               int pitchAndFamily, int escapement) {
  const LOGFONTA logFont = logFontFor(face, style, pitchAndFamily, escapement);
  if (points == 0) points = kDefaultPointSize;
  const int handle = appendEntry(points, logFont);
  // The table reports a lost entry as an invalid call, not as a lack of memory (7).
  if (handle == 0) recordError(kErrInvalidCall);
  return handle;
}

void setControlFont(HWND dialog, int controlId, int fontHandle) {
  const HWND control = platform::GetDlgItem(dialog, controlId);
  if (!control || !findRecord(control)) return;

  HFONT hFont = nullptr;
  float pointSize = 0;
  {
    std::lock_guard guard(fontTableLock);
    const FontEntry* entry = findEntryLocked(fontHandle);
    if (!entry) return;
    hFont = entry->hFont;
    pointSize = entry->pointSize;
  }

  if (!hFont) {
    const HDC dc = platform::GetDC(control);
    const int pixelsPerInch = platform::GetDeviceCaps(dc, LOGPIXELSY);
    platform::ReleaseDC(control, dc);
    LOGFONTA logFont{};
    {
      std::lock_guard guard(fontTableLock);
      FontEntry* entry = findEntryLocked(fontHandle);
      if (!entry) return;
      entry->logFont.lfHeight = fontHeightFor(pixelsPerInch, pointSize);
      logFont = entry->logFont;
    }
    hFont = platform::CreateFontIndirectA(&logFont);
    if (!hFont) return;  // a later call tries again
    std::lock_guard guard(fontTableLock);
    if (FontEntry* entry = findEntryLocked(fontHandle)) entry->hFont = hFont;
  }

  WindowRecord* record = findRecord(control);
  if (record && !record->previousFont) {
    const auto current = reinterpret_cast<HFONT>(platform::SendMessageA(control, WM_GETFONT, 0, 0));
    record = findRecord(control);
    if (record) record->previousFont = current ? current : kNoFontReported;
  }
  platform::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), TRUE);

  record = findRecord(control);
  if (!record || record->font == fontHandle) return;
  const int earlier = record->font;
  changeUseCount(fontHandle, +1);
  record->font = fontHandle;
  if (earlier) changeUseCount(earlier, -1);
}

void releaseControlFont(WindowRecord& record) {
  const int handle = record.font;
  record.font = 0;
  if (!handle || !changeUseCount(handle, -1) || !record.previousFont) return;
  const HFONT saved = record.previousFont == kNoFontReported ? nullptr : record.previousFont;
  record.previousFont = nullptr;
  platform::SendMessageA(record.window, WM_SETFONT, reinterpret_cast<WPARAM>(saved), FALSE);
}
