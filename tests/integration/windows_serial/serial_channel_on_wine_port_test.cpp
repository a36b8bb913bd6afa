// Serial port channels through the real Win32 calls, on a port that the Wine harness
// (scripts/windows/test.sh) maps to a pseudo-terminal: FILEPTT_TEST_COM names it,
// FILEPTT_TEST_PTY is the pseudo-terminal behind it, FILEPTT_TEST_HIGH_COM a second
// name of that port with a number above 9, FILEPTT_UNMAPPED_COM a COM name that Wine
// does not know. With MODEMSIM_DIR set, the modem-line simulator is preloaded
// into Wine and the tests also watch RTS and DTR on the pseudo-terminal.
//
// Wine differences met here:
// - Wine has no DSR/DTR flow control: for DTR_CONTROL_HANDSHAKE it leaves DTR as it was,
//   so setting 9 with value 1 does not raise DTR under Wine (Windows raises it).
// - Wine does not enforce share mode 0 on serial devices: a second CreateFileA of a
//   port that is already open succeeds (Windows fails it with ERROR_ACCESS_DENIED).
// Both are asserted as Wine's behaviour, so that a change in Wine shows here.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/ptt_controller.h"
#include "platform/platform.h"
#include "serial/error_status.h"
#include "serial/serial_port_channel.h"
#include "tests/support/handle_gauge.h"

namespace {

constexpr std::int32_t kReceiveBuffer = 512;
constexpr ChannelNumber kChannel = 1;
constexpr ChannelNumber kOtherChannel = 2;

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool underWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// ---- The modem-line simulator's record of the test port, read through drive Z: --------
struct Lines {
  bool dtr;
  bool rts;
  bool operator==(const Lines&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Lines& lines) {
  return out << "DTR=" << lines.dtr << " RTS=" << lines.rts;
}

std::string windowsPathOf(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::optional<Lines> simulatedLines() {
  const std::string pty = environment("FILEPTT_TEST_PTY");  // "/dev/pts/N"
  const std::string number = pty.substr(pty.find_last_of('/') + 1);
  std::ifstream state(windowsPathOf(environment("MODEMSIM_DIR") + "/pts-" + number + ".state"));
  std::string text;
  if (!std::getline(state, text)) return std::nullopt;
  return Lines{text.find("DTR=1") != std::string::npos, text.find("RTS=1") != std::string::npos};
}

// The simulator writes before the ioctl returns; the deadline is only for safety.
::testing::AssertionResult linesBecome(Lines wanted) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::optional<Lines> seen;
  do {
    seen = simulatedLines();
    if (seen == wanted) return ::testing::AssertionSuccess();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < deadline);
  auto failure = ::testing::AssertionFailure() << "wanted " << wanted << ", simulator shows ";
  if (seen)
    failure << *seen;
  else
    failure << "nothing";
  return failure;
}

// ---- Fixture ---------------------------------------------------------------------------
class WinePort : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = environment("FILEPTT_TEST_COM");
    if (port_.empty()) GTEST_SKIP() << "no test port: run through scripts/windows/test.sh";
  }

  void TearDown() override {
    closeSerialChannel(kChannel);
    closeSerialChannel(kOtherChannel);
  }

  // Opens the test port on `channel` and returns the event's status.
  int open(ChannelNumber channel = kChannel) {
    openSerialChannel(channel, port_, kReceiveBuffer);
    return takeErrorStatus();
  }

  int set(int settingId, int value, ChannelNumber channel = kChannel) {
    setLineSetting(channel, settingId, value);
    return takeErrorStatus();
  }

  bool simulatorPresent() const { return !environment("MODEMSIM_DIR").empty(); }

  std::string port_;
  ErrorStatusScope status_;
};

TEST_F(WinePort, OpenAndCloseOfTheMappedPortSucceed) {
  EXPECT_EQ(open(), 0);
  closeSerialChannel(kChannel);
  EXPECT_EQ(takeErrorStatus(), 0);
  EXPECT_EQ(set(SETTING_RTS_CONTROL, 1), 52) << "the channel is closed after the close";
}

