// Window lifetime and timers on a real X server: the closing messages nest inside
// DestroyWindow, the X window goes, and WM_TIMER keeps its period without piling up.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "x11_support.h"

using namespace wintest;

namespace {

class LifetimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    received().clear();
    reaction = nullptr;
  }

  static int indexOf(UINT message, HWND window) {
    const auto& all = received();
    for (std::size_t i = 0; i < all.size(); ++i)
      if (all[i].message == message && all[i].window == window) return static_cast<int>(i);
    return -1;
  }

  static int countTimers(HWND window, WPARAM id) {
    int n = 0;
    for (const Received& r : receivedOf(WM_TIMER)) n += r.window == window && r.wParam == id && r.lParam == 0;
    return n;
  }
};

}  // namespace

TEST_F(LifetimeTest, DestroyWindowDeliversDestroyThenNcDestroyWhileItRuns) {
  MainWindow main = buildMainWindow("Going away");
  ASSERT_NE(main.xid, 0u);
  ASSERT_NE(platform::SetTimer(main.dialog, 0, 50, nullptr), 0u);
  received().clear();

  ASSERT_TRUE(destroyWindowCounted(main.dialog));
  const int destroy = indexOf(WM_DESTROY, main.dialog);
  const int ncDestroy = indexOf(WM_NCDESTROY, main.dialog);
  ASSERT_GE(destroy, 0);
  ASSERT_GT(ncDestroy, destroy);
  EXPECT_EQ(received()[destroy].destroyDepth, 1) << "nested inside DestroyWindow";
  EXPECT_EQ(received()[ncDestroy].destroyDepth, 1);
  EXPECT_EQ(receivedOf(WM_DESTROY).size(), 1u);
  EXPECT_EQ(receivedOf(WM_NCDESTROY).size(), 1u);

  for (HWND w : {main.dialog, main.edit, main.close, main.label, main.setPort})
    EXPECT_FALSE(platform::IsWindow(w)) << "the controls go with their dialog";
  Inspector inspector;
  EXPECT_TRUE(pumpUntil(nullptr, [&] { return inspector.findWindow("Going away") == 0; }));
  pumpFor(nullptr, 0.3);
  EXPECT_TRUE(receivedOf(WM_TIMER).empty()) << "the window's timer died with it";
}

TEST_F(LifetimeTest, DestroyingFromTheCommandHandlerNestsTheClosingMessagesInTheCommand) {
  bool ncDestroyBeforeReturn = false;
  reaction = [&](HWND window, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_COMMAND && (wParam & 0xFFFF) == IDCANCEL) {
      destroyWindowCounted(window);
      ncDestroyBeforeReturn = !receivedOf(WM_NCDESTROY).empty();
      return 1;
    }
    return 0;
  };
  MainWindow main = buildMainWindow("Escape ends it");
  ASSERT_NE(main.xid, 0u);
  ASSERT_TRUE(pressKeys({"Escape"}));
  ASSERT_TRUE(pumpUntil(main.dialog, [&] { return !platform::IsWindow(main.dialog); }));
  EXPECT_TRUE(ncDestroyBeforeReturn);
  const int command = indexOf(WM_COMMAND, main.dialog);
  ASSERT_GE(command, 0);
  EXPECT_LT(command, indexOf(WM_DESTROY, main.dialog));
  EXPECT_LT(indexOf(WM_DESTROY, main.dialog), indexOf(WM_NCDESTROY, main.dialog));
  EXPECT_EQ(receivedOf(WM_COMMAND).size(), 1u) << "no second command from the destruction";
  reaction = nullptr;
}

TEST_F(LifetimeTest, TimerTicksAboutEveryPeriodAndNeverPilesUp) {
  HWND dialog = createTestDialog(kMainStyle, 40, 20, "Ticking");
  ASSERT_NE(dialog, nullptr);
  EXPECT_NE(platform::SetTimer(dialog, 0, 100, nullptr), 0u) << "id 0 still reports success";
  const auto start = std::chrono::steady_clock::now();
  pumpUntil(dialog, [&] { return countTimers(dialog, 0) >= 10; }, 5.0);
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(countTimers(dialog, 0), 10);
  EXPECT_GT(elapsed, 0.9) << "ten ticks of 100 ms";
  EXPECT_LT(elapsed, 2.0);

  // A handler that keeps the thread busy for five periods finds one tick waiting, not five.
  std::this_thread::sleep_for(std::chrono::milliseconds(550));
  received().clear();
  MSG msg;
  int waiting = 0;
  while (platform::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    waiting += msg.message == WM_TIMER && msg.hwnd == dialog;
  EXPECT_EQ(waiting, 1);

  // And the next one keeps the schedule instead of following at once.
  const auto after = std::chrono::steady_clock::now();
  ASSERT_TRUE(pumpUntil(dialog, [&] { return countTimers(dialog, 0) >= 1; }, 2.0));
  EXPECT_GT(std::chrono::duration<double>(std::chrono::steady_clock::now() - after).count(), 0.02);
  platform::DestroyWindow(dialog);
}

TEST_F(LifetimeTest, SettingATimerAgainReplacesIt) {
  HWND dialog = createTestDialog(kMainStyle, 40, 20, "Replaced");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(platform::SetTimer(dialog, 7, 60000, nullptr), 7u);
  EXPECT_EQ(platform::SetTimer(dialog, 7, 50, nullptr), 7u);
  ASSERT_TRUE(pumpUntil(dialog, [&] { return countTimers(dialog, 7) >= 4; }, 3.0));
  for (const Received& r : receivedOf(WM_TIMER))
    if (r.window == dialog) {
      EXPECT_EQ(r.wParam, 7u);
    }
  platform::DestroyWindow(dialog);
}
