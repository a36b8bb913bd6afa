// Text in the Linux window system: the program's ANSI bytes (Windows code page 1252) to
// and from FLTK's UTF-8, "&" mnemonics, and lines as a static breaks and draws them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "gdi.h"

namespace fltkwin {

std::string ansiToUtf8(const std::string& ansi);
std::string utf8ToAnsi(const char* utf8, std::size_t length);  // unmappable characters dropped
int ansiByte(char32_t codePoint);  // the code page's byte for it, or -1 when it has none
int upperAnsi(int byte);           // the upper-case letter of the code page, else the byte

// "&Close" -> "Close" with the underlined index (-1 for none); "&&" -> "&".
std::string stripMnemonic(const std::string& ansi, int& underlined);
char mnemonicOf(const std::string& ansi);  // upper case; 0 when none

struct TextLine {
  std::string utf8;
  int underlineFrom = -1, underlineTo = -1;  // byte range of the underlined character
};
// Lines as a SS_LEFT static breaks them: at explicit line ends and between words.
std::vector<TextLine> wrapText(const std::string& ansi, bool processMnemonic, bool wordWrap,
                               int width);
// Measuring and drawing use the FLTK font the caller set.
int lineWidth(const TextLine& line);  // in pixels, rounded
void drawTextLine(const TextLine& line, const FontUse& font, int x, int top, int lineHeight);

}  // namespace fltkwin