TEST_F(WinePort, BothLineSettingsReadAndWriteTheControlBlock) {
  ASSERT_EQ(open(), 0);
  for (int value : {1, 0, 1, 0}) {
    EXPECT_EQ(set(SETTING_DTR_HANDSHAKE, value), 0) << "DTR value " << value;
    EXPECT_EQ(set(SETTING_RTS_CONTROL, value), 0) << "RTS value " << value;
  }
}

// What the transmitter sees: RTS follows every tick's setting.
TEST_F(WinePort, RtsFollowsItsSettingOnTheDevice) {
  if (!simulatorPresent()) GTEST_SKIP() << "modem-line simulator not built";
  ASSERT_EQ(open(), 0);
  ASSERT_EQ(set(SETTING_DTR_HANDSHAKE, 0), 0);
  ASSERT_EQ(set(SETTING_RTS_CONTROL, 0), 0);
  EXPECT_TRUE(linesBecome({false, false}));

  ASSERT_EQ(set(SETTING_DTR_HANDSHAKE, 1), 0);
  ASSERT_EQ(set(SETTING_RTS_CONTROL, 1), 0);
  // Under Wine DTR stays low in handshake mode; on Windows it would be high.
  EXPECT_TRUE(linesBecome({false, true}));

  ASSERT_EQ(set(SETTING_DTR_HANDSHAKE, 0), 0);
  ASSERT_EQ(set(SETTING_RTS_CONTROL, 0), 0);
  EXPECT_TRUE(linesBecome({false, false}));
}

TEST_F(WinePort, DtrHandshakeLeavesDtrAsItWasUnderWine) {
  if (!simulatorPresent()) GTEST_SKIP() << "modem-line simulator not built";
  ASSERT_TRUE(underWine());
  ASSERT_EQ(open(), 0);
  // The serial driver raises both lines when the device opens; handshake mode keeps
  // the raised DTR, and once dropped it stays low.
  ASSERT_TRUE(linesBecome({true, true}));
  ASSERT_EQ(set(SETTING_DTR_HANDSHAKE, 1), 0);
  EXPECT_TRUE(linesBecome({true, true}));
  ASSERT_EQ(set(SETTING_DTR_HANDSHAKE, 0), 0);
  EXPECT_TRUE(linesBecome({false, true}));
  ASSERT_EQ(set(SETTING_DTR_HANDSHAKE, 1), 0);
  EXPECT_TRUE(linesBecome({false, true}));
}

// Wine clears HUPCL when it writes the control block (it sets the line control on every
// SetCommState), so releasing the device leaves RTS and DTR as they were: a port keyed
// at close stays keyed until the next program drops the lines. Windows' serial driver
// drops them when the last handle closes.
TEST_F(WinePort, ClosingLeavesAKeyedPortKeyedUnderWine) {
  if (!simulatorPresent()) GTEST_SKIP() << "modem-line simulator not built";
  ASSERT_TRUE(underWine());
  ASSERT_EQ(open(), 0);
  ASSERT_EQ(set(SETTING_RTS_CONTROL, 1), 0);
  ASSERT_TRUE(linesBecome({true, true}));
  closeSerialChannel(kChannel);
  EXPECT_EQ(takeErrorStatus(), 0);
  EXPECT_EQ(simulatedLines(), (Lines{true, true}));

  // The next open and the settings the program writes after it unkey the port.
  ASSERT_EQ(open(), 0);
  ASSERT_EQ(set(SETTING_DTR_HANDSHAKE, 0), 0);
  ASSERT_EQ(set(SETTING_RTS_CONTROL, 0), 0);
  EXPECT_TRUE(linesBecome({false, false}));
}

TEST_F(WinePort, SecondOpenOnTheSameChannelFailsWith55AndLeavesItWorking) {
  ASSERT_EQ(open(), 0);
  EXPECT_EQ(open(), 55);
  EXPECT_EQ(set(SETTING_RTS_CONTROL, 1), 0) << "the first open's handle is untouched";
  if (simulatorPresent()) {
    EXPECT_TRUE(linesBecome({true, true}));
  }
}

