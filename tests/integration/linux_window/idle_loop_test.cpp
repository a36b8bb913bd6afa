// The toolkit's modal loop on this window system with its idle pause: while the queue is
// empty the loop waits in Sleep(1), and a click, a key, a timer and a message box's own
// nested loop must still be answered. Each step is taken from the handler when the one
// before it has been seen, and the run ends by itself, so nothing here waits a fixed time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/toolkit.h"
#include "x11_support.h"

using namespace wintest;

namespace {

const char* kCaption = "Idle loop";
const char* kBoxCaption = "Idle loop box";
constexpr int kSetPort = 1003;

HWND dialog = nullptr;
Inspector* inspector = nullptr;
std::vector<std::string> steps;
int ticks = 0, ticksUnderBox = 0;
bool boxUp = false, clicked = false, boxAnswered = false;

void clickSetPort() {
  const unsigned long xid = inspector->findWindow(kCaption);
  const Geometry g = inspector->geometry(xid);
  const RECT button = dialogUnitsToPixels(dialog, 0, 45, 60, 14);
  clickAt(g.x + (button.left + button.right) / 2, g.y + (button.top + button.bottom) / 2);
}

INT_PTR handler(HWND, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: platform::SetTimer(dialog, 0, 100, nullptr); break;
    case WM_TIMER:
      ++ticks;
      if (boxUp) {
        // Ticks go on under the box; the second one answers it with Enter.
        if (++ticksUnderBox == 2) pressKeys({"Return"});
      } else if (!clicked && inspector->findWindow(kCaption) != 0) {
        clicked = true;
        steps.push_back("tick");
        clickSetPort();
      } else if (boxAnswered) {
        boxAnswered = false;
        steps.push_back("tick after box");
        pressKeys({"Escape"});
      }
      break;
    case WM_COMMAND:
      if ((wParam & 0xFFFF) == kSetPort) {
        steps.push_back("click");
        boxUp = true;
        showMessageBox("Under the box the loop goes on", MB_OK, kBoxCaption);
        boxUp = false;
        boxAnswered = true;
        steps.push_back("box answered");
      } else if ((wParam & 0xFFFF) == IDCANCEL) {
        steps.push_back("escape");
        dismissDialog(dialog, 0);
      }
      break;
    default: break;
  }
  return 0;
}

}  // namespace

TEST(IdleLoopTest, AnswersATimerAClickAMessageBoxAndAKey) {
  static const bool started = (toolkitStartup(), true);
  (void)started;
  Inspector probe;
  inspector = &probe;
  dialog = createDialog(UNIT_MODE_DIALOG, nullptr, kCaption, COORD_OMITTED, COORD_OMITTED, 80, 75,
                        WS_CAPTION | WS_SYSMENU, 0);
  ASSERT_NE(dialog, nullptr);
  addControl(PushButton, dialog, IDCANCEL, "&Close", 0, 60, 80, 14, 0, 0, nullptr);
  addControl(PushButton, dialog, kSetPort, "Set comport", 0, 45, 60, 14, 0, 0, nullptr);

  runModal(dialog, handler, nullptr);

  EXPECT_FALSE(platform::IsWindow(dialog));
  const std::vector<std::string> expected = {"tick", "click", "box answered", "tick after box",
                                             "escape"};
  EXPECT_EQ(steps, expected);
  EXPECT_GE(ticksUnderBox, 2) << "timers fire inside the message box's own loop";
}
