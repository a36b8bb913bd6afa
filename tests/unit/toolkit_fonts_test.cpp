// The font table: handles, the logical font each entry describes, the height taken
// from the display's resolution, sharing between controls and the use counts.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "one_dialog_fixture.h"
#include "platform/fake/fake_user32.h"
#include "serial/error_status.h"
#include "toolkit/fonts.h"
#include "toolkit/toolkit.h"

namespace {

constexpr int kLabelId = 1994;
constexpr int kOtherLabelId = 1995;

class FontsTest : public OneDialogTest {
 protected:
  void SetUp() override {
    OneDialogTest::SetUp();
    addControl(Label, dialog, kLabelId, "", 0, 0, 80, 40, 0, 0, nullptr);
    addControl(Label, dialog, kOtherLabelId, "", 0, 40, 80, 10, 0, 0, nullptr);
  }
  void TearDown() override {
    OneDialogTest::TearDown();
    EXPECT_EQ(fake::openDeviceContexts(), 0u);
  }

  static FontEntry entry(int handle) {
    FontEntry copy;
    EXPECT_TRUE(copyFontEntry(handle, &copy)) << handle;
    return copy;
  }
  const fake::Window* control(int id) const { return fake::window(controlWindow(dialog, id)); }
};

TEST_F(FontsTest, ProgramsFirstFontIsHandleThreeAfterTheTwoBuiltInEntries) {
  EXPECT_EQ(std::string(entry(1).logFont.lfFaceName), "MS Sans Serif");
  EXPECT_EQ(entry(1).pointSize, 8.0f);
  EXPECT_EQ(entry(1).logFont.lfCharSet, DEFAULT_CHARSET);
  EXPECT_EQ(std::string(entry(2).logFont.lfFaceName), "Courier New");
  EXPECT_EQ(createFont("Arial", 20.0f, FONT_STYLE_BOLD, 0, 0, 0), 3);
  EXPECT_EQ(createFont("Arial", 10.0f, 0, 0, 0, 0), 4);
  EXPECT_EQ(entry(3).useCount, 1);
  EXPECT_EQ(entry(3).hFont, nullptr) << "no platform font before a control needs it";
  EXPECT_EQ(fake::createdFonts().size(), 0u);
}

struct HeightCase {
  int pixelsPerInch;
  float points;
  LONG lfHeight;
};

class FontHeightTest : public FontsTest, public ::testing::WithParamInterface<HeightCase> {};

TEST_P(FontHeightTest, HeightComesFromTheResolutionOfTheFirstControlsDisplay) {
  const HeightCase& c = GetParam();
  fake::setPixelsPerInch(c.pixelsPerInch);
  const int font = createFont("Arial", c.points, FONT_STYLE_BOLD, 0, 0, 0);
  setControlFont(dialog, kLabelId, font);
  ASSERT_EQ(fake::createdFonts().size(), 1u);
  EXPECT_EQ(fake::createdFonts()[0].lfHeight, c.lfHeight);
  EXPECT_EQ(entry(font).logFont.lfHeight, c.lfHeight);
}

INSTANTIATE_TEST_SUITE_P(Table, FontHeightTest,
                         ::testing::Values(HeightCase{96, 20, -27}, HeightCase{120, 20, -33},
                                           HeightCase{144, 20, -40}, HeightCase{192, 20, -53},
                                           // Exact halves go to the even neighbour.
                                           HeightCase{72, 2.5f, -2}, HeightCase{72, 3.5f, -4},
                                           HeightCase{144, 1.25f, -2}, HeightCase{96, 1.125f, -2},
                                           // A point size of 0 means 8 points.
                                           HeightCase{96, 0, -11}, HeightCase{96, 8, -11}));

TEST_F(FontsTest, LogicalFontTakesFaceStyleBitsPitchAndEscapement) {
  const std::string longFace(40, 'F');
  const int font =
      createFont(longFace, 12.0f, FONT_STYLE_ITALIC | FONT_STYLE_STRIKEOUT | 16, 238, 0x1234, 900);
  const LOGFONTA lf = entry(font).logFont;
  EXPECT_EQ(std::strlen(lf.lfFaceName), 31u);
  EXPECT_EQ(std::string(lf.lfFaceName), longFace.substr(0, 31));
  EXPECT_EQ(lf.lfWeight, FW_NORMAL);
  EXPECT_EQ(lf.lfItalic, 1);
  EXPECT_EQ(lf.lfUnderline, 0);
  EXPECT_EQ(lf.lfStrikeOut, 1);
  EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET) << "whatever set was asked for";
  EXPECT_EQ(lf.lfPitchAndFamily, 0x34);
  EXPECT_EQ(lf.lfEscapement, 900);
  EXPECT_EQ(lf.lfOrientation, 900);
  EXPECT_EQ(lf.lfWidth, 0);
  EXPECT_EQ(lf.lfOutPrecision, 0);
  EXPECT_EQ(lf.lfClipPrecision, 0);
  EXPECT_EQ(lf.lfQuality, 0);
}

