// The error box on a real X server: it runs its own loop, in which the main window's
// ticks and buttons go on working; a key or its close box dismisses it with IDOK.
#include <gtest/gtest.h>

#include <string>

#include "x11_support.h"

using namespace wintest;

namespace {

constexpr char kText[] = "Comport not available or already open by another application";

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    received().clear();
    reaction = nullptr;
  }
  void TearDown() override {
    reaction = nullptr;
    destroyTestDialogs();
  }
};

struct DismissCase {
  const char* name;
  const char* key;  // nullptr: the box's close box
};

class DismissTest : public MessageBoxTest, public ::testing::WithParamInterface<DismissCase> {};

}  // namespace

TEST_P(DismissTest, TicksGoOnUnderTheBoxAndItReturnsIdOk) {
  Inspector inspector;
  int result = -1, ticksUnderBox = 0;
  bool boxOpen = false, dismissed = false;
  Geometry box;
  reaction = [&](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message != WM_TIMER) return 0;
    if (!boxOpen && result == -1) {
      boxOpen = true;
      result = platform::MessageBoxA(nullptr, kText, "Comport", MB_OK | MB_ICONERROR);
      boxOpen = false;
      return 0;
    }
    if (!boxOpen) return 0;
    ++ticksUnderBox;
    if (ticksUnderBox >= 3 && !dismissed) {
      const unsigned long xid = inspector.findWindow("Comport");
      if (!xid) return 0;
      box = inspector.geometry(xid);
      dismissed = true;
      if (GetParam().key) {
        pressKeys({GetParam().key});
      } else {
        inspector.sendDeleteWindow(xid);
      }
    }
    return 0;
  };
  MainWindow m = buildMainWindow();
  ASSERT_NE(m.xid, 0u);
  ASSERT_NE(platform::SetTimer(m.dialog, 0, 100, nullptr), 0u);
  ASSERT_TRUE(pumpUntil(m.dialog, [&] { return result != -1 && !boxOpen; }, 20.0));
  EXPECT_EQ(result, IDOK);
  EXPECT_GE(ticksUnderBox, 3) << "the box's loop dispatches the main window's ticks";
  EXPECT_EQ(box.x, (1024 - box.width) / 2) << "centred on the screen";
  EXPECT_EQ(box.y, (768 - box.height) / 2);
  EXPECT_GT(box.width, 200) << "wide enough for its text";
  EXPECT_TRUE(pumpUntil(m.dialog, [&] { return inspector.findWindow("Comport") == 0; }));
  EXPECT_TRUE(platform::IsWindow(m.dialog));
  EXPECT_TRUE(receivedOf(WM_COMMAND).empty()) << "the box's keys stay in the box";
}

INSTANTIATE_TEST_SUITE_P(Ways, DismissTest,
                         ::testing::Values(DismissCase{"Enter", "Return"}, DismissCase{"Space", "space"},
                                           DismissCase{"Escape", "Escape"},
                                           DismissCase{"CloseBox", nullptr}),
                         [](const ::testing::TestParamInfo<DismissCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(MessageBoxTest, MainWindowButtonsWorkUnderTheBoxAndASecondBoxOpensOverTheFirst) {
  Inspector inspector;
  MainWindow m;
  std::vector<std::string> order;
  int ticksUnderFirst = 0;
  bool firstOpen = false, secondOpen = false, clicked = false, closedSecond = false,
       closedFirst = false;
  reaction = [&](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_COMMAND && (wParam & 0xFFFF) == 1003 && firstOpen && !secondOpen) {
      // "Set comport" pressed again while the first box is up: the second box nests.
      secondOpen = true;
      order.push_back("second open");
      platform::MessageBoxA(nullptr, kText, "Comport 2", MB_OK | MB_ICONERROR);
      order.push_back("second closed");
      secondOpen = false;
      return 0;
    }
    if (message != WM_TIMER) return 0;
    if (!firstOpen && order.empty()) {
      firstOpen = true;
      order.push_back("first open");
      platform::MessageBoxA(nullptr, kText, "Comport", MB_OK | MB_ICONERROR);
      order.push_back("first closed");
      firstOpen = false;
      return 0;
    }
    if (firstOpen && !secondOpen && ++ticksUnderFirst >= 3 && !clicked) {
      // Both are centred: the box is dragged off the main window first.
      const unsigned long first = inspector.findWindow("Comport");
      if (!first) return 0;
      inspector.move(first, 0, 0);
      pumpFor(nullptr, 0.1);
      int x, y;
      controlCentre(m, m.setPort, x, y);
      clicked = clickAt(x, y);
    }
    if (secondOpen && !closedSecond) {
      const unsigned long first = inspector.findWindow("Comport");
      const unsigned long second = inspector.findWindow("Comport 2");
      if (first && second) {
        closedSecond = true;
        inspector.sendDeleteWindow(second);
      }
    }
    if (firstOpen && !secondOpen && closedSecond && !closedFirst) {
      if (const unsigned long first = inspector.findWindow("Comport")) {
        closedFirst = true;
        inspector.sendDeleteWindow(first);
      }
    }
    return 0;
  };
  m = buildMainWindow();
  ASSERT_NE(m.xid, 0u);
  ASSERT_NE(platform::SetTimer(m.dialog, 0, 100, nullptr), 0u);
  ASSERT_TRUE(pumpUntil(m.dialog, [&] { return order.size() == 4; }, 30.0));
  EXPECT_TRUE(clicked);
  const std::vector<std::string> expected = {"first open", "second open", "second closed", "first closed"};
  EXPECT_EQ(order, expected);
}
