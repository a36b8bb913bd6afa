// Win32 last-error codes for the KERNEL32 half of the Linux platform, the one place
// where an errno becomes one of them, and the one way a KERNEL32 function fails
// (failWith). Built on platform.h's Win32 types; the codes stay private to
// platform/linux. It never yields 7, 9 or 10, the codes that the program treats as
// fatal: no Linux failure means a corrupted memory arena.
#pragma once

#include <string>

#include "platform/platform.h"

namespace posix {

inline constexpr DWORD kErrorFileNotFound = 2;
inline constexpr DWORD kErrorPathNotFound = 3;
inline constexpr DWORD kErrorTooManyOpenFiles = 4;
inline constexpr DWORD kErrorAccessDenied = 5;
inline constexpr DWORD kErrorInvalidHandle = 6;
inline constexpr DWORD kErrorNotEnoughMemory = 8;
inline constexpr DWORD kErrorNoMoreFiles = 18;
inline constexpr DWORD kErrorWriteProtect = 19;
inline constexpr DWORD kErrorGenFailure = 31;
inline constexpr DWORD kErrorSharingViolation = 32;
inline constexpr DWORD kErrorNotSupported = 50;
inline constexpr DWORD kErrorFileExists = 80;
inline constexpr DWORD kErrorInvalidParameter = 87;
inline constexpr DWORD kErrorDiskFull = 112;
inline constexpr DWORD kErrorInvalidName = 123;
inline constexpr DWORD kErrorFilenameTooLong = 206;
inline constexpr DWORD kErrorInternalError = 1359;
inline constexpr DWORD kErrorCantResolveFilename = 1921;

// The Win32 code of the same meaning as `error`; never 0.
DWORD win32ErrorFromErrno(int error);

// The same, for a modem-control or termios request: a device that has no such
// control (ENOTTY, EINVAL) does not support the operation.
DWORD win32ErrorFromModemErrno(int error);

// One line for the operator on stderr, "fileptt: " and `text`, when something fails or
// changes beneath the program (never on a tick, never on success). One write, so that
// the lines of two threads never interleave.
void sayOnStderr(const std::string& text);

// Sets the thread's last-error code to `code` and returns `value`: every failure of a
// KERNEL32 function is `return failWith(code, what the function returns on failure);`.
template <class Result>
Result failWith(DWORD code, Result value) {
  platform::SetLastError(code);
  return value;
}

}  // namespace posix
