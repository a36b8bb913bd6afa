#include "serial_fixture.h"

#include <dirent.h>

#include <cctype>
#include <cstdlib>

#include "tests/support/pseudo_terminal.h"

std::vector<int> descriptorsOpenOn(const std::string& path) {
  std::vector<int> found;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const fs::path target = fs::read_symlink(entry.path(), error);
    if (!error && target == path) found.push_back(std::stoi(entry.path().filename()));
  }
  return found;
}

std::string caseName(std::size_t index, const std::string& text) {
  std::string name = "Case" + std::to_string(index) + "_";
  for (char c : text) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

std::size_t openDescriptorCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

void SerialPortFixture::SetUp() {
  char pattern[] = "/tmp/fileptt-serial-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  root_ = pattern;
  fs::create_directories(portsDir());
  fs::create_directories(root_ / "cwd");
  fs::create_directories(root_ / "modemsim");
  fs::create_directories(scratch());
  ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
  ::setenv("MODEMSIM_DIR", (root_ / "modemsim").c_str(), 1);

  testpty::Opened pty = testpty::open();
  ASSERT_GE(pty.master, 0);
  master_ = pty.master;
  slavePath_ = std::move(pty.slave);
  mapPort(kPortName, slavePath_);

  previousCwd_ = fs::current_path();
  fs::current_path(root_ / "cwd");
}

void SerialPortFixture::TearDown() {
  closeSerialChannel(kChannel);
  takeErrorStatus();
  closeMaster();
  if (!previousCwd_.empty()) fs::current_path(previousCwd_);
  std::error_code ignored;
  if (!root_.empty()) fs::remove_all(root_, ignored);
}

void SerialPortFixture::mapPort(const std::string& comName, const fs::path& target) {
  fs::create_symlink(target, portsDir() / comName);
}

termios SerialPortFixture::slaveSettings() const {
  termios settings{};
  EXPECT_EQ(::tcgetattr(master_, &settings), 0);
  return settings;
}

void SerialPortFixture::setSlaveSettings(const termios& settings) const {
  ASSERT_EQ(::tcsetattr(master_, TCSANOW, &settings), 0);
}

void SerialPortFixture::closeMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

void SerialPortFixture::requireSimulator() const {
  ASSERT_TRUE(modemsim::loaded())
      << "libmodemsim.so is not preloaded: run these tests through ctest, or set "
         "LD_PRELOAD to the simulator";
}

std::uint8_t SerialPortFixture::openPort(const std::string& name) {
  openSerialChannel(kChannel, name, 512);
  return takeErrorStatus();
}