TEST_F(FontsTest, StatusFontIsBoldArialOfTwentyPoints) {
  const int font = createFont("Arial", 20.0f, FONT_STYLE_BOLD, 0, 0, 0);
  setControlFont(dialog, kLabelId, font);
  ASSERT_EQ(fake::createdFonts().size(), 1u);
  const LOGFONTA& lf = fake::createdFonts()[0];
  EXPECT_EQ(std::string(lf.lfFaceName), "Arial");
  EXPECT_EQ(lf.lfHeight, -27);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_EQ(lf.lfItalic, 0);
  EXPECT_EQ(lf.lfUnderline, 0);
  EXPECT_EQ(lf.lfStrikeOut, 0);
  EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET);
  const fake::Window* label = control(kLabelId);
  EXPECT_EQ(label->font, entry(font).hFont);
  EXPECT_TRUE(label->fontRedraw);
  EXPECT_EQ(entry(font).useCount, 2);
  EXPECT_EQ(findRecord(controlWindow(dialog, kLabelId))->font, font);
  EXPECT_EQ(findRecord(controlWindow(dialog, kLabelId))->previousFont, fake::window(dialog)->font);
}

TEST_F(FontsTest, SecondControlSharesThePlatformFontAndAddsOneUse) {
  const int font = createFont("Arial", 20.0f, FONT_STYLE_BOLD, 0, 0, 0);
  setControlFont(dialog, kLabelId, font);
  fake::setPixelsPerInch(192);  // the height is fixed by the first control
  setControlFont(dialog, kOtherLabelId, font);
  EXPECT_EQ(fake::createdFonts().size(), 1u);
  EXPECT_EQ(fake::countOf("GetDC"), 1u);
  EXPECT_EQ(control(kOtherLabelId)->font, control(kLabelId)->font);
  EXPECT_EQ(entry(font).useCount, 3);
  EXPECT_EQ(entry(font).logFont.lfHeight, -27);
}

TEST_F(FontsTest, SettingTheSameFontAgainLeavesTheCountsAlone) {
  const int font = createFont("Arial", 20.0f, 0, 0, 0, 0);
  setControlFont(dialog, kLabelId, font);
  setControlFont(dialog, kLabelId, font);
  EXPECT_EQ(entry(font).useCount, 2);
}

TEST_F(FontsTest, ChangingAControlsFontMovesItsUse) {
  const int first = createFont("Arial", 20.0f, 0, 0, 0, 0);
  const int second = createFont("Arial", 10.0f, 0, 0, 0, 0);
  setControlFont(dialog, kLabelId, first);
  setControlFont(dialog, kLabelId, second);
  EXPECT_EQ(entry(first).useCount, 1);
  EXPECT_EQ(entry(second).useCount, 2);
  EXPECT_EQ(control(kLabelId)->font, entry(second).hFont);
  // The font saved for teardown is still the dialog's, not the first entry's.
  EXPECT_EQ(findRecord(controlWindow(dialog, kLabelId))->previousFont, fake::window(dialog)->font);
}

