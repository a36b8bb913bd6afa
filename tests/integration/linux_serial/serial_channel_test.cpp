// The serial channel over the real Linux layer: opening a mapped pseudo-terminal,
// exclusivity against another process, the lines as the modem simulator sees them,
// odd names and planted paths, disk files, and a device that vanishes while open.
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>

#include "serial_fixture.h"

namespace {

using modemsim::kBothHigh;
using modemsim::kBothLow;
using modemsim::Lines;

bool inheritable(int fd) { return !(::fcntl(fd, F_GETFD) & FD_CLOEXEC); }

class SerialChannelTest : public SerialPortFixture {
 protected:
  void setBoth(int value) {
    setLineSetting(kChannel, SETTING_DTR_HANDSHAKE, value);
    setLineSetting(kChannel, SETTING_RTS_CONTROL, value);
  }
};

TEST_F(SerialChannelTest, OpenSucceedsOnAMappedPseudoTerminalAndHoldsOneInheritableDescriptor) {
  ASSERT_EQ(openPort(), 0);
  const std::vector<int> fds = descriptorsOpenOn(slavePath_);
  ASSERT_EQ(fds.size(), 1u);
  EXPECT_TRUE(inheritable(fds[0]));
}

TEST_F(SerialChannelTest, OpenLowersBothLinesThatTheKernelRaisedOnOpen) {
  requireSimulator();
  ASSERT_EQ(openPort(), 0);
  EXPECT_EQ(modemsim::lines(slavePath_), kBothLow);
  const std::vector<modemsim::Event> events = modemsim::events(slavePath_);
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.front().cause, "open");
  EXPECT_EQ(events.front().lines, kBothHigh);
}

TEST_F(SerialChannelTest, OpenSetsHupclSoThatEveryReleaseDropsTheLines) {
  ASSERT_FALSE(slaveSettings().c_cflag & HUPCL);
  ASSERT_EQ(openPort(), 0);
  EXPECT_TRUE(slaveSettings().c_cflag & HUPCL);
}

// A serial driver raises DTR and RTS on an open unless the stored speed is B0; the
// layer leaves the device at B0, so that no later open, ours or another program's,
// after a close or a kill, keys the transmitter even for a moment.
TEST_F(SerialChannelTest, OpenLeavesTheDeviceAtB0SoThatTheNextOpenRaisesNoLine) {
  requireSimulator();
  ASSERT_EQ(openPort(), 0);
  const termios settings = slaveSettings();
  EXPECT_EQ(cfgetospeed(&settings), B0);
  closeSerialChannel(kChannel);
  ASSERT_EQ(takeErrorStatus(), 0);
  const std::size_t before = modemsim::events(slavePath_).size();
  ASSERT_EQ(openPort(), 0);
  const std::vector<modemsim::Event> events = modemsim::events(slavePath_);
  for (std::size_t i = before; i < events.size(); ++i)
    EXPECT_EQ(events[i].lines, kBothLow) << "event " << i << " (" << events[i].cause << ")";
}

struct LineStep {
  int settingId;
  int value;
  Lines after;
};

TEST_F(SerialChannelTest, LineSettingsDriveDtrAndRtsOneAtATime) {
  requireSimulator();
  ASSERT_EQ(openPort(), 0);
  const LineStep steps[] = {
      {SETTING_DTR_HANDSHAKE, 1, {true, false}}, {SETTING_RTS_CONTROL, 1, {true, true}},
      {SETTING_DTR_HANDSHAKE, 0, {false, true}}, {SETTING_RTS_CONTROL, 0, {false, false}},
      {SETTING_RTS_CONTROL, 1, {false, true}},   {SETTING_DTR_HANDSHAKE, 1, {true, true}},
  };
  for (const LineStep& step : steps) {
    setLineSetting(kChannel, step.settingId, step.value);
    EXPECT_EQ(takeErrorStatus(), 0);
    EXPECT_EQ(modemsim::lines(slavePath_), step.after)
        << "after setting " << step.settingId << " to " << step.value;
  }
}

