// Per-control colours: normalisation, shared background brushes and their release,
// and the answer to each colour request; and the message box.
#include <gtest/gtest.h>

#include "one_dialog_fixture.h"
#include "platform/fake/fake_user32.h"
#include "toolkit/toolkit.h"
#include "toolkit/window_records.h"

namespace {

constexpr int kBoxId = 1002;
constexpr int kOtherBoxId = 1005;
constexpr int kLabelId = 1994;

class ColoursTest : public OneDialogTest {
 protected:
  void SetUp() override {
    OneDialogTest::SetUp();
    addControl(TextBox, dialog, kBoxId, "1", 60, 45, 20, 14, WS_BORDER, 0, nullptr);
    addControl(TextBox, dialog, kOtherBoxId, "2", 60, 30, 20, 14, WS_BORDER, 0, nullptr);
    addControl(Label, dialog, kLabelId, "", 0, 0, 80, 40, 0, 0, nullptr);
  }
  void TearDown() override {
    OneDialogTest::TearDown();
    EXPECT_EQ(fake::liveBrushCount(), 0u) << "a brush outlived every control using it";
    EXPECT_EQ(fake::invalidDeletes(), 0u) << "a brush was deleted twice or was not ours";
    EXPECT_EQ(fake::openDeviceContexts(), 0u);
  }

  const WindowRecord& record(int id) const { return *findRecord(controlWindow(dialog, id)); }

