// The text rules of the Linux window system: "&" mnemonics and the ANSI code page
// (Windows-1252) to and from FLTK's UTF-8, including bytes that are not valid UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "platform/linux/window/text.h"  // the layer's own header: checked on its own

namespace {

struct MnemonicCase {
  const char* text;
  const char* shown;
  int underlined;
  char letter;
};

class MnemonicTest : public ::testing::TestWithParam<MnemonicCase> {};

}  // namespace

TEST_P(MnemonicTest, AmpersandMarksTheLetterAndDoubledIsLiteral) {
  const MnemonicCase& c = GetParam();
  int underlined = -2;
  EXPECT_EQ(fltkwin::stripMnemonic(c.text, underlined), c.shown);
  EXPECT_EQ(underlined, c.underlined);
  EXPECT_EQ(fltkwin::mnemonicOf(c.text), c.letter);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MnemonicTest,
    ::testing::Values(MnemonicCase{"&Close", "Close", 0, 'C'},
                      MnemonicCase{"Set comport", "Set comport", -1, 0},
                      MnemonicCase{"Save && &quit", "Save & quit", 7, 'Q'},
                      MnemonicCase{"A&&B", "A&B", -1, 0},
                      MnemonicCase{"End&", "End", -1, 0},
                      MnemonicCase{"", "", -1, 0},
                      MnemonicCase{"&\xe9t\xe9", "\xe9t\xe9", 0, '\xc9'}));

TEST(AnsiTextTest, CodePageBytesSurviveTheRoundTripThroughUtf8) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = fltkwin::ansiToUtf8(all);
  EXPECT_EQ(fltkwin::utf8ToAnsi(utf8.data(), utf8.size()), all);
  EXPECT_EQ(fltkwin::ansiToUtf8("\x80"), "\xe2\x82\xac") << "0x80 is the euro sign";
}

TEST(AnsiTextTest, BrokenOrForeignUtf8IsDroppedNotMisread) {
  const struct {
    std::string utf8;
    std::string ansi;
  } cases[] = {
      {"COM1", "COM1"},
      {"\xc3\xa9", "\xe9"},
      {"a\xe2\x82", "a"},             // cut off in the middle of a character
      {"\x80\xbf" "b", "b"},          // continuation bytes without a lead
      {"\xe4\xb8\xad" "c", "c"},      // a character the code page does not have
      {"\xf0\x9f\x98\x80" "d", "d"},  // nor outside the basic plane
      {"\xff\xfe" "e", "e"},
      {std::string("x\0y", 3), std::string("x\0y", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(fltkwin::utf8ToAnsi(c.utf8.data(), c.utf8.size()), c.ansi);
}
