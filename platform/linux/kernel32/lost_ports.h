// A serial device that goes away while open (a USB adapter unplugged, a pseudo-
// terminal's master closed) and comes back: the handle stays, the dead descriptor is
// let go at once (so that the kernel can give the device its node again), and when a
// device of the same identity (by-id name, else USB vendor, product and serial number,
// else the node's device numbers) is present again, it is opened on the same handle as
// CreateFileA opens a port. A different device is never opened. Says on stderr once
// when the port is lost and once when it is back. Built on devices.h, device_facts.h
// and poll; leaves out every device kind but the tty layer's.
#pragma once

#include "platform/linux/kernel32/handles.h"

namespace posix {

// Before each use of the device (GetCommState, SetCommState): true when record.fd is
// a live descriptor, after opening the device again if it was lost and is back; false,
// with the last error set, while it is lost.
bool portReady(DeviceRecord& record);

// After a call on record.fd failed with `error`: true (and the port is let go) when
// the error means that the device is gone.
bool lostBy(DeviceRecord& record, int error);

}  // namespace posix
