// The working directory replaced at its path while the transmitter is keyed: a file
// system mounted there and unmounted lazily (the detached tree, TX.txt and all, stays
// the process's current directory, where nobody can remove it), or the directory
// removed and made again. The program follows the path: the lines drop, stderr says
// so, and a TX.txt written at the path keys again.
#include <sys/mount.h>

#include <cerrno>
#include <cstring>

#include "program_test.h"

namespace e2e {
namespace {

enum class Replacement { LazyUnmount, RemovedAndMadeAgain };

class ReplacedDirectoryTest : public ProgramTest,
                              public ::testing::WithParamInterface<Replacement> {};

TEST_P(ReplacedDirectoryTest, LinesDropWhenThePathLeadsElsewhereAndFollowTheNewDirectory) {
  const fs::path work = run_.workDir();
  if (GetParam() == Replacement::LazyUnmount &&
      ::mount("fileptt-test", work.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs over the working directory (" << std::strerror(errno)
                 << "): needs root, as CI has";
  PseudoTerminal port;
  ASSERT_TRUE(port.ok());
  run_.mapPort(1, port.slavePath());
  ASSERT_NO_FATAL_FAILURE(startAndPressSetComport());
  run_.createFile("TX.txt");
  ASSERT_TRUE(eventually([&] { return port.lines() == modemsim::kBothHigh; }))
      << "not keyed:" << describe(port.events());

  switch (GetParam()) {
    case Replacement::LazyUnmount:
      ASSERT_EQ(::umount2(work.c_str(), MNT_DETACH), 0) << std::strerror(errno);
      break;
    case Replacement::RemovedAndMadeAgain:
      // Moved away with TX.txt in it, as `mv` or a sync tool does, and made again.
      fs::rename(work, work.string() + ".old");
      fs::create_directory(work);
      break;
  }
  EXPECT_TRUE(eventually([&] { return port.lines() == modemsim::kBothLow; }, 10s))
      << "the lines stayed up on the old directory's TX.txt:" << describe(port.events());
  EXPECT_EQ(window().waitForLabel(LabelText::PttOff).text, LabelText::PttOff);
  EXPECT_TRUE(eventually([&] {
    return run_.errorOutput().find("the working directory " + work.string() + " was replaced") !=
           std::string::npos;
  })) << run_.errorOutput();

  run_.createFile("TX.txt");
  EXPECT_TRUE(eventually([&] { return port.lines() == modemsim::kBothHigh; }))
      << "TX.txt at the path was not followed:" << describe(port.events());
  EXPECT_EQ(window().waitForLabel(LabelText::PttOn).text, LabelText::PttOn);
  closeWithExitCodeZero();
  if (GetParam() == Replacement::RemovedAndMadeAgain) {
    std::error_code ignored;
    fs::remove_all(work.string() + ".old", ignored);
  }
}

INSTANTIATE_TEST_SUITE_P(Replacements, ReplacedDirectoryTest,
                         ::testing::Values(Replacement::LazyUnmount,
                                           Replacement::RemovedAndMadeAgain),
                         [](const auto& info) {
                           return info.param == Replacement::LazyUnmount
                                      ? std::string("LazyUnmount")
                                      : std::string("MovedAwayAndMadeAgain");
                         });

}  // namespace
}  // namespace e2e
