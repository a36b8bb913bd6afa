// Private to the Linux window system (user32_*, gdi_*, fltk_* in this folder): the
// records behind HWND, HDC, HFONT, HBRUSH and HICON values, the thread's message queue,
// and the FLTK widgets that show dialogs and their BUTTON, STATIC and EDIT controls.
// Nothing outside platform/linux includes it; the program sees only platform.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

class Fl_Widget;
class Fl_Window;

namespace fltkwin {

// ---- Win32 values used inside this layer that the program never names --------------------
inline constexpr UINT WM_SETFOCUS = 0x0007;
inline constexpr UINT WM_KILLFOCUS = 0x0008;
inline constexpr UINT WM_ENABLE = 0x000A;
inline constexpr UINT WM_SETTEXT = 0x000C;
inline constexpr UINT WM_GETTEXT = 0x000D;
inline constexpr UINT WM_GETTEXTLENGTH = 0x000E;
inline constexpr UINT WM_SHOWWINDOW = 0x0018;
inline constexpr UINT WM_NEXTDLGCTL = 0x0028;
inline constexpr UINT WM_GETICON = 0x007F;
inline constexpr UINT WM_GETDLGCODE = 0x0087;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_SYSKEYDOWN = 0x0104;
inline constexpr UINT WM_SYSKEYUP = 0x0105;
inline constexpr UINT WM_SYSCHAR = 0x0106;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_PASTE = 0x0302;
inline constexpr UINT EM_GETSEL = 0x00B0;
inline constexpr UINT EM_SETSEL = 0x00B1;
inline constexpr UINT EM_SETLIMITTEXT = 0x00C5;
inline constexpr UINT BM_CLICK = 0x00F5;
inline constexpr UINT DM_GETDEFID = WM_USER + 0;
inline constexpr WORD DC_HASDEFID = 0x534B;
inline constexpr WORD EN_SETFOCUS = 0x0100;
inline constexpr WORD EN_KILLFOCUS = 0x0200;
inline constexpr WORD EN_CHANGE = 0x0300;
inline constexpr WORD EN_UPDATE = 0x0400;
inline constexpr WORD EN_MAXTEXT = 0x0501;

inline constexpr int GWL_STYLE = -16;
inline constexpr int GWL_EXSTYLE = -20;
inline constexpr int GWL_ID = -12;
inline constexpr int DWL_USER = 8;

inline constexpr DWORD WS_DISABLED = 0x08000000u;
inline constexpr DWORD WS_DLGFRAME = 0x00400000u;
inline constexpr DWORD WS_THICKFRAME = 0x00040000u;
inline constexpr DWORD WS_GROUP = 0x00020000u;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000u;
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000u;
inline constexpr DWORD BS_TYPEMASK = 0x0000000Fu;
inline constexpr DWORD SS_TYPEMASK = 0x0000001Fu;
inline constexpr DWORD SS_CENTER = 0x1;
inline constexpr DWORD SS_RIGHT = 0x2;
inline constexpr DWORD SS_LEFTNOWORDWRAP = 0xC;
inline constexpr DWORD SS_NOPREFIX = 0x80;
inline constexpr DWORD ES_MULTILINE = 0x4;
inline constexpr DWORD ES_READONLY = 0x800;

inline constexpr UINT DLGC_WANTARROWS = 0x1;
inline constexpr UINT DLGC_WANTTAB = 0x2;
inline constexpr UINT DLGC_WANTALLKEYS = 0x4;
inline constexpr UINT DLGC_HASSETSEL = 0x8;
inline constexpr UINT DLGC_DEFPUSHBUTTON = 0x10;
inline constexpr UINT DLGC_UNDEFPUSHBUTTON = 0x20;
inline constexpr UINT DLGC_WANTCHARS = 0x80;
inline constexpr UINT DLGC_STATIC = 0x100;
inline constexpr UINT DLGC_BUTTON = 0x2000;

inline constexpr WPARAM VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10,
                        VK_CONTROL = 0x11, VK_MENU = 0x12, VK_ESCAPE = 0x1B, VK_SPACE = 0x20,
                        VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26,
                        VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D, VK_DELETE = 0x2E,
                        VK_F4 = 0x73;

inline constexpr int COLOR_HIGHLIGHT = 13;
inline constexpr int COLOR_HIGHLIGHTTEXT = 14;
inline constexpr int COLOR_BTNSHADOW = 16;
inline constexpr int COLOR_GRAYTEXT = 17;
inline constexpr int COLOR_BTNHIGHLIGHT = 20;
inline constexpr int COLOR_3DDKSHADOW = 21;
inline constexpr int COLOR_3DLIGHT = 22;
inline constexpr int COLOR_WINDOWFRAME = 6;

inline WPARAM makeWParam(unsigned low, unsigned high) {
  return static_cast<WPARAM>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}

// ---- Windows ----------------------------------------------------------------------------------
enum class WindowKind { Dialog, Button, Static, Edit };

// What a message box window adds to a dialog: its icon and the buttons' answers.
struct MessageBoxInfo {
  int result = 0;
  int escapeResult = 0;  // 0: Escape and the close box do nothing
  std::vector<int> buttons;
  int icon = 0;  // 0 none, else a stock icon kind
  int iconX = 0, iconY = 0;
};

// The record behind one HWND. Handles are small integers that are never reused, so a
// handle kept after its window is gone names nothing instead of a stranger.
struct Wnd {
  std::uintptr_t handle = 0;
  WindowKind kind = WindowKind::Dialog;
  std::uintptr_t parent = 0;  // controls: their dialog
  std::uintptr_t owner = 0;   // dialogs: the owner window, 0 for none
  int id = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  std::string text;  // ANSI bytes
  HFONT font = nullptr;
  HFONT ownedFont = nullptr;  // a dialog's template font lives and dies with the dialog
  DLGPROC dlgProc = nullptr;
  LONG msgResult = 0;  // DWL_MSGRESULT
  LONG user = 0;       // DWL_USER
  int x = 0, y = 0, w = 0, h = 0;  // dialogs: client area on the screen; controls: in the parent
  int baseX = 8, baseY = 16;       // dialogs: base units of the dialog font
  HICON iconSmall = nullptr, iconBig = nullptr;
  std::vector<std::uintptr_t> children;  // creation order: z-order and Tab order
  std::uintptr_t focusChild = 0;         // dialogs: the control that has or last had the focus
  int defId = 0;                         // dialogs: DM_SETDEFID
  bool destroying = false;
  bool mouseCaptured = false;  // buttons: a press that has not been released yet
  bool spaceDown = false;      // buttons: Space held on the focused button
  bool pressedLook = false;    // buttons: drawn pushed in
  std::uintptr_t editLimit = 30000;  // edits: EM_SETLIMITTEXT
  std::string pendingPaste;          // edits: clipboard text that arrived, inserted by WM_PASTE
  COLORREF paintedBackground = 0xF0F0F0;  // dialogs: what the last WM_CTLCOLORDLG painted
  MessageBoxInfo* box = nullptr;     // message boxes only
  Fl_Widget* widget = nullptr;
};

Wnd* findWnd(HWND window);
Wnd* findWnd(std::uintptr_t handle);
HWND toHwnd(std::uintptr_t handle);
std::uintptr_t fromHwnd(HWND window);
bool isDescendant(std::uintptr_t ancestor, std::uintptr_t window);
std::uintptr_t topLevelOf(std::uintptr_t window);

// Win32 SendMessage semantics for every class: the dialog procedure and the dialog
// manager's defaults for dialogs, the class behaviour for controls.
LRESULT sendMessage(std::uintptr_t window, UINT message, WPARAM wParam, LPARAM lParam);
bool setFocusTo(std::uintptr_t window);  // SetFocus without the return value
std::uintptr_t focusedWindow();
void activateAfterLoss(std::uintptr_t goneOrHidden);
void noteActivated(std::uintptr_t dialog);
// The X focus came to a dialog: WM_ACTIVATE follows from the next PeekMessageA, once
// FLTK is off the stack.
void notePendingActivation(std::uintptr_t dialog);
void processPendingActivation();

// The colours a control paints with: the answer to its WM_CTLCOLOR* request.
struct PaintColours {
  COLORREF text = 0;
  COLORREF back = 0xFFFFFF;
  int bkMode = OPAQUE;
  COLORREF brush = 0xF0F0F0;
  bool brushPaintsNothing = false;
};
PaintColours askColours(std::uintptr_t window, UINT message);

// ---- The message queue ---------------------------------------------------------------------------
void postMessage(std::uintptr_t window, UINT message, WPARAM wParam, LPARAM lParam);
// Keyboard input goes to whichever control of `dialog` has the focus when it is taken
// from the queue, as Win32 routes input when it is read, not when it happens.
void postKeyInput(std::uintptr_t dialog, UINT message, WPARAM vk, LPARAM lParam,
                  const std::string& text, int modifiers);
void discardMessagesFor(std::uintptr_t window);
void killTimersOf(std::uintptr_t window);
int currentModifiers();  // FLTK modifier state as of the last message taken from the queue
DWORD tickCount();

// Runs FLTK's event processing without waiting, unless FLTK is already on the stack
// (a colour request made while a control paints), where it must not be re-entered.
void pumpDisplay();
void idlePause();  // waits about a millisecond, or less if X input arrives
struct FltkScope {  // marks code that FLTK called: drawing and event handling
  FltkScope();
  ~FltkScope();
};
bool insideFltk();
void deleteWidgetLater(Fl_Widget* widget);  // deleted when no FLTK code is on the stack
void deletePendingWidgets();

// ---- Display, GDI objects, fonts and colours ---------------------------------------------------
bool ensureDisplay();  // opens the X display once; false when there is none
int screenDpi();       // Xft.dpi, 96 when unset

struct DcState {
  std::uintptr_t window = 0;
  COLORREF text = 0x000000;
  COLORREF back = 0xFFFFFF;
  int bkMode = OPAQUE;
};
HDC createDc(std::uintptr_t window);
DcState* findDc(HDC dc);
void releaseDc(HDC dc);

// What a brush paints: a colour, or nothing (NULL_BRUSH). False for a non-brush.
bool brushColour(HBRUSH brush, COLORREF& colour, bool& paintsNothing);
HBRUSH sysColourBrush(int index);
COLORREF sysColour(int index);
unsigned toFlColour(COLORREF colour);  // Fl_Color

struct FontUse {
  int flFont = 0;  // Fl_Font
  int size = 12;   // FLTK size: pixels per em
  bool underline = false;
  bool strikeOut = false;
};
FontUse fontFor(HFONT font);  // an unknown or deleted font falls back to the system font
bool isFont(HFONT font);
HFONT createFontFor(const LOGFONTA& logFont);
void deleteGdiObject(HGDIOBJ object);
// Dialog base units of a font, Win32's way: average of the 52 letters, and the height.
void baseUnits(HFONT font, int& baseX, int& baseY);
int textHeight(const FontUse& font);  // ascent + descent

HICON stockIcon(int which);  // 1 application, 2 error, 3 question, 4 warning, 5 information
int iconKind(HICON icon);    // 0 when not an icon
void drawIcon(int kind, int x, int y, int size);
const void* iconImages(int kind);  // array of two Fl_RGB_Image* (16 and 32 px)

// ---- Text --------------------------------------------------------------------------------------------
std::string ansiToUtf8(const std::string& ansi);
std::string utf8ToAnsi(const char* utf8, std::size_t length);  // unmappable characters dropped
// "&Close" -> "Close" with the underlined index (-1 for none); "&&" -> "&".
std::string stripMnemonic(const std::string& ansi, int& underlined);
char mnemonicOf(const std::string& ansi);  // 0 when none
struct TextLine {
  std::string utf8;
  int underlineFrom = -1, underlineTo = -1;  // byte range of the underlined character
};
// Lines as a SS_LEFT static breaks them: at explicit line ends and between words.
std::vector<TextLine> wrapText(const std::string& ansi, bool processMnemonic, bool wordWrap,
                               int width);
void drawTextLine(const TextLine& line, const FontUse& font, int x, int top, int lineHeight);

// ---- FLTK widgets --------------------------------------------------------------------------------
Fl_Window* createDialogWidget(std::uintptr_t handle, int x, int y, int w, int h);
Fl_Widget* createControlWidget(std::uintptr_t handle, WindowKind kind, int x, int y, int w, int h);
void syncWidgetText(Wnd& window);  // after the text changed by a message
void redrawWindow(Wnd& window);
void showDialogWidget(Wnd& dialog, int command);
void placeDialogWidget(Wnd& dialog);  // after x, y, w, h of a hidden dialog changed
void hideDialogWidget(Wnd& dialog);
void finishPendingHides();  // hides asked for while FLTK was drawing
void applyWindowManagerHints(Wnd& dialog);
void giveWidgetFocus(Wnd& window);
void setWidgetEnabled(Wnd& window, bool enabled);
void setWidgetVisible(Wnd& window, bool visible);
void applyDialogIcons(Wnd& dialog);
void requestActivation(Wnd& dialog);
void detachWidget(Wnd& window);  // the window is gone: its widget is hidden and deleted later
// Editing of an EDIT control, done when its messages are dispatched. Each returns what
// happened: kEditChanged, kEditFull (the text would not fit), or both.
inline constexpr int kEditChanged = 1;
inline constexpr int kEditFull = 2;
int editChar(Wnd& edit, unsigned char ch);
int editKey(Wnd& edit, WPARAM vk, int modifiers);
int editPaste(Wnd& edit);  // inserts pendingPaste, or asks for the clipboard when empty
void editSetSelection(Wnd& edit, long start, long end);
LRESULT editGetSelection(Wnd& edit, WPARAM wParam, LPARAM lParam);
void editSetText(Wnd& edit);  // WM_SETTEXT: the whole text, no width limit, caret at 0

}  // namespace fltkwin
