// The one seam between the program and the system beneath it.
//
// The program calls the platform by its Win32 names, qualified with `platform::`
// (platform::CreateFileA, platform::SetTimer, ...). This header declares exactly the
// calls, types and constants the program uses and nothing more. Types and constants
// come from <windows.h> on Windows and are declared here, with their Win32 values
// and layouts, everywhere else. Each executable links one implementation:
//   platform/windows/  thin forwarding to the real Win32 API,
//   platform/linux/    POSIX (serial, file search) and FLTK (windows, fonts, message box),
//   platform/fake/     the recording fake that the unit tests drive.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
// 64-bit headers only name the pointer-sized aliases (DWLP_MSGRESULT, GWLP_HWNDPARENT);
// the 32-bit indexes are the same numbers.
#ifndef DWL_MSGRESULT
#define DWL_MSGRESULT 0
#endif
#ifndef GWL_HWNDPARENT
#define GWL_HWNDPARENT (-8)
#endif

#else  // every other system: the Win32 subset, declared by us

#include <cstdint>

// ---- Base types -------------------------------------------------------------------
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using BOOL = int;
using UINT = unsigned int;
using LONG = std::int32_t;
using CHAR = char;
using WCHAR = char16_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using COLORREF = DWORD;
using LPVOID = void*;
using LPCSTR = const char*;
using LPSTR = char*;

using HANDLE = void*;
using HGDIOBJ = void*;
struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HFONT__;
using HFONT = HFONT__*;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HDC__;
using HDC = HDC__*;
struct HICON__;
using HICON = HICON__*;
struct HMENU__;
using HMENU = HMENU__*;

inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1));

// ---- Records ------------------------------------------------------------------------
struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// The serial port's control block, field for field as Win32 lays it out.
struct DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
};
using LPDCB = DCB*;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

inline constexpr int MAX_PATH = 260;

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;

struct POINT {
  LONG x;
  LONG y;
};

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
using LPRECT = RECT*;

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
using LPMSG = MSG*;

inline constexpr int LF_FACESIZE = 32;

struct LOGFONTA {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  CHAR lfFaceName[LF_FACESIZE];
};

struct INITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
};
using LPINITCOMMONCONTROLSEX = INITCOMMONCONTROLSEX*;

// The in-memory dialog template; the program writes the extended form
// (DLGTEMPLATEEX) byte by byte and passes it through this type, as on Win32.
struct DLGTEMPLATE;
using LPCDLGTEMPLATEA = const DLGTEMPLATE*;

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

// ---- Constants (Win32 values) ---------------------------------------------------------
// Files and serial ports
inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
inline constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD FILE_TYPE_UNKNOWN = 0;
inline constexpr DWORD FILE_TYPE_DISK = 1;
inline constexpr DWORD FILE_TYPE_CHAR = 2;
inline constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;
inline constexpr UINT SEM_NOOPENFILEERRORBOX = 0x8000;
inline constexpr DWORD DTR_CONTROL_DISABLE = 0;
inline constexpr DWORD DTR_CONTROL_ENABLE = 1;
inline constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_DISABLE = 0;
inline constexpr DWORD RTS_CONTROL_ENABLE = 1;
inline constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_TOGGLE = 3;

// Window styles
inline constexpr DWORD WS_POPUP = 0x80000000u;
inline constexpr DWORD WS_CHILD = 0x40000000u;
inline constexpr DWORD WS_MINIMIZE = 0x20000000u;
inline constexpr DWORD WS_VISIBLE = 0x10000000u;
inline constexpr DWORD WS_MAXIMIZE = 0x01000000u;
inline constexpr DWORD WS_CAPTION = 0x00C00000u;
inline constexpr DWORD WS_BORDER = 0x00800000u;
inline constexpr DWORD WS_SYSMENU = 0x00080000u;
inline constexpr DWORD WS_TABSTOP = 0x00010000u;
inline constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200u;
inline constexpr DWORD DS_ABSALIGN = 0x01;
inline constexpr DWORD DS_SYSMODAL = 0x02;
inline constexpr DWORD DS_3DLOOK = 0x04;
inline constexpr DWORD DS_NOFAILCREATE = 0x10;
inline constexpr DWORD DS_SETFONT = 0x40;
inline constexpr DWORD DS_MODALFRAME = 0x80;
inline constexpr DWORD DS_CENTER = 0x800;
inline constexpr DWORD BS_PUSHBUTTON = 0x0;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
inline constexpr DWORD SS_LEFT = 0x0;
inline constexpr DWORD ES_AUTOHSCROLL = 0x80;

