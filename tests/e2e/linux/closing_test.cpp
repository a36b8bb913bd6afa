// Ending the program: every way out ends it with exit code 0 and the port released.
#include "program_test.h"

namespace e2e {
namespace {

enum class Way { Escape, CloseButton, CaptionCloseBox };

struct Closing {
  const char* name;
  Way way;
};

class ClosingTest : public ProgramTest, public ::testing::WithParamInterface<Closing> {};

TEST_P(ClosingTest, EndsWithExitCodeZeroAndClosesThePortWithItsLinesLow) {
  PseudoTerminal port;
  ASSERT_TRUE(port.ok());
  run_.mapPort(1, port.slavePath());
  ASSERT_NO_FATAL_FAILURE(startAndPressSetComport());
  run_.createFile("TX.txt");
  // Transmitting when the operator closes: the release must drop the lines.
  ASSERT_TRUE(eventually([&] { return port.lines() == modemsim::kBothHigh; })) << describe(port.events());

  switch (GetParam().way) {
    case Way::Escape: ASSERT_TRUE(pressKeys({"Escape"})); break;
    case Way::CloseButton: ASSERT_TRUE(window().clickClose()); break;
    case Way::CaptionCloseBox: x_.sendDeleteWindow(window().id()); break;
  }
  const auto end = run_.waitForExit(10s);
  ASSERT_TRUE(end.has_value()) << "still running";
  EXPECT_TRUE(end->exited && end->code == 0) << end->describe();

  // The simulator sees a close only when the device is closed from inside the process
  // (HUPCL then drops the lines); a bare release by the kernel at exit would not show.
  const auto events = port.events(run_.pid());
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().cause, "close") << describe(events);
  EXPECT_EQ(events.back().lines, modemsim::kBothLow) << describe(events);
  EXPECT_EQ(port.lines(), modemsim::kBothLow);
  EXPECT_TRUE(port.hold()) << "the port can be opened again exclusively";
  EXPECT_TRUE(x_.windowsNamed(kMainTitle).empty());
}

INSTANTIATE_TEST_SUITE_P(Ways, ClosingTest,
                         ::testing::Values(Closing{"Escape", Way::Escape},
                                           Closing{"CloseButton", Way::CloseButton},
                                           Closing{"CaptionCloseBox", Way::CaptionCloseBox}),
                         [](const ::testing::TestParamInfo<Closing>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(ProgramTest, CloseWhileTheErrorBoxIsUpEndsTheWindowAtOnceAndTheProgramWithTheBox) {
  run_.mapPort(1, run_.workDir() / ".." / "unplugged-adapter");
  ASSERT_NO_FATAL_FAILURE(startAndPressSetComport());
  const unsigned long box = waitForErrorBox();
  ASSERT_NE(box, 0u);
  moveAside(box);

  ASSERT_TRUE(window().clickClose());
  EXPECT_TRUE(x_.waitUntilNoWindow(kMainTitle, 5s)) << "the main window stays after \"&Close\"";
  EXPECT_TRUE(run_.running()) << "ended before the box was dismissed: " << run_.exit()->describe();
  EXPECT_TRUE(x_.viewable(box)) << "the box went with the main window";

  ASSERT_TRUE(clickOk(box));
  const auto end = run_.waitForExit(10s);
  ASSERT_TRUE(end.has_value()) << "still running after the box was dismissed";
  EXPECT_TRUE(end->exited && end->code == 0) << end->describe();
}

}  // namespace
}  // namespace e2e