  // A colour request as a control makes it, on a device context of its own.
  struct Reply {
    INT_PTR answer;
    fake::DeviceContextColours colours;
  };
  Reply ask(UINT message, int id) const {
    HWND control = controlWindow(dialog, id);
    const HDC dc = platform::GetDC(control);
    const INT_PTR answer = replyCtlColor(message, dc, control);
    Reply reply{answer, fake::deviceContextColours(dc)};
    platform::ReleaseDC(control, dc);
    return reply;
  }
};

struct NormalisationCase {
  std::int32_t text, background;
  std::int32_t storedText, storedBackground;
};

TEST_F(ColoursTest, ColoursAreStoredNormalised) {
  const NormalisationCase cases[] = {
      {255, 0x123456, 255, 0x123456},
      {0x7F0000FF, 0x01ABCDEF, 0xFF, 0xABCDEF},  // bits above the low 24 cleared
      {-5, -2, COLOUR_SYSTEM, COLOUR_TRANSPARENT},
      {COLOUR_NOT_SET, COLOUR_NOT_SET, COLOUR_SYSTEM, COLOUR_SYSTEM},
      {INT32_MIN, -100, COLOUR_SYSTEM, COLOUR_SYSTEM},
      {COLOUR_TRANSPARENT, 0, COLOUR_SYSTEM, 0},  // transparent is for backgrounds only
  };
  for (const NormalisationCase& c : cases) {
    setControlColors(dialog, kBoxId, c.text, c.background);
    EXPECT_EQ(record(kBoxId).textColour, c.storedText) << c.text;
    EXPECT_EQ(record(kBoxId).backgroundColour, c.storedBackground) << c.background;
    EXPECT_EQ(record(kBoxId).backgroundBrush != nullptr, c.storedBackground >= 0);
  }
}

TEST_F(ColoursTest, TwoControlsOfOneColourShareOneBrushUntilNeitherHoldsIt) {
  const std::int32_t yellow = 0x00E1FFFF;
  const std::int32_t grey = 0x00C0C0C0;
  setControlColors(dialog, kBoxId, 255, yellow);
  setControlColors(dialog, kOtherBoxId, 0, yellow);
  EXPECT_EQ(fake::brushesCreated(), 1u);
  const HBRUSH shared = record(kBoxId).backgroundBrush;
  EXPECT_EQ(record(kOtherBoxId).backgroundBrush, shared);
  EXPECT_EQ(fake::brushColour(shared), static_cast<COLORREF>(yellow));

  setControlColors(dialog, kBoxId, 255, grey);
  EXPECT_TRUE(fake::isLiveBrush(shared)) << "the other box still paints with it";
  setControlColors(dialog, kOtherBoxId, 0, grey);
  EXPECT_FALSE(fake::isLiveBrush(shared));
  EXPECT_EQ(fake::brushesCreated(), 2u) << "the grey brush is shared too";
  EXPECT_EQ(fake::liveBrushCount(), 1u);
}

TEST_F(ColoursTest, SettingTheSameColourAgainKeepsTheBrush) {
  setControlColors(dialog, kBoxId, 255, 0x00E1FFFF);
  const HBRUSH brush = record(kBoxId).backgroundBrush;
  setControlColors(dialog, kBoxId, 0, 0x00E1FFFF);
  EXPECT_EQ(record(kBoxId).backgroundBrush, brush);
  EXPECT_TRUE(fake::isLiveBrush(brush));
  EXPECT_EQ(fake::brushesCreated(), 1u);
}

TEST_F(ColoursTest, TeardownReleasesASharedBrushOnce) {
  setControlColors(dialog, kBoxId, 255, 0x00E1FFFF);
  setControlColors(dialog, kOtherBoxId, 255, 0x00E1FFFF);
  ASSERT_EQ(fake::liveBrushCount(), 1u);
  platform::DestroyWindow(dialog);
  EXPECT_EQ(fake::liveBrushCount(), 0u);
  EXPECT_EQ(fake::invalidDeletes(), 0u);
}

TEST_F(ColoursTest, BrushThatCannotBeMadeGivesTheSystemBackground) {
  fake::failNext("CreateSolidBrush");
  setControlColors(dialog, kBoxId, 255, 0x00E1FFFF);
  EXPECT_EQ(record(kBoxId).textColour, 255);
  EXPECT_EQ(record(kBoxId).backgroundColour, COLOUR_SYSTEM);
  EXPECT_EQ(record(kBoxId).backgroundBrush, nullptr);
  const Reply reply = ask(WM_CTLCOLOREDIT, kBoxId);
  EXPECT_EQ(reply.colours.textColour, 255u);
  EXPECT_EQ(reply.answer, reinterpret_cast<INT_PTR>(fake::sysColorBrush(COLOR_WINDOW)));
}

TEST_F(ColoursTest, MissingControlChangesNothing) {
  setControlColors(dialog, 4711, 255, 0x00E1FFFF);
  setControlColors(nullptr, kBoxId, 255, 0x00E1FFFF);
  EXPECT_EQ(fake::brushesCreated(), 0u);
  EXPECT_EQ(record(kBoxId).textColour, COLOUR_NOT_SET);
}

TEST_F(ColoursTest, ColouredControlGetsItsTextColourBackgroundAndBrush) {
  setControlColors(dialog, kBoxId, 255, 0x00E1FFFF);
  const Reply reply = ask(WM_CTLCOLOREDIT, kBoxId);
  EXPECT_EQ(reply.answer, reinterpret_cast<INT_PTR>(record(kBoxId).backgroundBrush))
      << "the whole brush value, not a truncated one";
  EXPECT_TRUE(reply.colours.textColourSet);
  EXPECT_EQ(reply.colours.textColour, 255u);
  EXPECT_TRUE(reply.colours.backgroundColourSet);
  EXPECT_EQ(reply.colours.backgroundColour, 0x00E1FFFFu);
  EXPECT_EQ(reply.colours.backgroundMode, 0) << "opaque, as the platform leaves it";
}

TEST_F(ColoursTest, TransparentBackgroundPaintsNothingBehindTheText) {
  setControlColors(dialog, kLabelId, 0x00FF00, COLOUR_TRANSPARENT);
  const Reply reply = ask(WM_CTLCOLORSTATIC, kLabelId);
  EXPECT_EQ(reply.answer, reinterpret_cast<INT_PTR>(fake::stockObject(NULL_BRUSH)));
  EXPECT_EQ(reply.colours.textColour, 0x00FF00u);
  EXPECT_EQ(reply.colours.backgroundMode, TRANSPARENT);
  EXPECT_FALSE(reply.colours.backgroundColourSet);
}

TEST_F(ColoursTest, ControlWithoutColoursIsLeftToThePlatform) {
  setControlColors(dialog, kBoxId, 255, 0x00E1FFFF);
  for (UINT message = WM_CTLCOLORMSGBOX; message <= WM_CTLCOLORSTATIC; ++message) {
    const Reply reply = ask(message, kLabelId);
    EXPECT_EQ(reply.answer, 0) << message;
    EXPECT_FALSE(reply.colours.textColourSet) << message;
  }
  EXPECT_EQ(replyCtlColor(WM_CTLCOLORDLG, nullptr, dialog), 0);
  EXPECT_EQ(replyCtlColor(WM_CTLCOLOREDIT, nullptr, reinterpret_cast<HWND>(0x1234)), 0);
}

struct SystemColourCase {
  UINT message;
  int text;
  int background;
};

class SystemColourTest : public ColoursTest,
                         public ::testing::WithParamInterface<SystemColourCase> {};

TEST_P(SystemColourTest, SystemColourValueTakesTheMessagesDefaults) {
  const SystemColourCase& c = GetParam();
  setControlColors(dialog, kBoxId, COLOUR_SYSTEM, COLOUR_SYSTEM);
  const Reply reply = ask(c.message, kBoxId);
  EXPECT_EQ(reply.colours.textColour, platform::GetSysColor(c.text));
  EXPECT_EQ(reply.colours.backgroundColour, platform::GetSysColor(c.background));
  EXPECT_EQ(reply.answer, reinterpret_cast<INT_PTR>(fake::sysColorBrush(c.background)));
  EXPECT_EQ(reply.colours.backgroundMode, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SystemColourTest,
    ::testing::Values(SystemColourCase{WM_CTLCOLORMSGBOX, COLOR_MENUTEXT, COLOR_MENU},
                      SystemColourCase{WM_CTLCOLOREDIT, COLOR_WINDOWTEXT, COLOR_WINDOW},
                      SystemColourCase{WM_CTLCOLORLISTBOX, COLOR_WINDOWTEXT, COLOR_WINDOW},
                      SystemColourCase{WM_CTLCOLORBTN, COLOR_BTNTEXT, COLOR_BTNFACE},
                      SystemColourCase{WM_CTLCOLORDLG, COLOR_WINDOWTEXT, COLOR_BTNFACE},
                      SystemColourCase{WM_CTLCOLORSCROLLBAR, COLOR_WINDOWTEXT, COLOR_SCROLLBAR},
                      SystemColourCase{WM_CTLCOLORSTATIC, COLOR_WINDOWTEXT, COLOR_BTNFACE}));

// ---- Message box ----------------------------------------------------------------------------

struct BoxCase {
  const char* caption;
  const char* shown;
};

TEST(MessageBoxTest, ShowsTheTextWithNoOwnerAfterAShortPause) {
  const BoxCase cases[] = {{"Comport", "Comport"}, {"", "Error"}};
  for (const BoxCase& c : cases) {
    fake::reset();
    const int result = showMessageBox("Comport not available", MB_ICONERROR | MB_OK, c.caption);
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(fake::messageBoxes().size(), 1u);
    const fake::MessageBoxCall& box = fake::messageBoxes()[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.text, "Comport not available");
    EXPECT_EQ(box.caption, c.shown);
    EXPECT_EQ(box.type, 16u) << "the style goes through unchanged";
    const std::vector<std::string> names = fake::callNames();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "Sleep");
    EXPECT_EQ(fake::calls()[0].detail, "5");
    EXPECT_EQ(names[1], "MessageBoxA");
  }
}

}  // namespace
