// A port whose device goes away while keyed (its pseudo-terminal master closed, as a
// USB adapter unplugged) and comes back: stderr says once that it is lost, the dead
// descriptor is let go, a device of another identity is never opened, and the same
// device back (its by-id name leading to it again) is opened on the same handle, with
// the lines low and HUPCL set, and follows the line settings again.
#include <sys/file.h>

#include <algorithm>
#include <fstream>

#include "platform/linux/kernel32/device_facts.h"
#include "serial_fixture.h"
#include "tests/support/pseudo_terminal.h"

namespace {

using modemsim::kBothHigh;
using modemsim::kBothLow;

struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    testpty::Opened opened = testpty::open();
    master = opened.master;
    slave = std::move(opened.slave);
  }
  ~Pty() { close(); }
  void close() {
    if (master >= 0) ::close(master);
    master = -1;
  }
};

class LostPortTest : public SerialPortFixture {
 protected:
  static constexpr const char* kAdapter = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  static constexpr const char* kOther = "usb-Prolific_USB-Serial_Controller_0001-if00-port0";

  void SetUp() override {
    SerialPortFixture::SetUp();
    if (HasFatalFailure()) return;
    roots_.dev = (scratch() / "dev").string();
    roots_.sysClassTty = (scratch() / "sys").string();
    roots_.procConsoles = (scratch() / "consoles").string();
    fs::create_directories(byIdDir());
    fs::create_directories(roots_.sysClassTty);
    posix::setOpeningRootsForTesting(roots_);
  }
  void TearDown() override {
    SerialPortFixture::TearDown();
    posix::setOpeningRootsForTesting(posix::DeviceRoots{});
  }

  fs::path byIdDir() const { return fs::path(roots_.dev) / "serial" / "by-id"; }
  // The by-id link `name` leads to `slave` (made, or re-pointed as udev does).
  void plug(const std::string& name, const std::string& slave) {
    std::error_code ignored;
    fs::remove(byIdDir() / name, ignored);
    fs::create_symlink(slave, byIdDir() / name);
  }
  void unplug(const std::string& name) { fs::remove(byIdDir() / name); }

  // One tick's worth of line settings; the first error status of the two.
  std::uint8_t tick(int value) {
    ::testing::internal::CaptureStderr();
    setLineSetting(kChannel, SETTING_DTR_HANDSHAKE, value);
    const std::uint8_t dtr = takeErrorStatus();
    setLineSetting(kChannel, SETTING_RTS_CONTROL, value);
    const std::uint8_t rts = takeErrorStatus();
    said_ += ::testing::internal::GetCapturedStderr();
    return dtr ? dtr : rts;
  }
  std::string takeSaid() { return std::exchange(said_, {}); }

  posix::DeviceRoots roots_;
  std::string said_;
};

std::size_t lineCount(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(LostPortTest, SameDeviceBackIsOpenedAgainAndAnotherDeviceNever) {
  requireSimulator();
  Pty first;
  ASSERT_FALSE(first.slave.empty());
  plug(kAdapter, first.slave);
  mapPort("COM8", byIdDir() / kAdapter);
  ASSERT_EQ(openPort("COM8"), 0);
  ASSERT_EQ(tick(1), 0);
  ASSERT_EQ(modemsim::lines(first.slave), kBothHigh);
  takeSaid();
  // Made now, so that neither gets the first one's node (and its simulator log).
  Pty other, back;
  ASSERT_FALSE(other.slave.empty());
  ASSERT_FALSE(back.slave.empty());

  // Unplugged while keyed.
  first.close();
  unplug(kAdapter);
  EXPECT_EQ(tick(1), 72);
  std::string said = takeSaid();
  EXPECT_EQ(lineCount(said), 1u) << said;
  EXPECT_EQ(said.rfind("fileptt: COM8 (", 0), 0u) << said;
  EXPECT_NE(said.find("is lost"), std::string::npos) << said;
  EXPECT_TRUE(descriptorsOpenOn(first.slave).empty()) << "the dead descriptor is kept";

  // Another adapter appears, even under the same mapping and as the first device
  // present: it is never opened.
  plug(kOther, other.slave);
  fs::create_symlink(other.slave, fs::path(roots_.dev) / "ttyUSB0");
  fs::remove(portsDir() / "COM8");
  mapPort("COM8", byIdDir() / kOther);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(tick(1), 72);
  EXPECT_EQ(takeSaid(), "") << "said again while still lost";
  EXPECT_TRUE(modemsim::events(other.slave).empty())
      << "a device of another identity was opened";
  EXPECT_TRUE(descriptorsOpenOn(other.slave).empty());

  // The same adapter is back, on another node.
  plug(kAdapter, back.slave);
  EXPECT_EQ(tick(1), 0);
  said = takeSaid();
  EXPECT_EQ(lineCount(said), 1u) << said;
  EXPECT_NE(said.find("fileptt: COM8 is back"), std::string::npos) << said;
  EXPECT_EQ(modemsim::lines(back.slave), kBothHigh) << "the lines follow again";
  const std::vector<modemsim::Event> events = modemsim::events(back.slave);
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.front().cause, "open");
  const auto lowered = std::find_if(events.begin() + 1, events.end(), [](const auto& e) {
    return e.lines == kBothLow;
  });
  ASSERT_NE(lowered, events.end()) << "the open did not lower both lines";
  EXPECT_TRUE(std::none_of(events.begin() + 1, lowered,
                           [](const auto& e) { return e.lines.dtr && e.lines.rts && e.cause != "open"; }));
  termios settings{};
  ASSERT_EQ(::tcgetattr(back.master, &settings), 0);
  EXPECT_TRUE(settings.c_cflag & HUPCL);
  const std::vector<int> fds = descriptorsOpenOn(back.slave);
  ASSERT_EQ(fds.size(), 1u);
  const int probe = ::open(back.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (probe >= 0) {  // root passes TIOCEXCL; the lock must still be there
    EXPECT_NE(::flock(probe, LOCK_EX | LOCK_NB), 0) << "opened again without its lock";
    ::close(probe);
  }
  EXPECT_TRUE(modemsim::events(other.slave).empty());

  EXPECT_EQ(tick(0), 0);
  EXPECT_EQ(modemsim::lines(back.slave), kBothLow);
  EXPECT_EQ(tick(1), 0);
  EXPECT_EQ(takeSaid(), "") << "nothing said on ordinary ticks";
  closeSerialChannel(kChannel);
  EXPECT_EQ(takeErrorStatus(), 0);
  EXPECT_EQ(modemsim::lines(back.slave), kBothLow) << "HUPCL drops both at the close";
}

TEST_F(LostPortTest, LostPortThatNeverComesBackStaysClosable) {
  Pty first;
  ASSERT_FALSE(first.slave.empty());
  plug(kAdapter, first.slave);
  mapPort("COM8", byIdDir() / kAdapter);
  ASSERT_EQ(openPort("COM8"), 0);
  first.close();
  unplug(kAdapter);  // as udev removes the link (the node may go to another device)
  for (int i = 0; i < 3; ++i) EXPECT_EQ(tick(1), 72);
  EXPECT_EQ(lineCount(takeSaid()), 1u);
  closeSerialChannel(kChannel);
  EXPECT_EQ(takeErrorStatus(), 0);
  EXPECT_TRUE(descriptorsOpenOn(first.slave).empty());
}

}  // namespace
