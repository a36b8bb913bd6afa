// The control block and termios, each described by the other, on termios records:
// every framing a real UART can hold, including those a pseudo-terminal cannot.
#include <gtest/gtest.h>
#include <termios.h>

#include "platform/linux/kernel32/dcb_termios.h"

namespace {

termios plainTermios() {
  termios t{};
  t.c_cflag = CS8 | CREAD | CLOCAL;
  t.c_cc[VSTART] = 0x11;
  t.c_cc[VSTOP] = 0x13;
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
  return t;
}

struct FramingCase {
  const char* name;
  tcflag_t cflag;  // CSIZE, PARENB, PARODD, CMSPAR, CSTOPB
  BYTE byteSize, parity, stopBits;
};

class FramingTest : public ::testing::TestWithParam<FramingCase> {};

TEST_P(FramingTest, ReadsFromTermiosAndWritesBackTheSameBits) {
  const FramingCase& c = GetParam();
  termios t = plainTermios();
  t.c_cflag = (t.c_cflag & ~CSIZE) | c.cflag;
  posix::DeviceRecord device;
  const DCB dcb = posix::describeTermios(t, device, false, false);
  EXPECT_EQ(dcb.ByteSize, c.byteSize);
  EXPECT_EQ(dcb.Parity, c.parity);
  EXPECT_EQ(dcb.StopBits, c.stopBits);

  // The same framing applied to a plain 8N1 port gives the bits it was read from.
  termios applied = plainTermios();
  const DCB plain = posix::describeTermios(applied, device, false, false);
  ASSERT_TRUE(posix::applyToTermios(dcb, plain, applied));
  const tcflag_t framing = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
  EXPECT_EQ(applied.c_cflag & framing, c.cflag & framing);
}

INSTANTIATE_TEST_SUITE_P(
    Framings, FramingTest,
    ::testing::Values(FramingCase{"EightNoneOne", CS8, 8, 0, 0},
                      FramingCase{"SevenEvenTwo", CS7 | PARENB | CSTOPB, 7, 2, 2},
                      FramingCase{"EightOddOne", CS8 | PARENB | PARODD, 8, 1, 0},
                      FramingCase{"EightMark", CS8 | PARENB | PARODD | CMSPAR, 8, 3, 0},
                      FramingCase{"EightSpace", CS8 | PARENB | CMSPAR, 8, 4, 0},
                      FramingCase{"SixNoneOne", CS6, 6, 0, 0},
                      FramingCase{"FiveOneAndAHalf", CS5 | CSTOPB, 5, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DcbTermiosTest, UnchangedBlockLeavesTermiosUntouched) {
  termios t = plainTermios();
  t.c_cflag |= CRTSCTS | PARENB | PARODD;
  t.c_iflag |= IXON | INPCK;
  const termios before = t;
  posix::DeviceRecord device;
  const DCB dcb = posix::describeTermios(t, device, true, false);
  EXPECT_TRUE(posix::sameTermiosFields(dcb, dcb));
  ASSERT_TRUE(posix::applyToTermios(dcb, dcb, t));
  EXPECT_EQ(t.c_cflag, before.c_cflag);
  EXPECT_EQ(t.c_iflag, before.c_iflag);
}

TEST(DcbTermiosTest, LineModesComeFromTheLinesUntilTheHandleHasSetThem) {
  const termios t = plainTermios();
  posix::DeviceRecord device;
  DCB dcb = posix::describeTermios(t, device, true, false);
  EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_ENABLE);
  EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_DISABLE);

  device.modesKnown = true;
  device.dtrControl = DTR_CONTROL_HANDSHAKE;
  device.rtsControl = RTS_CONTROL_TOGGLE;
  dcb = posix::describeTermios(t, device, false, false);
  EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_HANDSHAKE) << "handshake cannot be read off a line";
  EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_TOGGLE);
}

}  // namespace
