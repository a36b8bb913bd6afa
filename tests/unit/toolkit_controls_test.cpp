// Controls: the kind table and its style rules, placement in dialog units, texts,
// enabling, and what operations on a missing control do.
#include <gtest/gtest.h>

#include "one_dialog_fixture.h"
#include "platform/fake/fake_user32.h"
#include "toolkit/toolkit.h"
#include "toolkit/window_records.h"

namespace {

using ControlsTest = OneDialogTest;

struct KindCase {
  const char* name;
  ControlKind kind;
  DWORD styleArgument;
  DWORD exStyleArgument;
  const char* windowClass;
  DWORD style;
  DWORD exStyle;
};

void PrintTo(const KindCase& c, std::ostream* out) { *out << c.name; }

class ControlKindTest : public ControlsTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(ControlKindTest, CreatesTheKindsClassWithTheFinalStyles) {
  const KindCase& c = GetParam();
  addControl(c.kind, dialog, 1002, "x", 0, 0, 20, 14, c.styleArgument, c.exStyleArgument, nullptr);
  HWND control = controlWindow(dialog, 1002);
  ASSERT_NE(control, nullptr);
  const fake::Window* w = fake::window(control);
  EXPECT_EQ(w->className, c.windowClass);
  EXPECT_EQ(w->style, c.style) << std::hex << w->style;
  EXPECT_EQ(w->exStyle, c.exStyle) << std::hex << w->exStyle;
  const WindowRecord* record = findRecord(control);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->style, c.style);
  EXPECT_EQ(record->kind, c.kind);
  EXPECT_EQ(record->parent, dialog);
  EXPECT_EQ(record->flags, RECORD_CONTROL | RECORD_DIALOG_UNITS);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ControlKindTest,
    ::testing::Values(KindCase{"PushButtonDefault", PushButton, 0, 0, "BUTTON", 0x50010000, 0},
                      KindCase{"LabelDefault", Label, 0, 0, "STATIC", 0x50000000, 0},
                      KindCase{"TextBoxDefaultHasSunkenEdgeInsteadOfBorder", TextBox, 0, 0, "EDIT",
                               0x50010080, WS_EX_CLIENTEDGE},
                      KindCase{"TextBoxDefaultKeepsCallersExStyle", TextBox, 0, 0x4, "EDIT",
                               0x50010080, 0x204},
                      KindCase{"TextBoxWithBorderGivenHasNoExchange", TextBox, WS_BORDER, 0, "EDIT",
                               0x50800000, 0},
                      KindCase{"GivenStyleGetsOnlyChildAndVisibleAdded", Label, WS_BORDER | 0x1, 0,
                               "STATIC", 0x50800001, 0},
                      KindCase{"DefaultPushButtonStyleGiven", PushButton, BS_DEFPUSHBUTTON, 0,
                               "BUTTON", 0x50000001, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControlsTest, OnlyADefaultPushButtonBecomesTheDialogsDefault) {
  addControl(PushButton, dialog, 1003, "Set comport", 0, 45, 60, 14, 0, 0, nullptr);
  EXPECT_EQ(fake::window(dialog)->defaultId, 0);
  addControl(PushButton, dialog, 7, "Go", 0, 0, 60, 14, BS_DEFPUSHBUTTON, 0, nullptr);
  EXPECT_EQ(fake::window(dialog)->defaultId, 7);
}

struct PlacementCase {
  int id;
  ControlKind kind;
  std::int32_t x, y, width, height;
  RECT pixels;
};

// MainDialog's controls with base units of 6 by 13 pixels. Each edge is converted on
// its own: "&Close" and "Set comport" are both 14 units high, yet 22 and 23 pixels.
TEST_F(ControlsTest, MainDialogControlsArePlacedEdgeByEdge) {
  const PlacementCase cases[] = {
      {1002, TextBox, 60, 45, 20, 14, {90, 73, 120, 96}},
      {IDCANCEL, PushButton, 0, 60, 80, 14, {0, 98, 120, 120}},
      {1994, Label, 0, 0, 80, 40, {0, 0, 120, 65}},
      {1003, PushButton, 0, 45, 60, 14, {0, 73, 90, 96}},
  };
  for (const PlacementCase& c : cases) {
    addControl(c.kind, dialog, c.id, "", c.x, c.y, c.width, c.height, 0, 0, nullptr);
    const fake::Window* w = fake::window(controlWindow(dialog, c.id));
    ASSERT_NE(w, nullptr) << c.id;
    EXPECT_EQ(w->rect.left, c.pixels.left) << c.id;
    EXPECT_EQ(w->rect.top, c.pixels.top) << c.id;
    EXPECT_EQ(w->rect.right, c.pixels.right) << c.id;
    EXPECT_EQ(w->rect.bottom, c.pixels.bottom) << c.id;
  }
}

TEST_F(ControlsTest, PixelDialogsPlaceControlsUnconverted) {
  HWND pixels = createDialog(UNIT_MODE_PIXELS, nullptr, "p", 0, 0, 100, 100, 0, 0);
  fake::clearCalls();
  addControl(Label, pixels, 5, "", 10, 20, 30, 40, 0, 0, nullptr);
  EXPECT_EQ(fake::countOf("MapDialogRect"), 0u);
  const RECT r = fake::window(controlWindow(pixels, 5))->rect;
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right, 40);
  EXPECT_EQ(r.bottom, 60);
}

TEST_F(ControlsTest, EveryControlGetsTheDialogFontWithRedraw) {
  addControl(Label, dialog, 1994, "", 0, 0, 80, 40, 0, 0, nullptr);
  addControl(TextBox, dialog, 1002, "1", 60, 45, 20, 14, WS_BORDER, 0, nullptr);
  for (int id : {1994, 1002}) {
    const fake::Window* w = fake::window(controlWindow(dialog, id));
    EXPECT_EQ(w->font, fake::window(dialog)->font) << id;
    EXPECT_TRUE(w->fontRedraw) << id;
  }
}

TEST_F(ControlsTest, AddControlOnAWindowThatIsNoToolkitDialogCreatesNothing) {
  addControl(Label, dialog, 1994, "", 0, 0, 80, 40, 0, 0, nullptr);
  HWND label = controlWindow(dialog, 1994);
  fake::clearCalls();
  addControl(Label, label, 5, "", 0, 0, 10, 10, 0, 0, nullptr);  // a control, not a dialog
  addControl(Label, reinterpret_cast<HWND>(0x1234), 5, "", 0, 0, 10, 10, 0, 0, nullptr);
  addControl(static_cast<ControlKind>(77), dialog, 5, "", 0, 0, 10, 10, 0, 0, nullptr);
  EXPECT_EQ(fake::countOf("CreateWindowExA"), 0u);
  EXPECT_EQ(recordCount(), 2u);
}

TEST_F(ControlsTest, ControlThatCannotBeCreatedIsSimplyMissing) {
  fake::failNext("CreateWindowExA");
  addControl(Label, dialog, 1994, "", 0, 0, 80, 40, 0, 0, nullptr);
  EXPECT_EQ(controlWindow(dialog, 1994), nullptr);
  EXPECT_EQ(recordCount(), 1u);
}

TEST_F(ControlsTest, TextsReadBackExactlyAsSet) {
  addControl(Label, dialog, 1994, "", 0, 0, 80, 40, 0, 0, nullptr);
  addControl(TextBox, dialog, 1002, "1", 60, 45, 20, 14, WS_BORDER, 0, nullptr);
  HWND label = controlWindow(dialog, 1994);
  EXPECT_EQ(getControlText(label), "");
  EXPECT_EQ(getControlText(controlWindow(dialog, 1002)), "1");
  const std::string texts[] = {"PTT ON", "PTT OFF", "", "\xB0\xFF 12", std::string(5000, 'x')};
  for (const std::string& text : texts) {
    setControlText(label, text);
    EXPECT_EQ(getControlText(label), text);
  }
}

TEST_F(ControlsTest, AZeroByteEndsTheTextThatIsSet) {
  addControl(Label, dialog, 1994, "", 0, 0, 80, 40, 0, 0, nullptr);
  HWND label = controlWindow(dialog, 1994);
  setControlText(label, std::string("ab\0cd", 5));
  EXPECT_EQ(getControlText(label), "ab");
}

TEST_F(ControlsTest, OperationsOnAMissingIdChangeNothing) {
  addControl(Label, dialog, 1994, "keep", 0, 0, 80, 40, 0, 0, nullptr);
  fake::clearCalls();
  HWND missing = controlWindow(dialog, 4711);
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(getControlText(missing), "");
  setControlText(missing, "lost");
  enableControl(dialog, 4711, 0);
  EXPECT_EQ(fake::countOf("GetWindowTextA"), 0u);
  EXPECT_EQ(fake::countOf("SetWindowTextA"), 0u);
  EXPECT_EQ(fake::countOf("EnableWindow"), 0u);
  EXPECT_EQ(fake::window(controlWindow(dialog, 1994))->text, "keep");
  EXPECT_TRUE(fake::window(dialog)->enabled);
}

TEST_F(ControlsTest, EnableControlReachesTheControlOrTheDialogItself) {
  addControl(PushButton, dialog, 1003, "Set comport", 0, 45, 60, 14, 0, 0, nullptr);
  const fake::Window* button = fake::window(controlWindow(dialog, 1003));
  enableControl(dialog, 1003, 0);
  EXPECT_FALSE(button->enabled);
  enableControl(dialog, 1003, 1);
  EXPECT_TRUE(button->enabled);
  enableControl(dialog, ENABLE_TARGET_DIALOG, 0);
  EXPECT_FALSE(fake::window(dialog)->enabled);
  EXPECT_TRUE(button->enabled);
}

TEST_F(ControlsTest, SendDialogMessageReturnsTheAnswerUnchanged) {
  const HICON icon = platform::LoadIconA(nullptr, IDI_APPLICATION);
  sendDialogMessage(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  EXPECT_EQ(fake::window(dialog)->bigIcon, icon);
  EXPECT_EQ(sendDialogMessage(dialog, WM_GETFONT, 0, 0),
            reinterpret_cast<LRESULT>(fake::window(dialog)->font));
}

}  // namespace
