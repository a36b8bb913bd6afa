// The Win32 serial control block (DCB) and termios, each described by the other: the
// pure half of GetCommState and SetCommState, kept apart so it can be tried on any
// termios, including framings a pseudo-terminal cannot hold. Built on <termios.h>;
// leaves out custom baud rates and DSR flow control, which have no termios form.
#pragma once

#include <termios.h>

#include "platform/linux/kernel32/handles.h"
#include "platform/platform.h"

namespace posix {

// The control block that termios and the handle's record describe; the line modes
// come from the record once set, else from the lines as read (dtrUp, rtsUp). At B0
// the speed is the record's: a block read and written back keeps the device at B0,
// and only a block asking for another speed gives it a real one.
DCB describeTermios(const termios& t, const DeviceRecord& device, bool dtrUp, bool rtsUp);

// True when `a` and `b` agree on every field that termios carries.
bool sameTermiosFields(const DCB& a, const DCB& b);

// Changes `t` where `wanted` differs from `now`; false, with `t` half changed, when a
// wanted value has no termios form.
bool applyToTermios(const DCB& wanted, const DCB& now, termios& t);

}  // namespace posix
