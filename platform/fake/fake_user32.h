// The window half of the recording fake (USER32, GDI32, COMCTL32): an in-memory model
// of dialogs, child controls, one thread's message queue and GDI objects, built on
// fake_platform.h's call log. It behaves like Win32 where the toolkit relies on it
// (dialog procedures, default dialog processing, destruction order, dialog keyboard
// handling of Escape) and leaves out drawing, real fonts, focus movement and timing:
// timers are recorded, never fired; tests post WM_TIMER themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"
#include "platform/platform.h"

namespace fake {

inline constexpr WPARAM kVirtualKeyEscape = 0x1B;

// ---- Dialog templates -------------------------------------------------------------------
struct NameOrOrdinal {
  enum Kind { None, Ordinal, Name } kind = None;
  WORD ordinal = 0;
  std::u16string name;
};

// An extended dialog template (DLGTEMPLATEEX) read back field by field.
struct DialogTemplateView {
  bool valid = false;  // version 1, signature 0xFFFF, every field inside the bytes
  WORD version = 0;
  WORD signature = 0;
  DWORD helpId = 0;
  DWORD exStyle = 0;
  DWORD style = 0;
  WORD itemCount = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  NameOrOrdinal menu, windowClass;
  std::u16string title;
  bool hasFont = false;  // DS_SETFONT: the five font fields follow
  WORD pointSize = 0;
  WORD weight = 0;
  BYTE italic = 0;
  BYTE charSet = 0;
  std::u16string face;
  std::size_t length = 0;  // bytes the template occupies
};
DialogTemplateView parseDialogTemplate(const BYTE* bytes, std::size_t available);

// ---- Windows ------------------------------------------------------------------------------
// What a device context was told by SetTextColor, SetBkColor and SetBkMode.
struct DeviceContextColours {
  bool textColourSet = false;
  COLORREF textColour = 0;
  bool backgroundColourSet = false;
  COLORREF backgroundColour = 0;
  int backgroundMode = 0;  // 0: never set (the platform's default, opaque)
};

// What a colour request answered when the fake last "painted" a window.
struct Paint {
  bool asked = false;
  UINT message = 0;    // WM_CTLCOLORDLG, WM_CTLCOLOREDIT, ...
  INT_PTR answer = 0;  // 0: the platform's own colours
  DeviceContextColours colours;
};

struct Window {
  HWND handle = nullptr;
  bool isDialog = false;
  bool alive = true;  // false once DestroyWindow has finished with it
  bool visible = false;
  bool enabled = true;
  std::string className;  // as given to CreateWindowExA; "#32770" for dialogs
  std::string text;
  DWORD style = 0;
  DWORD exStyle = 0;
  int id = 0;             // controls
  HWND parent = nullptr;  // controls: their dialog
  HWND owner = nullptr;   // dialogs
  RECT rect{};            // controls: pixels in the dialog's client area; dialogs: client area
  HFONT font = nullptr;
  bool fontRedraw = false;  // the redraw flag of the last WM_SETFONT
  DLGPROC dialogProc = nullptr;
  LONG messageResult = 0;  // DWL_MSGRESULT
  HICON smallIcon = nullptr;
  HICON bigIcon = nullptr;
  int defaultId = 0;  // DM_SETDEFID
  int lastShowCommand = -1;
  std::vector<BYTE> templateBytes;     // a copy of the dialog's template
  std::uintptr_t templateAddress = 0;  // where the caller kept it (Win32 wants it DWORD-aligned)
  DialogTemplateView dialogTemplate;
  std::vector<HWND> children;  // in creation order
  Paint lastPaint;
};

// GetWindowLongA and SetWindowLongA serve DWL_MSGRESULT; GWL_HWNDPARENT only in 32-bit
// builds, since 64-bit Windows refuses that index to them.
const Window* window(HWND handle);  // nullptr for a handle the fake never made
HWND lastDialog();                  // the newest dialog, alive or not
std::vector<HWND> liveDialogs();    // in creation order
HWND focusWindow();

// Asks the dialog and each live control for its colours, as the platform does before
// painting them (ShowWindow does this once when a dialog first becomes visible).
void paint(HWND dialog);

// ---- Scripted platform --------------------------------------------------------------------
void setDialogBaseUnits(int horizontal, int vertical);  // default 6 by 13 pixels
void setPixelsPerInch(int pixelsPerInch);               // LOGPIXELSY, default 96
void setSysColor(int index, COLORREF colour);           // default: a distinct value per index
// The next call(s) of `callName` fail: "CreateDialogIndirectParamA", "CreateWindowExA",
// "CreateFontIndirectA", "CreateSolidBrush", "DestroyWindow", "GetDC".
void failNext(const std::string& callName, int times = 1);

HBRUSH sysColorBrush(int index);  // what GetSysColorBrush gives
HGDIOBJ stockObject(int index);   // what GetStockObject gives
HICON stockIcon(LPCSTR name);     // what LoadIconA(NULL, name) gives

// ---- The message queue ------------------------------------------------------------------
void postMessage(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
void postKeyDown(HWND window, WPARAM virtualKey);
// A click: the button's WM_COMMAND (id, BN_CLICKED) with its window, for its dialog.
void postClick(HWND dialog, int controlId);
void postCloseBox(HWND dialog);  // WM_SYSCOMMAND SC_CLOSE, as the caption's close box sends
std::size_t queuedMessageCount();
// Runs whenever PeekMessageA finds the queue empty, e.g. to post the next event.
void whenQueueEmpty(std::function<void()> action);
// What another modal loop (a message box's) does: dispatch everything queued.
void dispatchQueuedMessages();

// ---- Timers, message boxes, GDI objects ---------------------------------------------------
struct Timer {
  HWND window;
  UINT_PTR id;
  UINT elapse;
  bool hasProc;
};
std::vector<Timer> liveTimers();  // a window's timers end with the window

struct MessageBoxCall {
  HWND owner;
  std::string text;
  std::string caption;
  UINT type;
};
const std::vector<MessageBoxCall>& messageBoxes();
// Runs while a message box is up (inside MessageBoxA), e.g. to dispatch queued events.
void whileMessageBoxUp(std::function<void(const MessageBoxCall&)> action);

const std::vector<LOGFONTA>& createdFonts();  // every CreateFontIndirectA, in order
std::size_t brushesCreated();
std::size_t liveBrushCount();
bool isLiveBrush(HBRUSH brush);
COLORREF brushColour(HBRUSH brush);  // of any brush CreateSolidBrush made
// DeleteObject of something that is not a live object of the fake: a second delete,
// a stock object or a system colour brush.
std::size_t invalidDeletes();
std::size_t openDeviceContexts();                   // GetDC without its ReleaseDC
DeviceContextColours deviceContextColours(HDC dc);  // of a DC from GetDC, until ReleaseDC

}  // namespace fake
