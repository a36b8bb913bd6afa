// Which COM number opens which device, as CreateFileA would resolve each one at this
// moment: the ports-directory mappings and where each leads, then the serial devices
// in the order that numbers them, each with its facts; and the `ln -s` line that pins
// a device to its number. Built on the port-name resolution itself (every "COMn" shown
// is put through resolveDeviceName) and device_facts.h; opens no device.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/linux/kernel32/device_facts.h"
#include "platform/linux/kernel32/port_names.h"

namespace posix {

struct MappedPort {
  std::string name;    // "COM3"
  std::string entry;   // the ports-directory entry
  std::string target;  // what the entry's link names, "" for a plain file
  bool leadsSomewhere = false;
  DeviceFacts facts;  // of the entry, followed to its end
};

struct NumberedDevice {
  std::string name;  // "COMn" for the n-th device
  std::string path;
  bool mappedAway = false;  // a mapping of the same name wins: the number opens that instead
  DeviceFacts facts;
};

struct PortListing {
  std::string portsDir;  // "" when there is no home directory
  bool portsDirExists = false;
  std::vector<MappedPort> mappings;         // in COM-number order
  std::vector<std::string> ignoredEntries;  // entries that are not a plain "COMn"
  std::vector<NumberedDevice> devices;
};

PortListing listPorts(const std::string& portsDir, const DeviceRoots& roots);

// The listing for an operator. Returns false (after saying so) when no serial device
// is present.
bool printListing(std::ostream& out, std::ostream& err, const PortListing& listing);

}  // namespace posix
