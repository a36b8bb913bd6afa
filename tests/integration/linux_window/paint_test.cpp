// Painting on a real X server: each control asks its dialog for colours before it
// paints, and the screen shows the answer; fonts come out at the asked pixel height.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "x11_support.h"

using namespace wintest;

namespace {

constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kInfoBk = 0xE1FFFF;
constexpr COLORREF kGreen = 0x00A000;
constexpr COLORREF kBlue = 0xC00000;

class PaintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    received().clear();
    reaction = nullptr;
  }
  void TearDown() override { reaction = nullptr; }

  // The pixel rectangle of a control of the main window, in the dialog's client area.
  static RECT rectOf(const MainWindow& m, int x, int y, int cx, int cy) {
    return dialogUnitsToPixels(m.dialog, x, y, cx, cy);
  }

  static bool anyPixel(const std::vector<Rgb>& pixels, bool (*test)(const Rgb&)) {
    return std::any_of(pixels.begin(), pixels.end(), test);
  }

  // Rows of a rectangle that hold a pixel darker than `limit`: the ink's height.
  static int inkHeight(const std::vector<Rgb>& pixels, int width, int limit) {
    int first = -1, last = -1;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
      const Rgb& p = pixels[i];
      if (p.r < limit && p.g < limit && p.b < limit) {
        const int row = static_cast<int>(i) / width;
        if (first < 0) first = row;
        last = row;
      }
    }
    return first < 0 ? 0 : last - first + 1;
  }
};

}  // namespace

TEST_F(PaintTest, EachControlAsksBeforePaintingAndTheAnswerIsWhatShows) {
  HBRUSH infoBrush = platform::CreateSolidBrush(kInfoBk);
  int dpiSeenInRequest = 0;
  reaction = [&](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message != WM_CTLCOLOREDIT) return 0;
    HDC dc = reinterpret_cast<HDC>(wParam);
    dpiSeenInRequest = platform::GetDeviceCaps(dc, LOGPIXELSY);
    platform::SetTextColor(dc, kRed);
    platform::SetBkColor(dc, kInfoBk);
    return reinterpret_cast<INT_PTR>(infoBrush);
  };
  MainWindow m = buildMainWindow("Colours");
  ASSERT_NE(m.xid, 0u);
  Inspector inspector;
  const RECT edit = rectOf(m, 60, 45, 20, 14);
  ASSERT_TRUE(pumpUntil(m.dialog, [&] {
    return inspector.pixel(m.xid, edit.left + 2, edit.bottom - 3) == rgbOf(kInfoBk);
  })) << describe(inspector.pixel(m.xid, edit.left + 2, edit.bottom - 3));

  auto askedFor = [&](UINT message, HWND control) {
    for (const Received& r : receivedOf(message))
      if (r.lParam == reinterpret_cast<LPARAM>(control) && r.wParam != 0) return true;
    return false;
  };
  EXPECT_TRUE(askedFor(WM_CTLCOLOREDIT, m.edit));
  EXPECT_TRUE(askedFor(WM_CTLCOLORSTATIC, m.label));
  EXPECT_TRUE(askedFor(WM_CTLCOLORBTN, m.close));
  EXPECT_TRUE(askedFor(WM_CTLCOLORBTN, m.setPort));
  EXPECT_TRUE(askedFor(WM_CTLCOLORDLG, m.dialog));
  EXPECT_EQ(dpiSeenInRequest, 96) << "the request carries a working device context";

  EXPECT_EQ(inspector.pixel(m.xid, edit.left, edit.top), (Rgb{0, 0, 0})) << "WS_BORDER: a thin black line";
  EXPECT_EQ(inspector.pixel(m.xid, edit.left + 1, edit.top + 1), rgbOf(kInfoBk)) << "and no sunken edge";
  const auto inside = inspector.pixels(m.xid, edit.left + 1, edit.top + 1, edit.right - edit.left - 2,
                                       edit.bottom - edit.top - 2);
  EXPECT_TRUE(anyPixel(inside, [](const Rgb& p) { return p.r > 180 && p.g < 90 && p.b < 90; }))
      << "the \"1\" in red";
  // Unanswered requests leave the system colours: the label and the dialog in button face.
  const RECT label = rectOf(m, 0, 0, 80, 40);
  EXPECT_EQ(inspector.pixel(m.xid, label.left + 5, label.top + 5), (Rgb{0xF0, 0xF0, 0xF0}));
  EXPECT_EQ(inspector.pixel(m.xid, m.client.width - 1, m.client.height - 1), (Rgb{0xF0, 0xF0, 0xF0}));
  platform::DestroyWindow(m.dialog);
  platform::DeleteObject(infoBrush);
}

