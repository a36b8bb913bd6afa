// GetCommState and SetCommState of the Linux layer on a pseudo-terminal: the control
// block read from termios and the lines, written back only where it changed, refused
// whole when a field has no Linux form.
#include <cstring>

#include "serial_fixture.h"

namespace {

using modemsim::Lines;

class CommStateTest : public SerialPortFixture {
 protected:
  void SetUp() override {
    SerialPortFixture::SetUp();
    if (HasFatalFailure()) return;
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    port_ = platform::CreateFileA(kPortName, GENERIC_READ | GENERIC_WRITE, 0, &security,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE);
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) platform::CloseHandle(port_);
    SerialPortFixture::TearDown();
  }

  DCB read() {
    DCB dcb{};
    EXPECT_TRUE(platform::GetCommState(port_, &dcb));
    return dcb;
  }

  HANDLE port_ = INVALID_HANDLE_VALUE;
};

bool sameSettings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
         cfgetospeed(&a) == cfgetospeed(&b);
}

// ---- Reading -------------------------------------------------------------------------------

// A pseudo-terminal keeps only some of termios (it forces eight bits and no parity);
// the full framing table is tried on termios records in dcb_termios_test.cpp.
TEST_F(CommStateTest, ControlBlockReadsTheSpeedAndStopBitsOfThePort) {
  termios settings = slaveSettings();
  settings.c_cflag |= CSTOPB;
  cfsetispeed(&settings, B9600);
  cfsetospeed(&settings, B9600);
  setSlaveSettings(settings);

  const DCB dcb = read();
  EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
  EXPECT_EQ(dcb.fBinary, 1u);
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.StopBits, 2);
  EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_DISABLE) << "the open left DTR low";
  EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_DISABLE) << "the open left RTS low";
}

