#include "toolkit/colours.h"

namespace {

constexpr std::int32_t kColourBits = 0x00FFFFFF;

struct SystemColours {
  int text;
  int background;
};

// By colour request, WM_CTLCOLORMSGBOX first: the system colours behind the value -1.
constexpr SystemColours kDefaultColours[] = {
    {COLOR_MENUTEXT, COLOR_MENU},         // WM_CTLCOLORMSGBOX
    {COLOR_WINDOWTEXT, COLOR_WINDOW},     // WM_CTLCOLOREDIT
    {COLOR_WINDOWTEXT, COLOR_WINDOW},     // WM_CTLCOLORLISTBOX
    {COLOR_BTNTEXT, COLOR_BTNFACE},       // WM_CTLCOLORBTN
    {COLOR_WINDOWTEXT, COLOR_BTNFACE},    // WM_CTLCOLORDLG
    {COLOR_WINDOWTEXT, COLOR_SCROLLBAR},  // WM_CTLCOLORSCROLLBAR
    {COLOR_WINDOWTEXT, COLOR_BTNFACE},    // WM_CTLCOLORSTATIC
};

bool anotherRecordPaints(std::int32_t colour) {
  bool found = false;
  return brushOfFirstRecordWithBackground(colour, &found) != nullptr;
}

}  // namespace

std::int32_t normaliseTextColour(std::int32_t colour) {
  return colour < 0 ? COLOUR_SYSTEM : (colour & kColourBits);
}

std::int32_t normaliseBackgroundColour(std::int32_t colour) {
  if (colour == COLOUR_TRANSPARENT) return COLOUR_TRANSPARENT;
  return colour < 0 ? COLOUR_SYSTEM : (colour & kColourBits);
}

void setControlColors(HWND dialog, int controlId, std::int32_t textColour,
                      std::int32_t backgroundColour) {
  const std::int32_t text = normaliseTextColour(textColour);
  std::int32_t background = normaliseBackgroundColour(backgroundColour);
  const HWND control = platform::GetDlgItem(dialog, controlId);
  if (!control || !findRecord(dialog) || !findRecord(control)) return;

  HBRUSH brush = nullptr;
  if (background >= 0) {
    bool found = false;
    brush = brushOfFirstRecordWithBackground(background, &found);
    if (!brush) {
      brush = platform::CreateSolidBrush(static_cast<COLORREF>(background));
      if (!brush) background = COLOUR_SYSTEM;
    }
  }

  WindowRecord* record = findRecord(control);
  if (!record) return;
  const HBRUSH previousBrush = record->backgroundBrush;
  const std::int32_t previousBackground = record->backgroundColour;
  record->backgroundBrush = brush;
  record->textColour = text;
  record->backgroundColour = background;
  if (previousBrush && !anotherRecordPaints(previousBackground)) {
    platform::DeleteObject(previousBrush);
  }
}

INT_PTR replyCtlColor(UINT message, HDC dc, HWND control) {
  if (message < WM_CTLCOLORMSGBOX || message > WM_CTLCOLORSTATIC) return 0;
  const WindowRecord* record = findRecord(control);
  if (!record || record->textColour == COLOUR_NOT_SET) return 0;
  const std::int32_t text = record->textColour;
  const std::int32_t background = record->backgroundColour;
  const HBRUSH brush = record->backgroundBrush;
  const SystemColours& defaults = kDefaultColours[message - WM_CTLCOLORMSGBOX];

  platform::SetTextColor(dc, text == COLOUR_SYSTEM ? platform::GetSysColor(defaults.text)
                                                   : static_cast<COLORREF>(text));
  if (background >= 0) {
    platform::SetBkColor(dc, static_cast<COLORREF>(background));
    return reinterpret_cast<INT_PTR>(brush);
  }
  if (background == COLOUR_SYSTEM) {
    platform::SetBkColor(dc, platform::GetSysColor(defaults.background));
    return reinterpret_cast<INT_PTR>(platform::GetSysColorBrush(defaults.background));
  }
  platform::SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<INT_PTR>(platform::GetStockObject(NULL_BRUSH));
}

void releaseRecordBrush(WindowRecord& record) {
  const HBRUSH brush = record.backgroundBrush;
  record.backgroundBrush = nullptr;
  if (brush && record.backgroundColour >= 0 && !anotherRecordPaints(record.backgroundColour)) {
    platform::DeleteObject(brush);
  }
}
