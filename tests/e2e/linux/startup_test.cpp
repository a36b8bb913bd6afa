// Start-up: the window the operator first sees.
#include <vector>

#include "program_test.h"

namespace e2e {
namespace {

TEST_F(ProgramTest, WindowOpensCentredWithItsTitleAndAnEmptyLabelUntilTheFirstTickShowsPttOff) {
  ASSERT_NO_FATAL_FAILURE(startProgram());
  // Read the label as fast as we can from the moment the window is there: the first tick
  // comes half a second after the timer starts.
  std::vector<LabelReading> seen;
  const auto deadline = Clock::now() + 5s;
  while (Clock::now() < deadline) {
    const LabelReading reading = window().label();
    if (seen.empty() || reading.text != seen.back().text) seen.push_back(reading);
    if (reading.text == LabelText::PttOff) break;
  }
  std::string sequence;
  for (const auto& r : seen) sequence += "\n  " + r.describe();

  std::vector<LabelText> painted;
  for (const auto& r : seen)
    if (r.text != LabelText::Unpainted) painted.push_back(r.text);
  ASSERT_EQ(painted, (std::vector<LabelText>{LabelText::Empty, LabelText::PttOff}))
      << "label after start-up, in order:" << sequence;

  EXPECT_EQ(x_.title(window().id()), "File TX.txt");
  const Rect w = window().geometry(), s = x_.screen();
  EXPECT_NEAR(w.x, (s.width - w.width) / 2, 1) << "centred across the screen";
  EXPECT_NEAR(w.y, (s.height - w.height) / 2, 1) << "centred down the screen";
  EXPECT_TRUE(run_.running());
}

}  // namespace
}  // namespace e2e
