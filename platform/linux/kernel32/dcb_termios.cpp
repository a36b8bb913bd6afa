// The DCB and termios mapping of the Linux layer.
#include "platform/linux/kernel32/dcb_termios.h"

namespace posix {

namespace {

constexpr BYTE kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3, kSpaceParity = 4;
constexpr BYTE kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2;

struct BaudRate {
  DWORD rate;
  speed_t speed;
};
constexpr BaudRate kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

DWORD rateOf(speed_t speed) {
  for (const BaudRate& b : kBaudRates)
    if (b.speed == speed) return b.rate;
  return 0;  // B0 or a custom rate: nothing the control block can name
}

bool speedOf(DWORD rate, speed_t* speed) {
  for (const BaudRate& b : kBaudRates)
    if (b.rate == rate) return *speed = b.speed, true;
  return false;
}

BYTE byteSizeOf(tcflag_t cflag) {
  switch (cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
  }
}

void setFlag(tcflag_t& flags, tcflag_t bit, bool on) {
  flags = on ? (flags | bit) : (flags & ~bit);
}

}  // namespace

DCB describeTermios(const termios& t, const DeviceRecord& device, bool dtrUp, bool rtsUp) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  // A device the layer keeps at B0 reports the speed it would have.
  const speed_t speed = cfgetospeed(&t);
  dcb.BaudRate = rateOf(speed == B0 ? device.speedAtB0 : speed);
  dcb.fBinary = 1;
  dcb.fParity = (t.c_iflag & INPCK) != 0;
  dcb.fOutxCtsFlow = (t.c_cflag & CRTSCTS) != 0;
  dcb.fOutX = (t.c_iflag & IXON) != 0;
  dcb.fInX = (t.c_iflag & IXOFF) != 0;
  dcb.fDtrControl =
      device.modesKnown ? device.dtrControl : (dtrUp ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE);
  dcb.fRtsControl =
      device.modesKnown ? device.rtsControl : (rtsUp ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE);
  dcb.ByteSize = byteSizeOf(t.c_cflag);
  if (!(t.c_cflag & PARENB))
    dcb.Parity = kNoParity;
  else if (t.c_cflag & CMSPAR)
    dcb.Parity = (t.c_cflag & PARODD) ? kMarkParity : kSpaceParity;
  else
    dcb.Parity = (t.c_cflag & PARODD) ? kOddParity : kEvenParity;
  // A UART sends one and a half stop bits for "two" with five data bits.
  if (!(t.c_cflag & CSTOPB))
    dcb.StopBits = kOneStopBit;
  else
    dcb.StopBits = dcb.ByteSize == 5 ? kOne5StopBits : kTwoStopBits;
  dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
  dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);

  const DcbKeptFields& kept = device.kept;
  dcb.fOutxDsrFlow = kept.fOutxDsrFlow;
  dcb.fDsrSensitivity = kept.fDsrSensitivity;
  dcb.fTXContinueOnXoff = kept.fTXContinueOnXoff;
  dcb.fErrorChar = kept.fErrorChar;
  dcb.fNull = kept.fNull;
  dcb.fAbortOnError = kept.fAbortOnError;
  dcb.XonLim = kept.XonLim;
  dcb.XoffLim = kept.XoffLim;
  dcb.ErrorChar = kept.ErrorChar;
  dcb.EofChar = kept.EofChar;
  dcb.EvtChar = kept.EvtChar;
  return dcb;
}

bool applyToTermios(const DCB& wanted, const DCB& now, termios& t) {
  if (wanted.BaudRate != now.BaudRate) {
    speed_t speed;
    if (!speedOf(wanted.BaudRate, &speed)) return false;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
  }
  if (wanted.ByteSize != now.ByteSize || wanted.StopBits != now.StopBits) {
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    if (wanted.ByteSize < 5 || wanted.ByteSize > 8) return false;
    const bool validStopBits = wanted.StopBits == kOneStopBit ||
                               (wanted.StopBits == kOne5StopBits && wanted.ByteSize == 5) ||
                               (wanted.StopBits == kTwoStopBits && wanted.ByteSize > 5);
    if (!validStopBits) return false;
    t.c_cflag = (t.c_cflag & ~CSIZE) | kSizes[wanted.ByteSize - 5];
    setFlag(t.c_cflag, CSTOPB, wanted.StopBits != kOneStopBit);
  }
  if (wanted.Parity != now.Parity) {
    if (wanted.Parity > kSpaceParity) return false;
    setFlag(t.c_cflag, PARENB, wanted.Parity != kNoParity);
    setFlag(t.c_cflag, CMSPAR, wanted.Parity == kMarkParity || wanted.Parity == kSpaceParity);
    setFlag(t.c_cflag, PARODD, wanted.Parity == kOddParity || wanted.Parity == kMarkParity);
  }
  if (wanted.fParity != now.fParity) setFlag(t.c_iflag, INPCK, wanted.fParity);
  if (wanted.fOutxCtsFlow != now.fOutxCtsFlow) setFlag(t.c_cflag, CRTSCTS, wanted.fOutxCtsFlow);
  if (wanted.fOutX != now.fOutX) setFlag(t.c_iflag, IXON, wanted.fOutX);
  if (wanted.fInX != now.fInX) setFlag(t.c_iflag, IXOFF, wanted.fInX);
  if (wanted.XonChar != now.XonChar) t.c_cc[VSTART] = static_cast<cc_t>(wanted.XonChar);
  if (wanted.XoffChar != now.XoffChar) t.c_cc[VSTOP] = static_cast<cc_t>(wanted.XoffChar);
  return true;
}

bool sameTermiosFields(const DCB& a, const DCB& b) {
  return a.BaudRate == b.BaudRate && a.ByteSize == b.ByteSize && a.StopBits == b.StopBits &&
         a.Parity == b.Parity && a.fParity == b.fParity && a.fOutxCtsFlow == b.fOutxCtsFlow &&
         a.fOutX == b.fOutX && a.fInX == b.fInX && a.XonChar == b.XonChar &&
         a.XoffChar == b.XoffChar;
}

}  // namespace posix
