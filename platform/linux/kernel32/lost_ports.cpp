// Lost ports: found by poll's hang-up or a call's EIO/ENODEV/ENXIO, looked for again
// by identity on every use while lost.
#include "platform/linux/kernel32/lost_ports.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/linux/kernel32/device_facts.h"
#include "platform/linux/kernel32/devices.h"
#include "platform/linux/kernel32/errors.h"
#include "platform/linux/kernel32/port_names.h"
#include "platform/linux/kernel32/watchdog.h"

namespace posix {

namespace {

void letGo(DeviceRecord& record) {
  if (record.fd >= 0) {
    watchdog::forgetPort(record.fd);
    ::close(record.fd);
  }
  record.fd = -1;
}

void markLost(DeviceRecord& record) {
  letGo(record);
  record.lost = true;
  sayOnStderr(record.portName + " (" + record.path +
              ") is lost: the device went away; it is opened " +
              "again when the same device is back");
}

// Where a device of the record's identity may be now: the path it was opened by (a
// mapping or by-id link follows the device to its new node), its by-id link, then
// every serial device present.
std::vector<std::string> candidates(const DeviceRecord& record, const DeviceRoots& roots) {
  std::vector<std::string> paths{record.path};
  if (record.identity.kind == DeviceIdentity::Kind::ById)
    paths.push_back(roots.dev + "/serial/by-id/" + record.identity.key);
  for (std::string& device : presentSerialDevices(roots)) paths.push_back(std::move(device));
  return paths;
}

bool reopen(DeviceRecord& record) {
  if (record.identity.kind == DeviceIdentity::Kind::None) return false;
  const DeviceRoots& roots = openingRoots();
  for (const std::string& path : candidates(record, roots)) {
    if (identityOf(path, roots) != record.identity) continue;
    const DWORD savedError = platform::GetLastError();
    if (!openDevice(path, record.access, record.exclusive, record.inherit, record) ||
        !watchdog::watchPort(record.fd, path.c_str())) {
      // Held by another program, or not ready yet: tried again at the next use.
      if (record.fd >= 0) ::close(record.fd);
      record.fd = -1;
      platform::SetLastError(savedError);
      continue;
    }
    record.lost = false;
    sayOnStderr(record.portName + " is back (" + path + "): DTR and RTS follow TX.txt again");
    return true;
  }
  return false;
}

}  // namespace

bool lostBy(DeviceRecord& record, int error) {
  if (error != EIO && error != ENODEV && error != ENXIO) return false;
  markLost(record);
  return true;
}

bool portReady(DeviceRecord& record) {
  if (!record.lost) {
    pollfd check{record.fd, 0, 0};
    // A tty that has hung up (its device gone) reports it with no event asked for.
    if (::poll(&check, 1, 0) != 1 || !(check.revents & (POLLHUP | POLLERR | POLLNVAL))) return true;
    markLost(record);
  }
  if (reopen(record)) return true;
  return failWith(kErrorGenFailure, false);
}

}  // namespace posix
