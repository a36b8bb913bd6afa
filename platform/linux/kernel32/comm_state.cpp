// KERNEL32 serial control blocks on POSIX: GetCommState and SetCommState over termios
// and the modem-control ioctls. DTR follows fDtrControl (handshake mode is carried out
// as asserted: nothing here reads the port, so there is no receive queue to throttle);
// RTS follows fRtsControl, handshake as asserted and toggle as low (nothing is ever
// sent). Fields termios cannot carry are kept per handle and given back. A device that
// went away is let go, and opened again when it is back (lost_ports.h). Leaves out
// custom baud rates, DSR flow control and the error and event characters' effects.
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>

#include "platform/linux/kernel32/dcb_termios.h"
#include "platform/linux/kernel32/errors.h"
#include "platform/linux/kernel32/handles.h"
#include "platform/linux/kernel32/lost_ports.h"
#include "platform/platform.h"

using namespace posix;

namespace {

bool readLines(int fd, bool* dtrUp, bool* rtsUp) {
  int lines = 0;
  if (::ioctl(fd, TIOCMGET, &lines) != 0) return false;
  *dtrUp = lines & TIOCM_DTR;
  *rtsUp = lines & TIOCM_RTS;
  return true;
}

bool modemIoctl(int fd, unsigned long request, int lines) {
  if (lines == 0) return true;
  int value = lines;
  int result;
  do result = ::ioctl(fd, request, &value);
  while (result != 0 && errno == EINTR);
  return result == 0;
}

// A call on the device failed with errno: the code for it, after letting go of the
// port when the failure says that the device is gone.
BOOL failedOn(DeviceRecord& device) {
  const int error = errno;
  lostBy(device, error);
  return failWith(win32ErrorFromModemErrno(error), FALSE);
}

}  // namespace

namespace platform {

BOOL GetCommState(HANDLE file, LPDCB dcb) {
  const std::shared_ptr<DeviceRecord> device = findDevice(file);
  if (!device) return failWith(kErrorInvalidHandle, FALSE);
  if (!dcb) return failWith(kErrorInvalidParameter, FALSE);
  if (!portReady(*device)) return FALSE;
  termios t;
  if (::tcgetattr(device->fd, &t) != 0) return failedOn(*device);
  bool dtrUp = false, rtsUp = false;
  if (!device->modesKnown) readLines(device->fd, &dtrUp, &rtsUp);
  *dcb = describeTermios(t, *device, dtrUp, rtsUp);
  return TRUE;
}

BOOL SetCommState(HANDLE file, LPDCB dcb) {
  const std::shared_ptr<DeviceRecord> device = findDevice(file);
  if (!device) return failWith(kErrorInvalidHandle, FALSE);
  if (!dcb || dcb->fDtrControl > DTR_CONTROL_HANDSHAKE)
    return failWith(kErrorInvalidParameter, FALSE);
  if (!portReady(*device)) return FALSE;
  termios t;
  if (::tcgetattr(device->fd, &t) != 0) return failedOn(*device);

  // termios is written only for the fields that change: a block read and written back
  // as it was must not disturb the port.
  const DCB now = describeTermios(t, *device, false, false);
  if (!sameTermiosFields(*dcb, now)) {
    if (!applyToTermios(*dcb, now, t)) return failWith(kErrorInvalidParameter, FALSE);
    if (::tcsetattr(device->fd, TCSANOW, &t) != 0) return failedOn(*device);
  }

  const bool dtrUp = dcb->fDtrControl != DTR_CONTROL_DISABLE;
  const bool rtsUp =
      dcb->fRtsControl == RTS_CONTROL_ENABLE || dcb->fRtsControl == RTS_CONTROL_HANDSHAKE;
  const int raise = (dtrUp ? TIOCM_DTR : 0) | (rtsUp ? TIOCM_RTS : 0);
  const int drop = (dtrUp ? 0 : TIOCM_DTR) | (rtsUp ? 0 : TIOCM_RTS);
  // Drop first: a change never passes through both lines asserted on its way.
  if (!modemIoctl(device->fd, TIOCMBIC, drop) || !modemIoctl(device->fd, TIOCMBIS, raise))
    return failedOn(*device);

  device->modesKnown = true;
  device->dtrControl = dcb->fDtrControl;
  device->rtsControl = dcb->fRtsControl;
  DcbKeptFields& kept = device->kept;
  kept.fOutxDsrFlow = dcb->fOutxDsrFlow;
  kept.fDsrSensitivity = dcb->fDsrSensitivity;
  kept.fTXContinueOnXoff = dcb->fTXContinueOnXoff;
  kept.fErrorChar = dcb->fErrorChar;
  kept.fNull = dcb->fNull;
  kept.fAbortOnError = dcb->fAbortOnError;
  kept.XonLim = dcb->XonLim;
  kept.XoffLim = dcb->XoffLim;
  kept.ErrorChar = dcb->ErrorChar;
  kept.EofChar = dcb->EofChar;
  kept.EvtChar = dcb->EvtChar;
  return TRUE;
}

}  // namespace platform
