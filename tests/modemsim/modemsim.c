/* The modem-line simulator: a library preloaded (LD_PRELOAD) into test processes, Wine
 * included, that gives pseudo-terminal slaves the RTS and DTR lines they lack.
 * It emulates TIOCMGET/TIOCMSET/TIOCMBIS/TIOCMBIC and what a serial driver does to the
 * lines on open (raise both), on a change to or from B0, and on the last close with
 * HUPCL (drop both), keeping each device's lines in $MODEMSIM_DIR/pts-N.state and an
 * append-only log of every event in $MODEMSIM_DIR/pts-N.log, so that another process
 * can watch them. With MODEMSIM_DIR unset it does nothing but forward each call.
 * Leaves out CTS, DSR, RI and CD, and a release by process exit (no close is seen). */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

/* Tests look this symbol up to know the simulator is loaded. */
__attribute__((visibility("default"))) const int modemsim_loaded = 1;

enum { LINE_DTR = TIOCM_DTR, LINE_RTS = TIOCM_RTS, BOTH_LINES = TIOCM_DTR | TIOCM_RTS };

/* ---- The next definition of each intercepted call ------------------------------- */

static void *next_symbol(const char *name) { return dlsym(RTLD_NEXT, name); }

#define NEXT(name) \
  static __typeof__(&name) next_##name; \
  if (!next_##name) next_##name = (__typeof__(&name))next_symbol(#name)

/* ---- Which descriptors are simulated ------------------------------------------------ */

static const char *sim_dir(void) {
  const char *dir = getenv("MODEMSIM_DIR");
  return dir && dir[0] ? dir : NULL;
}

/* The pts number of a pseudo-terminal slave (majors 136 to 143), or -1. */
static long pts_number_of_stat(const struct stat *st) {
  if (!S_ISCHR(st->st_mode)) return -1;
  unsigned int ma = major(st->st_rdev);
  if (ma < 136 || ma > 143) return -1;
  return (long)(ma - 136) * 256 + minor(st->st_rdev);
}

static long pts_number(int fd) {
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return -1;
  return pts_number_of_stat(&st);
}

/* ---- State and log files -------------------------------------------------------------- */

static int raw_open(const char *path, int flags, mode_t mode) {
  return (int)syscall(SYS_openat, AT_FDCWD, path, flags | O_CLOEXEC, mode);
}

static void raw_close(int fd) { syscall(SYS_close, fd); }

static int parse_lines(const char *text) {
  int lines = 0;
  const char *dtr = strstr(text, "DTR=");
  const char *rts = strstr(text, "RTS=");
  if (dtr && dtr[4] == '1') lines |= LINE_DTR;
  if (rts && rts[4] == '1') lines |= LINE_RTS;
  return lines;
}

/* `at` is when the call that made the change began (NULL: now). A close is logged with
 * the time it was called: what it does before it logs (looking through every process
 * for another holder) is the simulator's work, not the caller's. */
static void append_log(const char *dir, long pts, int lines, const char *cause,
                       const struct timespec *at) {
  char path[4096], line[256];
  struct timespec now;
  if (snprintf(path, sizeof path, "%s/pts-%ld.log", dir, pts) >= (int)sizeof path) return;
  if (at)
    now = *at;
  else
    clock_gettime(CLOCK_MONOTONIC, &now);
  int length = snprintf(line, sizeof line, "%lld %d pts/%ld DTR=%d RTS=%d %s\n",
                        (long long)now.tv_sec * 1000000000LL + now.tv_nsec, (int)getpid(), pts,
                        !!(lines & LINE_DTR), !!(lines & LINE_RTS), cause);
  int fd = raw_open(path, O_WRONLY | O_CREAT | O_APPEND, 0666);
  if (fd < 0) return;
  /* One write of one short line: appends from several processes never interleave. */
  if (write(fd, line, (size_t)length) < 0) { /* nothing to do: the log is best effort */ }
  raw_close(fd);
}

/* Reads the device's lines, lets `change` rewrite them, stores and logs the result,
 * all under an exclusive lock of the state file. Returns the lines, or -1 when the
 * state cannot be kept (then the call is forwarded as if no simulator were here). */
static int update_lines(long pts, int (*change)(int lines, int arg), int arg, const char *cause,
                        const struct timespec *at) {
  const char *dir = sim_dir();
  char path[4096], text[64];
  if (!dir || snprintf(path, sizeof path, "%s/pts-%ld.state", dir, pts) >= (int)sizeof path)
    return -1;
  int fd = raw_open(path, O_RDWR | O_CREAT, 0666);
  if (fd < 0) return -1;
  while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
  ssize_t got = pread(fd, text, sizeof text - 1, 0);
  text[got > 0 ? got : 0] = '\0';
  int lines = parse_lines(text);
  if (change) {
    lines = change(lines, arg);
    int length = snprintf(text, sizeof text, "DTR=%d RTS=%d\n", !!(lines & LINE_DTR),
                          !!(lines & LINE_RTS));
    if (pwrite(fd, text, (size_t)length, 0) == length) {
      if (ftruncate(fd, length) != 0) { /* the fixed-length record was written whole */ }
    }
    append_log(dir, pts, lines, cause, at);
  }
  flock(fd, LOCK_UN);
  raw_close(fd);
  return lines;
}

static int assign_lines(int lines, int arg) { return (lines & ~BOTH_LINES) | (arg & BOTH_LINES); }
static int raise_lines(int lines, int arg) { return lines | (arg & BOTH_LINES); }
static int drop_lines(int lines, int arg) { return lines & ~(arg & BOTH_LINES); }

/* ---- Who still holds a device ------------------------------------------------------------ */

/* True when some process other than the caller's closing descriptor has
 * /dev/pts/N open: a tty's lines drop only at the last release system-wide. */
static int held_anywhere(long pts) {
  char target[64], entry[600], link[128];
  snprintf(target, sizeof target, "/dev/pts/%ld", pts);
  int proc = raw_open("/proc", O_RDONLY | O_DIRECTORY, 0);
  if (proc < 0) return 0;
  char buffer[8192];
  int held = 0;
  long count;
  while (!held && (count = syscall(SYS_getdents64, proc, buffer, sizeof buffer)) > 0) {
    for (long offset = 0; !held && offset < count;) {
      struct dirent64 *process = (struct dirent64 *)(buffer + offset);
      offset += process->d_reclen;
      if (process->d_name[0] < '1' || process->d_name[0] > '9') continue;
      snprintf(entry, sizeof entry, "/proc/%s/fd", process->d_name);
      int fds = raw_open(entry, O_RDONLY | O_DIRECTORY, 0);
      if (fds < 0) continue;
      char inner[4096];
      long n;
      while (!held && (n = syscall(SYS_getdents64, fds, inner, sizeof inner)) > 0) {
        for (long at = 0; !held && at < n;) {
          struct dirent64 *fd = (struct dirent64 *)(inner + at);
          at += fd->d_reclen;
          if (fd->d_name[0] < '0' || fd->d_name[0] > '9') continue;
          snprintf(entry, sizeof entry, "/proc/%s/fd/%s", process->d_name, fd->d_name);
          ssize_t length = readlink(entry, link, sizeof link - 1);
          if (length <= 0) continue;
          link[length] = '\0';
          held = strcmp(link, target) == 0;
        }
      }
      raw_close(fds);
    }
  }
  raw_close(proc);
  return held;
}

/* ---- Intercepted calls --------------------------------------------------------------------- */

static void after_open(int fd, int flags) {
  if (fd < 0 || (flags & O_PATH) || !sim_dir()) return;
  long pts = pts_number(fd);
  struct termios t;
  if (pts < 0 || tcgetattr(fd, &t) != 0) return;
  /* A serial driver raises DTR and RTS on every open unless the speed is B0. */
  if (cfgetospeed(&t) != B0) update_lines(pts, raise_lines, BOTH_LINES, "open", NULL);
}

static mode_t mode_argument(int flags, va_list args) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(args, int) : 0;
}