// The layer keeps the device at B0 (no line rises on a later open); the block reports
// the speed the device had, and reading and writing it back keeps B0.
TEST_F(CommStateTest, DeviceAtB0ReportsTheSpeedItHadAndStaysAtB0) {
  ASSERT_TRUE(platform::CloseHandle(port_));
  termios settings = slaveSettings();
  cfsetispeed(&settings, B19200);
  cfsetospeed(&settings, B19200);
  setSlaveSettings(settings);
  SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
  port_ = platform::CreateFileA(kPortName, GENERIC_READ | GENERIC_WRITE, 0, &security,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(port_, INVALID_HANDLE_VALUE);
  settings = slaveSettings();
  EXPECT_EQ(cfgetospeed(&settings), B0);

  DCB dcb = read();
  EXPECT_EQ(dcb.BaudRate, 19200u);
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  ASSERT_TRUE(platform::SetCommState(port_, &dcb));
  settings = slaveSettings();
  EXPECT_EQ(cfgetospeed(&settings), B0);
  EXPECT_EQ(read().BaudRate, 19200u);
}

TEST_F(CommStateTest, ControlBlockCarriesSoftwareFlowControlAndItsCharacters) {
  termios settings = slaveSettings();
  settings.c_iflag |= IXON | IXOFF;
  settings.c_cflag |= CRTSCTS;
  settings.c_cc[VSTART] = 0x11;
  settings.c_cc[VSTOP] = 0x13;
  setSlaveSettings(settings);
  const DCB dcb = read();
  EXPECT_EQ(dcb.fOutX, 1u);
  EXPECT_EQ(dcb.fInX, 1u);
  EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
  EXPECT_EQ(dcb.XonChar, 0x11);
  EXPECT_EQ(dcb.XoffChar, 0x13);
}

// ---- Writing ---------------------------------------------------------------------------------

// The controller writes back every block it reads, twice a tick.
TEST_F(CommStateTest, BlockWrittenBackAsReadNeverCallsTcsetattr) {
  requireSimulator();
  const termios before = slaveSettings();
  const std::size_t eventsBefore = modemsim::events(slavePath_).size();
  for (int i = 0; i < 5; ++i) {
    DCB dcb = read();
    ASSERT_TRUE(platform::SetCommState(port_, &dcb));
  }
  EXPECT_TRUE(sameSettings(slaveSettings(), before));
  const std::vector<modemsim::Event> events = modemsim::events(slavePath_);
  for (std::size_t i = eventsBefore; i < events.size(); ++i)
    EXPECT_NE(events[i].cause, "termios") << "event " << i;
}

struct ChangeCase {
  const char* name;
  void (*change)(DCB&);
  bool (*holds)(const termios&);
};

class ChangeTest : public CommStateTest, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(ChangeTest, ChangedFieldReachesTheTerminalAndReadsBack) {
  DCB dcb = read();
  GetParam().change(dcb);
  ASSERT_TRUE(platform::SetCommState(port_, &dcb)) << "last error " << platform::GetLastError();
  EXPECT_TRUE(GetParam().holds(slaveSettings()));
  DCB again = read();
  EXPECT_EQ(std::memcmp(&again, &dcb, sizeof dcb), 0) << "the block does not read back as written";
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ChangeTest,
    ::testing::Values(
        ChangeCase{"BaudRate", [](DCB& d) { d.BaudRate = 19200; },
                   [](const termios& t) { return cfgetospeed(&t) == B19200; }},
        ChangeCase{"InputParityCheck", [](DCB& d) { d.fParity = 1; },
                   [](const termios& t) { return (t.c_iflag & INPCK) != 0; }},
        ChangeCase{"TwoStopBits", [](DCB& d) { d.StopBits = 2; },
                   [](const termios& t) { return (t.c_cflag & CSTOPB) != 0; }},
        ChangeCase{"CtsFlow", [](DCB& d) { d.fOutxCtsFlow = 1; },
                   [](const termios& t) { return (t.c_cflag & CRTSCTS) != 0; }},
        ChangeCase{"XonChar", [](DCB& d) { d.XonChar = 'A'; },
                   [](const termios& t) { return t.c_cc[VSTART] == 'A'; }},
        // Fields with no termios form are kept by the handle and read back.
        ChangeCase{"KeptFields",
                   [](DCB& d) {
                     d.fAbortOnError = 1;
                     d.fNull = 1;
                     d.XonLim = 100;
                     d.XoffLim = 200;
                     d.EvtChar = 'x';
                     d.EofChar = 0x1A;
                   },
                   [](const termios&) { return true; }}),
    [](const auto& info) { return std::string(info.param.name); });

struct InvalidCase {
  const char* name;
  void (*change)(DCB&);
};

class InvalidBlockTest : public CommStateTest, public ::testing::WithParamInterface<InvalidCase> {};

TEST_P(InvalidBlockTest, IsRefusedWith87AndChangesNeitherTerminalNorLines) {
  requireSimulator();
  const termios before = slaveSettings();
  DCB dcb = read();
  dcb.fDtrControl = DTR_CONTROL_ENABLE;  // would raise DTR if the block were applied
  GetParam().change(dcb);
  EXPECT_FALSE(platform::SetCommState(port_, &dcb));
  EXPECT_EQ(platform::GetLastError(), 87u);
  EXPECT_TRUE(sameSettings(slaveSettings(), before));
  EXPECT_EQ(modemsim::lines(slavePath_), modemsim::kBothLow);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, InvalidBlockTest,
    ::testing::Values(InvalidCase{"NineDataBits", [](DCB& d) { d.ByteSize = 9; }},
                      InvalidCase{"UnnamedBaudRate", [](DCB& d) { d.BaudRate = 12345; }},
                      InvalidCase{"ZeroBaudRate", [](DCB& d) { d.BaudRate = 0; }},
                      InvalidCase{"ParityFive", [](DCB& d) { d.Parity = 5; }},
                      InvalidCase{"OneAndAHalfStopWithEightBits", [](DCB& d) { d.StopBits = 1; }},
                      InvalidCase{"StopBitsThree", [](DCB& d) { d.StopBits = 3; }},
                      InvalidCase{"DtrControlThree", [](DCB& d) { d.fDtrControl = 3; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommStateTest, NullControlBlockIsRefusedWith87) {
  EXPECT_FALSE(platform::GetCommState(port_, nullptr));
  EXPECT_EQ(platform::GetLastError(), 87u);
  EXPECT_FALSE(platform::SetCommState(port_, nullptr));
  EXPECT_EQ(platform::GetLastError(), 87u);
}

// ---- The two modes this system uses, and the ones it does not --------------------------------

struct ModeCase {
  DWORD dtrControl, rtsControl;
  Lines lines;
};

class LineModeTest : public CommStateTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(LineModeTest, ModesDriveTheLinesAndReadBackUnchanged) {
  requireSimulator();
  DCB dcb = read();
  dcb.fDtrControl = GetParam().dtrControl;
  dcb.fRtsControl = GetParam().rtsControl;
  ASSERT_TRUE(platform::SetCommState(port_, &dcb));
  EXPECT_EQ(modemsim::lines(slavePath_), GetParam().lines);
  const DCB again = read();
  EXPECT_EQ(again.fDtrControl, GetParam().dtrControl);
  EXPECT_EQ(again.fRtsControl, GetParam().rtsControl);
}

// DTR handshake and RTS handshake hold their line asserted (nothing here reads the
// port, so there is no receive queue to throttle); RTS toggle holds RTS low, as
// nothing is ever sent.
INSTANTIATE_TEST_SUITE_P(
    Modes, LineModeTest,
    ::testing::Values(ModeCase{0, 0, {false, false}}, ModeCase{1, 0, {true, false}},
                      ModeCase{2, 0, {true, false}}, ModeCase{0, 1, {false, true}},
                      ModeCase{0, 2, {false, true}}, ModeCase{0, 3, {false, false}},
                      ModeCase{2, 1, {true, true}}),
    [](const auto& info) {
      return "Dtr" + std::to_string(info.param.dtrControl) + "Rts" +
             std::to_string(info.param.rtsControl);
    });

TEST_F(CommStateTest, HungUpDeviceFailsBothCallsWithAGeneralFailure) {
  closeMaster();
  DCB dcb{};
  EXPECT_FALSE(platform::GetCommState(port_, &dcb));
  EXPECT_EQ(platform::GetLastError(), 31u);
  EXPECT_FALSE(platform::SetCommState(port_, &dcb));
  EXPECT_EQ(platform::GetLastError(), 31u);
}

}  // namespace
