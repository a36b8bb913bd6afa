// The serial port channel against the recording fake: reservation, the open's checks
// and their order, the exact CreateFileA request, read-modify-write of the control block,
// and the close.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/fake/fake_kernel32.h"
#include "serial/serial_port_channel.h"

namespace {

// The channel table outlives a test: close every number, then start the fake afresh.
void closeEveryChannel() {
  fake::reset();
  ErrorStatusScope discarded;
  for (int n = 0; n <= 32767; ++n) closeSerialChannel(static_cast<ChannelNumber>(n));
  fake::reset();
}

// Drives the reservation counter by calls until it has handed out 32767, so that the
// next reservation wraps to 1.
void reserveUpTo32767() {
  for (int calls = 0; calls <= 32767; ++calls)
    if (reserveChannelNumber() == 32767) return;
  FAIL() << "the counter never reached 32767";
}

class SerialChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    closeEveryChannel();
    fake::addDevice("COM1", fake::DeviceKind::SerialPort);
    fake::addDevice("COM2", fake::DeviceKind::SerialPort);
    fake::addDevice("COM3", fake::DeviceKind::SerialPort);
    fake::addDevice("COM5", fake::DeviceKind::HeldByOtherProgram);
    fake::addDevice("data.bin", fake::DeviceKind::DiskFile);
  }
  void TearDown() override { closeEveryChannel(); }

  // Opens `device` on `channel`, expecting success.
  void openOk(ChannelNumber channel, const std::string& device) {
    openSerialChannel(channel, device, 512);
    ASSERT_EQ(takeErrorStatus(), 0) << "opening " << device;
    fake::clearCalls();
  }

  // 52 exactly when the channel is not open; makes no platform call in that case.
  bool channelIsOpen(ChannelNumber channel) {
    ErrorStatusScope probe;
    setLineSetting(channel, SETTING_RTS_CONTROL, 0);
    return takeErrorStatus() != 52;
  }

  ErrorStatusScope status;
};

// ---- reserveChannelNumber ------------------------------------------------------------------

