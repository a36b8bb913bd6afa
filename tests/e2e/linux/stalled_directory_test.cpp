// A working directory whose file system stops answering while the transmitter is keyed
// (a FUSE server stopped with SIGSTOP, as a stalled network share): the program's one
// thread hangs in the trigger lookup, and its watchdog drops both lines within two
// seconds while the process lives on; when the file system answers again, TX.txt is
// still there and the next tick keys the transmitter again.
#include "program_test.h"
#include "stoppable_fs.h"

namespace e2e {
namespace {

std::optional<modemsim::Event> firstDropSince(const std::vector<modemsim::Event>& events,
                                              std::int64_t sinceNs) {
  for (const auto& e : events)
    if (e.monotonicNs >= sinceNs && e.lines == modemsim::kBothLow) return e;
  return std::nullopt;
}

TEST_F(ProgramTest, StalledWorkingDirectoryDropsBothLinesWithinTwoSecondsThenTheTickKeysAgain) {
  PseudoTerminal port;
  ASSERT_TRUE(port.ok());
  run_.mapPort(1, port.slavePath());
  StoppableFs directory(CASELESS_FS_SERVER, run_.workDir(), "TX.txt");
  if (!directory.serving()) GTEST_SKIP() << "no FUSE here (needs root and /dev/fuse)";
  ASSERT_NO_FATAL_FAILURE(startProgram());
  ASSERT_EQ(window().waitForLabel(LabelText::PttOn).text, LabelText::PttOn);
  ASSERT_TRUE(window().clickSetComport());
  ASSERT_TRUE(eventually([&] { return port.lines() == modemsim::kBothHigh; }))
      << "not keyed:" << describe(port.events());

  const std::int64_t stoppedNs = monotonicNs();
  directory.stop();
  ASSERT_TRUE(eventually([&] { return port.lines() == modemsim::kBothLow; }, 20s))
      << "the lines stayed up with the program hung:" << describe(port.events());
  const auto drop = firstDropSince(port.events(run_.pid()), stoppedNs);
  ASSERT_TRUE(drop) << describe(port.events());
  EXPECT_LT(drop->monotonicNs - stoppedNs, 2'000'000'000)
      << "dropped " << (drop->monotonicNs - stoppedNs) / 1000000 << " ms after the stall";
  EXPECT_TRUE(run_.running()) << "the program must live on, hung";
  EXPECT_TRUE(eventually([&] {
    return run_.errorOutput().find("DTR and RTS dropped on " + port.slavePath()) !=
           std::string::npos;
  })) << run_.errorOutput();

  directory.resume();
  EXPECT_TRUE(eventually([&] { return port.lines() == modemsim::kBothHigh; }))
      << "TX.txt is still there, but the lines stayed down:" << describe(port.events());
  EXPECT_TRUE(eventually([&] {
    return run_.errorOutput().find("runs again") != std::string::npos;
  })) << run_.errorOutput();
  EXPECT_EQ(window().waitForLabel(LabelText::PttOn).text, LabelText::PttOn);
  closeWithExitCodeZero();
}

}  // namespace
}  // namespace e2e
