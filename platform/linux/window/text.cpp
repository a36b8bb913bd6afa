// Text for the Linux window system: the program's ANSI bytes (Windows code page 1252)
// to and from FLTK's UTF-8, "&" mnemonics, and the line breaking of a SS_LEFT static.
// On top of FLTK's fl_draw and fl_width; measuring and drawing need the font set by the
// caller. Leaves out tab stops (a tab is a space) and right-to-left text.
#include "text.h"

#include <FL/fl_draw.H>

#include <array>
#include <cstdint>

namespace fltkwin {

namespace {

// Code page 1252 bytes 0x80..0x9F; the five unassigned ones keep their C1 code points,
// as Windows' own conversion does.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t ansiCodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
  return byte;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

int ansiByte(char32_t codePoint) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
    return static_cast<int>(codePoint);
  for (std::size_t i = 0; i < kHighControls.size(); ++i)
    if (kHighControls[i] == codePoint) return static_cast<int>(0x80 + i);
  return -1;
}

int upperAnsi(int c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;  // \xF7 is the division sign
  return c;
}

std::string ansiToUtf8(const std::string& ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (unsigned char byte : ansi) appendUtf8(out, ansiCodePoint(byte));
  return out;
}

std::string utf8ToAnsi(const char* utf8, std::size_t length) {
  std::string out;
  if (!utf8) return out;
  std::size_t i = 0;
  while (i < length) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    char32_t c = 0;
    std::size_t extra = 0;
    if (lead < 0x80) {
      c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      c = lead & 0x1F;
      extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      c = lead & 0x0F;
      extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
      c = lead & 0x07;
      extra = 3;
    } else {
      ++i;  // a stray continuation byte or an invalid lead: skipped
      continue;
    }
    bool valid = true;
    for (std::size_t k = 1; valid && k <= extra; ++k) {
      if (i + k >= length) {
        valid = false;
        break;
      }
      const unsigned char next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      c = (c << 6) | (next & 0x3F);
    }
    if (!valid) {
      ++i;
      continue;
    }
    i += extra + 1;
    const int byte = ansiByte(c);
    if (byte >= 0) out += static_cast<char>(byte);
  }
  return out;
}

std::string stripMnemonic(const std::string& ansi, int& underlined) {
  underlined = -1;
  std::string out;
  out.reserve(ansi.size());
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    if (ansi[i] == '&') {
      if (i + 1 < ansi.size() && ansi[i + 1] == '&') {
        out += '&';
        ++i;
        continue;
      }
      if (i + 1 < ansi.size()) underlined = static_cast<int>(out.size());  // the last one counts
      continue;
    }
    out += ansi[i];
  }
  return out;
}

char mnemonicOf(const std::string& ansi) {
  int underlined = -1;
  const std::string plain = stripMnemonic(ansi, underlined);
  if (underlined < 0) return 0;
  return static_cast<char>(upperAnsi(static_cast<unsigned char>(plain[underlined])));
}

std::vector<TextLine> wrapText(const std::string& ansi, bool processMnemonic, bool wordWrap,
                               int width) {
  int underlined = -1;
  std::string plain = processMnemonic ? stripMnemonic(ansi, underlined) : ansi;

  // Break into source lines of the plain text: [begin, end) byte ranges.
  struct Range {
    std::size_t begin, end;
  };
  std::vector<Range> pieces;
  auto emit = [&](std::size_t begin, std::size_t end) { pieces.push_back({begin, end}); };

  std::size_t paragraph = 0;
  for (std::size_t i = 0; i <= plain.size(); ++i) {
    const bool atEnd = i == plain.size();
    if (!atEnd && plain[i] != '\n' && plain[i] != '\r') continue;
    const std::size_t stop = i;
    if (!wordWrap || width <= 0) {
      emit(paragraph, stop);
    } else {
      // Greedy breaking between words; a word wider than the line stays whole.
      std::size_t lineBegin = paragraph;
      std::size_t cursor = paragraph;
      std::size_t lastFit = paragraph;  // end of the last word that fitted
      while (cursor < stop) {
        std::size_t wordEnd = cursor;
        while (wordEnd < stop && plain[wordEnd] == ' ') ++wordEnd;
        while (wordEnd < stop && plain[wordEnd] != ' ') ++wordEnd;
        const std::string candidate = ansiToUtf8(plain.substr(lineBegin, wordEnd - lineBegin));
        if (fl_width(candidate.c_str(), static_cast<int>(candidate.size())) > width &&
            lastFit > lineBegin) {
          emit(lineBegin, lastFit);
          lineBegin = lastFit;
          while (lineBegin < stop && plain[lineBegin] == ' ') ++lineBegin;
          lastFit = lineBegin;
          cursor = lineBegin;
          continue;
        }
        lastFit = wordEnd;
        cursor = wordEnd;
      }
      emit(lineBegin, stop);
    }
    if (atEnd) break;
    if (plain[i] == '\r' && i + 1 < plain.size() && plain[i + 1] == '\n') ++i;
    paragraph = i + 1;
  }

  std::vector<TextLine> lines;
  for (const Range& r : pieces) {
    TextLine line;
    std::string source = plain.substr(r.begin, r.end - r.begin);
    for (char& c : source)
      if (c == '\t') c = ' ';
    line.utf8 = ansiToUtf8(source);
    if (underlined >= 0 && static_cast<std::size_t>(underlined) >= r.begin &&
        static_cast<std::size_t>(underlined) < r.end) {
      const std::size_t local = static_cast<std::size_t>(underlined) - r.begin;
      line.underlineFrom = static_cast<int>(ansiToUtf8(source.substr(0, local)).size());
      line.underlineTo = static_cast<int>(ansiToUtf8(source.substr(0, local + 1)).size());
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

int lineWidth(const TextLine& line) {
  return static_cast<int>(fl_width(line.utf8.c_str(), static_cast<int>(line.utf8.size())) + 0.5);
}

void drawTextLine(const TextLine& line, const FontUse& font, int x, int top, int lineHeight) {
  const int baseline = top + lineHeight - fl_descent();
  const int n = static_cast<int>(line.utf8.size());
  if (n > 0) fl_draw(line.utf8.c_str(), n, x, baseline);
  const int fullWidth = lineWidth(line);
  if (font.underline && n > 0) fl_xyline(x, baseline + 1, x + fullWidth - 1);
  if (font.strikeOut && n > 0) {
    const int middle = baseline - (lineHeight - fl_descent()) / 3;
    fl_xyline(x, middle, x + fullWidth - 1);
  }
  if (line.underlineFrom >= 0 && !font.underline) {
    const int from = static_cast<int>(fl_width(line.utf8.c_str(), line.underlineFrom) + 0.5);
    const int to = static_cast<int>(fl_width(line.utf8.c_str(), line.underlineTo) + 0.5);
    if (to > from) fl_xyline(x + from, baseline + 1, x + to - 1);
  }
}

}  // namespace fltkwin
