// "Set comport" on a port that cannot be had: the error box, with the window working on
// beneath it; once dismissed, the operator fixes the port and tries again.
#include "program_test.h"

namespace e2e {
namespace {

enum class Cause { DanglingMapping, NoMapping, HeldByAnotherProgram, NoModemLines };
enum class Dismissal { Enter, Escape, OkButton };

struct PortProblem {
  const char* name;
  Cause cause;
  Dismissal dismissal;
};

class PortErrorTest : public ProgramTest, public ::testing::WithParamInterface<PortProblem> {
 protected:
  bool dismiss(unsigned long box) {
    switch (GetParam().dismissal) {
      case Dismissal::Enter: return pressKeys({"Return"});
      case Dismissal::Escape: return pressKeys({"Escape"});
      case Dismissal::OkButton: return clickOk(box);
    }
    return false;
  }
};

TEST_P(PortErrorTest, ShowsTheErrorBoxWhileTicksGoOnAndRecoversOnceThePortIsThere) {
  const Cause cause = GetParam().cause;
  PseudoTerminal port;
  ASSERT_TRUE(port.ok());
  int number = 1;
  switch (cause) {
    case Cause::DanglingMapping:  // the adapter is unplugged
      run_.mapPort(1, run_.workDir() / ".." / "unplugged-adapter");
      break;
    case Cause::NoMapping:
      // Without a mapping the program counts the machine's serial devices; only the
      // shield keeps that away from the real ones.
      if (!systemPortsShielded()) GTEST_SKIP() << "/dev/ttyS* are not shielded (not root?)";
      number = 9;
      break;
    case Cause::HeldByAnotherProgram:
      run_.mapPort(1, port.slavePath());
      ASSERT_TRUE(port.hold());
      break;
    case Cause::NoModemLines:  // a mapping slip: nothing there could ever be keyed
      run_.mapPort(1, "/dev/null");
      break;
  }
  std::optional<std::string> typed;
  if (number != 1) typed = std::to_string(number);
  ASSERT_NO_FATAL_FAILURE(startAndPressSetComport(typed));

  const unsigned long box = waitForErrorBox();
  ASSERT_NE(box, 0u) << "no window \"Comport\" after \"Set comport\" on COM" << number;
  saveScreenshotWith(box, std::string("error-box-") + GetParam().name);
  EXPECT_TRUE(window().viewable());
  EXPECT_GT(x_.geometry(box).width, window().geometry().width) << "room for the whole message";

  moveAside(box);
  run_.createFile("TX.txt");
  EXPECT_EQ(window().waitForLabel(LabelText::PttOn).text, LabelText::PttOn) << "ticks under the box";
  run_.remove("TX.txt");
  EXPECT_EQ(window().waitForLabel(LabelText::PttOff).text, LabelText::PttOff) << "ticks under the box";
  EXPECT_TRUE(x_.viewable(box));
  EXPECT_TRUE(port.events().empty()) << "the port's lines were touched:" << describe(port.events());

  ASSERT_TRUE(dismiss(box));
  ASSERT_TRUE(x_.waitUntilNoWindow(kErrorBoxTitle, 5s)) << "the box is still up";
  ASSERT_TRUE(run_.running());
  EXPECT_TRUE(window().viewable());

  // The operator plugs the adapter in, maps the port, or closes the other program.
  switch (cause) {
    case Cause::DanglingMapping:
    case Cause::NoModemLines:
      fs::remove(run_.portsDir() / "COM1");
      run_.mapPort(1, port.slavePath());
      break;
    case Cause::NoMapping: run_.mapPort(number, port.slavePath()); break;
    case Cause::HeldByAnotherProgram: port.release(); break;
  }
  run_.createFile("TX.txt");
  ASSERT_TRUE(window().clickSetComport());
  EXPECT_TRUE(eventually([&] { return port.lines() == modemsim::kBothHigh; })) << describe(port.events());
  EXPECT_TRUE(x_.windowsNamed(kErrorBoxTitle).empty());
  closeWithExitCodeZero();
}

INSTANTIATE_TEST_SUITE_P(
    Problems, PortErrorTest,
    ::testing::Values(PortProblem{"DanglingMapping", Cause::DanglingMapping, Dismissal::Enter},
                      PortProblem{"NoMapping", Cause::NoMapping, Dismissal::Escape},
                      PortProblem{"HeldByAnotherProgram", Cause::HeldByAnotherProgram, Dismissal::OkButton},
                      PortProblem{"NoModemLines", Cause::NoModemLines, Dismissal::Enter}),
    [](const ::testing::TestParamInfo<PortProblem>& info) { return std::string(info.param.name); });

// Texts that do not name a port as written, with COM1 mapped to a working device so that a
// program that tidied the text into "1" would open it instead of refusing.
struct OddText {
  const char* name;
  const char* text;
};

class PortTextTest : public ProgramTest, public ::testing::WithParamInterface<OddText> {};

TEST_P(PortTextTest, GivesTheErrorBoxAndTheProgramGoesOn) {
  PseudoTerminal port;
  ASSERT_TRUE(port.ok());
  run_.mapPort(1, port.slavePath());
  ASSERT_NO_FATAL_FAILURE(startAndPressSetComport(std::string(GetParam().text)));

  const unsigned long box = waitForErrorBox();
  ASSERT_NE(box, 0u) << "no error box for the port text \"" << GetParam().text << "\"";
  ASSERT_TRUE(pressKeys({"Return"}));
  ASSERT_TRUE(x_.waitUntilNoWindow(kErrorBoxTitle, 5s));
  ASSERT_TRUE(run_.running()) << run_.exit()->describe();
  EXPECT_TRUE(port.events().empty()) << "COM1 was opened:" << describe(port.events());

  run_.createFile("TX.txt");
  EXPECT_EQ(window().waitForLabel(LabelText::PttOn).text, LabelText::PttOn);
  closeWithExitCodeZero();
}

INSTANTIATE_TEST_SUITE_P(Texts, PortTextTest,
                         ::testing::Values(OddText{"BlankBeforeTheDigit", " 1"}, OddText{"Empty", ""},
                                           OddText{"Letters", "ab"}, OddText{"Asterisk", "*"},
                                           OddText{"QuestionMark", "?"}),
                         [](const ::testing::TestParamInfo<OddText>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace e2e