TEST_F(FontsTest, FailedPlatformFontLeavesTheControlAloneAndIsTriedAgain) {
  const int font = createFont("Arial", 20.0f, FONT_STYLE_BOLD, 0, 0, 0);
  const HFONT dialogFont = fake::window(dialog)->font;
  fake::failNext("CreateFontIndirectA");
  setControlFont(dialog, kLabelId, font);
  EXPECT_EQ(control(kLabelId)->font, dialogFont);
  EXPECT_EQ(entry(font).hFont, nullptr);
  EXPECT_EQ(entry(font).useCount, 1);
  EXPECT_EQ(entry(font).logFont.lfHeight, -27);
  EXPECT_EQ(findRecord(controlWindow(dialog, kLabelId))->font, 0);

  setControlFont(dialog, kLabelId, font);
  EXPECT_NE(entry(font).hFont, nullptr);
  EXPECT_EQ(control(kLabelId)->font, entry(font).hFont);
  EXPECT_EQ(entry(font).useCount, 2);
}

TEST_F(FontsTest, MissingControlOrUnknownHandleChangesNothingAndRecordsNoError) {
  ErrorStatusScope status;
  const int font = createFont("Arial", 20.0f, 0, 0, 0, 0);
  const HFONT before = control(kLabelId)->font;
  setControlFont(dialog, 4711, font);
  setControlFont(dialog, kLabelId, 0);
  setControlFont(dialog, kLabelId, 99);
  setControlFont(nullptr, kLabelId, font);
  EXPECT_EQ(fake::createdFonts().size(), 0u);
  EXPECT_EQ(control(kLabelId)->font, before);
  EXPECT_EQ(entry(font).useCount, 1);
  EXPECT_EQ(takeErrorStatus(), 0);
}

TEST_F(FontsTest, TeardownGivesBackTheUseAndPutsTheSavedFontBackWithoutRedraw) {
  const int font = createFont("Arial", 20.0f, FONT_STYLE_BOLD, 0, 0, 0);
  setControlFont(dialog, kLabelId, font);
  HWND label = controlWindow(dialog, kLabelId);
  const HFONT dialogFont = fake::window(dialog)->font;
  const HFONT statusFont = entry(font).hFont;
  fake::clearCalls();
  platform::DestroyWindow(dialog);

  EXPECT_EQ(entry(font).useCount, 1);
  EXPECT_EQ(entry(font).hFont, statusFont) << "the font lasts until the process ends";
  std::string lastSetFont;
  for (const fake::Call& call : fake::calls()) {
    if (call.name == "DeleteObject") ADD_FAILURE() << "deleted " << call.detail;
    if (call.name == "SendMessageA" && call.detail.find("WM_SETFONT") != std::string::npos)
      lastSetFont = call.detail;
  }
  char expected[128];
  std::snprintf(expected, sizeof expected, "0x%jx WM_SETFONT 0x%jx 0x0",
                static_cast<std::uintmax_t>(reinterpret_cast<std::uintptr_t>(label)),
                static_cast<std::uintmax_t>(reinterpret_cast<std::uintptr_t>(dialogFont)));
  EXPECT_EQ(lastSetFont, expected);
}

TEST_F(FontsTest, ControlThatHadNoFontIsGivenNoneBackAtTeardown) {
  HWND label = controlWindow(dialog, kLabelId);
  platform::SendMessageA(label, WM_SETFONT, 0, FALSE);  // draws in the system font
  setControlFont(dialog, kLabelId, createFont("Arial", 20.0f, 0, 0, 0, 0));
  fake::clearCalls();
  platform::DestroyWindow(dialog);
  char expected[64];
  std::snprintf(expected, sizeof expected, "0x%jx WM_SETFONT 0x0 0x0",
                static_cast<std::uintmax_t>(reinterpret_cast<std::uintptr_t>(label)));
  bool sent = false;
  for (const fake::Call& call : fake::calls()) sent |= call.detail == expected;
  EXPECT_TRUE(sent);
}

}  // namespace
