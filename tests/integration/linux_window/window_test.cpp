// Dialogs and controls on a real X server: creation from the template, geometry in dialog
// units, texts, what the window manager is told, and calls on windows that are not there.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "x11_support.h"

using namespace wintest;

namespace {

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    received().clear();
    reaction = nullptr;
  }
};

long long mulDiv(long long a, long long b, long long c) {
  const long double exact = static_cast<long double>(a) * b / c;
  return static_cast<long long>(exact < 0 ? -std::floor(-exact + 0.5L) : std::floor(exact + 0.5L));
}

}  // namespace

TEST_F(DialogTest, DialogIsCreatedHiddenThenShownCentredWithItsClientSize) {
  HWND dialog = createTestDialog(kMainStyle, 80, 75, "Centred dialog");
  ASSERT_NE(dialog, nullptr);
  Inspector inspector;
  pumpFor(dialog, 0.2);
  EXPECT_EQ(inspector.findWindow("Centred dialog"), 0u) << "visible before ShowWindow";

  RECT client{};
  ASSERT_TRUE(platform::GetClientRect(dialog, &client));
  const RECT expected = dialogUnitsToPixels(dialog, 0, 0, 80, 75);
  EXPECT_EQ(client.right, expected.right);
  EXPECT_EQ(client.bottom, expected.bottom);

  EXPECT_FALSE(platform::ShowWindow(dialog, SW_SHOW)) << "reported as visible before";
  unsigned long xid = 0;
  ASSERT_TRUE(pumpUntil(dialog, [&] { return (xid = inspector.findWindow("Centred dialog")) != 0; }));
  const Geometry g = inspector.geometry(xid);
  EXPECT_EQ(g.width, client.right);
  EXPECT_EQ(g.height, client.bottom);
  EXPECT_EQ(g.x, (1024 - g.width) / 2);
  EXPECT_EQ(g.y, (768 - g.height) / 2);
}

TEST_F(DialogTest, CreationSendsSetFontThenInitDialogWithTheCreationParameter) {
  const std::vector<WORD> t = dialogTemplate(kMainStyle, 40, 20);
  HWND dialog = platform::CreateDialogIndirectParamA(
      nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(t.data()), nullptr, recordingProc, 1234);
  ASSERT_NE(dialog, nullptr);
  ASSERT_GE(received().size(), 2u);
  EXPECT_EQ(received()[0].message, WM_SETFONT);
  EXPECT_NE(received()[0].wParam, 0u);
  const auto init = receivedOf(WM_INITDIALOG);
  ASSERT_EQ(init.size(), 1u);
  EXPECT_EQ(init[0].lParam, 1234);
  // The dialog answers WM_GETFONT with the font it announced. The announced font is
  // copied first: the call records one more message, which may move the recorded ones.
  const WPARAM announced = received()[0].wParam;
  EXPECT_EQ(static_cast<WPARAM>(platform::SendMessageA(dialog, WM_GETFONT, 0, 0)), announced);
  EXPECT_TRUE(platform::DestroyWindow(dialog));
}

TEST_F(DialogTest, BaseUnitsComeFromTheEightPointDialogFont) {
  HWND dialog = createTestDialog(kMainStyle, 80, 75, "Base units");
  ASSERT_NE(dialog, nullptr);
  const RECT unit = dialogUnitsToPixels(dialog, 0, 0, 4, 8);
  // An 8-point sans face at 96 pixels per inch: a few pixels wide, about 13 high.
  EXPECT_GE(unit.right, 5);
  EXPECT_LE(unit.right, 9);
  EXPECT_GE(unit.bottom, 11);
  EXPECT_LE(unit.bottom, 17);
}

TEST_F(DialogTest, MapDialogRectRoundsEachEdgeOnItsOwnLikeMulDiv) {
  HWND dialog = createTestDialog(kMainStyle, 80, 75, "Mapping");
  ASSERT_NE(dialog, nullptr);
  const RECT unit = dialogUnitsToPixels(dialog, 0, 0, 4, 8);
  const long long baseX = unit.right, baseY = unit.bottom;
  const RECT cases[] = {{60, 45, 80, 59}, {0, 60, 80, 74}, {1, 1, 3, 3}, {2, 4, 6, 12},
                        {-2, -4, -1, -3}, {0, 0, 0, 0},    {7, 5, 27, 19}};
  for (const RECT& c : cases) {
    RECT r = c;
    ASSERT_TRUE(platform::MapDialogRect(dialog, &r));
    EXPECT_EQ(r.left, mulDiv(c.left, baseX, 4)) << c.left;
    EXPECT_EQ(r.right, mulDiv(c.right, baseX, 4)) << c.right;
    EXPECT_EQ(r.top, mulDiv(c.top, baseY, 8)) << c.top;
    EXPECT_EQ(r.bottom, mulDiv(c.bottom, baseY, 8)) << c.bottom;
  }
}

