// What the files of the window system share: the record behind each HWND, the handle
// table, sending a message to a window, the default window procedure, and the widget
// that shows a window. Nothing outside platform/linux/window includes it; the program
// sees only platform/platform.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

class Fl_Widget;

namespace fltkwin {

enum class WindowKind { Dialog, Button, Static, Edit };

// What a message box window adds to a dialog: its icon and the buttons' answers.
struct MessageBoxInfo {
  int result = 0;
  int escapeResult = 0;  // 0: Escape and the close box do nothing
  std::vector<int> buttons;
  int icon = 0;  // 0 none, else an IconKind
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
  LONG msgResult = 0;              // DWL_MSGRESULT
  LONG user = 0;                   // DWL_USER
  int x = 0, y = 0, w = 0, h = 0;  // dialogs: client area on the screen; controls: in the parent
  int baseX = 8, baseY = 16;       // dialogs: base units of the dialog font
  HICON iconSmall = nullptr, iconBig = nullptr;
  std::vector<std::uintptr_t> children;  // creation order: z-order and Tab order
  std::uintptr_t focusChild = 0;         // dialogs: the control that has or last had the focus
  int defId = 0;                         // dialogs: DM_SETDEFID
  bool destroying = false;
  bool mouseCaptured = false;        // buttons: a press that has not been released yet
  bool spaceDown = false;            // buttons: Space held on the focused button
  bool pressedLook = false;          // buttons: drawn pushed in
  std::uintptr_t editLimit = 30000;  // edits: EM_SETLIMITTEXT
  std::string pendingPaste;          // edits: clipboard text that arrived, inserted by WM_PASTE
  COLORREF paintedBackground = 0xF0F0F0;  // dialogs: what the last WM_CTLCOLORDLG painted
  MessageBoxInfo* box = nullptr;          // message boxes only
  Fl_Widget* widget = nullptr;
};

// ---- The handle table -----------------------------------------------------------------
Wnd* findWnd(HWND window);
Wnd* findWnd(std::uintptr_t handle);
HWND toHwnd(std::uintptr_t handle);
std::uintptr_t fromHwnd(HWND window);
Wnd& newWindow(WindowKind kind);  // a record under the next handle, in the table
bool isDescendant(std::uintptr_t ancestor, std::uintptr_t window);
std::uintptr_t topLevelOf(std::uintptr_t window);

// ---- Messages -------------------------------------------------------------------------
// Win32 SendMessage semantics for every class: the dialog procedure and the dialog
// manager's defaults for dialogs, the class behaviour for controls.
LRESULT sendMessage(std::uintptr_t window, UINT message, WPARAM wParam, LPARAM lParam);
// DefWindowProc, for what these classes leave to it.
LRESULT defWindowProc(std::uintptr_t window, UINT message, WPARAM wParam, LPARAM lParam);
// What every control class does alike: a repaint on WM_ENABLE, the font it keeps for
// itself, and DefWindowProc for the rest.
LRESULT defControlProc(Wnd& control, UINT message, WPARAM wParam, LPARAM lParam);
// WM_COMMAND with `code` from a control to its dialog.
void notifyParent(std::uintptr_t control, WORD code);

// ---- The widget behind a window ----------------------------------------------------------
void syncWidgetText(Wnd& window);  // after the text changed by a message
void redrawWindow(Wnd& window);
void giveWidgetFocus(Wnd& window);
void setWidgetEnabled(Wnd& window, bool enabled);
void setWidgetVisible(Wnd& window, bool visible);
void detachWidget(Wnd& window);  // the window is gone: its widget is hidden and deleted later

}  // namespace fltkwin
