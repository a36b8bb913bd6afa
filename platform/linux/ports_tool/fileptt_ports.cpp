// fileptt-ports: which COM number opens which serial device, for an operator choosing
// the port. The listing is the Linux layer's own resolution (port_listing.h); nothing is
// opened, so no line of any port moves. Exit code 0, or 1 when no serial device is
// present, 2 on a wrong command line.
#include <cstring>
#include <iostream>
#include <string>

#include "platform/linux/kernel32/port_listing.h"

namespace {

constexpr const char* kUsage =
    "Usage: fileptt-ports [--root DIR]\n"
    "Lists COM1, COM2, ... as fileptt opens them now: the mappings in the ports directory,\n"
    "then the serial devices present, with who may open them and who holds them.\n"
    "  --root DIR  for testing: read DIR/dev, DIR/sys/class/tty and DIR/proc/consoles\n"
    "              instead of /dev, /sys/class/tty and /proc/consoles\n";

}  // namespace

int main(int argc, char** argv) {
  posix::DeviceRoots roots;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--root" && i + 1 < argc) {
      const std::string root = argv[++i];
      roots.dev = root + "/dev";
      roots.sysClassTty = root + "/sys/class/tty";
      roots.procConsoles = root + "/proc/consoles";
      continue;
    }
    std::cerr << "fileptt-ports: unknown argument \"" << arg << "\"\n" << kUsage;
    return 2;
  }
  const posix::PortListing listing = posix::listPorts(posix::portsDirectory(), roots);
  return posix::printListing(std::cout, std::cerr, listing) ? 0 : 1;
}