// A tick rewrites both settings every 500 ms for hours; none of that may reprogram
// the port (a tcsetattr can glitch a real UART).
TEST_F(SerialChannelTest, LineSettingsNeverRewriteTheTerminalSettings) {
  requireSimulator();
  ASSERT_EQ(openPort(), 0);
  const std::size_t eventsAfterOpen = modemsim::events(slavePath_).size();
  for (int tick = 0; tick < 20; ++tick) setBoth(tick % 2);
  EXPECT_EQ(takeErrorStatus(), 0);
  const std::vector<modemsim::Event> events = modemsim::events(slavePath_);
  for (std::size_t i = eventsAfterOpen; i < events.size(); ++i)
    EXPECT_EQ(events[i].cause, "ioctl") << "event " << i;
}

TEST_F(SerialChannelTest, CloseDropsBothLinesAndReleasesThePort) {
  requireSimulator();
  ASSERT_EQ(openPort(), 0);
  setBoth(1);
  ASSERT_EQ(modemsim::lines(slavePath_), kBothHigh);

  closeSerialChannel(kChannel);
  EXPECT_EQ(takeErrorStatus(), 0);
  EXPECT_EQ(modemsim::lines(slavePath_), kBothLow);
  EXPECT_EQ(modemsim::events(slavePath_).back().cause, "close");
  EXPECT_TRUE(descriptorsOpenOn(slavePath_).empty());

  EXPECT_EQ(openPort(), 0) << "the released port opens again";
}

// ---- Mappings that reach something without modem lines ------------------------------------

// Each would open "successfully" and let the label follow TX.txt while nothing can ever
// be keyed; the open fails instead, with the reason on stderr.
enum class NoLines { DevNull, DevZero, Fifo, RegularFile, BarePseudoTerminal };

struct NoLinesCase {
  const char* name;
  NoLines target;
};

class NoModemLinesTest : public SerialPortFixture,
                         public ::testing::WithParamInterface<NoLinesCase> {};

TEST_P(NoModemLinesTest, OpenFailsWith69LeavesNothingOpenAndSaysWhy) {
  fs::path target;
  switch (GetParam().target) {
    case NoLines::DevNull: target = "/dev/null"; break;
    case NoLines::DevZero: target = "/dev/zero"; break;
    case NoLines::Fifo:
      target = scratch() / "fifo";
      ASSERT_EQ(::mkfifo(target.c_str(), 0644), 0);
      break;
    case NoLines::RegularFile:
      target = scratch() / "file";
      std::ofstream(target) << "not a port";
      break;
    case NoLines::BarePseudoTerminal:
      ::unsetenv("MODEMSIM_DIR");  // a pseudo-terminal alone has no modem lines
      target = slavePath_;
      break;
  }
  mapPort("COM8", target);
  const std::size_t before = openDescriptorCount();
  const std::vector<int> onTargetBefore = descriptorsOpenOn(fs::canonical(target));
  ::testing::internal::CaptureStderr();
  const std::uint8_t error = openPort("COM8");
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(error, 69);
  EXPECT_EQ(openDescriptorCount(), before);
  EXPECT_EQ(descriptorsOpenOn(fs::canonical(target)), onTargetBefore);
  EXPECT_EQ(said.rfind("cannot open COM8 (", 0), 0u) << said;
  EXPECT_NE(said.find("not a serial port whose DTR and RTS can be driven"), std::string::npos)
      << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << "one line: " << said;
  setLineSetting(kChannel, SETTING_DTR_HANDSHAKE, 1);
  EXPECT_EQ(takeErrorStatus(), 52) << "the failed open left no channel";
}

