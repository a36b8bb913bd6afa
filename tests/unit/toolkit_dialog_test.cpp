// Dialog creation: the style rules, the in-memory template and the caption.
#include <gtest/gtest.h>

#include "platform/fake/fake_user32.h"
#include "toolkit/toolkit.h"
#include "toolkit/window_records.h"

namespace {

constexpr DWORD kMainDialogStyle = WS_CAPTION | WS_SYSMENU;

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    toolkitStartup();
  }
  void TearDown() override {
    for (HWND dialog : fake::liveDialogs()) platform::DestroyWindow(dialog);
    EXPECT_EQ(recordCount(), 0u) << "records outlived their windows";
  }

  static HWND mainLikeDialog(const std::string& caption = "File TX.txt") {
    return createDialog(UNIT_MODE_DIALOG, nullptr, caption, COORD_OMITTED, COORD_OMITTED, 80, 75,
                        kMainDialogStyle, 0);
  }
};

struct StyleCase {
  const char* name;
  DWORD style;
  std::int32_t x;
  std::int32_t y;
  bool owned;
  DWORD expected;
};

void PrintTo(const StyleCase& c, std::ostream* out) { *out << c.name; }

class DialogStyleTest : public DialogTest, public ::testing::WithParamInterface<StyleCase> {};

