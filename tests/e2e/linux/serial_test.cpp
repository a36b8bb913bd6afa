// "Set comport" on a working port: both lines drop at once, then follow TX.txt.
#include <optional>

#include "program_test.h"

namespace e2e {
namespace {

struct PortChoice {
  const char* name;
  const char* typed;  // nullptr: leave the box's initial "1"
  int number;
};

class SetComportTest : public ProgramTest, public ::testing::WithParamInterface<PortChoice> {};

TEST_P(SetComportTest, DropsBothLinesAtOnceThenRtsAndDtrFollowTheTriggerFile) {
  PseudoTerminal port;
  ASSERT_TRUE(port.ok());
  run_.mapPort(GetParam().number, port.slavePath());
  // When another number is typed, COM1 exists too and must be left alone.
  std::optional<PseudoTerminal> other;
  if (GetParam().number != 1) {
    other.emplace();
    ASSERT_TRUE(other->ok());
    run_.mapPort(1, other->slavePath());
  }
  ASSERT_NO_FATAL_FAILURE(startUntilPttOff());

  // Transmit is already asked for: the lines must still be seen low before they rise.
  run_.createFile("TX.txt");
  ASSERT_EQ(window().waitForLabel(LabelText::PttOn).text, LabelText::PttOn);
  if (GetParam().typed) {
    ASSERT_TRUE(window().typePortText(GetParam().typed));
  }
  ASSERT_TRUE(window().clickSetComport());

  ASSERT_TRUE(eventually([&] { return port.lines() == modemsim::kBothHigh; }))
      << "lines of COM" << GetParam().number << ":" << describe(port.events());
  const auto events = port.events(run_.pid());
  ASSERT_GE(events.size(), 2u) << describe(events);
  EXPECT_EQ(events.front().cause, "open") << describe(events);
  // The first change after the open (which raises both, as any tty open does) drops both
  // together; the next tick raises them, DTR first.
  std::size_t change = 1;
  while (change < events.size() && events[change].lines == events.front().lines) ++change;
  ASSERT_LT(change, events.size()) << describe(events);
  EXPECT_EQ(events[change].lines, modemsim::kBothLow) << "after the open:" << describe(events);
  for (std::size_t i = change; i < events.size(); ++i) {
    if (!events[i].lines.rts) continue;
    EXPECT_TRUE(events[i].lines.dtr) << "RTS rose before DTR:" << describe(events);
    break;
  }
  EXPECT_TRUE(x_.windowsNamed(kErrorBoxTitle).empty()) << "no error box for a working port";

  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    run_.remove("TX.txt");
    EXPECT_TRUE(eventually([&] { return port.lines() == modemsim::kBothLow; })) << describe(port.events());
    EXPECT_EQ(window().waitForLabel(LabelText::PttOff).text, LabelText::PttOff);
    run_.createFile("TX.txt");
    EXPECT_TRUE(eventually([&] { return port.lines() == modemsim::kBothHigh; })) << describe(port.events());
    EXPECT_EQ(window().waitForLabel(LabelText::PttOn).text, LabelText::PttOn);
  }
  if (other) {
    EXPECT_TRUE(other->events().empty()) << "COM1 was touched:" << describe(other->events());
  }
  closeWithExitCodeZero();
}

INSTANTIATE_TEST_SUITE_P(Ports, SetComportTest,
                         ::testing::Values(PortChoice{"InitialPortOne", nullptr, 1},
                                           PortChoice{"TypedPortTwelve", "12", 12}),
                         [](const ::testing::TestParamInfo<PortChoice>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace e2e
