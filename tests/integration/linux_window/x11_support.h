// Support for the Linux window-system tests: a private Xvfb, an inspector that looks at
// our windows through an X connection of its own (geometry, properties, pixels, the close
// box), the message pump the tests run, a recording dialog procedure and a hand-built
// dialog template like the one the toolkit writes.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "x_test_support.h"

struct _XDisplay;

namespace wintest {

// ---- X servers ------------------------------------------------------------------------------
// These tests' Xvfb runs with -noreset: it does not reset when its last client goes.
class PrivateXServer : public xtest::Xvfb {
 public:
  bool start() { return Xvfb::start({"-noreset"}); }  // ready for clients
};

// Starts a private server for the whole test program unless $DISPLAY is already set.
void useTestDisplay();

// ---- Looking at windows from outside ---------------------------------------------------------------
struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
  bool viewable = false;
};

using xtest::Rgb;
std::string describe(const Rgb& c);
Rgb rgbOf(COLORREF colour);

class Inspector {
 public:
  explicit Inspector(const std::string& display = {});
  ~Inspector();
  Inspector(const Inspector&) = delete;
  Inspector& operator=(const Inspector&) = delete;

  bool connected() const { return display_ != nullptr; }
  unsigned long findWindow(const std::string& name);  // 0 when none is viewable
  Geometry geometry(unsigned long window);
  Rgb pixel(unsigned long window, int x, int y);
  // Every pixel of a rectangle of the window, row by row.
  std::vector<Rgb> pixels(unsigned long window, int x, int y, int width, int height);
  std::string wmClass(unsigned long window);
  bool normalHints(unsigned long window, int& minW, int& minH, int& maxW, int& maxH);
  std::vector<long> cardinals(unsigned long window, const char* property, const char* type);
  void sendDeleteWindow(unsigned long window);  // what a window manager's close box sends
  void move(unsigned long window, int x, int y);  // as a user drags a window aside
  void setRootResource(const std::string& resources);
  void sync();

 private:
  ::_XDisplay* display_ = nullptr;
};

// ---- Driving input -----------------------------------------------------------------------------------
using xtest::pressKeys;
using xtest::xdotool;  // runs xdotool with the arguments and waits for it
bool clickAt(int rootX, int rootY);
bool typeText(const std::string& text);

// ---- The message pump -----------------------------------------------------------------------------------
// One round of the toolkit's loop for `dialog`; false when the queue was empty.
bool pumpOnce(HWND dialog);
// Pumps until the condition holds or the deadline passes.
bool pumpUntil(HWND dialog, const std::function<bool()>& condition, double seconds = 10.0);
// Pumps for a while, whatever happens.
void pumpFor(HWND dialog, double seconds);
// True while a message taken by pumpOnce is being dispatched (IsDialogMessageA or
// DispatchMessageA is on the stack).
bool insideDispatch();

// ---- A recording dialog procedure -------------------------------------------------------------------
struct Received {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  int destroyDepth;     // how many DestroyWindow calls of the test were running
  bool duringDispatch;  // delivered from a dispatch of the pump
};

std::vector<Received>& received();
std::vector<Received> receivedOf(UINT message);
// What the procedure does before recording; returns its answer (0: not handled).
extern std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> reaction;
INT_PTR recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL destroyWindowCounted(HWND window);  // DestroyWindow, counted in destroyDepth

// ---- Dialogs as the toolkit builds them -------------------------------------------------------------
inline constexpr DWORD kMainStyle = WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_SETFONT |
                                    DS_NOFAILCREATE | DS_3DLOOK;
std::vector<WORD> dialogTemplate(DWORD style, short cx, short cy, short x = 0, short y = 0);
// Every dialog made by createTestDialog, destroyed at the end of a test.
void destroyTestDialogs();
HWND createTestDialog(DWORD style, short cx, short cy, const char* caption);
HWND addControl(HWND dialog, const char* className, const char* text, int id, DWORD style,
                DWORD exStyle, int x, int y, int cx, int cy);  // x..cy in dialog units
RECT dialogUnitsToPixels(HWND dialog, int x, int y, int cx, int cy);

// The program's main window: edit 1002 (WS_BORDER only), "&Close" (2), label 1994,
// "Set comport" (1003), in that order; shown and waiting for input when it returns.
struct MainWindow {
  HWND dialog = nullptr;
  HWND edit = nullptr, close = nullptr, label = nullptr, setPort = nullptr;
  unsigned long xid = 0;
  Geometry client;
};
MainWindow buildMainWindow(const char* caption = "File TX.txt");
// The screen position of the centre of a control of a shown dialog.
void controlCentre(const MainWindow& main, HWND control, int& rootX, int& rootY);

}  // namespace wintest