TEST_P(DialogStyleTest, TemplateCarriesTheFinalStyleAndTheWindowStartsHidden) {
  const StyleCase& c = GetParam();
  HWND owner = c.owned ? mainLikeDialog("owner") : nullptr;
  HWND dialog = createDialog(UNIT_MODE_DIALOG, owner, "d", c.x, c.y, 40, 30, c.style, 0);
  ASSERT_NE(dialog, nullptr);
  const fake::Window* w = fake::window(dialog);
  ASSERT_TRUE(w->dialogTemplate.valid);
  EXPECT_EQ(w->dialogTemplate.style, c.expected) << std::hex << w->dialogTemplate.style;
  EXPECT_EQ(findRecord(dialog)->style, c.expected);
  EXPECT_FALSE(w->visible);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, DialogStyleTest,
    ::testing::Values(
        StyleCase{"DefaultPopupWithCaption", 0, 10, 20, false, 0x80C000D4},
        StyleCase{"DefaultCentredWhenPlaceOmitted", 0, COORD_OMITTED, COORD_OMITTED, false,
                  0x80C008D4},
        StyleCase{"MainDialog", kMainDialogStyle, COORD_OMITTED, COORD_OMITTED, false, 0x00C80854},
        StyleCase{"OnlyXOmittedStillCentres", kMainDialogStyle, COORD_OMITTED, 20, false,
                  0x00C80854},
        StyleCase{"OnlyYOmittedStillCentres", kMainDialogStyle, 10, COORD_OMITTED, false,
                  0x00C80854},
        StyleCase{"VisibleAndSystemModalRemoved", WS_CAPTION | WS_VISIBLE | DS_SYSMODAL, 0, 0,
                  false, 0x00C00054},
        StyleCase{"OwnedChildLosesPopupAndAbsoluteAlignment",
                  WS_CHILD | WS_POPUP | DS_ABSALIGN | WS_CAPTION, 0, 0, true, 0x40C00054},
        StyleCase{"UnownedChildBecomesPopup", WS_CHILD | WS_CAPTION, 0, 0, false, 0x80C00054}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogTest, TemplateReadsBackAsAnExtendedTemplateWithTheDefaultDialogFont) {
  HWND dialog =
      createDialog(UNIT_MODE_DIALOG, nullptr, "File TX.txt", 12, -7, 80, 75, kMainDialogStyle, 0x8);
  ASSERT_NE(dialog, nullptr);
  const fake::Window* w = fake::window(dialog);
  const fake::DialogTemplateView& t = w->dialogTemplate;
  ASSERT_TRUE(t.valid);
  EXPECT_EQ(t.version, 1);
  EXPECT_EQ(t.signature, 0xFFFF);
  EXPECT_EQ(t.helpId, 0u);
  EXPECT_EQ(t.exStyle, 0x8u);
  EXPECT_EQ(t.style, 0x00C80054u);
  EXPECT_EQ(t.itemCount, 0);
  EXPECT_EQ(t.x, 12);
  EXPECT_EQ(t.y, -7);
  EXPECT_EQ(t.cx, 80);
  EXPECT_EQ(t.cy, 75);
  EXPECT_EQ(t.menu.kind, fake::NameOrOrdinal::None);
  EXPECT_EQ(t.windowClass.kind, fake::NameOrOrdinal::None);
  EXPECT_EQ(t.title, u" ");
  ASSERT_TRUE(t.hasFont);
  EXPECT_EQ(t.pointSize, 8);
  EXPECT_EQ(t.weight, 400);
  EXPECT_EQ(t.italic, 0);
  EXPECT_EQ(t.charSet, 0);
  EXPECT_EQ(t.face, u"MS Sans Serif");
  EXPECT_EQ(t.length, 40u + 2 * 14);
  EXPECT_EQ(w->templateAddress % 4, 0u) << "Win32 wants the template DWORD-aligned";
}

TEST_F(DialogTest, OmittedCoordinatesAreWrittenAsZero) {
  HWND dialog = createDialog(UNIT_MODE_DIALOG, nullptr, "d", COORD_OMITTED, 33, 10, 10, 0, 0);
  const fake::DialogTemplateView& t = fake::window(dialog)->dialogTemplate;
  EXPECT_EQ(t.x, 0);
  EXPECT_EQ(t.y, 33);
}

TEST_F(DialogTest, CaptionIsExactlyTheGivenBytesThoughTheTemplateHeldOneBlank) {
  const std::string caption = "File TX.txt \xB0\xE9";
  HWND dialog = mainLikeDialog(caption);
  EXPECT_EQ(fake::window(dialog)->text, caption);
}

TEST_F(DialogTest, DialogRecordKeepsTheFontThePlatformMadeFromTheTemplate) {
  HWND dialog = mainLikeDialog();
  const WindowRecord* record = findRecord(dialog);
  ASSERT_NE(record, nullptr);
  EXPECT_NE(record->dialogFont, nullptr);
  EXPECT_EQ(record->dialogFont, fake::window(dialog)->font);
  EXPECT_EQ(record->flags, RECORD_DIALOG | RECORD_DIALOG_UNITS);
  EXPECT_EQ(record->showCommand, SW_SHOW);
}

TEST_F(DialogTest, FailedCreationGivesZeroAndEveryLaterOperationDoesNothing) {
  fake::failNext("CreateDialogIndirectParamA");
  HWND dialog = mainLikeDialog();
  EXPECT_EQ(dialog, nullptr);
  addControl(Label, dialog, 1994, "", 0, 0, 80, 40, 0, 0, nullptr);
  EXPECT_EQ(fake::countOf("CreateWindowExA"), 0u);
  EXPECT_EQ(controlWindow(dialog, 1994), nullptr);
  EXPECT_EQ(getControlText(controlWindow(dialog, 1994)), "");
  EXPECT_EQ(recordCount(), 0u);
}

TEST_F(DialogTest, StartupAsksForTheCommonControlsAndPassesTheModuleToEveryWindow) {
  fake::reset();
  toolkitStartup();
  ASSERT_EQ(fake::countOf("InitCommonControlsEx"), 1u);
  for (const fake::Call& call : fake::calls()) {
    if (call.name == "InitCommonControlsEx") {
      EXPECT_EQ(call.detail, "size 8, classes 0x706f");
    }
    if (call.name == "GetModuleHandleA") {
      EXPECT_EQ(call.detail, "null");
    }
  }
  HWND dialog = mainLikeDialog();
  addControl(Label, dialog, 1994, "", 0, 0, 80, 40, 0, 0, nullptr);
  // The fake's module instance is 0x400000.
  for (const fake::Call& call : fake::calls()) {
    if (call.name == "CreateDialogIndirectParamA" || call.name == "CreateWindowExA") {
      EXPECT_NE(call.detail.find("0x400000"), std::string::npos) << call.detail;
    }
  }
}

}  // namespace
