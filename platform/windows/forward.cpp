// The platform on Windows: every platform:: call of platform.h forwarded, one line each,
// to the Win32 function of the same name (KERNEL32, USER32, GDI32, COMCTL32).
// Types and constants come from <windows.h> through platform.h. No logic lives here:
// error modes, last-error codes and handle ownership are the callers' business. The
// watchdog (watchdog.h) hears of every open, close, control block and loop round.
#include "platform/platform.h"
#include "platform/windows/watchdog.h"

namespace platform {

// ---- Files, serial ports, error mode and last error (KERNEL32) -------------------------
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD flags, HANDLE templateFile) {
  return watchdog::watched(
      ::CreateFileA(name, access, shareMode, security, creation, flags, templateFile));
}
DWORD GetFileType(HANDLE file) { return ::GetFileType(file); }
BOOL GetCommState(HANDLE file, LPDCB dcb) { return ::GetCommState(file, dcb); }
BOOL SetCommState(HANDLE file, LPDCB dcb) { return watchdog::setCommState(file, dcb); }
BOOL CloseHandle(HANDLE object) { return watchdog::forgetPort(object), ::CloseHandle(object); }
UINT SetErrorMode(UINT mode) { return ::SetErrorMode(mode); }
void SetLastError(DWORD code) { ::SetLastError(code); }
DWORD GetLastError() { return ::GetLastError(); }
HANDLE FindFirstFileA(LPCSTR name, LPWIN32_FIND_DATAA found) { return ::FindFirstFileA(name, found); }
BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA found) { return ::FindNextFileA(search, found); }
BOOL FindClose(HANDLE search) { return ::FindClose(search); }
HMODULE GetModuleHandleA(LPCSTR moduleName) { return ::GetModuleHandleA(moduleName); }
void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

// ---- Dialogs, controls and the message loop (USER32, COMCTL32) -------------------------
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) { return ::InitCommonControlsEx(init); }
HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM initParam) {
  return ::CreateDialogIndirectParamA(instance, dialogTemplate, owner, dialogProc, initParam);
}
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR text, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU idOrMenu, HINSTANCE instance,
                     LPVOID param) {
  return ::CreateWindowExA(exStyle, className, text, style, x, y, width, height, parent, idOrMenu,
                           instance, param);
}
BOOL MapDialogRect(HWND dialog, LPRECT rect) { return ::MapDialogRect(dialog, rect); }
BOOL SetWindowTextA(HWND window, LPCSTR text) { return ::SetWindowTextA(window, text); }
int GetWindowTextLengthA(HWND window) { return ::GetWindowTextLengthA(window); }
int GetWindowTextA(HWND window, LPSTR buffer, int bufferSize) {
  return ::GetWindowTextA(window, buffer, bufferSize);
}
HWND GetDlgItem(HWND dialog, int id) { return ::GetDlgItem(dialog, id); }
BOOL EnableWindow(HWND window, BOOL enable) { return ::EnableWindow(window, enable); }
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageA(window, message, wParam, lParam);
}
HICON LoadIconA(HINSTANCE instance, LPCSTR name) { return ::LoadIconA(instance, name); }
BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMode) {
  watchdog::loopAlive();
  return ::PeekMessageA(msg, window, filterMin, filterMax, removeMode);
}
BOOL IsDialogMessageA(HWND dialog, LPMSG msg) { return ::IsDialogMessageA(dialog, msg); }
BOOL TranslateMessage(const MSG* msg) { return ::TranslateMessage(msg); }
LRESULT DispatchMessageA(const MSG* msg) { return ::DispatchMessageA(msg); }
BOOL IsWindow(HWND window) { return ::IsWindow(window); }
BOOL ShowWindow(HWND window, int command) { return ::ShowWindow(window, command); }
BOOL GetClientRect(HWND window, LPRECT rect) { return ::GetClientRect(window, rect); }
BOOL DestroyWindow(HWND window) { return ::DestroyWindow(window); }
LONG GetWindowLongA(HWND window, int index) { return ::GetWindowLongA(window, index); }
LONG SetWindowLongA(HWND window, int index, LONG value) {
  return ::SetWindowLongA(window, index, value);
}
HWND SetFocus(HWND window) { return ::SetFocus(window); }
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
  return ::SetTimer(window, id, elapse, timerProc);
}
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  return ::MessageBoxA(owner, text, caption, type);
}

// ---- Fonts and colours (GDI32, USER32) --------------------------------------------------
HDC GetDC(HWND window) { return ::GetDC(window); }
int ReleaseDC(HWND window, HDC dc) { return ::ReleaseDC(window, dc); }
int GetDeviceCaps(HDC dc, int index) { return ::GetDeviceCaps(dc, index); }
HFONT CreateFontIndirectA(const LOGFONTA* logFont) { return ::CreateFontIndirectA(logFont); }
HBRUSH CreateSolidBrush(COLORREF color) { return ::CreateSolidBrush(color); }
BOOL DeleteObject(HGDIOBJ object) { return ::DeleteObject(object); }
COLORREF SetTextColor(HDC dc, COLORREF color) { return ::SetTextColor(dc, color); }
COLORREF SetBkColor(HDC dc, COLORREF color) { return ::SetBkColor(dc, color); }
int SetBkMode(HDC dc, int mode) { return ::SetBkMode(dc, mode); }
DWORD GetSysColor(int index) { return ::GetSysColor(index); }
HBRUSH GetSysColorBrush(int index) { return ::GetSysColorBrush(index); }
HGDIOBJ GetStockObject(int index) { return ::GetStockObject(index); }

}  // namespace platform
