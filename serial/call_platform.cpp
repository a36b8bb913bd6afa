#include "serial/call_platform.h"

#include "serial/error_status.h"

SpinLock& platformCallLock() {
  static SpinLock lock;
  return lock;
}

// Win32 codes by number: the table is the platform's, the results are ours.
std::uint8_t mapPlatformError(DWORD code) {
  switch (code) {
    case 2: case 18: return kErrNotFound;
    case 3: return kErrPathNotFound;
    case 4: return kErrTooManyFiles;
    case 5: case 19: case 32: case 33: case 36: return kErrNoAccess;
    case 6: case 11: case 12: case 13: case 22: case 24: return kErrBadHandle;
    case 7: case 9: case 10: return kErrCorruptMemory;
    case 8: case 14: return kErrOutOfMemory;
    case 15: case 20: return kErrDeviceUnavailable;
    case 17: return kErrOtherDevice;
    case 21: return kErrDiskNotReady;
    case 23: case 25: case 26: case 27: case 28: case 29: case 30: case 31: case 34: case 35:
      return kErrDeviceFault;
    case 38: return kErrPastEnd;
    case 39: case 112: return kErrDiskFull;
    case 87: return kErrInvalidCall;
    default: return kErrAccessFailed;  // 1, 16, 37 and every unlisted code of 40 or more
  }
}