INSTANTIATE_TEST_SUITE_P(Targets, NoModemLinesTest,
                         ::testing::Values(NoLinesCase{"DevNull", NoLines::DevNull},
                                           NoLinesCase{"DevZero", NoLines::DevZero},
                                           NoLinesCase{"Fifo", NoLines::Fifo},
                                           NoLinesCase{"RegularFile", NoLines::RegularFile},
                                           NoLinesCase{"BarePseudoTerminal",
                                                       NoLines::BarePseudoTerminal}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialPortFixture, OpeningAWorkingPortSaysNothing) {
  requireSimulator();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(openPort(), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// ---- Another process holds the port --------------------------------------------------

// A child that opens the port through the layer, keys both lines, reports on `ready`
// and holds the port until `release` reaches end of file.
pid_t startHolder(const char* portName, int* ready, int* release) {
  int readyPipe[2], releasePipe[2];
  if (::pipe(readyPipe) != 0 || ::pipe(releasePipe) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(readyPipe[0]);
    ::close(releasePipe[1]);
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    HANDLE port = platform::CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, &security,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    DCB dcb{};
    bool keyed = port != INVALID_HANDLE_VALUE && platform::GetCommState(port, &dcb);
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    keyed = keyed && platform::SetCommState(port, &dcb);
    const char status = keyed ? 'y' : 'n';
    (void)!::write(readyPipe[1], &status, 1);
    char ignored;
    while (::read(releasePipe[0], &ignored, 1) > 0) {
    }
    if (port != INVALID_HANDLE_VALUE) platform::CloseHandle(port);
    ::_exit(0);
  }
  ::close(readyPipe[1]);
  ::close(releasePipe[0]);
  *ready = readyPipe[0];
  *release = releasePipe[1];
  return child;
}

enum class HolderEnd { ClosesThePort, IsKilled };

class HeldPortTest : public SerialChannelTest, public ::testing::WithParamInterface<HolderEnd> {};

TEST_P(HeldPortTest, OpenFailsWith69WhileAnotherProcessHoldsThePortAndSucceedsAfterIt) {
  requireSimulator();
  int ready = -1, release = -1;
  const pid_t holder = startHolder(kPortName, &ready, &release);
  ASSERT_GT(holder, 0);
  char status = 0;
  ASSERT_EQ(::read(ready, &status, 1), 1);
  ASSERT_EQ(status, 'y') << "the holder could not open and key the port";
  ASSERT_EQ(modemsim::lines(slavePath_), kBothHigh);

  EXPECT_EQ(openPort(), 69);
  setLineSetting(kChannel, SETTING_DTR_HANDSHAKE, 0);
  EXPECT_EQ(takeErrorStatus(), 52) << "the failed open left no channel";
  EXPECT_EQ(modemsim::lines(slavePath_), kBothHigh) << "the failed open touched the holder's lines";
  for (const modemsim::Event& event : modemsim::events(slavePath_))
    EXPECT_NE(event.pid, ::getpid()) << "this process opened the held port: " << event.cause;

  if (GetParam() == HolderEnd::IsKilled) ::kill(holder, SIGKILL);
  ::close(release);
  int waitStatus = 0;
  ASSERT_EQ(::waitpid(holder, &waitStatus, 0), holder);
  ::close(ready);

  EXPECT_EQ(openPort(), 0);
}

INSTANTIATE_TEST_SUITE_P(HolderEnds, HeldPortTest,
                         ::testing::Values(HolderEnd::ClosesThePort, HolderEnd::IsKilled),
                         [](const auto& info) {
                           return info.param == HolderEnd::IsKilled ? std::string("HolderKilled")
                                                                    : std::string("HolderCloses");
                         });

// ---- Names that are not a usable port --------------------------------------------------

struct NameCase {
  const char* name;
  int error;
};

class OddNameTest : public SerialPortFixture, public ::testing::WithParamInterface<NameCase> {};

// None of these reaches COM7's device or any other, and none leaves a descriptor open.
TEST_P(OddNameTest, OpenFailsAndLeavesNothingOpen) {
  const std::size_t before = openDescriptorCount();
  EXPECT_EQ(openPort(GetParam().name), GetParam().error);
  EXPECT_EQ(openDescriptorCount(), before);
  EXPECT_TRUE(descriptorsOpenOn(slavePath_).empty());
  setLineSetting(kChannel, SETTING_DTR_HANDSHAKE, 0);
  EXPECT_EQ(takeErrorStatus(), 52);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OddNameTest,
    ::testing::Values(NameCase{"", 64}, NameCase{"*", 64}, NameCase{"COM7?", 64},
                      NameCase{"COM*", 64}, NameCase{"COM", 69}, NameCase{"COM 7", 69},
                      NameCase{" COM7", 69}, NameCase{"COM7 ", 69}, NameCase{"COM07", 69},
                      NameCase{"COM0", 69}, NameCase{"COM257", 69}, NameCase{"COM-7", 69},
                      NameCase{"COM+7", 69}, NameCase{"com7", 69}, NameCase{"COM7\t", 69},
                      NameCase{"COM4294967303", 69}, NameCase{"COM7/", 69},
                      NameCase{"../COM7", 69}, NameCase{"COM\xC3\xA9", 69}),
    [](const auto& info) { return caseName(info.index, info.param.name); });

// Names that are not exactly COMn, each planted in the current directory (where other
// programs write TX.txt) as a link to a working port: none of them is opened as a path.
class PlantedNameTest : public SerialPortFixture,
                        public ::testing::WithParamInterface<const char*> {};

TEST_P(PlantedNameTest, IsRefusedAndThePlantedPortIsNeverOpened) {
  requireSimulator();
  fs::create_symlink(slavePath_, GetParam());
  EXPECT_EQ(openPort(GetParam()), 69);
  EXPECT_TRUE(descriptorsOpenOn(slavePath_).empty());
  EXPECT_TRUE(modemsim::events(slavePath_).empty()) << "the planted port was opened";
}

INSTANTIATE_TEST_SUITE_P(Names, PlantedNameTest,
                         ::testing::Values("COM07", "COM7 ", " COM7", "COM1234", "com7", "COMx",
                                           "COM7\t", "ttyUSB0", "\\\\.\\COM07",
                                           "\\\\.\\com7", "\\\\.\\COM7 ", "\\\\.\\"),
                         [](const auto& info) { return caseName(info.index, info.param); });

TEST_F(SerialPortFixture, PathsToAPortAreRefusedAsNames) {
  requireSimulator();
  fs::create_symlink(slavePath_, "port");
  for (const std::string& path : {slavePath_, std::string("./port"), (fs::current_path() / "port").string()}) {
    EXPECT_EQ(openPort(path), 69) << path;
    EXPECT_TRUE(descriptorsOpenOn(slavePath_).empty()) << path;
  }
  EXPECT_TRUE(modemsim::events(slavePath_).empty()) << "a path opened the port";
}

// Win32's device namespace: "\\.\COM7" is the same port as "COM7".
TEST_F(SerialPortFixture, DeviceNamespaceFormOpensTheSamePort) {
  EXPECT_EQ(openPort("\\\\.\\COM7"), 0);
  EXPECT_EQ(descriptorsOpenOn(slavePath_).size(), 1u);
}

TEST_F(SerialPortFixture, MappingThatPointsNowhereFailsWith69AndNeverFallsThrough) {
  mapPort("COM1", scratch() / "unplugged-adapter");
  const std::size_t before = openDescriptorCount();
  EXPECT_EQ(openPort("COM1"), 69);
  EXPECT_EQ(openDescriptorCount(), before);
}

TEST_F(SerialPortFixture, UnmappedNumberBeyondEveryPresentDeviceFailsWith69) {
  // COM256 could only open the 256th serial device of this machine.
  std::size_t present = 0;
  for (const auto& entry : fs::directory_iterator("/dev"))
    present += entry.path().filename().string().rfind("tty", 0) == 0;
  ASSERT_LT(present, 256u);
  EXPECT_EQ(openPort("COM256"), 69);
}

// ---- Mappings that reach a disk file or a directory -------------------------------------

enum class DiskTarget { EntryIsAFile, MappedToFile, MappedToDirectory, EntryIsADirectory };

std::string diskTargetName(DiskTarget target) {
  switch (target) {
    case DiskTarget::EntryIsAFile: return "EntryIsAFile";
    case DiskTarget::MappedToFile: return "MappedToFile";
    case DiskTarget::MappedToDirectory: return "MappedToDirectory";
    case DiskTarget::EntryIsADirectory: return "EntryIsADirectory";
  }
  return "Unknown";
}

class DiskTargetTest : public SerialPortFixture, public ::testing::WithParamInterface<DiskTarget> {};

TEST_P(DiskTargetTest, OpenFailsWith69AndTheFileIsNotLeftOpen) {
  std::string name;
  fs::path file;
  switch (GetParam()) {
    case DiskTarget::EntryIsAFile:  // the ports-directory entry itself, not a link
      name = "COM8";
      file = portsDir() / name;
      std::ofstream(file) << "not a port";
      break;
    case DiskTarget::MappedToFile:
      name = "COM8";
      file = scratch() / "file";
      std::ofstream(file) << "not a port";
      mapPort(name, file);
      break;
    case DiskTarget::MappedToDirectory:
      name = "COM9";
      mapPort(name, scratch());
      break;
    case DiskTarget::EntryIsADirectory:
      name = "COM9";
      fs::create_directory(portsDir() / name);
      break;
  }
  const std::size_t before = openDescriptorCount();
  EXPECT_EQ(openPort(name), 69);
  EXPECT_EQ(openDescriptorCount(), before);
  // The file is still usable by whoever owns it: no lock was left on it.
  if (!file.empty()) {
    std::ofstream(file, std::ios::app) << "still writable";
    EXPECT_TRUE(std::ofstream(file, std::ios::app).good());
    const int fd = ::open(file.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << "a lock was left on the file";
    ::close(fd);
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, DiskTargetTest,
                         ::testing::Values(DiskTarget::EntryIsAFile, DiskTarget::MappedToFile,
                                           DiskTarget::MappedToDirectory,
                                           DiskTarget::EntryIsADirectory),
                         [](const auto& info) { return diskTargetName(info.param); });

// ---- The device goes away while open -------------------------------------------------------

TEST_F(SerialChannelTest, VanishedDeviceMakesLineSettingsFailWithADeviceFaultAndStaysClosable) {
  ASSERT_EQ(openPort(), 0);
  closeMaster();  // the adapter is unplugged: the port hangs up
  for (int tick = 0; tick < 3; ++tick) {
    setLineSetting(kChannel, SETTING_DTR_HANDSHAKE, 1);
    EXPECT_EQ(takeErrorStatus(), 72);
    setLineSetting(kChannel, SETTING_RTS_CONTROL, 1);
    EXPECT_EQ(takeErrorStatus(), 72);
  }
  closeSerialChannel(kChannel);
  EXPECT_EQ(takeErrorStatus(), 0);
  EXPECT_TRUE(descriptorsOpenOn(slavePath_).empty());
  // The kernel gives a freed pseudo-terminal number to the next one any process opens
  // (another test running alongside): then the mapping leads to that live terminal,
  // which says nothing about this one.
  if (!fs::exists(slavePath_))
    EXPECT_EQ(openPort(), 69) << "the mapping now leads to a device that is gone";
}

TEST_F(SerialChannelTest, RemovingTheMappingDoesNotDisturbAnOpenPort) {
  requireSimulator();
  ASSERT_EQ(openPort(), 0);
  fs::remove(portsDir() / kPortName);
  setBoth(1);
  EXPECT_EQ(takeErrorStatus(), 0);
  EXPECT_EQ(modemsim::lines(slavePath_), kBothHigh);
}

}  // namespace
