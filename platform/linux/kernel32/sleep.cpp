// KERNEL32's Sleep on POSIX: the thread waits, and nothing else happens meanwhile (as
// on Win32, no message is handled during the wait). Built on nanosleep; kept alone in
// this file because it is the one call through which the program's idle loop waits.
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

namespace {

constexpr DWORD kInfinite = 0xFFFFFFFFu;

}  // namespace

namespace platform {

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