TEST_F(PaintTest, TransparentStaticShowsTheDialogBackgroundItsDialogAnswered) {
  HBRUSH green = platform::CreateSolidBrush(kGreen);
  reaction = [&](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    HDC dc = reinterpret_cast<HDC>(wParam);
    if (message == WM_CTLCOLORDLG) return reinterpret_cast<INT_PTR>(green);
    if (message == WM_CTLCOLORSTATIC) {
      platform::SetTextColor(dc, kBlue);
      platform::SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<INT_PTR>(platform::GetStockObject(NULL_BRUSH));
    }
    return 0;
  };
  MainWindow m = buildMainWindow("Transparent");
  ASSERT_NE(m.xid, 0u);
  platform::SetWindowTextA(m.label, "PTT OFF");
  Inspector inspector;
  const RECT label = rectOf(m, 0, 0, 80, 40);
  ASSERT_TRUE(pumpUntil(m.dialog, [&] {
    const auto p = inspector.pixels(m.xid, label.left, label.top, label.right, label.bottom);
    return anyPixel(p, [](const Rgb& c) { return c.b > 150 && c.r < 80 && c.g < 80; });
  })) << "blue text";
  EXPECT_EQ(inspector.pixel(m.xid, label.right - 2, label.bottom - 2), rgbOf(kGreen));
  EXPECT_EQ(inspector.pixel(m.xid, m.client.width - 1, m.client.height - 1), rgbOf(kGreen));
  platform::DestroyWindow(m.dialog);
  platform::DeleteObject(green);
}

TEST_F(PaintTest, EveryRepaintAsksAgain) {
  COLORREF background = kInfoBk;
  HBRUSH first = platform::CreateSolidBrush(kInfoBk);
  HBRUSH second = platform::CreateSolidBrush(kGreen);
  reaction = [&](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message != WM_CTLCOLORSTATIC) return 0;
    platform::SetBkColor(reinterpret_cast<HDC>(wParam), background);
    return reinterpret_cast<INT_PTR>(background == kInfoBk ? first : second);
  };
  MainWindow m = buildMainWindow("Asked again");
  ASSERT_NE(m.xid, 0u);
  Inspector inspector;
  const RECT label = rectOf(m, 0, 0, 80, 40);
  auto corner = [&] { return inspector.pixel(m.xid, label.right - 2, label.bottom - 2); };
  ASSERT_TRUE(pumpUntil(m.dialog, [&] { return corner() == rgbOf(kInfoBk); }));
  background = kGreen;
  platform::SetWindowTextA(m.label, "PTT ON");
  EXPECT_TRUE(pumpUntil(m.dialog, [&] { return corner() == rgbOf(kGreen); })) << describe(corner());
  platform::DestroyWindow(m.dialog);
  platform::DeleteObject(first);
  platform::DeleteObject(second);
}

TEST_F(PaintTest, NegativeHeightIsTheCharacterHeightInPixels) {
  MainWindow m = buildMainWindow("Fonts");
  ASSERT_NE(m.xid, 0u);
  LOGFONTA big{};
  big.lfHeight = -27;
  big.lfWeight = FW_BOLD;
  big.lfCharSet = DEFAULT_CHARSET;
  std::strcpy(big.lfFaceName, "Arial");
  HFONT font = platform::CreateFontIndirectA(&big);
  ASSERT_NE(font, nullptr);
  platform::SendMessageA(m.label, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  EXPECT_EQ(platform::SendMessageA(m.label, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(font));
  platform::SetWindowTextA(m.label, "PTT OFF");
  Inspector inspector;
  const RECT label = rectOf(m, 0, 0, 80, 40);
  const int width = label.right - label.left, height = label.bottom - label.top;
  int ink = 0;
  pumpUntil(m.dialog, [&] {
    ink = inkHeight(inspector.pixels(m.xid, label.left, label.top, width, height), width, 100);
    return ink > 12;
  });
  // Capitals of a 27-pixel em are about 19 pixels tall; the 8-point dialog font's about 8.
  EXPECT_GE(ink, 17);
  EXPECT_LE(ink, 23);

  const RECT button = rectOf(m, 0, 45, 60, 14);
  const int bw = button.right - button.left, bh = button.bottom - button.top;
  const int small = inkHeight(inspector.pixels(m.xid, button.left + 4, button.top + 4, bw - 8, bh - 8), bw - 8, 100);
  EXPECT_GE(small, 6);
  EXPECT_LE(small, 12);
  platform::DestroyWindow(m.dialog);
  platform::DeleteObject(font);
}

TEST_F(PaintTest, StaticBreaksItsTextBetweenWordsAndShowsNothingWhenEmpty) {
  MainWindow m = buildMainWindow("Wrapping");
  ASSERT_NE(m.xid, 0u);
  Inspector inspector;
  const RECT label = rectOf(m, 0, 0, 80, 40);
  const int width = label.right - label.left, height = label.bottom - label.top;
  auto ink = [&] { return inkHeight(inspector.pixels(m.xid, label.left, label.top, width, height), width, 100); };
  pumpFor(m.dialog, 0.2);
  EXPECT_EQ(ink(), 0) << "an empty label shows nothing";

  platform::SetWindowTextA(m.label, "one");
  int oneLine = 0;
  ASSERT_TRUE(pumpUntil(m.dialog, [&] { return (oneLine = ink()) > 0; }));
  platform::SetWindowTextA(m.label, "one two three four five six seven eight nine ten");
  int wrapped = 0;
  ASSERT_TRUE(pumpUntil(m.dialog, [&] { return (wrapped = ink()) > 2 * oneLine; }))
      << "one line " << oneLine << " pixels, the long text " << wrapped;
  // The first line starts at the left edge and ends at a word, within the label.
  const auto lastColumn = inspector.pixels(m.xid, label.right - 1, label.top, 1, height);
  EXPECT_FALSE(anyPixel(lastColumn, [](const Rgb& p) { return p.r < 100; })) << "no word cut at the edge";
  platform::DestroyWindow(m.dialog);
}