// Messages
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_SIZE = 0x0005;
inline constexpr UINT WM_ACTIVATE = 0x0006;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_CANCELMODE = 0x001F;
inline constexpr UINT WM_DRAWITEM = 0x002B;
inline constexpr UINT WM_SETFONT = 0x0030;
inline constexpr UINT WM_GETFONT = 0x0031;
inline constexpr UINT WM_NOTIFY = 0x004E;
inline constexpr UINT WM_SETICON = 0x0080;
inline constexpr UINT WM_NCDESTROY = 0x0082;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_HSCROLL = 0x0114;
inline constexpr UINT WM_VSCROLL = 0x0115;
inline constexpr UINT WM_ENTERIDLE = 0x0121;
inline constexpr UINT WM_CTLCOLORMSGBOX = 0x0132;
inline constexpr UINT WM_CTLCOLOREDIT = 0x0133;
inline constexpr UINT WM_CTLCOLORLISTBOX = 0x0134;
inline constexpr UINT WM_CTLCOLORBTN = 0x0135;
inline constexpr UINT WM_CTLCOLORDLG = 0x0136;
inline constexpr UINT WM_CTLCOLORSCROLLBAR = 0x0137;
inline constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT DM_SETDEFID = WM_USER + 1;
inline constexpr UINT BN_CLICKED = 0;
inline constexpr WPARAM SC_CLOSE = 0xF060;
inline constexpr WPARAM MSGF_DIALOGBOX = 0;
inline constexpr UINT PM_REMOVE = 0x0001;
inline constexpr int GWL_HWNDPARENT = -8;
inline constexpr int DWL_MSGRESULT = 0;
inline constexpr int WA_INACTIVE = 0;
inline constexpr int WA_ACTIVE = 1;
inline constexpr int WA_CLICKACTIVE = 2;

// Showing and sizing
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr WPARAM SIZE_RESTORED = 0;
inline constexpr WPARAM SIZE_MINIMIZED = 1;
inline constexpr WPARAM SIZE_MAXIMIZED = 2;

// Dialog ids, message box, icons
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_ICONERROR = 0x10;
inline constexpr WPARAM ICON_SMALL = 0;
inline constexpr WPARAM ICON_BIG = 1;
inline const LPCSTR IDI_APPLICATION = reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(32512));

// Common controls classes asked for at start-up
inline constexpr DWORD ICC_LISTVIEW_CLASSES = 0x1;
inline constexpr DWORD ICC_TREEVIEW_CLASSES = 0x2;
inline constexpr DWORD ICC_BAR_CLASSES = 0x4;
inline constexpr DWORD ICC_TAB_CLASSES = 0x8;
inline constexpr DWORD ICC_PROGRESS_CLASS = 0x20;
inline constexpr DWORD ICC_HOTKEY_CLASS = 0x40;
inline constexpr DWORD ICC_PAGESCROLLER_CLASS = 0x1000;
inline constexpr DWORD ICC_NATIVEFNTCTL_CLASS = 0x2000;
inline constexpr DWORD ICC_STANDARD_CLASSES = 0x4000;

// Fonts and colours
inline constexpr int LOGPIXELSY = 90;
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;
inline constexpr int NULL_BRUSH = 5;
inline constexpr LONG FW_NORMAL = 400;
inline constexpr LONG FW_BOLD = 700;
inline constexpr BYTE ANSI_CHARSET = 0;
inline constexpr BYTE DEFAULT_CHARSET = 1;
inline constexpr int COLOR_SCROLLBAR = 0;
inline constexpr int COLOR_MENU = 4;
inline constexpr int COLOR_WINDOW = 5;
inline constexpr int COLOR_MENUTEXT = 7;
inline constexpr int COLOR_WINDOWTEXT = 8;
inline constexpr int COLOR_BTNFACE = 15;
inline constexpr int COLOR_BTNTEXT = 18;
inline constexpr int COLOR_INFOBK = 24;

#endif  // _WIN32

// ---- The calls ------------------------------------------------------------------------
namespace platform {

// Files, serial ports, error mode and last error (KERNEL32)
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD flags, HANDLE templateFile);
DWORD GetFileType(HANDLE file);
BOOL GetCommState(HANDLE file, LPDCB dcb);
BOOL SetCommState(HANDLE file, LPDCB dcb);
BOOL CloseHandle(HANDLE object);
UINT SetErrorMode(UINT mode);
void SetLastError(DWORD code);
DWORD GetLastError();
HANDLE FindFirstFileA(LPCSTR name, LPWIN32_FIND_DATAA found);
BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA found);
BOOL FindClose(HANDLE search);
HMODULE GetModuleHandleA(LPCSTR moduleName);
void Sleep(DWORD milliseconds);

// Dialogs, controls and the message loop (USER32, COMCTL32)
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);
HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM initParam);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR text, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU idOrMenu, HINSTANCE instance,
                     LPVOID param);
BOOL MapDialogRect(HWND dialog, LPRECT rect);
BOOL SetWindowTextA(HWND window, LPCSTR text);
int GetWindowTextLengthA(HWND window);
int GetWindowTextA(HWND window, LPSTR buffer, int bufferSize);
HWND GetDlgItem(HWND dialog, int id);
BOOL EnableWindow(HWND window, BOOL enable);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMode);
BOOL IsDialogMessageA(HWND dialog, LPMSG msg);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
BOOL IsWindow(HWND window);
BOOL ShowWindow(HWND window, int command);
BOOL GetClientRect(HWND window, LPRECT rect);
BOOL DestroyWindow(HWND window);
LONG GetWindowLongA(HWND window, int index);
LONG SetWindowLongA(HWND window, int index, LONG value);
HWND SetFocus(HWND window);
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Fonts and colours (GDI32, USER32)
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
int GetDeviceCaps(HDC dc, int index);
HFONT CreateFontIndirectA(const LOGFONTA* logFont);
HBRUSH CreateSolidBrush(COLORREF color);
BOOL DeleteObject(HGDIOBJ object);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF SetBkColor(HDC dc, COLORREF color);
int SetBkMode(HDC dc, int mode);
DWORD GetSysColor(int index);
HBRUSH GetSysColorBrush(int index);
HGDIOBJ GetStockObject(int index);

}  // namespace platform
