// A fresh pseudo-terminal for the Linux tests that stand one in for a serial port:
// posix_openpt, grantpt and unlockpt, and the slave's path. Header-only; the caller owns
// the master descriptor and closes it (closing it is how a test unplugs the "device").
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace testpty {

struct Opened {
  int master = -1;    // -1 when no pseudo-terminal could be made
  std::string slave;  // "/dev/pts/N"
};

inline Opened open() {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return {};
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    ::close(master);
    return {};
  }
  return {master, ::ptsname(master)};
}

}  // namespace testpty
