// How a Win32 port name reaches a Linux device: "COMn" or "\\.\COMn" (n from 1 to
// 256, no sign, leading zero or blank) goes through the user's ports directory, then
// to the n-th serial device present; every other name is refused as not found, never
// opened as a path. Built on POSIX file calls; leaves out the rest of Win32's device
// namespace.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace posix {

// "COMn" for "\\.\COMn" (any digits); every other name as it is.
std::string_view withoutDeviceNamespace(std::string_view name);

// n for "COMn" or "\\.\COMn", or 0 when the name is not exactly of that form.
int comPortNumber(std::string_view name);

// $XDG_CONFIG_HOME/fileptt/ports (a relative XDG_CONFIG_HOME is ignored, as the XDG
// rules say), else ~/.config/fileptt/ports; "" when there is no home either.
std::string portsDirectory();

// Where the present serial devices are looked for; tests point these elsewhere.
struct DeviceRoots {
  std::string dev = "/dev";
  std::string sysClassTty = "/sys/class/tty";  // its console/active names the consoles
  std::string procConsoles = "/proc/consoles";
};

// /dev/ttyUSB*, /dev/ttyACM*, then the /dev/ttyS* that a driver backs, each family in
// numeric order; never a tty that is a system console.
std::vector<std::string> presentSerialDevices(const DeviceRoots& roots);

struct ResolvedName {
  std::string path;  // what open() is given when error is 0
  DWORD error;       // a Win32 code when the name leads nowhere
};

// A name that is not exactly "COMn" or "\\.\COMn" fails with file not found. A
// ports-directory entry that exists, even a dangling one, is final: a broken mapping
// fails rather than opening some other device.
ResolvedName resolveDeviceName(std::string_view name, const std::string& portsDir,
                               const DeviceRoots& roots);

}  // namespace posix