TEST_F(DialogTest, CaptionReadsBackAsTheExactBytesAndCutsToTheBuffer) {
  HWND dialog = createTestDialog(kMainStyle, 80, 75, "File TX.txt");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(platform::GetWindowTextLengthA(dialog), 11);
  char buffer[64];
  EXPECT_EQ(platform::GetWindowTextA(dialog, buffer, sizeof buffer), 11);
  EXPECT_STREQ(buffer, "File TX.txt");
  EXPECT_EQ(platform::GetWindowTextA(dialog, buffer, 5), 4);
  EXPECT_STREQ(buffer, "File");

  // Bytes of the ANSI code page survive the round trip through the window title.
  ASSERT_TRUE(platform::SetWindowTextA(dialog, "Caf\xe9 \x80"));
  EXPECT_EQ(platform::GetWindowTextA(dialog, buffer, sizeof buffer), 6);
  EXPECT_STREQ(buffer, "Caf\xe9 \x80");
  platform::ShowWindow(dialog, SW_SHOW);
  Inspector inspector;
  EXPECT_TRUE(pumpUntil(dialog, [&] { return inspector.findWindow("Caf\xc3\xa9 \xe2\x82\xac") != 0; }));
}

TEST_F(DialogTest, ControlsSitAtTheirConvertedRectanglesAndAreFoundById) {
  MainWindow main = buildMainWindow();
  ASSERT_NE(main.xid, 0u);
  struct Expect {
    HWND control;
    int id, x, y, cx, cy;
  } expects[] = {{main.edit, 1002, 60, 45, 20, 14},
                 {main.close, IDCANCEL, 0, 60, 80, 14},
                 {main.label, 1994, 0, 0, 80, 40},
                 {main.setPort, 1003, 0, 45, 60, 14}};
  for (const Expect& e : expects) {
    ASSERT_NE(e.control, nullptr) << e.id;
    EXPECT_EQ(platform::GetDlgItem(main.dialog, e.id), e.control);
    const RECT r = dialogUnitsToPixels(main.dialog, e.x, e.y, e.cx, e.cy);
    RECT client{};
    ASSERT_TRUE(platform::GetClientRect(e.control, &client));
    EXPECT_EQ(client.right, r.right - r.left) << e.id;
    EXPECT_EQ(client.bottom, r.bottom - r.top) << e.id;
    EXPECT_EQ(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(
                  platform::GetWindowLongA(e.control, GWL_HWNDPARENT))),
              main.dialog);
  }
  EXPECT_EQ(platform::GetDlgItem(main.dialog, 4711), nullptr);
  EXPECT_EQ(platform::GetWindowLongA(main.dialog, GWL_HWNDPARENT), 0);

  char text[16];
  EXPECT_EQ(platform::GetWindowTextA(main.edit, text, sizeof text), 1);
  EXPECT_STREQ(text, "1");
  EXPECT_EQ(platform::GetWindowTextA(main.label, text, sizeof text), 0);
  EXPECT_STREQ(text, "");
}

TEST_F(DialogTest, ControlsOfUnknownClassesOrWithoutADialogAreNotMade) {
  HWND dialog = createTestDialog(kMainStyle, 80, 75, "Refusals");
  ASSERT_NE(dialog, nullptr);
  auto create = [&](const char* cls, DWORD style, HWND parent) {
    return platform::CreateWindowExA(0, cls, "x", style, 0, 0, 10, 10, parent,
                                     reinterpret_cast<HMENU>(7), nullptr, nullptr);
  };
  EXPECT_EQ(create("LISTBOX", WS_CHILD, dialog), nullptr);
  EXPECT_EQ(create("BUTTON", WS_CHILD, nullptr), nullptr);
  EXPECT_EQ(create("BUTTON", 0, dialog), nullptr) << "a top-level button";
  EXPECT_EQ(create(reinterpret_cast<LPCSTR>(0x80), WS_CHILD, dialog), nullptr) << "a class atom";
  HWND button = create("button", WS_CHILD, dialog);
  ASSERT_NE(button, nullptr) << "class names are not case-sensitive";
  EXPECT_EQ(create("STATIC", WS_CHILD, button), nullptr) << "a control inside a control";
}

