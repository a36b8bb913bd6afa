#include "program_window.h"

#include <thread>

namespace e2e {

namespace {

// The main window's client area is 80 by 75 dialog units.
constexpr int kDialogWidth = 80, kDialogHeight = 75;

Rect dialogRect(int width, int height, int x, int y, int cx, int cy) {
  const int left = x * width / kDialogWidth, top = y * height / kDialogHeight;
  return Rect{left, top, (x + cx) * width / kDialogWidth - left, (y + cy) * height / kDialogHeight - top};
}

}  // namespace

std::string describe(LabelText text) {
  switch (text) {
    case LabelText::Unpainted: return "not painted (or no window)";
    case LabelText::Empty: return "empty";
    case LabelText::PttOff: return "\"PTT OFF\"";
    case LabelText::PttOn: return "\"PTT ON\"";
    case LabelText::Other: return "some other picture";
  }
  return "?";
}

std::string LabelReading::describe() const {
  std::string out = e2e::describe(text);
  if (ink.width > 0)
    out += " (ink " + std::to_string(ink.width) + "x" + std::to_string(ink.height) + " at " +
           std::to_string(ink.x) + "," + std::to_string(ink.y) + ")";
  return out;
}

LabelReading readLabel(const Image& window) {
  LabelReading reading;
  if (window.empty()) return reading;
  // Painted means the "Set comport" button shows its caption and the label's area is
  // mostly light (before its first paint the window is black).
  const Rect button = dialogRect(window.width, window.height, 0, 45, 60, 14);
  if (inkBox(window, button).width == 0) return reading;
  const Rect labelArea = dialogRect(window.width, window.height, 0, 0, 80, 40);
  int light = 0;
  for (int y = labelArea.y; y < labelArea.bottom(); ++y)
    for (int x = labelArea.x; x < labelArea.right(); ++x) light += window.at(x, y).luminance() >= 128;
  if (2 * light < labelArea.width * labelArea.height) return reading;
  reading.ink = inkBox(window, labelArea);
  if (reading.ink.width == 0) {
    reading.text = LabelText::Empty;
    return reading;
  }
  const double ratio = static_cast<double>(reading.ink.width) / reading.ink.height;
  if (ratio >= 4.7 && ratio < 5.5) {
    reading.text = LabelText::PttOn;
  } else if (ratio >= 5.5 && ratio <= 6.3) {
    reading.text = LabelText::PttOff;
  } else {
    reading.text = LabelText::Other;
  }
  return reading;
}

LabelReading ProgramWindow::label() const { return readLabel(x_.capture(window_)); }

LabelReading ProgramWindow::waitForLabel(LabelText text, std::chrono::milliseconds timeout) const {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const LabelReading reading = label();
    if (reading.text == text || Clock::now() >= deadline) return reading;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void ProgramWindow::centreOf(int x, int y, int cx, int cy, int& screenX, int& screenY) const {
  const Rect window = geometry();
  const Rect r = dialogRect(window.width, window.height, x, y, cx, cy);
  screenX = window.x + r.x + r.width / 2;
  screenY = window.y + r.y + r.height / 2;
}

bool ProgramWindow::clickSetComport() const {
  int x, y;
  centreOf(0, 45, 60, 14, x, y);
  return clickAt(x, y);
}

bool ProgramWindow::clickClose() const {
  int x, y;
  centreOf(0, 60, 80, 14, x, y);
  return clickAt(x, y);
}

bool ProgramWindow::typePortText(const std::string& text) const {
  int x, y;
  centreOf(60, 45, 20, 14, x, y);
  if (!clickAt(x, y) || !pressKeys({"ctrl+a", "BackSpace"})) return false;
  return text.empty() || typeText(text);
}

}  // namespace e2e
