// Mouse and keyboard on a real X server, as the program's main window meets them: clicks,
// the dialog keys, Tab order, mnemonics, typing into the port box, and the close box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "x11_support.h"

using namespace wintest;

namespace {

constexpr UINT kEnMaxText = 0x0501;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    received().clear();
    reaction = nullptr;
    main_ = buildMainWindow();
    ASSERT_NE(main_.xid, 0u);
  }

  void TearDown() override {
    if (platform::IsWindow(main_.dialog)) platform::DestroyWindow(main_.dialog);
  }

  std::vector<Received> commands() {
    std::vector<Received> mine;
    for (const Received& r : receivedOf(WM_COMMAND))
      if (r.window == main_.dialog) mine.push_back(r);
    return mine;
  }

  bool waitForCommand(int id) {
    return pumpUntil(main_.dialog, [&] {
      for (const Received& r : commands())
        if ((r.wParam & 0xFFFF) == static_cast<WPARAM>(id)) return true;
      return false;
    });
  }

  std::string text(HWND control) {
    char buffer[256];
    platform::GetWindowTextA(control, buffer, sizeof buffer);
    return buffer;
  }

  MainWindow main_;
};

}  // namespace

TEST_F(MainWindowTest, ClickOnAPushButtonArrivesAsItsCommandWhenDispatched) {
  int x, y;
  controlCentre(main_, main_.setPort, x, y);
  ASSERT_TRUE(clickAt(x, y));
  ASSERT_TRUE(waitForCommand(1003));
  const auto c = commands();
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].wParam, static_cast<WPARAM>(1003)) << "BN_CLICKED in the high word";
  EXPECT_EQ(c[0].lParam, reinterpret_cast<LPARAM>(main_.setPort));
  EXPECT_TRUE(c[0].duringDispatch) << "sent while the click message was dispatched";
}

TEST_F(MainWindowTest, ReleasingTheMouseOutsideTheButtonClicksNothing) {
  int x, y;
  controlCentre(main_, main_.setPort, x, y);
  ASSERT_TRUE(xdotool({"mousemove", "0", "0", "mousemove", "--sync", std::to_string(x),
                       std::to_string(y), "mousedown", "1",
                       "mousemove", "5", "5", "sleep", "0.2", "mouseup", "1"}));
  pumpFor(main_.dialog, 0.5);
  EXPECT_TRUE(commands().empty());
}

struct KeyCase {
  const char* name;
  std::vector<std::string> keys;
  int expectedId;
};

class DialogKeysTest : public MainWindowTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(DialogKeysTest, KeysGiveTheCommandOfTheControlWin32Would) {
  const KeyCase& k = GetParam();
  ASSERT_TRUE(pressKeys(k.keys));
  ASSERT_TRUE(waitForCommand(k.expectedId)) << k.name;
  pumpFor(main_.dialog, 0.2);
  const auto c = commands();
  ASSERT_EQ(c.size(), 1u) << k.name;
  EXPECT_EQ(c[0].wParam, static_cast<WPARAM>(k.expectedId)) << "notification 0";
  HWND expectedWindow = k.expectedId == IDCANCEL ? main_.close : main_.setPort;
  EXPECT_EQ(c[0].lParam, reinterpret_cast<LPARAM>(expectedWindow));
  EXPECT_TRUE(c[0].duringDispatch);
}

