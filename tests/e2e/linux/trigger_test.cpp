// The label follows TX.txt, and only an entry that is exactly that file keys the lines.
#include <sys/stat.h>

#include "program_test.h"

namespace e2e {
namespace {

TEST_F(ProgramTest, LabelFollowsTheTriggerFileBeforeAnyPortIsSetAndNoPortIsTouched) {
  PseudoTerminal port;  // COM1, the port box's initial text: it must stay untouched
  ASSERT_TRUE(port.ok());
  run_.mapPort(1, port.slavePath());
  ASSERT_NO_FATAL_FAILURE(startProgram());

  const LabelReading off = window().waitForLabel(LabelText::PttOff);
  ASSERT_EQ(off.text, LabelText::PttOff) << off.describe();
  saveWindowScreenshot("ptt-off");
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    run_.createFile("TX.txt");
    const LabelReading on = window().waitForLabel(LabelText::PttOn);
    ASSERT_EQ(on.text, LabelText::PttOn) << on.describe();
    EXPECT_LT(on.ink.width, off.ink.width) << "\"PTT ON\" is the narrower text";
    if (round == 1) saveWindowScreenshot("ptt-on");

    run_.remove("TX.txt");
    const LabelReading offAgain = window().waitForLabel(LabelText::PttOff);
    ASSERT_EQ(offAgain.text, LabelText::PttOff) << offAgain.describe();
    EXPECT_EQ(offAgain.ink.width, off.ink.width) << "the same text as at the start";
  }
  EXPECT_TRUE(port.events().empty()) << "no port is opened before \"Set comport\":"
                                      << describe(port.events());
}

enum class EntryKind { File, Directory, Fifo };

struct NotTheTrigger {
  const char* name;
  const char* entry;
  EntryKind kind;
};

class NotTheTriggerTest : public ProgramTest, public ::testing::WithParamInterface<NotTheTrigger> {};

// With a port open every tick writes both lines, so the simulator's log shows the ticks
// that have looked at the directory since the entry appeared.
TEST_P(NotTheTriggerTest, KeepsPttOffAndTheLinesLowTickAfterTick) {
  PseudoTerminal port;
  ASSERT_TRUE(port.ok());
  run_.mapPort(1, port.slavePath());
  ASSERT_NO_FATAL_FAILURE(startAndPressSetComport());
  ASSERT_TRUE(eventually([&] { return !port.events(run_.pid()).empty(); }))
      << "\"Set comport\" did not open COM1";

  const std::string entry = GetParam().entry;
  const std::int64_t createdNs = monotonicNs();
  switch (GetParam().kind) {
    case EntryKind::File: run_.createFile(entry); break;
    case EntryKind::Directory: fs::create_directory(run_.workDir() / entry); break;
    case EntryKind::Fifo: ASSERT_EQ(::mkfifo((run_.workDir() / entry).c_str(), 0644), 0); break;
  }
  auto since = [&] {
    std::vector<modemsim::Event> later;
    for (const auto& e : port.events(run_.pid()))
      if (e.monotonicNs > createdNs) later.push_back(e);
    return later;
  };
  // Three ticks (two line writes each) after the entry appeared.
  ASSERT_TRUE(eventually([&] { return since().size() >= 6; }, 10s))
      << "the ticks stopped writing the lines:" << describe(port.events());
  for (const auto& e : since())
    EXPECT_EQ(e.lines, modemsim::kBothLow) << "at +" << (e.monotonicNs - createdNs) / 1000000 << " ms";
  const LabelReading reading = window().label();
  EXPECT_EQ(reading.text, LabelText::PttOff) << reading.describe();

  // The same directory with the real trigger file keys at once.
  std::error_code ignored;
  fs::remove(run_.workDir() / entry, ignored);
  run_.createFile("TX.txt");
  EXPECT_TRUE(eventually([&] { return port.lines() == modemsim::kBothHigh; }))
      << describe(port.events());
  EXPECT_EQ(window().waitForLabel(LabelText::PttOn).text, LabelText::PttOn);
  closeWithExitCodeZero();
}

INSTANTIATE_TEST_SUITE_P(
    Entries, NotTheTriggerTest,
    ::testing::Values(NotTheTrigger{"LowerCaseName", "tx.txt", EntryKind::File},
                      NotTheTrigger{"UpperCaseName", "TX.TXT", EntryKind::File},
                      NotTheTrigger{"LongerName", "TX.txt.bak", EntryKind::File},
                      NotTheTrigger{"DirectoryOfThatName", "TX.txt", EntryKind::Directory},
                      NotTheTrigger{"FifoOfThatName", "TX.txt", EntryKind::Fifo}),
    [](const ::testing::TestParamInfo<NotTheTrigger>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
