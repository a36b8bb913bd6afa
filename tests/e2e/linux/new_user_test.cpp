// Tried as a new operator would: not root, and not yet in the group that owns the
// serial device (root:dialout, mode 0660, as udev sets a USB adapter up). "Set comport"
// gives the error box, and stderr says which device, EACCES, and the usermod command.
// The same operator once in the group: the port opens and keys.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "program_test.h"

namespace e2e {
namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

class NewUserTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    dialout_ = ::getgrnam("dialout");
    if (::geteuid() != 0 || !dialout_ || !fs::exists("/usr/bin/setpriv"))
      GTEST_SKIP() << "needs root (to be another user), a dialout group and setpriv";
    ASSERT_TRUE(port_.ok());
    // Owned as udev owns a USB serial adapter.
    ASSERT_EQ(::chown(port_.slavePath().c_str(), 0, dialout_->gr_gid), 0);
    ASSERT_EQ(::chmod(port_.slavePath().c_str(), 0660), 0);
    run_.mapPort(1, port_.slavePath());
  }

  // Starts the program as the operator and presses "Set comport" on the initial "1".
  void startAndSetComport(const std::vector<gid_t>& groups) {
    run_.runAs(kNobody, kNogroup, groups);
    ASSERT_NO_FATAL_FAILURE(startProgram());
    ASSERT_EQ(window().waitForLabel(LabelText::PttOff).text, LabelText::PttOff);
    ASSERT_TRUE(window().clickSetComport());
  }

  const group* dialout_ = nullptr;
  PseudoTerminal port_;
};

TEST_F(NewUserTest, OutsideTheGroupGetsTheBoxAndOnStderrTheGroupToJoin) {
  ASSERT_NO_FATAL_FAILURE(startAndSetComport({}));
  const unsigned long box = waitForErrorBox();
  ASSERT_NE(box, 0u) << "no error box for a port this user may not open\n" << run_.errorOutput();
  saveScreenshotWith(box, "error-box-PermissionDenied");

  const std::string expected = "cannot open COM1 (" + (run_.portsDir() / "COM1").string() + " -> " +
                               port_.slavePath() +
                               "): permission denied (EACCES): the device belongs to group "
                               "dialout; run \"sudo usermod -aG dialout $USER\", then log out "
                               "and in\n";
  EXPECT_TRUE(eventually([&] { return run_.errorOutput().find(expected) != std::string::npos; }))
      << "stderr:\n"
      << run_.errorOutput() << "expected the line:\n"
      << expected;
  EXPECT_TRUE(port_.events().empty())
      << "the port's lines were touched:" << describe(port_.events());

  ASSERT_TRUE(pressKeys({"Return"}));
  ASSERT_TRUE(x_.waitUntilNoWindow(kErrorBoxTitle, 5s));
  closeWithExitCodeZero();
  const std::string output = run_.errorOutput();
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1)
      << "one line for the one failed open, nothing on ticks:\n"
      << output;
}

TEST_F(NewUserTest, InTheGroupThePortOpensAndKeysWithNothingOnStderr) {
  ASSERT_NO_FATAL_FAILURE(startAndSetComport({dialout_->gr_gid}));
  run_.createFile("TX.txt");
  EXPECT_TRUE(eventually([&] { return port_.lines() == modemsim::kBothHigh; }))
      << describe(port_.events()) << "\nstderr:\n"
      << run_.errorOutput();
  EXPECT_TRUE(x_.windowsNamed(kErrorBoxTitle).empty());
  run_.remove("TX.txt");
  EXPECT_TRUE(eventually([&] { return port_.lines() == modemsim::kBothLow; }))
      << describe(port_.events());
  closeWithExitCodeZero();
  EXPECT_EQ(run_.errorOutput(), "") << "an open that works writes nothing";
}

}  // namespace
}  // namespace e2e
