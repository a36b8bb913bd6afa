// The real start-up routine and controller on the toolkit and the fake window system:
// the whole window the program builds, one tick, and the end of the run by Escape.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/ptt_controller.h"
#include "platform/fake/fake_kernel32.h"
#include "platform/fake/fake_user32.h"
#include "toolkit/toolkit.h"
#include "toolkit/window_records.h"

namespace {

constexpr COLORREF kInfoBackground = 0x00E1FFFF;

struct Snapshot {
  HWND dialog = nullptr;
  bool visible = false;
  std::string portTextAtInitialise;
};
Snapshot seen;

// Once the window is up and idle: note what the operator would see, then one tick
// and the Escape key.
void tickThenEscape() {
  if (seen.dialog) return;
  seen.dialog = fake::lastDialog();
  seen.visible = fake::window(seen.dialog)->visible;
  seen.portTextAtInitialise = portNumberText;
  fake::postMessage(seen.dialog, WM_TIMER, 0, 0);
  fake::postKeyDown(seen.dialog, fake::kVirtualKeyEscape);
}

struct ControlExpectation {
  int id;
  const char* windowClass;
  const char* text;
  DWORD style;
};

class MainWindowTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    fake::reset();
    toolkitStartup();
    seen = Snapshot{};
    fake::setSysColor(COLOR_INFOBK, kInfoBackground);
    fake::whenQueueEmpty(tickThenEscape);
  }
  void TearDown() override {
    fake::whenQueueEmpty(nullptr);
    for (HWND d : fake::liveDialogs()) platform::DestroyWindow(d);
  }
};

TEST_P(MainWindowTest, BuildsTheWindowRunsItAndReleasesEverythingAfterEscape) {
  const bool transmit = GetParam();
  if (transmit) fake::addDirectoryEntry("TX.txt");

  EXPECT_EQ(runMainWindow(), 0);

  ASSERT_NE(seen.dialog, nullptr) << "the run never went idle";
  EXPECT_TRUE(seen.visible);
  EXPECT_EQ(seen.portTextAtInitialise, "1");
  EXPECT_EQ(hDlg, seen.dialog);
  const fake::Window& dialog = *fake::window(seen.dialog);
  EXPECT_FALSE(dialog.alive) << "runModal returns only after the window is gone";
  EXPECT_EQ(dialog.text, "File TX.txt");
  EXPECT_EQ(dialog.style, 0x00C80854u);
  EXPECT_EQ(dialog.rect.right, 120);
  EXPECT_EQ(dialog.rect.bottom, 122);
  EXPECT_EQ(dialog.smallIcon, fake::stockIcon(IDI_APPLICATION));
  EXPECT_EQ(dialog.bigIcon, fake::stockIcon(IDI_APPLICATION));
  EXPECT_EQ(dialog.lastShowCommand, SW_SHOW);

  const ControlExpectation expected[] = {
      {ID_PORT_TEXT, "EDIT", "1", 0x50800000},
      {IDCANCEL, "BUTTON", "&Close", 0x50010000},
      {ID_STATUS_LABEL, "STATIC", transmit ? "PTT ON" : "PTT OFF", 0x50000000},
      {ID_SET_PORT, "BUTTON", "Set comport", 0x50010000},
  };
  ASSERT_EQ(dialog.children.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const fake::Window& control = *fake::window(dialog.children[i]);
    EXPECT_EQ(control.id, expected[i].id) << i;
    EXPECT_EQ(control.className, expected[i].windowClass) << i;
    EXPECT_EQ(control.text, expected[i].text) << i;
    EXPECT_EQ(control.style, expected[i].style) << std::hex << control.style;
    EXPECT_EQ(control.exStyle, 0u) << i;
  }

  // The status label in 20-point bold Arial; every other control in the dialog font.
  EXPECT_EQ(hStatusFont, 3);
  ASSERT_EQ(fake::createdFonts().size(), 1u);
  const LOGFONTA& statusFont = fake::createdFonts()[0];
  EXPECT_EQ(std::string(statusFont.lfFaceName), "Arial");
  EXPECT_EQ(statusFont.lfHeight, -27);
  EXPECT_EQ(statusFont.lfWeight, FW_BOLD);
  EXPECT_EQ(statusFont.lfCharSet, DEFAULT_CHARSET);
  const fake::Window& label = *fake::window(dialog.children[2]);
  EXPECT_NE(label.font, dialog.font);
  for (std::size_t i : {0u, 1u, 3u}) {
    EXPECT_EQ(fake::window(dialog.children[i])->font, dialog.font) << i;
  }

  // Red on the info-tip colour in the port box; the platform's colours elsewhere.
  const fake::Paint& box = fake::window(dialog.children[0])->lastPaint;
  EXPECT_EQ(box.message, UINT{WM_CTLCOLOREDIT});
  EXPECT_EQ(box.colours.textColour, 255u);
  EXPECT_EQ(box.colours.backgroundColour, kInfoBackground);
  EXPECT_EQ(fake::brushColour(reinterpret_cast<HBRUSH>(box.answer)), kInfoBackground);
  EXPECT_EQ(dialog.lastPaint.answer, 0);
  for (std::size_t i : {1u, 2u, 3u}) {
    const fake::Paint& paint = fake::window(dialog.children[i])->lastPaint;
    EXPECT_TRUE(paint.asked) << i;
    EXPECT_EQ(paint.answer, 0) << i;
  }

  // The tick came from a 500 ms timer of the window, which ended with it.
  bool timerStarted = false;
  for (const fake::Call& call : fake::calls()) {
    if (call.name == "SetTimer") timerStarted = call.detail.find(" 0 500") != std::string::npos;
  }
  EXPECT_TRUE(timerStarted);
  EXPECT_TRUE(fake::liveTimers().empty());

  EXPECT_EQ(recordCount(), 0u);
  EXPECT_EQ(fake::liveBrushCount(), 0u);
  EXPECT_EQ(fake::invalidDeletes(), 0u);
  EXPECT_EQ(fake::openDeviceContexts(), 0u);
  EXPECT_TRUE(fake::messageBoxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Trigger, MainWindowTest, ::testing::Values(false, true),
                         [](const auto& info) {
                           return std::string(info.param ? "TriggerFilePresent" : "NoTriggerFile");
                         });

TEST_F(MainWindowTest, NoWindowEndsTheRunAtOnceWithExitCode1) {
  fake::failNext("CreateDialogIndirectParamA");

  EXPECT_EQ(runMainWindow(), 1);

  EXPECT_EQ(hDlg, nullptr);
  EXPECT_EQ(seen.dialog, nullptr) << "no run may wait for events without a window";
}

}  // namespace
