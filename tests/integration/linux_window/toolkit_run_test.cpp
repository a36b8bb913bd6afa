// The program's own dialog toolkit on this window system: the main dialog built and run
// modally exactly as the start-up routine does, ended by Escape or by the close box.
#include <gtest/gtest.h>

#include <vector>

#include "toolkit/toolkit.h"
#include "x11_support.h"

using namespace wintest;

namespace {

const char* kCaption = "Toolkit run";
constexpr int kPortText = 1002, kStatusLabel = 1994, kSetPort = 1003;

struct Seen {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  int depth;  // 1 for a message the loop dispatched, 2 for one nested in the handler
  bool visible;
};

std::vector<Seen> seen;
int depth = 0;
int ticks = 0;
bool closeWithBox = false;
HWND dialog = nullptr;
Inspector* inspector = nullptr;
Rgb portBoxPixel;

INT_PTR handler(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  ++depth;
  seen.push_back({message, wParam, lParam, depth, inspector->findWindow(kCaption) != 0});
  INT_PTR result = 0;
  switch (message) {
    case WM_INITDIALOG:
      platform::SetTimer(dialog, 0, 100, nullptr);
      break;
    case WM_TIMER:
      setControlText(controlWindow(dialog, kStatusLabel), ++ticks % 2 ? "PTT ON" : "PTT OFF");
      if (ticks == 3) {
        const unsigned long xid = inspector->findWindow(kCaption);
        const RECT box = dialogUnitsToPixels(dialog, 60, 45, 20, 14);
        portBoxPixel = inspector->pixel(xid, box.left + 2, box.bottom - 3);
        if (closeWithBox) {
          inspector->sendDeleteWindow(xid);
        } else {
          pressKeys({"Escape"});
        }
      }
      break;
    case WM_COMMAND:
      if ((wParam & 0xFFFF) == IDCANCEL) dismissDialog(dialog, 0);
      break;
    default:
      break;
  }
  --depth;
  return result;
}

class ToolkitRunTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    static bool started = false;
    if (!started) toolkitStartup();
    started = true;
    seen.clear();
    ticks = 0;
    depth = 0;
    inspector = &inspector_;
  }
  Inspector inspector_;
};

std::vector<UINT> closingOrder() {
  std::vector<UINT> order;
  for (const Seen& s : seen)
    if (s.message == WM_COMMAND || s.message == WM_SYSCOMMAND || s.message == WM_CLOSE ||
        s.message == WM_DESTROY || s.message == WM_NCDESTROY)
      order.push_back(s.message);
  return order;
}

}  // namespace

TEST_P(ToolkitRunTest, MainDialogRunsItsTicksAndEndsCleanly) {
  closeWithBox = GetParam();
  kCaption = closeWithBox ? "Toolkit run, close box" : "Toolkit run, Escape";
  dialog = createDialog(UNIT_MODE_DIALOG, nullptr, kCaption, COORD_OMITTED, COORD_OMITTED, 80, 75,
                        WS_CAPTION | WS_SYSMENU, 0);
  ASSERT_NE(dialog, nullptr);
  addControl(TextBox, dialog, kPortText, "1", 60, 45, 20, 14, WS_BORDER, 0, nullptr);
  addControl(PushButton, dialog, IDCANCEL, "&Close", 0, 60, 80, 14, 0, 0, nullptr);
  addControl(Label, dialog, kStatusLabel, "", 0, 0, 80, 40, 0, 0, nullptr);
  addControl(PushButton, dialog, kSetPort, "Set comport", 0, 45, 60, 14, 0, 0, nullptr);
  setControlFont(dialog, kStatusLabel, createFont("Arial", 20.0f, FONT_STYLE_BOLD, 0, 0, 0));
  setControlColors(dialog, kPortText, 0x0000FF, static_cast<std::int32_t>(platform::GetSysColor(COLOR_INFOBK)));
  RECT client{};
  ASSERT_TRUE(platform::GetClientRect(dialog, &client));
  EXPECT_EQ(getControlText(controlWindow(dialog, kPortText)), "1");

  runModal(dialog, handler, nullptr);

  EXPECT_FALSE(platform::IsWindow(dialog));
  EXPECT_GE(ticks, 3);
  EXPECT_EQ(portBoxPixel, rgbOf(0xE1FFFF)) << "the toolkit's colours reach the screen";
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_INITDIALOG));
  EXPECT_FALSE(seen[0].visible);
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_SIZE));
  EXPECT_EQ(seen[1].lParam, static_cast<LPARAM>(client.right | (client.bottom << 16)));
  for (const Seen& s : seen) EXPECT_NE(s.message, static_cast<UINT>(WM_ACTIVATE));

  const std::vector<UINT> order = closingOrder();
  const std::vector<UINT> expected = {
      static_cast<UINT>(closeWithBox ? WM_SYSCOMMAND : WM_COMMAND), WM_CLOSE, WM_DESTROY,
      WM_NCDESTROY};
  EXPECT_EQ(order, expected);
  // After Escape the handler itself ends the run, so they nest in its WM_COMMAND; the
  // close box is ended by the toolkit once the handler answered WM_SYSCOMMAND with 0.
  for (const Seen& s : seen) {
    if (s.message == WM_CLOSE || s.message == WM_DESTROY || s.message == WM_NCDESTROY) {
      EXPECT_EQ(s.depth, closeWithBox ? 1 : 2);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EndedBy, ToolkitRunTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "CloseBox" : "Escape");
                         });
