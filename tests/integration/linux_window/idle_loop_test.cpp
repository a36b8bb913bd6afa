// The toolkit's modal loop on this window system with its idle pause: while the queue is
// empty the loop waits in Sleep(1), and a click, a key, a timer and a message box's own
// nested loop must still be answered. Each step is taken from the handler when the one
// before it has been seen, and the run ends by itself, so nothing here waits a fixed time.
#include <gtest/gtest.h>

#include <chrono>
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

// A pause that ends because a timer falls due must leave the WM_TIMER to the very next
// look at the queue: an idle loop that looks, finds nothing and pauses again once the
// due time has passed has made that timer a whole pause late. The loop here is the
// toolkit's own (PeekMessageA, and Sleep(1) when there is nothing), watched from outside.
TEST(IdleLoopTest, ATimerThatFallsDueIsTakenAtTheNextLook) {
  static const bool started = (toolkitStartup(), true);
  (void)started;
  HWND window = createDialog(UNIT_MODE_DIALOG, nullptr, "Idle loop timers", COORD_OMITTED,
                             COORD_OMITTED, 80, 40, WS_CAPTION, 0);
  ASSERT_NE(window, nullptr);  // left hidden: no X event of its own ends a pause

  constexpr UINT kPeriodMs = 40;
  constexpr int kTimers = 25;
  using Clock = std::chrono::steady_clock;
  // Taken before each SetTimer, so that the timer's own due time is never earlier.
  auto due = Clock::now() + std::chrono::milliseconds(kPeriodMs);
  ASSERT_NE(platform::SetTimer(window, 7, kPeriodMs, nullptr), 0u);
  int fired = 0, emptyLooksAfterDue = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (fired < kTimers && Clock::now() < deadline) {
    MSG msg;
    if (platform::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_TIMER && msg.hwnd == window) {
        ++fired;
        // The next period counts from here: a late one must not make the next look late.
        due = Clock::now() + std::chrono::milliseconds(kPeriodMs);
        ASSERT_NE(platform::SetTimer(window, 7, kPeriodMs, nullptr), 0u);
      }
      platform::DispatchMessageA(&msg);
      continue;
    }
    if (Clock::now() > due) ++emptyLooksAfterDue;
    platform::Sleep(1);
  }
  platform::DestroyWindow(window);  // and its timer with it
  EXPECT_EQ(fired, kTimers);
  EXPECT_EQ(emptyLooksAfterDue, 0) << "a due timer waited for another pause";
}
