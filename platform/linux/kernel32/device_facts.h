// What can be known about a serial device without opening it (an open of a tty raises
// DTR and RTS): its /dev/serial/by-id name, driver and USB identity from sysfs, whether
// this user may open it and which group owns it, and which process holds it, from
// /proc. Built on stat, faccessat and the sysfs and /proc files; leaves out every
// device that is not a character device of the tty layer (a pseudo-terminal simply has
// no driver or USB facts).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>

#include "platform/linux/kernel32/port_names.h"

namespace posix {

struct ProcessRef {
  pid_t pid = 0;
  std::string name;  // /proc/<pid>/comm, "" when it cannot be read
};

struct DeviceFacts {
  std::string path;
  bool exists = false;  // stat of the path (through its links) succeeded
  int statError = 0;    // errno of that stat otherwise
  bool isCharDevice = false;
  std::string byId;    // /dev/serial/by-id/... leading to the device, "" when none
  std::string driver;  // "ftdi_sio", "cdc_acm", "serial8250", ... or ""
  std::string usbVendor, usbProduct, usbSerial;  // "0403", "6001", "A50285BI"; "" if not USB
  std::string usbName;                           // manufacturer and product strings
  bool mayOpen = false;                          // read and write allowed to this process
  int accessError = 0;        // errno of the check otherwise (EACCES, EROFS, ...)
  std::string owner, group;   // names of the device's owner and group
  bool groupMayOpen = false;  // the group has read and write permission
  // The group would allow the open and this user's account is in it, but this session
  // started before it was added: logging in again is all that is missing.
  bool groupNotYetInSession = false;
  std::optional<ProcessRef> holder;
};

// "EACCES" for EACCES: what an operator can look up.
std::string errnoName(int error);

// Why this user may not open the device and what to do about it, as one clause
// ("permission denied (EACCES): the device belongs to group dialout; run ...").
std::string accessDenial(const DeviceFacts& facts);

// `roots` tells where the by-id links and the sysfs entries are; the holder comes from
// /proc (never from a fake tree: the processes are real).
DeviceFacts factsOf(const std::string& path, const DeviceRoots& roots);

// A process that has the device open, by its lock in /proc/locks first, else by an
// open descriptor in /proc/*/fd (only the processes this user may look into).
std::optional<ProcessRef> holderOf(const std::string& path);

// Whether /proc/locks lists a lock on `device` (of any kind, or flock(2) locks only),
// and by which process: the pid, or 0 when the kernel names none (an open file
// description's lock). Waiters are not holders. Reading /proc/locks is slow on some
// kernels (about 10 ms here), so an open asks it once.
enum class LockKinds { FlockOnly, Any };
std::optional<pid_t> lockHolder(const struct stat& device, LockKinds kinds);

// A pseudo-terminal's slave side (/dev/pts/N): no modem lines of its own, and no
// number that stays with it.
bool isPseudoTerminal(const struct stat& st);

// What stays the same when an adapter is unplugged and plugged in again: its by-id
// name, else its USB vendor, product and serial number, else the device numbers.
struct DeviceIdentity {
  enum class Kind { None, ById, Usb, Numbers };
  Kind kind = Kind::None;
  std::string key;
  bool operator==(const DeviceIdentity&) const = default;
};

DeviceIdentity identityOf(const std::string& path, const DeviceRoots& roots);

// The roots through which CreateFileA resolves "COMn": the system's, unless a test has
// pointed the layer at a made-up tree.
const DeviceRoots& openingRoots();
void setOpeningRootsForTesting(const DeviceRoots& roots);

}  // namespace posix
