// The open of a serial device as CreateFileA does it (the exclusive-open check, flock,
// TIOCEXCL, HUPCL, B0, both lines low, refusing what has no modem lines), for
// CreateFileA itself and for opening a lost port again. Built on the handle records.
#pragma once

#include <string>

#include "platform/linux/kernel32/handles.h"
#include "platform/platform.h"

namespace posix {

// Opens `path` into `record`; false with the last error set on failure, when
// record.fd may still hold what was opened (its owner closes it).
bool openDevice(const std::string& path, DWORD access, bool exclusive, bool inherit,
                DeviceRecord& record);

}  // namespace posix
