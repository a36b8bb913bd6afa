// The one line on standard error that says why CreateFileA could not give the program
// a serial port: the name, the device it resolved to, the reason and, where there is
// one, the remedy (a group to join, a process to close, fileptt-ports to run). The
// error box the program shows is left as it is; this is for the operator at a terminal.
// Built on the port-name resolution and device_facts.h; it never opens the device.
#pragma once

#include <string>

#include "platform/platform.h"

namespace posix {

// Called after every CreateFileA with its result. Writes nothing when `handle` is a
// device that opened; for a failure (`code` is the last-error code) or a disk file, it
// writes the line. Never throws.
void reportOpen(const char* name, HANDLE handle, DWORD code) noexcept;

// The line itself (without its newline), for a failure with `code`; "" when `handle`
// is a device that opened.
std::string openReport(const char* name, HANDLE handle, DWORD code);

}  // namespace posix
