// errno to Win32 last-error codes, chosen so that the program's mapping lands in the
// right category (not found, no access, bad handle, device fault, everything else).
#include "platform/linux/kernel32/errors.h"

#include <unistd.h>

#include <cerrno>

namespace posix {

DWORD win32ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR: return kErrorAccessDenied;
    case EROFS: return kErrorWriteProtect;
    // A port that another process holds: its exclusive open or its lock refuses us.
    case EBUSY:
    case EWOULDBLOCK:
    case ETXTBSY: return kErrorSharingViolation;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EIO: return kErrorGenFailure;
    case EEXIST: return kErrorFileExists;
    case EINVAL: return kErrorInvalidParameter;
    case ENOSPC: return kErrorDiskFull;
    case ENAMETOOLONG: return kErrorFilenameTooLong;
    case ELOOP: return kErrorCantResolveFilename;
    case ENOTTY:
    case EOPNOTSUPP: return kErrorNotSupported;
    default: return kErrorInternalError;
  }
}

DWORD win32ErrorFromModemErrno(int error) {
  if (error == ENOTTY || error == EINVAL) return kErrorNotSupported;
  return win32ErrorFromErrno(error);
}

void sayOnStderr(const std::string& text) {
  const std::string line = "fileptt: " + text + "\n";
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace posix
