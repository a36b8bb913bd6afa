// The dialog toolkit the program is written against: dialogs and controls built at run
// time from dialog-unit coordinates and addressed by numeric ids, a modal run that hands
// every message to one event handler, fonts by face and point size, per-control colours
// and a message box. It reaches the window system only through platform/platform.h.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

// (window, message, wParam, lParam) with Win32 message numbers; 0 means "not handled".
using EventHandler = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

inline constexpr std::int32_t COORD_OMITTED = INT32_MIN;  // 0x80000000: coordinate not given
inline constexpr int UNIT_MODE_DIALOG = 1;
inline constexpr int UNIT_MODE_PIXELS = 2;
inline constexpr int ENABLE_TARGET_DIALOG = INT32_MIN;  // enableControl's id for the dialog itself

enum ControlKind : int {
  PushButton = 1,
  Label = 5,
  TextBox = 9,
};

// ---- Start-up, dialogs and controls ----------------------------------------------------
// Once per process, before the program's own code: module instance, default dialog
// font ("MS Sans Serif", 8 points), common controls, the font table's built-in entries.
// Starting again (the unit tests do, once per case) forgets every font made since.
void toolkitStartup();

HWND createDialog(int unitMode, HWND owner, const std::string& caption, std::int32_t x,
                  std::int32_t y, std::int32_t width, std::int32_t height, DWORD style,
                  DWORD exStyle);
void addControl(ControlKind kind, HWND dialog, int controlId, const std::string& text,
                std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                DWORD style, DWORD exStyle, EventHandler controlHandler);
LRESULT sendDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HWND controlWindow(HWND dialog, int controlId);
std::string getControlText(HWND control);
void setControlText(HWND control, const std::string& text);
void enableControl(HWND dialog, int controlId, int enable);

// ---- Fonts, colours and the message box -------------------------------------------------
inline constexpr int FONT_STYLE_BOLD = 1;
inline constexpr int FONT_STYLE_ITALIC = 2;
inline constexpr int FONT_STYLE_UNDERLINE = 4;
inline constexpr int FONT_STYLE_STRIKEOUT = 8;
inline constexpr std::int32_t COLOUR_NOT_SET = -3;
inline constexpr std::int32_t COLOUR_SYSTEM = -1;
inline constexpr std::int32_t COLOUR_TRANSPARENT = -2;

int createFont(const std::string& face, float points, int style, int charSet,
               int pitchAndFamily, int escapement);
void setControlFont(HWND dialog, int controlId, int fontHandle);
void setControlColors(HWND dialog, int controlId, std::int32_t textColour,
                      std::int32_t backgroundColour);
INT_PTR replyCtlColor(UINT message, HDC dc, HWND control);
int showMessageBox(const std::string& text, UINT style, const std::string& caption);

// ---- Modal run ---------------------------------------------------------------------------
void runModal(HWND dialog, EventHandler handler, std::int32_t* resultPlace);
void dismissDialog(HWND dialog, std::int32_t result);
INT_PTR toolkitDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