TEST_F(DialogTest, CallsOnNoWindowOrAGoneWindowDoNothing) {
  HWND dialog = createTestDialog(kMainStyle, 80, 75, "Short-lived");
  ASSERT_NE(dialog, nullptr);
  HWND button = addControl(dialog, "BUTTON", "&Close", IDCANCEL, WS_TABSTOP, 0, 0, 60, 80, 14);
  ASSERT_TRUE(platform::DestroyWindow(dialog));

  for (HWND gone : {static_cast<HWND>(nullptr), dialog, button}) {
    char buffer[8] = "unset";
    RECT rect{1, 2, 3, 4};
    EXPECT_FALSE(platform::IsWindow(gone));
    EXPECT_FALSE(platform::SetWindowTextA(gone, "x"));
    EXPECT_EQ(platform::GetWindowTextLengthA(gone), 0);
    EXPECT_EQ(platform::GetWindowTextA(gone, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_FALSE(platform::GetClientRect(gone, &rect));
    EXPECT_FALSE(platform::ShowWindow(gone, SW_SHOW));
    EXPECT_FALSE(platform::DestroyWindow(gone));
    EXPECT_FALSE(platform::EnableWindow(gone, FALSE));
    EXPECT_EQ(platform::SendMessageA(gone, WM_GETFONT, 0, 0), 0);
    EXPECT_EQ(platform::GetDlgItem(gone, IDCANCEL), nullptr);
    EXPECT_EQ(platform::GetWindowLongA(gone, DWL_MSGRESULT), 0);
    EXPECT_EQ(platform::SetWindowLongA(gone, DWL_MSGRESULT, 5), 0);
    EXPECT_FALSE(platform::MapDialogRect(gone, &rect));
    EXPECT_EQ(platform::GetDC(gone == nullptr ? reinterpret_cast<HWND>(0x7777) : gone), nullptr);
    if (gone) {
      EXPECT_EQ(platform::SetTimer(gone, 1, 100, nullptr), 0u);
    }
  }
  MSG msg{};
  msg.hwnd = button;
  msg.message = WM_KEYDOWN;
  EXPECT_FALSE(platform::IsDialogMessageA(dialog, &msg));
  EXPECT_EQ(platform::DispatchMessageA(&msg), 0);
  EXPECT_EQ(platform::CreateDialogIndirectParamA(nullptr, nullptr, nullptr, recordingProc, 0), nullptr);
}

TEST_F(DialogTest, WindowLongsHoldTheMessageResultAndTheOwner) {
  HWND owner = createTestDialog(kMainStyle, 40, 20, "Owner");
  HWND dialog = createTestDialog(kMainStyle, 40, 20, "Owned");
  ASSERT_NE(owner, nullptr);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(platform::SetWindowLongA(dialog, DWL_MSGRESULT, 42), 0);
  EXPECT_EQ(platform::GetWindowLongA(dialog, DWL_MSGRESULT), 42);
  const LONG ownerValue = static_cast<LONG>(reinterpret_cast<std::uintptr_t>(owner));
  EXPECT_EQ(platform::SetWindowLongA(dialog, GWL_HWNDPARENT, ownerValue), 0);
  EXPECT_EQ(platform::GetWindowLongA(dialog, GWL_HWNDPARENT), ownerValue);
  // Destroying the owner takes the owned dialog with it.
  ASSERT_TRUE(platform::DestroyWindow(owner));
  EXPECT_FALSE(platform::IsWindow(dialog));
}

TEST_F(DialogTest, TheWindowManagerIsToldFixedSizeCloseBoxOnlyClassAndIcon) {
  HWND dialog = createTestDialog(kMainStyle, 80, 75, "Hints");
  ASSERT_NE(dialog, nullptr);
  HICON icon = platform::LoadIconA(nullptr, IDI_APPLICATION);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(platform::SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon)), 0);
  EXPECT_EQ(platform::SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)), 0);
  EXPECT_EQ(platform::LoadIconA(reinterpret_cast<HINSTANCE>(1), IDI_APPLICATION), nullptr);
  platform::ShowWindow(dialog, SW_SHOW);
  Inspector inspector;
  unsigned long xid = 0;
  ASSERT_TRUE(pumpUntil(dialog, [&] { return (xid = inspector.findWindow("Hints")) != 0; }));
  pumpFor(dialog, 0.1);

  EXPECT_EQ(inspector.wmClass(xid), "fileptt/Fileptt");
  int minW = 0, minH = 0, maxW = 0, maxH = 0;
  ASSERT_TRUE(inspector.normalHints(xid, minW, minH, maxW, maxH));
  const Geometry g = inspector.geometry(xid);
  EXPECT_EQ(minW, g.width);
  EXPECT_EQ(maxW, g.width);
  EXPECT_EQ(minH, g.height);
  EXPECT_EQ(maxH, g.height);

  const auto motif = inspector.cardinals(xid, "_MOTIF_WM_HINTS", "_MOTIF_WM_HINTS");
  ASSERT_EQ(motif.size(), 5u);
  EXPECT_EQ(motif[1], 4 | 32) << "functions: move and close only";
  EXPECT_EQ(motif[2], 2 | 8 | 16) << "decorations: border, title, window menu";

  const auto icons = inspector.cardinals(xid, "_NET_WM_ICON", "CARDINAL");
  ASSERT_GE(icons.size(), 2u + 16 * 16);
  EXPECT_EQ(icons[0], 16);
  EXPECT_EQ(icons[1], 16);
}