TEST_F(WinePort, SecondChannelOnAnOpenPortOpensUnderWineOnly) {
  ASSERT_EQ(open(kChannel), 0);
  EXPECT_EQ(open(kOtherChannel), underWine() ? 0 : 69);
}

TEST_F(WinePort, CloseThenReopenWorksAndLeavesNoHandleBehind) {
  ASSERT_EQ(open(), 0);
  closeSerialChannel(kChannel);
  ASSERT_EQ(takeErrorStatus(), 0);
  const DWORD_PTR before = handleGauge();
  for (int round = 0; round < 50; ++round) {
    ASSERT_EQ(open(), 0) << "round " << round;
    ASSERT_EQ(set(SETTING_RTS_CONTROL, round % 2), 0) << "round " << round;
    closeSerialChannel(kChannel);
    ASSERT_EQ(takeErrorStatus(), 0) << "round " << round;
  }
  EXPECT_LE(handleGauge(), before);
}

// ---- The names the program builds ---------------------------------------------------
// Win32 finds only COM1 to COM9 by their plain names; any other plain name is a file in
// the current directory. The program names every port number in the device namespace,
// where COM12 is found too, and where the one-digit ports are the devices they were.
TEST_F(WinePort, PortAboveNineOpensOnlyInTheDeviceNamespace) {
  const std::string high = environment("FILEPTT_TEST_HIGH_COM");
  ASSERT_FALSE(high.empty()) << "the harness maps the test port under a second name";
  const std::string number = high.substr(3);
  openSerialChannel(kChannel, high, kReceiveBuffer);
  EXPECT_EQ(takeErrorStatus(), 69) << "the plain name " << high << " is a file name";

  ASSERT_EQ(portDeviceName(number), "\\\\.\\" + high);
  openSerialChannel(kChannel, portDeviceName(number), kReceiveBuffer);
  ASSERT_EQ(takeErrorStatus(), 0);
  ASSERT_EQ(set(SETTING_DTR_HANDSHAKE, 0), 0);
  ASSERT_EQ(set(SETTING_RTS_CONTROL, 1), 0);
  if (simulatorPresent()) EXPECT_TRUE(linesBecome({false, true})) << "the mapped device";
  ASSERT_EQ(set(SETTING_RTS_CONTROL, 0), 0);
  if (simulatorPresent()) EXPECT_TRUE(linesBecome({false, false}));
}

TEST_F(WinePort, OneDigitPortOpensTheSameDeviceInTheDeviceNamespace) {
  const std::string number = port_.substr(3);
  ASSERT_EQ(portDeviceName(number), "\\\\.\\" + port_);
  openSerialChannel(kChannel, portDeviceName(number), kReceiveBuffer);
  ASSERT_EQ(takeErrorStatus(), 0);
  ASSERT_EQ(set(SETTING_DTR_HANDSHAKE, 0), 0);
  ASSERT_EQ(set(SETTING_RTS_CONTROL, 1), 0);
  if (simulatorPresent()) EXPECT_TRUE(linesBecome({false, true}));
  ASSERT_EQ(set(SETTING_RTS_CONTROL, 0), 0);
  if (simulatorPresent()) EXPECT_TRUE(linesBecome({false, false}));
}

// The device namespace reaches no more than ports: an unknown number, and a number
// whose name leads to a disk file, still fail.
TEST_F(WinePort, NumbersThatNameNoPortStillFailInTheDeviceNamespace) {
  std::vector<std::string> numbers = {environment("FILEPTT_UNMAPPED_COM").substr(3), "0", "07",
                                      std::string(300, '7')};
  const std::string decoy = environment("FILEPTT_DECOY_COM");  // a covered console node
  if (!decoy.empty()) numbers.push_back(decoy.substr(3));
  for (const std::string& number : numbers) {
    const DWORD_PTR before = handleGauge();
    openSerialChannel(kChannel, portDeviceName(number), kReceiveBuffer);
    EXPECT_EQ(takeErrorStatus(), 69) << portDeviceName(number);
    EXPECT_EQ(set(SETTING_RTS_CONTROL, 1), 52);
    EXPECT_LE(handleGauge(), before);
  }
}

