// KERNEL32 on POSIX: opening serial devices (CreateFileA, GetFileType, CloseHandle),
// the error mode, the thread's last-error code, the module handle and Sleep.
// Built on open/flock/termios and the handle table of posix_handles.h. Leaves out
// every CreateFileA disposition but OPEN_EXISTING, overlapped I/O and security
// descriptors; there are no system error boxes to suppress on Linux.
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

#include "platform.h"
#include "posix_errors.h"
#include "posix_handles.h"
#include "posix_port_names.h"

using namespace posix;

namespace {

thread_local DWORD lastError = 0;
std::atomic<UINT> errorMode{0};

constexpr DWORD kFileTypePipe = 3;
constexpr DWORD kInfinite = 0xFFFFFFFFu;

int openFlags(DWORD access, bool inherit) {
  const bool read = access & GENERIC_READ, write = access & GENERIC_WRITE;
  int flags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  // Without O_NONBLOCK a port whose carrier is down would hang the open.
  flags |= O_NOCTTY | O_NONBLOCK;
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
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string id, kind, mode, access, pid, where;
    fields >> id >> kind;
    if (kind == "->") fields >> kind;  // a waiter's line: the holder is listed too
    fields >> mode >> access >> pid >> where;
    if (kind != "FLOCK") continue;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
    if (major == ::major(st.st_dev) && minor == ::minor(st.st_dev) && inode == st.st_ino)
      return true;
  }
  return false;
}

int openRetrying(const char* path, int flags) {
  int fd;
  do fd = ::open(path, flags); while (fd < 0 && errno == EINTR);
  return fd;
}

// Opens `path` as CreateFileA does; on failure returns -1 with the Win32 code in *error.
int openDevice(const std::string& path, DWORD access, bool exclusive, bool inherit,
               DeviceRecord& record, DWORD* error) {
  if (exclusive && lockedByAnyone(path)) {
    *error = kErrorSharingViolation;
    return -1;
  }
  const int fd = openRetrying(path.c_str(), openFlags(access, inherit));
  if (fd < 0) {
    *error = win32ErrorFromErrno(errno);
    return -1;
  }
  auto fail = [&](DWORD code) {
    ::close(fd);
    *error = code;
    return -1;
  };

  struct stat st;
  if (::fstat(fd, &st) != 0) return fail(win32ErrorFromErrno(errno));
  // Win32 refuses to open a directory as a file.
  if (S_ISDIR(st.st_mode)) return fail(kErrorAccessDenied);
  if (exclusive && ::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(win32ErrorFromErrno(errno));

  termios settings;
  if (::tcgetattr(fd, &settings) == 0) {
    record.isTerminal = true;
    // Root passes through TIOCEXCL; the flock above is what stops a second root open.
    ::ioctl(fd, TIOCEXCL);
    // Linux raised DTR and RTS on the open; Win32 ports open with both low.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd, TIOCMBIC, &lines) == 0) {
      record.modesKnown = true;
      record.dtrControl = DTR_CONTROL_DISABLE;
      record.rtsControl = RTS_CONTROL_DISABLE;
    }
    // With HUPCL the kernel drops both lines at every release of the port, a crash
    // or kill of this process included, as Windows serial drivers do at close.
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
      return fail(win32ErrorFromErrno(errno));
  }
  return fd;
}

HANDLE createFile(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                  DWORD creation) {
  if (!name || name[0] == '\0') {
    setLastError(kErrorPathNotFound);
    return INVALID_HANDLE_VALUE;
  }
  if (creation != OPEN_EXISTING) {
    setLastError(kErrorInvalidParameter);
    return INVALID_HANDLE_VALUE;
  }
  const ResolvedName resolved = resolveDeviceName(name, portsDirectory(), DeviceRoots{});
  if (resolved.error != 0) {
    setLastError(resolved.error);
    return INVALID_HANDLE_VALUE;
  }

  auto record = std::make_shared<DeviceRecord>();
  const bool inherit = security && security->bInheritHandle;
  DWORD error = 0;
  record->fd = openDevice(resolved.path, access, shareMode == 0, inherit, *record, &error);
  if (record->fd < 0) {
    setLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  return addDevice(std::move(record));
}

}  // namespace

namespace platform {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD /*flags*/, HANDLE /*templateFile*/) {
  try {
    return createFile(name, access, shareMode, security, creation);
  } catch (const std::bad_alloc&) {
    setLastError(kErrorNotEnoughMemory);
    return INVALID_HANDLE_VALUE;
  }
}

DWORD GetFileType(HANDLE file) {
  const std::shared_ptr<DeviceRecord> device = findDevice(file);
  if (!device) {
    setLastError(kErrorInvalidHandle);
    return FILE_TYPE_UNKNOWN;
  }
  struct stat st;
  if (::fstat(device->fd, &st) != 0) {
    setLastError(win32ErrorFromErrno(errno));
    return FILE_TYPE_UNKNOWN;
  }
  if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return kFileTypePipe;
  return FILE_TYPE_UNKNOWN;
}

BOOL CloseHandle(HANDLE object) {
  const std::shared_ptr<DeviceRecord> device = takeDevice(object);
  if (!device) {
    setLastError(kErrorInvalidHandle);
    return FALSE;
  }
  const int fd = device->fd;
  device->fd = -1;
  // Linux releases the descriptor even when close reports EINTR; it is never retried.
  if (::close(fd) != 0 && errno != EINTR) {
    setLastError(win32ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

UINT SetErrorMode(UINT mode) { return errorMode.exchange(mode); }

void SetLastError(DWORD code) { lastError = code; }

DWORD GetLastError() { return lastError; }

HMODULE GetModuleHandleA(LPCSTR /*moduleName*/) {
  // One module per process here; any name yields the program's own instance.
  static char instance;
  return reinterpret_cast<HMODULE>(&instance);
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    ::sched_yield();
    return;
  }
  if (milliseconds == kInfinite) {
    for (;;) ::pause();
  }
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
