// The watchdog of the Linux layer on pseudo-terminals: a message loop that stops coming
// round (no PeekMessageA) has both lines of the open port dropped within two seconds and
// said on stderr; once the loop runs again the next write of the lines raises them; a
// loop that keeps coming round keeps them; a closed port is never touched again, even
// when its descriptor number is reused.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "serial_fixture.h"
#include "tests/support/pseudo_terminal.h"

namespace {

using namespace std::chrono_literals;
using modemsim::kBothHigh;
using modemsim::kBothLow;

std::int64_t monotonicNs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void loopComesRound() {
  MSG msg{};
  while (platform::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

// What the process writes to stderr while it lives, into a file.
class StderrCapture {
 public:
  explicit StderrCapture(const fs::path& file) : file_(file) {
    saved_ = ::dup(STDERR_FILENO);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
  }
  ~StderrCapture() {
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
  }
  std::string text() const {
    std::ifstream in(file_);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
  }

 private:
  fs::path file_;
  int saved_ = -1;
};

template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    timespec pause{0, 5'000'000};
    ::nanosleep(&pause, nullptr);
  }
  return true;
}

class WatchdogTest : public SerialPortFixture {
 protected:
  void SetUp() override {
    SerialPortFixture::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_NO_FATAL_FAILURE(requireSimulator());
    port_ = open(kPortName);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE);
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) platform::CloseHandle(port_);
    SerialPortFixture::TearDown();
  }

  static HANDLE open(const char* name) {
    return platform::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  // As the program's tick writes them: the block read, the two modes set, written back.
  static bool key(HANDLE port, bool on) {
    DCB dcb{};
    if (!platform::GetCommState(port, &dcb)) return false;
    dcb.fDtrControl = on ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = on ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    return platform::SetCommState(port, &dcb);
  }

  // The first event at or after `sinceNs` with both lines low.
  std::optional<modemsim::Event> firstDropSince(const std::string& path, std::int64_t sinceNs) {
    for (const auto& e : modemsim::events(path))
      if (e.monotonicNs >= sinceNs && e.lines == kBothLow) return e;
    return std::nullopt;
  }

  HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(WatchdogTest, StalledLoopHasBothLinesDroppedWithinTwoSecondsAndTheNextWriteRaisesThem) {
  StderrCapture stderrText(scratch() / "stderr");
  ASSERT_TRUE(key(port_, true));
  ASSERT_EQ(modemsim::lines(slavePath_), kBothHigh);
  const std::int64_t lastRoundNs = monotonicNs();
  loopComesRound();

  ASSERT_TRUE(modemsim::waitForLines(slavePath_, kBothLow)) << "the lines stayed up";
  const auto drop = firstDropSince(slavePath_, lastRoundNs);
  ASSERT_TRUE(drop);
  EXPECT_LT(drop->monotonicNs - lastRoundNs, 2'000'000'000) << "the drop came too late";
  EXPECT_TRUE(eventually([&] { return stderrText.text().find(slavePath_) != std::string::npos; }))
      << "stderr: " << stderrText.text();
  const std::string dropLine = stderrText.text();
  EXPECT_NE(dropLine.find("DTR and RTS dropped"), std::string::npos) << dropLine;

  loopComesRound();
  ASSERT_TRUE(key(port_, true));
  EXPECT_EQ(modemsim::lines(slavePath_), kBothHigh) << "the same block written again raises them";
  EXPECT_TRUE(eventually([&] { return stderrText.text().find("runs again") != std::string::npos; }))
      << "stderr: " << stderrText.text();

  // A second stall is caught as the first was.
  const std::int64_t secondRoundNs = monotonicNs();
  loopComesRound();
  ASSERT_TRUE(modemsim::waitForLines(slavePath_, kBothLow)) << "the second stall was missed";
  const auto secondDrop = firstDropSince(slavePath_, secondRoundNs);
  ASSERT_TRUE(secondDrop);
  EXPECT_LT(secondDrop->monotonicNs - secondRoundNs, 2'000'000'000);
}

TEST_F(WatchdogTest, LoopThatKeepsComingRoundKeepsTheLines) {
  ASSERT_TRUE(key(port_, true));
  const std::size_t eventsKeyed = modemsim::events(slavePath_).size();
  // Three times the stall limit, the loop never pausing for more than a few milliseconds.
  const auto until = std::chrono::steady_clock::now() + 3s;
  while (std::chrono::steady_clock::now() < until) {
    loopComesRound();
    timespec pause{0, 5'000'000};
    ::nanosleep(&pause, nullptr);
  }
  const auto events = modemsim::events(slavePath_);
  EXPECT_EQ(events.size(), eventsKeyed) << "something wrote the lines of a live loop's port";
  EXPECT_EQ(modemsim::lines(slavePath_), kBothHigh);
}

TEST_F(WatchdogTest, ClosedPortIsNeverTouchedEvenWhenItsDescriptorNumberIsReused) {
  // A second port, the one the watchdog must drop; the first is closed and its
  // descriptor number given to a device that no CreateFileA opened.
  const testpty::Opened other = testpty::open();
  ASSERT_GE(other.master, 0);
  const int otherMaster = other.master;
  const std::string otherPath = other.slave;
  mapPort("COM8", otherPath);
  const HANDLE watched = open("COM8");
  ASSERT_NE(watched, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(key(watched, true));

  const std::vector<int> before = descriptorsOpenOn(slavePath_);
  ASSERT_EQ(before.size(), 1u);
  ASSERT_TRUE(platform::CloseHandle(port_));
  port_ = INVALID_HANDLE_VALUE;
  const int reused = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_EQ(reused, before.front()) << "the descriptor number was not reused";
  int both = TIOCM_DTR | TIOCM_RTS;
  ASSERT_EQ(::ioctl(reused, TIOCMBIS, &both), 0);
  ASSERT_EQ(modemsim::lines(slavePath_), kBothHigh);

  loopComesRound();
  EXPECT_TRUE(modemsim::waitForLines(otherPath, kBothLow)) << "the open port was not dropped";
  EXPECT_EQ(modemsim::lines(slavePath_), kBothHigh) << "the closed port's number was dropped";

  ::close(reused);
  platform::CloseHandle(watched);
  ::close(otherMaster);
}

}  // namespace