// ---- Names that reach no serial port ---------------------------------------------------
TEST_F(WinePort, UnmappedComNumberFailsWith69AndTheChannelStaysClosed) {
  const std::string unmapped = environment("FILEPTT_UNMAPPED_COM");
  ASSERT_FALSE(unmapped.empty());
  openSerialChannel(kChannel, unmapped, kReceiveBuffer);
  EXPECT_EQ(takeErrorStatus(), 69);
  EXPECT_EQ(set(SETTING_RTS_CONTROL, 1), 52);

  // Wine's reason (as Windows'): no such file.
  ::SetLastError(0);
  HANDLE raw = ::CreateFileA(unmapped.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(raw, INVALID_HANDLE_VALUE);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// What an operator's odd port text makes of the name "COM" + text. None of these names
// is a serial device on Windows or in the test prefix.
struct OddName {
  const char* label;
  std::string name;
};

void PrintTo(const OddName& c, std::ostream* out) { *out << c.label; }

class OddPortText : public WinePort, public ::testing::WithParamInterface<OddName> {};

TEST_P(OddPortText, FailsWith69AndOpensNothing) {
  const DWORD_PTR before = handleGauge();
  openSerialChannel(kChannel, GetParam().name, kReceiveBuffer);
  EXPECT_EQ(takeErrorStatus(), 69);
  EXPECT_EQ(set(SETTING_DTR_HANDSHAKE, 1), 52);
  EXPECT_LE(handleGauge(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, OddPortText,
    ::testing::Values(OddName{"EmptyText", "COM"}, OddName{"Zero", "COM0"},
                      OddName{"Negative", "COM-7"}, OddName{"LeadingZero", "COM07"},
                      OddName{"Letters", "COMx"}, OddName{"Huge", "COM4294967303"},
                      OddName{"PathInside", "COM7\\..\\NUL\\x"},
                      OddName{"TooLongIsCut", "COM" + std::string(400, '7')},
                      OddName{"ControlBytes", std::string("COM7\x01\x7f", 6)},
                      OddName{"HighBytes", "COM\xe9\xff"}),
    [](const auto& info) { return std::string(info.param.label); });

// A name that reaches an existing disk file is not a port: 69, and the file is released
// (Wine, like Windows, refuses to delete a file still open without sharing).
TEST_F(WinePort, DiskFileNameFailsWith69AndTheFileIsReleased) {
  char temp[MAX_PATH];
  ASSERT_NE(::GetTempPathA(MAX_PATH, temp), 0u);
  const std::string path =
      std::string(temp) + "fileptt-disk-" + std::to_string(::GetCurrentProcessId()) + ".txt";
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ::CloseHandle(file);

  openSerialChannel(kChannel, path, kReceiveBuffer);
  EXPECT_EQ(takeErrorStatus(), 69);
  EXPECT_EQ(set(SETTING_RTS_CONTROL, 1), 52);
  EXPECT_TRUE(::DeleteFileA(path.c_str())) << "still open: " << ::GetLastError();
}

// The harness covers every serial device node with an empty file. The COM name Wine
// gives the system console (/dev/ttyS0) must reach that file: a disk file, refused.
TEST_F(WinePort, ConsoleComNameReachesOnlyTheHarnesssEmptyFile) {
  const std::string console = environment("FILEPTT_DECOY_COM");
  if (!underWine()) GTEST_SKIP() << "only the Wine harness covers the console";
  if (console.empty()) GTEST_SKIP() << "Wine mapped no COM name to a covered device";
  HANDLE raw = ::CreateFileA(console.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE) << console << ": " << ::GetLastError();
  EXPECT_EQ(::GetFileType(raw), FILE_TYPE_DISK);
  LARGE_INTEGER size{};
  EXPECT_TRUE(::GetFileSizeEx(raw, &size));
  EXPECT_EQ(size.QuadPart, 0);
  ::CloseHandle(raw);

  openSerialChannel(kChannel, console, kReceiveBuffer);
  EXPECT_EQ(takeErrorStatus(), 69);
}

}  // namespace
