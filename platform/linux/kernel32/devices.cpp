// KERNEL32 devices on POSIX: opening a serial device (CreateFileA, with the check that
// no other program holds it, and that the device is a terminal whose DTR and RTS can
// be driven), GetFileType and CloseHandle. Built on open/flock/termios and the handle
// table of handles.h. Leaves out every CreateFileA disposition but OPEN_EXISTING,
// overlapped I/O and security descriptors.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>

#include "platform/linux/kernel32/device_facts.h"
#include "platform/linux/kernel32/devices.h"
#include "platform/linux/kernel32/errors.h"
#include "platform/linux/kernel32/handles.h"
#include "platform/linux/kernel32/open_report.h"
#include "platform/linux/kernel32/port_names.h"
#include "platform/linux/kernel32/watchdog.h"
#include "platform/platform.h"

using namespace posix;

namespace {

constexpr DWORD kFileTypePipe = 3;

int openFlags(DWORD access, bool inherit) {
  const bool read = access & GENERIC_READ, write = access & GENERIC_WRITE;
  int flags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  // Without O_NONBLOCK a port whose carrier is down would hang the open.
  flags |= O_NOCTTY | O_NONBLOCK;
  // An inheritable Win32 handle passes to the programs this process starts; the Linux
  // form of that is a descriptor without close-on-exec, which survives exec together
  // with its flock (the lock belongs to the open file, not to the process), so that
  // HUPCL drops the lines only when the last holder closes. Only a handle that asked
  // not to be inherited gets O_CLOEXEC.
  if (!inherit) flags |= O_CLOEXEC;
  return flags;
}

// True when some process holds an flock on the device at `path`. The check comes
// before our open because Linux raises DTR and RTS on every open of a tty: opening a
// port that another program holds would key its transmitter, even though our flock
// would then fail. (Without root, that program's TIOCEXCL already refuses the open.)
bool lockedByAnyone(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  return lockHolder(st, LockKinds::FlockOnly).has_value();
}

int openRetrying(const char* path, int flags) {
  int fd;
  do fd = ::open(path, flags);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// Makes the open terminal `fd` a port as Win32 opens one: exclusive, HUPCL set, at
// B0, both lines low. False, with the last error set, when it is no terminal or its
// lines cannot be driven (/dev/null, a FIFO, a regular file, a bare pseudo-terminal):
// such a port would count as set while nothing could ever be keyed. The code is
// kErrorNotSupported, so that the report of the failure can tell this case.
bool prepareTerminal(int fd, DeviceRecord& record) {
  termios settings;
  if (::tcgetattr(fd, &settings) != 0) return failWith(kErrorNotSupported, false);
  record.isTerminal = true;
  // Root passes through TIOCEXCL; the flock before this is what stops a second root open.
  ::ioctl(fd, TIOCEXCL);
  // With HUPCL the kernel drops both lines at every release of the port, a crash or
  // kill of this process included, as Windows serial drivers do at close. It is set
  // before the lines are tried, so that closing a port refused below drops them too.
  bool changed = false;
  if (!(settings.c_cflag & HUPCL)) {
    settings.c_cflag |= HUPCL;
    changed = true;
  }
  // The device is left at speed B0, at which the kernel raises no line when the port
  // is opened: the next open of it, ours or any program's, after a close or a kill,
  // cannot key the transmitter. The speed it had is what the control block reports.
  const speed_t speed = cfgetospeed(&settings);
  if (speed != B0) {
    record.speedAtB0 = speed;
    cfsetispeed(&settings, B0);
    cfsetospeed(&settings, B0);
    changed = true;
  }
  if (changed && ::tcsetattr(fd, TCSANOW, &settings) != 0)
    return failWith(win32ErrorFromErrno(errno), false);
  // Linux raised DTR and RTS on the open; Win32 ports open with both low.
  int lines = 0;
  if (::ioctl(fd, TIOCMGET, &lines) != 0) return failWith(kErrorNotSupported, false);
  lines = TIOCM_DTR | TIOCM_RTS;
  if (::ioctl(fd, TIOCMBIC, &lines) != 0) return failWith(kErrorNotSupported, false);
  record.modesKnown = true;
  record.dtrControl = DTR_CONTROL_DISABLE;
  record.rtsControl = RTS_CONTROL_DISABLE;
  return true;
}

}  // namespace

bool posix::openDevice(const std::string& path, DWORD access, bool exclusive, bool inherit,
                DeviceRecord& record) {
  if (exclusive && lockedByAnyone(path)) return failWith(kErrorSharingViolation, false);
  record.fd = openRetrying(path.c_str(), openFlags(access, inherit));
  if (record.fd < 0) return failWith(win32ErrorFromErrno(errno), false);
  const int fd = record.fd;

  struct stat st;
  if (::fstat(fd, &st) != 0) return failWith(win32ErrorFromErrno(errno), false);
  // Win32 refuses to open a directory as a file.
  if (S_ISDIR(st.st_mode)) return failWith(kErrorAccessDenied, false);
  if (exclusive && ::flock(fd, LOCK_EX | LOCK_NB) != 0)
    return failWith(win32ErrorFromErrno(errno), false);
  return prepareTerminal(fd, record);
}

namespace {

HANDLE createFile(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                  DWORD creation) {
  if (!name || name[0] == '\0') return failWith(kErrorPathNotFound, INVALID_HANDLE_VALUE);
  if (creation != OPEN_EXISTING) return failWith(kErrorInvalidParameter, INVALID_HANDLE_VALUE);
  const ResolvedName resolved = resolveDeviceName(name, portsDirectory(), openingRoots());
  if (resolved.error != 0) return failWith(resolved.error, INVALID_HANDLE_VALUE);

  auto record = std::make_shared<DeviceRecord>();
  const bool inherit = security && security->bInheritHandle;
  if (!openDevice(resolved.path, access, shareMode == 0, inherit, *record))
    return INVALID_HANDLE_VALUE;
  record->portName = withoutDeviceNamespace(name);
  record->path = resolved.path;
  record->access = access;
  record->exclusive = shareMode == 0;
  record->inherit = inherit;
  record->identity = identityOf(resolved.path, openingRoots());
  const int fd = record->fd;
  const HANDLE handle = addDevice(std::move(record));
  // A port the watchdog cannot drop if the message loop stalls is not kept open.
  if (!watchdog::watchPort(fd, resolved.path.c_str())) {
    platform::CloseHandle(handle);
    return failWith(kErrorNotEnoughMemory, INVALID_HANDLE_VALUE);
  }
  return handle;
}

}  // namespace

namespace platform {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD /*flags*/, HANDLE /*templateFile*/) {
  try {
    const HANDLE handle = createFile(name, access, shareMode, security, creation);
    reportOpen(name, handle, platform::GetLastError());
    return handle;
  } catch (const std::bad_alloc&) {
    return failWith(kErrorNotEnoughMemory, INVALID_HANDLE_VALUE);
  }
}

DWORD GetFileType(HANDLE file) {
  const std::shared_ptr<DeviceRecord> device = findDevice(file);
  if (!device) return failWith(kErrorInvalidHandle, FILE_TYPE_UNKNOWN);
  struct stat st;
  if (::fstat(device->fd, &st) != 0) return failWith(win32ErrorFromErrno(errno), FILE_TYPE_UNKNOWN);
  if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return kFileTypePipe;
  return FILE_TYPE_UNKNOWN;
}

BOOL CloseHandle(HANDLE object) {
  const std::shared_ptr<DeviceRecord> device = takeDevice(object);
  if (!device) return failWith(kErrorInvalidHandle, FALSE);
  const int fd = device->fd;
  device->fd = -1;
  if (fd < 0) return TRUE;  // a port lost and not back: let go of already
  watchdog::forgetPort(fd);
  // Linux releases the descriptor even when close reports EINTR; it is never retried.
  if (::close(fd) != 0 && errno != EINTR) return failWith(win32ErrorFromErrno(errno), FALSE);
  return TRUE;
}

}  // namespace platform
