// The program's main window seen from outside: where its controls are, and what the
// status label shows, read from the pixels.
//
// The label is drawn by the program; there is no text to ask for. What it shows is told
// apart by the shape of the dark pixels in the label's area (the top 40 of the window's
// 75 dialog units): no dark pixel at all is an empty label; otherwise the ink of
// "PTT OFF" is about 5.9 times as wide as it is tall and that of "PTT ON" about 5.1
// (capital letters only, so the height is the cap height). The ratio does not depend on
// the pixel size of the font, only on the letters' proportions, which Arial and the
// metric-compatible Liberation Sans share; the bands below leave about 7% either way.
#pragma once

#include <chrono>
#include <string>

#include "x_session.h"

namespace e2e {

inline constexpr char kMainTitle[] = "File TX.txt";
inline constexpr char kErrorBoxTitle[] = "Comport";

enum class LabelText { Unpainted, Empty, PttOff, PttOn, Other };
std::string describe(LabelText text);

struct LabelReading {
  LabelText text = LabelText::Unpainted;
  Rect ink;  // in window coordinates; width 0 when there is none
  std::string describe() const;
};

// Classifies a picture of the whole main window.
LabelReading readLabel(const Image& window);

class ProgramWindow {
 public:
  ProgramWindow(XSession& x, unsigned long window) : x_(x), window_(window) {}

  unsigned long id() const { return window_; }
  Rect geometry() const { return x_.geometry(window_); }
  bool viewable() const { return x_.viewable(window_); }

  LabelReading label() const;
  // Polls the label until it shows `text`; the last reading either way.
  LabelReading waitForLabel(LabelText text, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

  // Operator actions, with real input.
  bool clickSetComport() const;
  bool clickClose() const;
  // Replaces the port box's text: click into it, select all, type (nothing: delete all).
  bool typePortText(const std::string& text) const;

  // A point of the control at dialog-unit rectangle (x, y, cx, cy), in screen
  // coordinates: its centre.
  void centreOf(int x, int y, int cx, int cy, int& screenX, int& screenY) const;

 private:
  XSession& x_;
  unsigned long window_;
};

}  // namespace e2e