#define OPEN_LIKE(name, ...) \
  int name(const char *path, int flags, ...) { \
    va_list args; \
    va_start(args, flags); \
    mode_t mode = mode_argument(flags, args); \
    va_end(args); \
    NEXT(name); \
    if (!next_##name) return errno = ENOSYS, -1; \
    int fd = next_##name(path, flags, mode); \
    int saved = errno; \
    after_open(fd, flags); \
    errno = saved; \
    return fd; \
  }

#define OPENAT_LIKE(name) \
  int name(int dirfd, const char *path, int flags, ...) { \
    va_list args; \
    va_start(args, flags); \
    mode_t mode = mode_argument(flags, args); \
    va_end(args); \
    NEXT(name); \
    if (!next_##name) return errno = ENOSYS, -1; \
    int fd = next_##name(dirfd, path, flags, mode); \
    int saved = errno; \
    after_open(fd, flags); \
    errno = saved; \
    return fd; \
  }

OPEN_LIKE(open)
OPEN_LIKE(open64)
OPENAT_LIKE(openat)
OPENAT_LIKE(openat64)

/* The fortified entry points, used when a program is built with _FORTIFY_SOURCE. */
int __open_2(const char *path, int flags) { return open(path, flags); }
int __open64_2(const char *path, int flags) { return open64(path, flags); }
int __openat_2(int dirfd, const char *path, int flags) { return openat(dirfd, path, flags); }
int __openat64_2(int dirfd, const char *path, int flags) { return openat64(dirfd, path, flags); }

int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void *arg = va_arg(args, void *);
  va_end(args);
  NEXT(ioctl);

  if (request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC) {
    int saved = errno;
    long pts = sim_dir() ? pts_number(fd) : -1;
    struct termios t;
    if (pts >= 0) {
      /* A hung-up or closed device fails as the real one would. */
      if (tcgetattr(fd, &t) != 0) return -1;
      if (!arg) return errno = EFAULT, -1;
      int value = *(int *)arg, lines;
      switch (request) {
        case TIOCMGET: lines = update_lines(pts, NULL, 0, NULL, NULL); break;
        case TIOCMSET: lines = update_lines(pts, assign_lines, value, "ioctl", NULL); break;
        case TIOCMBIS: lines = update_lines(pts, raise_lines, value, "ioctl", NULL); break;
        default: lines = update_lines(pts, drop_lines, value, "ioctl", NULL); break;
      }
      if (lines >= 0) {
        if (request == TIOCMGET) *(int *)arg = lines;
        errno = saved;
        return 0;
      }
    }
    errno = saved;
  }
  if (!next_ioctl) return (int)syscall(SYS_ioctl, fd, request, arg);
  return next_ioctl(fd, request, arg);
}

int tcsetattr(int fd, int action, const struct termios *t) {
  NEXT(tcsetattr);
  if (!next_tcsetattr) return errno = ENOSYS, -1;
  long pts = sim_dir() ? pts_number(fd) : -1;
  struct termios before;
  int known = pts >= 0 && tcgetattr(fd, &before) == 0;
  int result = next_tcsetattr(fd, action, t);
  if (result != 0 || !known || !t) return result;
  int saved = errno;
  speed_t was = cfgetospeed(&before), now = cfgetospeed(t);
  /* As a serial driver does: B0 hangs up; leaving B0 raises DTR, and RTS unless RTS
   * is given to hardware flow control. */
  if (was != B0 && now == B0)
    update_lines(pts, drop_lines, BOTH_LINES, "termios", NULL);
  else if (was == B0 && now != B0)
    update_lines(pts, raise_lines, (t->c_cflag & CRTSCTS) ? LINE_DTR : BOTH_LINES, "termios", NULL);
  else
    update_lines(pts, raise_lines, 0, "termios", NULL);
  errno = saved;
  return result;
}

int close(int fd) {
  struct timespec called;
  clock_gettime(CLOCK_MONOTONIC, &called);
  NEXT(close);
  long pts = sim_dir() ? pts_number(fd) : -1;
  struct termios t;
  int hupcl = pts >= 0 && tcgetattr(fd, &t) == 0 && (t.c_cflag & HUPCL);
  int result = next_close ? next_close(fd) : (int)syscall(SYS_close, fd);
  if (hupcl) {
    int saved = errno;
    if (!held_anywhere(pts)) update_lines(pts, drop_lines, BOTH_LINES, "close", &called);
    errno = saved;
  }
  return result;
}