// The first tab stop, "&Close", has the focus when the window opens; the port box is
// not a tab stop, so Tab moves only between the two buttons.
INSTANTIATE_TEST_SUITE_P(
    Keys, DialogKeysTest,
    ::testing::Values(KeyCase{"Escape", {"Escape"}, IDCANCEL},
                      KeyCase{"EnterOnFocusedButton", {"Return"}, IDCANCEL},
                      KeyCase{"SpaceOnFocusedButton", {"space"}, IDCANCEL},
                      KeyCase{"AltMnemonic", {"alt+c"}, IDCANCEL},
                      KeyCase{"TabToSecondButton", {"Tab", "Return"}, 1003},
                      KeyCase{"TabWrapsPastThePortBox", {"Tab", "Tab", "Return"}, IDCANCEL},
                      KeyCase{"ShiftTabGoesBack", {"shift+Tab", "space"}, 1003}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, EscapeIsACommandOnlyThroughIsDialogMessage) {
  ASSERT_TRUE(pressKeys({"Escape"}));
  // Taken and dispatched without the dialog keyboard handling: a plain key message.
  pumpFor(nullptr, 0.5);
  EXPECT_TRUE(commands().empty());
}

TEST_F(MainWindowTest, ClickingThePortBoxGivesItTheKeysAndTabLeavesItForTheNextTabStop) {
  int x, y;
  controlCentre(main_, main_.edit, x, y);
  ASSERT_TRUE(clickAt(x, y));
  pumpFor(main_.dialog, 0.2);
  ASSERT_TRUE(pressKeys({"End", "7"}));
  ASSERT_TRUE(pumpUntil(main_.dialog, [&] { return text(main_.edit) == "17"; })) << text(main_.edit);
  ASSERT_TRUE(pressKeys({"Tab", "Return"}));
  ASSERT_TRUE(waitForCommand(IDCANCEL)) << "Tab from the port box goes to \"&Close\"";
}

struct EditCase {
  const char* name;
  DWORD style;
  DWORD exStyle;
  bool limitedToWidth;
};

class EditTypingTest : public ::testing::TestWithParam<EditCase> {
 protected:
  void SetUp() override {
    received().clear();
    reaction = nullptr;
  }
  void TearDown() override {
    if (platform::IsWindow(dialog_)) platform::DestroyWindow(dialog_);
  }
  HWND dialog_ = nullptr;
};

TEST_P(EditTypingTest, TypingStopsAtTheVisibleWidthUnlessTheBoxScrolls) {
  const EditCase& e = GetParam();
  HWND dialog = dialog_ = createTestDialog(kMainStyle, 80, 75, "Typing");
  ASSERT_NE(dialog, nullptr);
  HWND edit = addControl(dialog, "EDIT", "1", 1002, e.style, e.exStyle, 60, 45, 20, 14);
  ASSERT_NE(edit, nullptr);
  platform::ShowWindow(dialog, SW_SHOW);
  Inspector inspector;
  ASSERT_TRUE(pumpUntil(dialog, [&] { return inspector.findWindow("Typing") != 0; }));
  platform::SetFocus(edit);
  pumpFor(dialog, 0.1);

  const std::string typed = "12345678901234567890";
  ASSERT_TRUE(pressKeys({"ctrl+a"}));
  ASSERT_TRUE(typeText(typed));
  char buffer[64];
  auto current = [&] {
    platform::GetWindowTextA(edit, buffer, sizeof buffer);
    return std::string(buffer);
  };
  if (!e.limitedToWidth) {
    EXPECT_TRUE(pumpUntil(dialog, [&] { return current() == typed; })) << current();
    EXPECT_TRUE(receivedOf(WM_COMMAND).size() >= typed.size()) << "EN_UPDATE/EN_CHANGE per key";
    return;
  }
  pumpUntil(dialog, [&] { return !receivedOf(WM_COMMAND).empty() && current().size() > 1; });
  pumpFor(dialog, 1.0);
  const std::string kept = current();
  EXPECT_GE(kept.size(), 2u);
  EXPECT_LT(kept.size(), typed.size()) << "a 20-unit box shows fewer than 20 digits";
  EXPECT_EQ(kept, typed.substr(0, kept.size())) << "the first characters stay, the rest is refused";
  bool maxText = false;
  for (const Received& r : receivedOf(WM_COMMAND))
    maxText |= ((r.wParam >> 16) & 0xFFFF) == kEnMaxText && (r.wParam & 0xFFFF) == 1002;
  EXPECT_TRUE(maxText) << "EN_MAXTEXT when a key is refused";

  // Room made with Backspace is room to type again.
  ASSERT_TRUE(pressKeys({"BackSpace", "BackSpace", "x"}));
  EXPECT_TRUE(pumpUntil(dialog, [&] {
    return current() == kept.substr(0, kept.size() - 2) + "x";
  })) << current();
}

INSTANTIATE_TEST_SUITE_P(
    Styles, EditTypingTest,
    ::testing::Values(EditCase{"ThinBorderNoAutoScroll", WS_BORDER, 0, true},
                      EditCase{"SunkenEdgeAutoScroll", WS_TABSTOP | 0x80 /* ES_AUTOHSCROLL */,
                               WS_EX_CLIENTEDGE, false}),
    [](const ::testing::TestParamInfo<EditCase>& info) { return std::string(info.param.name); });

struct CloseCase {
  const char* name;
  bool closeBox;  // else Alt+F4
};

class CloseRequestTest : public MainWindowTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseRequestTest, CloseRequestArrivesAsSysCommandAndDestroysNothingByItself) {
  if (GetParam().closeBox) {
    Inspector inspector;
    inspector.sendDeleteWindow(main_.xid);
  } else {
    ASSERT_TRUE(pressKeys({"alt+F4"}));
  }
  ASSERT_TRUE(pumpUntil(main_.dialog, [&] { return !receivedOf(WM_SYSCOMMAND).empty(); }));
  pumpFor(main_.dialog, 0.3);
  const auto sys = receivedOf(WM_SYSCOMMAND);
  ASSERT_EQ(sys.size(), 1u);
  EXPECT_EQ(sys[0].wParam & 0xFFF0, SC_CLOSE);
  EXPECT_TRUE(sys[0].duringDispatch);
  // Left unanswered, it becomes WM_CLOSE, which a dialog does not act on by itself;
  // above all it never turns into a second IDCANCEL command.
  EXPECT_EQ(receivedOf(WM_CLOSE).size(), 1u);
  for (const Received& c : commands())
    ADD_FAILURE() << "command " << (c.wParam & 0xFFFF) << " notification " << (c.wParam >> 16);
  EXPECT_TRUE(platform::IsWindow(main_.dialog));
}

INSTANTIATE_TEST_SUITE_P(Requests, CloseRequestTest,
                         ::testing::Values(CloseCase{"CloseBox", true}, CloseCase{"AltF4", false}),
                         [](const ::testing::TestParamInfo<CloseCase>& info) {
                           return std::string(info.param.name);
                         });