TEST(ReservationTest, FirstReservationsOfTheProcessAre1Then2EvenIfNeitherIsOpened) {
  // A fresh process: the child runs this test alone from the start.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const int first = reserveChannelNumber();
        const int second = reserveChannelNumber();
        std::exit(first == 1 && second == 2 ? 0 : 100 + first);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(SerialChannelTest, ReservationRisesThroughEveryNumberAndWrapsAfter32767To1) {
  reserveUpTo32767();
  for (int expected = 1; expected <= 32767; ++expected)
    ASSERT_EQ(reserveChannelNumber(), expected);
  EXPECT_EQ(reserveChannelNumber(), 1);
}

TEST_F(SerialChannelTest, ReservationSkipsOpenNumbersAndDoesNotReuseFreedOnes) {
  reserveUpTo32767();
  openOk(1, "COM1");
  openOk(3, "COM2");
  EXPECT_EQ(reserveChannelNumber(), 2);
  EXPECT_EQ(reserveChannelNumber(), 4);
  closeSerialChannel(1);
  fake::clearCalls();
  EXPECT_EQ(reserveChannelNumber(), 5);
  EXPECT_TRUE(fake::calls().empty()) << "reserving makes no platform call";
}

TEST_F(SerialChannelTest, WrapSkipsAnOpenChannel1) {
  openOk(1, "COM1");
  reserveUpTo32767();
  EXPECT_EQ(reserveChannelNumber(), 2);
}

// ---- openSerialChannel: the checks before any platform call ---------------------------------

struct RejectedOpen {
  const char* name;
  std::string device;
  int channel;
  int bufferLength;
  int expected;
};

void PrintTo(const RejectedOpen& c, std::ostream* out) { *out << c.name; }

class RejectedOpenTest : public SerialChannelTest,
                         public ::testing::WithParamInterface<RejectedOpen> {};

TEST_P(RejectedOpenTest, FailsWithItsNumberBeforeAnyPlatformCall) {
  const RejectedOpen& c = GetParam();
  openSerialChannel(static_cast<ChannelNumber>(c.channel), c.device, c.bufferLength);
  EXPECT_EQ(takeErrorStatus(), c.expected);
  EXPECT_TRUE(fake::calls().empty()) << fake::calls().front().name;
  EXPECT_EQ(fake::openHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RejectedOpenTest,
    ::testing::Values(
        RejectedOpen{"EmptyName", "", 1, 512, 64},
        RejectedOpen{"Asterisk", "COM*", 1, 512, 64},
        RejectedOpen{"QuestionMark", "COM?", 1, 512, 64},
        RejectedOpen{"WildcardInside", "C*M1", 1, 512, 64},
        RejectedOpen{"WildcardAtByte255", std::string(254, 'A') + "?", 1, 512, 64},
        RejectedOpen{"NegativeChannel", "COM1", -1, 512, 52},
        RejectedOpen{"LowestChannel", "COM1", -32768, 512, 52},
        RejectedOpen{"ZeroBuffer", "COM1", 1, 0, 5},
        RejectedOpen{"NegativeBuffer", "COM1", 1, -512, 5},
        // The order of the checks: name, then channel, then buffer.
        RejectedOpen{"NameBeforeChannel", "", -1, 0, 64},
        RejectedOpen{"WildcardBeforeChannel", "*", -1, 0, 64},
        RejectedOpen{"ChannelBeforeBuffer", "COM1", -1, 0, 52}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialChannelTest, OpenFailsWith55WhenChannelAlreadyOpenLeavingItUntouched) {
  openOk(4, "COM1");
  const HANDLE before = fake::deviceHandle("COM1");

  openSerialChannel(4, "COM2", 512);
  EXPECT_EQ(takeErrorStatus(), 55);
  EXPECT_TRUE(fake::calls().empty());
  EXPECT_FALSE(fake::isDeviceOpen("COM2"));

  setLineSetting(4, SETTING_DTR_HANDSHAKE, 1);
  EXPECT_EQ(takeErrorStatus(), 0);
  EXPECT_EQ(fake::deviceHandle("COM1"), before);
  EXPECT_EQ(fake::deviceDcb("COM1").fDtrControl, DTR_CONTROL_HANDSHAKE);
}

TEST_F(SerialChannelTest, OpensOnTheLowestAndHighestChannelNumbers) {
  openSerialChannel(0, "COM1", 512);
  openSerialChannel(32767, "COM2", 1);
  EXPECT_EQ(takeErrorStatus(), 0);
  EXPECT_TRUE(channelIsOpen(0));
  EXPECT_TRUE(channelIsOpen(32767));
}

// ---- openSerialChannel: the platform's answer ---------------------------------------------------

TEST_F(SerialChannelTest, CreateFileIsAskedForExclusiveReadWriteWithInheritableHandle) {
  openSerialChannel(1, "COM1", 512);
  ASSERT_EQ(fake::createFileCalls().size(), 1u);
  const fake::CreateFileCall& call = fake::createFileCalls()[0];
  EXPECT_EQ(call.name, "COM1");
  EXPECT_EQ(call.access, GENERIC_READ | GENERIC_WRITE);
  EXPECT_EQ(call.shareMode, 0u);
  ASSERT_TRUE(call.hasSecurity);
  EXPECT_EQ(call.securityLength, sizeof(SECURITY_ATTRIBUTES));
  EXPECT_TRUE(call.securityDescriptorNull);
  EXPECT_EQ(call.inheritHandle, TRUE);
  EXPECT_EQ(call.creation, static_cast<DWORD>(OPEN_EXISTING));
  EXPECT_EQ(call.flags, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(call.templateNull);
  EXPECT_EQ(takeErrorStatus(), 0);
  EXPECT_TRUE(channelIsOpen(1));
}

TEST_F(SerialChannelTest, OpeningChangesNoSettingOfThePort) {
  openSerialChannel(1, "COM1", 512);
  EXPECT_EQ(fake::countOf("SetCommState"), 0u);
  EXPECT_EQ(fake::countOf("GetCommState"), 0u);
}

class NameTest : public SerialChannelTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(NameTest, NameReachesThePlatformUnchanged) {
  openSerialChannel(1, GetParam(), 512);
  ASSERT_EQ(fake::createFileCalls().size(), 1u);
  EXPECT_EQ(fake::createFileCalls()[0].name, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Names, NameTest,
                         ::testing::Values("com1", "COM 1", "COM1 ", "COM", "\\\\.\\COM10",
                                           "COM\xE9\xFF", "COM1:", std::string(255, 'x')));

TEST_F(SerialChannelTest, NameLongerThan255BytesIsCutToItsFirst255) {
  const std::string longName = "COM" + std::string(252, '7') + "TAIL*";
  openSerialChannel(1, longName, 512);
  ASSERT_EQ(fake::createFileCalls().size(), 1u) << "the wildcard beyond byte 255 is cut away";
  EXPECT_EQ(fake::createFileCalls()[0].name, longName.substr(0, 255));
}

class CreateFileFailureTest : public SerialChannelTest,
                              public ::testing::WithParamInterface<DWORD> {};

TEST_P(CreateFileFailureTest, OpenFailsWith69WhateverThePlatformsReason) {
  fake::scriptNext("CreateFileA", {false, GetParam()});
  openSerialChannel(1, "COM1", 512);
  EXPECT_EQ(takeErrorStatus(), 69);
  EXPECT_EQ(fake::countOf("GetFileType"), 0u);
  EXPECT_FALSE(channelIsOpen(1));
}

// Not found, access denied, invalid name, sharing violation, device not ready, and the
// codes that would end the process if they were mapped.
INSTANTIATE_TEST_SUITE_P(Codes, CreateFileFailureTest,
                         ::testing::Values(2u, 5u, 123u, 32u, 21u, 7u, 9u, 10u, 0u));

TEST_F(SerialChannelTest, OpenFailsWith69ForAMissingPortAndAPortHeldElsewhere) {
  for (const char* device : {"COM9", "COM5"}) {
    openSerialChannel(1, device, 512);
    EXPECT_EQ(takeErrorStatus(), 69) << device;
    EXPECT_FALSE(channelIsOpen(1)) << device;
  }
  EXPECT_EQ(fake::openHandleCount(), 0u);
}

TEST_F(SerialChannelTest, OpenFailsWith69ForADiskFileAndClosesIt) {
  openSerialChannel(1, "data.bin", 512);
  EXPECT_EQ(takeErrorStatus(), 69);
  EXPECT_EQ(fake::callNames(),
            (std::vector<std::string>{"SetErrorMode", "SetLastError", "CreateFileA", "GetLastError",
                                      "SetErrorMode", "SetErrorMode", "SetLastError",
                                      "GetFileType", "GetLastError", "SetErrorMode",
                                      "SetErrorMode", "SetLastError", "CloseHandle",
                                      "GetLastError", "SetErrorMode"}));
  EXPECT_EQ(fake::openHandleCount(), 0u);
  EXPECT_FALSE(channelIsOpen(1));
}

TEST_F(SerialChannelTest, SecondOpenOfTheSameDeviceOnAnotherChannelFails) {
  openOk(1, "COM1");
  openSerialChannel(2, "COM1", 512);
  EXPECT_EQ(takeErrorStatus(), 69);
  EXPECT_TRUE(channelIsOpen(1));
  EXPECT_FALSE(channelIsOpen(2));
}

// ---- setLineSetting ------------------------------------------------------------------------------

TEST_F(SerialChannelTest, LineSettingOnAClosedChannelRecords52WithoutAPlatformCall) {
  openOk(1, "COM1");
  setLineSetting(2, SETTING_DTR_HANDSHAKE, 1);
  EXPECT_EQ(takeErrorStatus(), 52);
  setLineSetting(-5, SETTING_RTS_CONTROL, 0);
  EXPECT_EQ(takeErrorStatus(), 52);
  EXPECT_TRUE(fake::calls().empty());
}

struct LineCase {
  const char* name;
  int setting;
  int value;
  DWORD before;  // the field as the port reports it
  DWORD after;   // the field as written back
};

void PrintTo(const LineCase& c, std::ostream* out) { *out << c.name; }

class LineSettingTest : public SerialChannelTest, public ::testing::WithParamInterface<LineCase> {
};

TEST_P(LineSettingTest, ChangesItsOneFieldAndWritesEveryOtherFieldBackAsRead) {
  const LineCase& c = GetParam();
  DCB read = fake::distinctiveDcb();
  if (c.setting == SETTING_DTR_HANDSHAKE) read.fDtrControl = c.before;
  else read.fRtsControl = c.before;
  fake::addDevice("COM7", fake::DeviceKind::SerialPort, read);
  openOk(1, "COM7");

  setLineSetting(1, c.setting, c.value);

  EXPECT_EQ(takeErrorStatus(), 0);
  const std::string handle = fake::handleText(fake::deviceHandle("COM7"));
  ASSERT_EQ(fake::countOf("GetCommState"), 1u);
  ASSERT_EQ(fake::dcbWrites("COM7").size(), 1u);
  for (const fake::Call& call : fake::calls()) {
    if (call.name == "GetCommState" || call.name == "SetCommState") {
      EXPECT_EQ(call.detail.substr(0, handle.size()), handle) << call.name;
    }
  }

  DCB expected = read;
  if (c.setting == SETTING_DTR_HANDSHAKE) expected.fDtrControl = c.after;
  else expected.fRtsControl = c.after;
  EXPECT_EQ(fake::describeDcb(fake::dcbWrites("COM7")[0]), fake::describeDcb(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Values, LineSettingTest,
    ::testing::Values(
        // DTR: 0 disables, anything else is handshake (2), never plain enable (1).
        LineCase{"DtrOn", SETTING_DTR_HANDSHAKE, 1, 1, 2},
        LineCase{"DtrOff", SETTING_DTR_HANDSHAKE, 0, 1, 0},
        LineCase{"DtrOffFromHandshake", SETTING_DTR_HANDSHAKE, 0, 2, 0},
        LineCase{"DtrOnFromDisabled", SETTING_DTR_HANDSHAKE, 1, 0, 2},
        LineCase{"DtrAnyOtherValue", SETTING_DTR_HANDSHAKE, -7, 3, 2},
        // RTS: the low two bits of the value.
        LineCase{"RtsOn", SETTING_RTS_CONTROL, 1, 3, 1},
        LineCase{"RtsOff", SETTING_RTS_CONTROL, 0, 3, 0},
        LineCase{"RtsOnFromDisabled", SETTING_RTS_CONTROL, 1, 0, 1},
        LineCase{"RtsHandshake", SETTING_RTS_CONTROL, 2, 3, 2},
        LineCase{"RtsToggle", SETTING_RTS_CONTROL, 3, 0, 3},
        LineCase{"RtsHighBitsDropped", SETTING_RTS_CONTROL, 5, 3, 1},
        LineCase{"RtsFourIsZero", SETTING_RTS_CONTROL, 4, 3, 0},
        LineCase{"RtsMinusOne", SETTING_RTS_CONTROL, -1, 0, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialChannelTest, EachSettingIsItsOwnReadAndWriteDtrFieldKeptByRts) {
  openOk(1, "COM1");
  setLineSetting(1, SETTING_DTR_HANDSHAKE, 1);
  setLineSetting(1, SETTING_RTS_CONTROL, 1);
  const DCB& now = fake::deviceDcb("COM1");
  EXPECT_EQ(now.fDtrControl, DTR_CONTROL_HANDSHAKE);
  EXPECT_EQ(now.fRtsControl, RTS_CONTROL_ENABLE);
  EXPECT_EQ(fake::countOf("GetCommState"), 2u);
  EXPECT_EQ(fake::countOf("SetCommState"), 2u);
}

struct ReadFailure {
  DWORD code;
  int expected;
};

void PrintTo(const ReadFailure& c, std::ostream* out) { *out << "code " << c.code; }

class ReadFailureTest : public SerialChannelTest,
                        public ::testing::WithParamInterface<ReadFailure> {};

TEST_P(ReadFailureTest, UnreadableControlBlockRecordsTheMappedNumberAndWritesNothing) {
  openOk(1, "COM1");
  fake::scriptNext("GetCommState", {false, GetParam().code});
  setLineSetting(1, SETTING_DTR_HANDSHAKE, 1);
  EXPECT_EQ(takeErrorStatus(), GetParam().expected);
  EXPECT_EQ(fake::countOf("SetCommState"), 0u);

  setLineSetting(1, SETTING_DTR_HANDSHAKE, 1);  // the channel is still open
  EXPECT_EQ(takeErrorStatus(), 0);
}

INSTANTIATE_TEST_SUITE_P(Codes, ReadFailureTest,
                         ::testing::Values(ReadFailure{31, 72}, ReadFailure{5, 70},
                                           ReadFailure{6, 51}, ReadFailure{87, 5},
                                           ReadFailure{2, 53}, ReadFailure{1167, 75}));

class WriteFailureTest : public SerialChannelTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(WriteFailureTest, RefusedControlBlockRecords5AndKeepsTheChannel) {
  openOk(1, "COM1");
  const std::string before = fake::describeDcb(fake::deviceDcb("COM1"));
  fake::scriptNext("SetCommState", {false, GetParam()});
  setLineSetting(1, SETTING_RTS_CONTROL, 1);
  EXPECT_EQ(takeErrorStatus(), 5);
  EXPECT_EQ(fake::describeDcb(fake::deviceDcb("COM1")), before);
  EXPECT_TRUE(channelIsOpen(1));
}

INSTANTIATE_TEST_SUITE_P(Codes, WriteFailureTest, ::testing::Values(87u, 31u, 1u, 5u, 9u));

// A platform that reports a failure without an error code must not have a block written
// back that was never read, nor have a refused write reported as success.
TEST_F(SerialChannelTest, ControlBlockThatWasNotReadIsNeverWritten) {
  openOk(1, "COM1");
  fake::scriptNext("GetCommState", {false, 0});
  setLineSetting(1, SETTING_DTR_HANDSHAKE, 1);
  EXPECT_EQ(fake::countOf("SetCommState"), 0u);
  EXPECT_EQ(takeErrorStatus(), 75);
  EXPECT_TRUE(channelIsOpen(1));
}

TEST_F(SerialChannelTest, RefusedWriteWithoutAnErrorCodeStillRecords5) {
  openOk(1, "COM1");
  fake::scriptNext("SetCommState", {false, 0});
  setLineSetting(1, SETTING_DTR_HANDSHAKE, 1);
  EXPECT_EQ(takeErrorStatus(), 5);
}

TEST_F(SerialChannelTest, VanishedDeviceRecordsAFailureAndStaysClosable) {
  openOk(1, "COM1");
  fake::removeDevice("COM1");
  setLineSetting(1, SETTING_DTR_HANDSHAKE, 1);
  EXPECT_NE(takeErrorStatus(), 0);
  closeSerialChannel(1);
  EXPECT_EQ(takeErrorStatus(), 0);
  EXPECT_EQ(fake::openHandleCount(), 0u);
}

// ---- closeSerialChannel -----------------------------------------------------------------------

TEST_F(SerialChannelTest, ClosingAClosedChannelDoesNothingAndRecordsNothing) {
  closeSerialChannel(1);
  EXPECT_EQ(takeErrorStatus(), 0);
  recordError(69);
  closeSerialChannel(1);
  EXPECT_EQ(takeErrorStatus(), 69) << "an earlier failure is neither cleared nor replaced";
  EXPECT_TRUE(fake::calls().empty());
}

TEST_F(SerialChannelTest, CloseReleasesTheChannelsHandleOnce) {
  openOk(1, "COM1");
  const HANDLE handle = fake::deviceHandle("COM1");
  closeSerialChannel(1);
  closeSerialChannel(1);
  ASSERT_EQ(fake::countOf("CloseHandle"), 1u);
  for (const fake::Call& call : fake::calls()) {
    if (call.name == "CloseHandle") {
      EXPECT_EQ(call.detail, fake::handleText(handle));
    }
  }
  EXPECT_EQ(fake::countOf("SetCommState"), 0u) << "no line is set before the release";
  EXPECT_FALSE(fake::isDeviceOpen("COM1"));
  EXPECT_EQ(takeErrorStatus(), 0);
  EXPECT_EQ(fake::invalidHandleUses(), 0u);
}

TEST_F(SerialChannelTest, ClosingOneChannelLeavesTheOthersOpen) {
  openOk(1, "COM1");
  openOk(2, "COM2");
  openOk(3, "COM3");
  closeSerialChannel(2);
  EXPECT_TRUE(channelIsOpen(1));
  EXPECT_FALSE(channelIsOpen(2));
  EXPECT_TRUE(channelIsOpen(3));
  EXPECT_TRUE(fake::isDeviceOpen("COM1"));
  EXPECT_FALSE(fake::isDeviceOpen("COM2"));
  EXPECT_TRUE(fake::isDeviceOpen("COM3"));
}

TEST_F(SerialChannelTest, FailedCloseRecordsTheMappedNumberAndTheChannelIsGoneAnyway) {
  openOk(1, "COM1");
  fake::scriptNext("CloseHandle", {false, 31});
  closeSerialChannel(1);
  EXPECT_EQ(takeErrorStatus(), 72);
  EXPECT_FALSE(channelIsOpen(1));
  openSerialChannel(1, "COM2", 512);
  EXPECT_EQ(takeErrorStatus(), 0) << "the number is free for a new open";
}

TEST_F(SerialChannelTest, ChannelReopensAfterClose) {
  openOk(1, "COM1");
  closeSerialChannel(1);
  openSerialChannel(1, "COM1", 512);
  EXPECT_EQ(takeErrorStatus(), 0);
  EXPECT_TRUE(channelIsOpen(1));
}

// ---- The status across operations -------------------------------------------------------------

TEST_F(SerialChannelTest, LatestFailureWinsAndSuccessLeavesItInPlace) {
  openSerialChannel(1, "", 512);        // 64
  setLineSetting(1, SETTING_DTR_HANDSHAKE, 0);  // 52
  openSerialChannel(1, "COM1", 512);     // succeeds
  setLineSetting(1, SETTING_DTR_HANDSHAKE, 0);  // succeeds
  closeSerialChannel(1);                 // succeeds
  EXPECT_EQ(takeErrorStatus(), 52);
  EXPECT_EQ(takeErrorStatus(), 0);
}

// ---- Failures that end the process -------------------------------------------------------------

struct FatalCase {
  const char* call;
  DWORD code;
};

void PrintTo(const FatalCase& c, std::ostream* out) { *out << c.call << " code " << c.code; }

class FatalFailureTest : public SerialChannelTest,
                         public ::testing::WithParamInterface<FatalCase> {};

TEST_P(FatalFailureTest, MappedNumber241EndsTheProcessWith255) {
  openOk(1, "COM1");
  fake::scriptNext(GetParam().call, {false, GetParam().code});
  EXPECT_EXIT(
      {
        if (std::string(GetParam().call) == "CloseHandle") closeSerialChannel(1);
        else setLineSetting(1, SETTING_DTR_HANDSHAKE, 1);
      },
      ::testing::ExitedWithCode(255), "");
}

INSTANTIATE_TEST_SUITE_P(Codes, FatalFailureTest,
                         ::testing::Values(FatalCase{"GetCommState", 7},
                                           FatalCase{"GetCommState", 9},
                                           FatalCase{"GetCommState", 10},
                                           FatalCase{"CloseHandle", 7},
                                           FatalCase{"CloseHandle", 9},
                                           FatalCase{"CloseHandle", 10}),
                         [](const auto& info) {
                           return std::string(info.param.call) + std::to_string(info.param.code);
                         });

}  // namespace
