// The Linux layer's handle table, its errno translation, and how a port name finds
// its device: odd handles refused with ERROR_INVALID_HANDLE, no errno that could end
// the program, and the device search over a made-up /dev and /sys.
#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/linux/kernel32/errors.h"
#include "platform/linux/kernel32/handles.h"
#include "platform/linux/kernel32/port_names.h"
#include "serial/call_platform.h"
#include "serial_fixture.h"

namespace {

constexpr DWORD kInvalidHandle = 6;

// ---- Handles ------------------------------------------------------------------------------

class HandleTest : public SerialPortFixture {
 protected:
  HANDLE openDevice() {
    return platform::CreateFileA(kPortName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  HANDLE openSearch() {
    std::ofstream("TX.txt") << "";
    WIN32_FIND_DATAA found;
    return platform::FindFirstFileA("TX.txt", &found);
  }
};

// Every call that takes a device refuses what is not an open device, and the reverse.
TEST_F(HandleTest, EachCallRefusesHandlesOfTheWrongKindOrNoLongerOpen) {
  const HANDLE closedDevice = openDevice();
  ASSERT_NE(closedDevice, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(platform::CloseHandle(closedDevice));
  const HANDLE closedSearch = openSearch();
  ASSERT_NE(closedSearch, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(platform::FindClose(closedSearch));
  const HANDLE device = openDevice();
  const HANDLE search = openSearch();
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);

  const HANDLE notDevices[] = {nullptr, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(0x1234),
                               closedDevice, search};
  for (HANDLE h : notDevices) {
    DCB dcb{};
    platform::SetLastError(0);
    EXPECT_EQ(platform::GetFileType(h), FILE_TYPE_UNKNOWN);
    EXPECT_EQ(platform::GetLastError(), kInvalidHandle) << h;
    EXPECT_FALSE(platform::GetCommState(h, &dcb));
    EXPECT_EQ(platform::GetLastError(), kInvalidHandle) << h;
    EXPECT_FALSE(platform::SetCommState(h, &dcb));
    EXPECT_EQ(platform::GetLastError(), kInvalidHandle) << h;
    EXPECT_FALSE(platform::CloseHandle(h));
    EXPECT_EQ(platform::GetLastError(), kInvalidHandle) << h;
  }
  const HANDLE notSearches[] = {nullptr, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(0x1234),
                                closedSearch, device};
  for (HANDLE h : notSearches) {
    WIN32_FIND_DATAA found;
    EXPECT_FALSE(platform::FindNextFileA(h, &found));
    EXPECT_EQ(platform::GetLastError(), kInvalidHandle) << h;
    EXPECT_FALSE(platform::FindClose(h));
    EXPECT_EQ(platform::GetLastError(), kInvalidHandle) << h;
  }

  EXPECT_EQ(platform::GetFileType(device), FILE_TYPE_CHAR) << "the refusals left the device alone";
  EXPECT_TRUE(platform::CloseHandle(device));
  EXPECT_TRUE(platform::FindClose(search));
}

TEST_F(HandleTest, HandleWithoutInheritanceIsClosedOnExec) {
  const HANDLE device = openDevice();  // no security attributes: not inheritable
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  const std::vector<int> fds = descriptorsOpenOn(slavePath_);
  ASSERT_EQ(fds.size(), 1u);
  EXPECT_TRUE(::fcntl(fds[0], F_GETFD) & FD_CLOEXEC);
  platform::CloseHandle(device);
}

TEST(ErrorModeTest, SetErrorModeReturnsTheModeItReplaces) {
  const UINT original = platform::SetErrorMode(0x8001);
  EXPECT_EQ(platform::SetErrorMode(0x0001), 0x8001u);
  EXPECT_EQ(platform::SetErrorMode(original), 0x0001u);
}

// ---- errno to last-error codes ------------------------------------------------------------

// Codes 7, 9 and 10 end the program at once; no Linux failure may produce them.
TEST(ErrnoTranslationTest, NoErrnoYieldsZeroOrAFatalCode) {
  for (int error = 1; error < 256; ++error) {
    for (DWORD code : {posix::win32ErrorFromErrno(error), posix::win32ErrorFromModemErrno(error)}) {
      EXPECT_NE(code, 0u) << "errno " << error;
      EXPECT_LT(mapPlatformError(code), kFirstFatalError) << "errno " << error;
    }
  }
}

struct ErrnoCase {
  int error;
  bool modem;
  int number;  // the program's error number after mapPlatformError
};

class ErrnoCategoryTest : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(ErrnoCategoryTest, LandsInTheProgramsCategory) {
  const ErrnoCase& c = GetParam();
  const DWORD code = c.modem ? posix::win32ErrorFromModemErrno(c.error)
                             : posix::win32ErrorFromErrno(c.error);
  EXPECT_EQ(mapPlatformError(code), c.number) << "errno " << c.error << " gave code " << code;
}

INSTANTIATE_TEST_SUITE_P(
    Categories, ErrnoCategoryTest,
    ::testing::Values(ErrnoCase{ENOENT, false, 53}, ErrnoCase{ENOTDIR, false, 76},
                      ErrnoCase{EACCES, false, 70}, ErrnoCase{EPERM, false, 70},
                      ErrnoCase{EBUSY, false, 70}, ErrnoCase{EWOULDBLOCK, false, 70},
                      ErrnoCase{EBADF, false, 51}, ErrnoCase{EIO, false, 72},
                      ErrnoCase{EIO, true, 72}, ErrnoCase{ENOTTY, true, 75},
                      ErrnoCase{EINVAL, true, 75}, ErrnoCase{ENOMEM, false, 7},
                      ErrnoCase{EMFILE, false, 67}, ErrnoCase{ENOSPC, false, 61}),
    [](const auto& info) {
      return caseName(info.index, std::string(strerrorname_np(info.param.error)) +
                                      (info.param.modem ? "_modem" : ""));
    });

// ---- Port names ---------------------------------------------------------------------------

struct ComNameCase {
  const char* name;
  int number;
};

class ComNameTest : public ::testing::TestWithParam<ComNameCase> {};

TEST_P(ComNameTest, OnlyThePlainFormCountsAsAPortNumber) {
  EXPECT_EQ(posix::comPortNumber(GetParam().name), GetParam().number) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, ComNameTest,
    ::testing::Values(ComNameCase{"COM1", 1}, ComNameCase{"COM256", 256}, ComNameCase{"COM10", 10},
                      ComNameCase{"COM257", 0}, ComNameCase{"COM0", 0}, ComNameCase{"COM01", 0},
                      ComNameCase{"COM", 0}, ComNameCase{"COM 1", 0}, ComNameCase{"COM1 ", 0},
                      ComNameCase{"com1", 0}, ComNameCase{"COM+1", 0}, ComNameCase{"COM-1", 0},
                      ComNameCase{"COM1x", 0}, ComNameCase{"XCOM1", 0},
                      ComNameCase{"COM99999999999999999999", 0},
                      // The device-namespace spelling counts exactly as the plain one.
                      ComNameCase{"\\\\.\\COM1", 1}, ComNameCase{"\\\\.\\COM12", 12},
                      ComNameCase{"\\\\.\\COM256", 256}, ComNameCase{"\\\\.\\COM257", 0},
                      ComNameCase{"\\\\.\\COM0", 0}, ComNameCase{"\\\\.\\COM01", 0},
                      ComNameCase{"\\\\.\\COM", 0}, ComNameCase{"\\\\.\\com1", 0},
                      ComNameCase{"\\\\.\\COM 1", 0}, ComNameCase{"\\\\.\\COM1x", 0},
                      ComNameCase{"\\\\?\\COM1", 0}, ComNameCase{"\\.\\COM1", 0},
                      ComNameCase{"\\\\.\\\\\\.\\COM1", 0}),
    [](const auto& info) { return caseName(info.index, info.param.name); });

// A made-up /dev and /sys/class/tty, so the device search can be tried on any machine.
class DeviceSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/fileptt-devices-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    roots_.dev = root_ / "dev";
    roots_.sysClassTty = root_ / "sys";
    roots_.procConsoles = root_ / "consoles";
    fs::create_directories(roots_.dev);
    fs::create_directories(roots_.sysClassTty);
  }
  void TearDown() override { fs::remove_all(root_); }

  void addNode(const std::string& name) { std::ofstream(fs::path(roots_.dev) / name); }
  // A ttyS port with a driver; `uartType` 0 is what the 8250 driver reports for a port
  // it registered but found no UART behind.
  void addDriverPort(const std::string& name, int uartType) {
    addNode(name);
    fs::create_directories(fs::path(roots_.sysClassTty) / name / "device");
    std::ofstream(fs::path(roots_.sysClassTty) / name / "type") << uartType << "\n";
  }

  fs::path root_;
  posix::DeviceRoots roots_;
};

TEST_F(DeviceSearchTest, UsbThenAcmThenDriverBackedUartsEachInNumericOrder) {
  addNode("ttyUSB10");
  addNode("ttyUSB2");
  addNode("ttyACM0");
  addNode("ttyUSB");      // no number
  addNode("ttyS1");       // no driver behind it
  addNode("ttySAC0");     // another driver's naming
  addNode("ttyS10");      // listed in /sys without a device
  fs::create_directories(fs::path(roots_.sysClassTty) / "ttyS10");
  addDriverPort("ttyS3", 4);
  addDriverPort("ttyS0", 4);
  addDriverPort("ttyS2", 0);  // phantom
  const std::string dev = roots_.dev;
  EXPECT_EQ(posix::presentSerialDevices(roots_),
            (std::vector<std::string>{dev + "/ttyUSB2", dev + "/ttyUSB10", dev + "/ttyACM0",
                                      dev + "/ttyS0", dev + "/ttyS3"}));
}

// A serial console (servers, virtual machines, boards) is never counted: with it, COM1
// would be the console. Either list is enough to name it.
TEST_F(DeviceSearchTest, SystemConsolesAreNeverCounted) {
  addNode("ttyUSB0");
  addNode("ttyUSB1");
  addDriverPort("ttyS0", 4);
  addDriverPort("ttyS1", 4);
  addDriverPort("ttyS2", 4);
  fs::create_directories(fs::path(roots_.sysClassTty) / "console");
  std::ofstream(fs::path(roots_.sysClassTty) / "console" / "active") << "tty0 ttyS0\n";
  std::ofstream(roots_.procConsoles) << "ttyS2                -W- (E p a)    4:66\n"
                                        "ttyUSB1              -W- (E p  )  188:1\n"
                                        "tty0                 -WU (E  p )    4:1\n";
  const std::string dev = roots_.dev;
  EXPECT_EQ(posix::presentSerialDevices(roots_),
            (std::vector<std::string>{dev + "/ttyUSB0", dev + "/ttyS1"}));
  EXPECT_EQ(posix::resolveDeviceName("COM2", root_ / "none", roots_).path, dev + "/ttyS1");
  EXPECT_EQ(posix::resolveDeviceName("COM3", root_ / "none", roots_).error, 2u);
}

TEST_F(DeviceSearchTest, MappingWinsEvenWhenItPointsNowhere) {
  addNode("ttyUSB0");
  const fs::path ports = root_ / "ports";
  fs::create_directories(ports);
  fs::create_symlink(root_ / "gone", ports / "COM1");

  const posix::ResolvedName mapped = posix::resolveDeviceName("COM1", ports, roots_);
  EXPECT_EQ(mapped.error, 0u);
  EXPECT_EQ(mapped.path, (ports / "COM1").string());

  const posix::ResolvedName searched = posix::resolveDeviceName("COM1", root_ / "none", roots_);
  EXPECT_EQ(searched.path, fs::path(roots_.dev) / "ttyUSB0");

  const posix::ResolvedName beyond = posix::resolveDeviceName("COM2", ports, roots_);
  EXPECT_EQ(beyond.error, 2u);

  const posix::ResolvedName devicePath = posix::resolveDeviceName("\\\\.\\COM1", ports, roots_);
  EXPECT_EQ(devicePath.error, 0u);
  EXPECT_EQ(devicePath.path, (ports / "COM1").string()) << "\\\\.\\COM1 is COM1";
}

// Every other name is refused as not found: it is never a path to open.
TEST_F(DeviceSearchTest, NameThatIsNotExactlyAPortIsNotFound) {
  addNode("ttyUSB0");
  const fs::path ports = root_ / "ports";
  fs::create_directories(ports);
  for (const char* name : {"COM01", "COM1 ", "COM1234", "com1", "COM", "ttyUSB0", "/dev/ttyUSB0",
                           "./COM1", "\\\\.\\COM01", "\\\\?\\COM1", "\\\\.\\", ""}) {
    std::ofstream(ports / (std::string(name).find('/') == std::string::npos && name[0] ? name : "x"));
    const posix::ResolvedName resolved = posix::resolveDeviceName(name, ports, roots_);
    EXPECT_EQ(resolved.error, 2u) << name;
    EXPECT_EQ(resolved.path, "") << name;
  }
}

// The program names every port number in the device namespace; each such name must
// lead where its plain spelling leads, so that no name that opened before changes.
TEST_F(DeviceSearchTest, DeviceNamespaceSpellingLeadsWhereThePlainOneLeads) {
  addNode("ttyUSB0");
  addNode("ttyACM0");
  const fs::path ports = root_ / "ports";
  fs::create_directories(ports);
  fs::create_symlink(roots_.dev + "/ttyACM0", ports / "COM12");
  for (const std::string number : {"1", "2", "3", "12", "0", "01", "300"}) {
    const posix::ResolvedName plain = posix::resolveDeviceName("COM" + number, ports, roots_);
    const posix::ResolvedName spaced =
        posix::resolveDeviceName("\\\\.\\COM" + number, ports, roots_);
    EXPECT_EQ(spaced.error, plain.error) << number;
    EXPECT_EQ(spaced.path, plain.path) << number;
  }
  EXPECT_EQ(posix::resolveDeviceName("\\\\.\\COM12", ports, roots_).path,
            (ports / "COM12").string());
  EXPECT_EQ(posix::resolveDeviceName("\\\\.\\COM2", ports, roots_).path, roots_.dev + "/ttyACM0");
  EXPECT_EQ(posix::resolveDeviceName("\\\\.\\COM3", ports, roots_).error, 2u);
}

TEST(PortsDirectoryTest, FollowsXdgConfigHomeAndIgnoresARelativeOne) {
  const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
  const std::string keepConfig = savedConfig ? savedConfig : "";
  ::setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
  EXPECT_EQ(posix::portsDirectory(), "/somewhere/config/fileptt/ports");
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
  ::setenv("HOME", "/home/operator", 1);
  EXPECT_EQ(posix::portsDirectory(), "/home/operator/.config/fileptt/ports");
  if (savedConfig) ::setenv("XDG_CONFIG_HOME", keepConfig.c_str(), 1);
  else ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
