// The ports listing: gathered by resolving every COM name that can lead somewhere,
// printed as header lines ("  COM2 opens /dev/ttyUSB1") with the facts indented below.
#include "platform/linux/kernel32/port_listing.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>

namespace posix {

namespace {

std::string readLink(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
  return length < 0 ? std::string() : std::string(target, static_cast<std::size_t>(length));
}

std::string realPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// Single quotes for the shell when a path holds anything but the plain characters.
std::string shellWord(const std::string& text) {
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("_./:+=@%,-").find(c) != std::string_view::npos;
  });
  if (plain) return text;
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

void printFacts(std::ostream& out, const DeviceFacts& facts) {
  const char* indent = "       ";
  if (!facts.byId.empty()) out << indent << "by-id " << facts.byId << "\n";
  std::string hardware;
  if (!facts.driver.empty()) hardware = "driver " + facts.driver;
  if (!facts.usbVendor.empty()) {
    hardware += (hardware.empty() ? "" : ", ") + std::string("USB ") + facts.usbVendor + ":" +
                facts.usbProduct;
    if (!facts.usbSerial.empty()) hardware += " serial " + facts.usbSerial;
    if (!facts.usbName.empty()) hardware += " (" + facts.usbName + ")";
  }
  if (!hardware.empty()) out << indent << hardware << "\n";
  if (!facts.isCharDevice) out << indent << "not a serial device (the program refuses it)\n";
  out << indent
      << (facts.mayOpen ? "you may open it" : "you may not open it: " + accessDenial(facts))
      << "\n";
  if (facts.holder)
    out << indent << "held by pid " << facts.holder->pid << " ("
        << (facts.holder->name.empty() ? "name unknown" : facts.holder->name) << ")\n";
  else
    out << indent << "held by no other process\n";
}

// The device the closing `ln -s` line pins: the first numbered one with a by-id name
// that no mapping leads to yet, kept at the number it has now when that is free.
void printPinLine(std::ostream& out, const PortListing& listing) {
  if (listing.portsDir.empty()) return;
  auto mappedTo = [&](const std::string& path) {
    const std::string device = realPath(path);
    return std::any_of(listing.mappings.begin(), listing.mappings.end(), [&](const auto& m) {
      return m.leadsSomewhere && realPath(m.entry) == device;
    });
  };
  auto isMapped = [&](int number) {
    const std::string name = "COM" + std::to_string(number);
    return std::any_of(listing.mappings.begin(), listing.mappings.end(),
                       [&](const auto& m) { return m.name == name; });
  };
  const NumberedDevice* pin = nullptr;
  for (std::size_t i = 0; i < listing.devices.size() && !pin; ++i) {
    const NumberedDevice& d = listing.devices[i];
    if (!d.facts.byId.empty() && !mappedTo(d.path)) pin = &d;
  }
  std::string target = "/dev/serial/by-id/NAME";
  int number = pin ? comPortNumber(pin->name) : 1;
  while (isMapped(number) && number < 256) ++number;
  if (pin) {
    target = pin->facts.byId;
    out << "\n"
        << (pin->mappedAway ? "To give " + pin->path + " a number of its own"
                            : "To keep " + pin->path + " at " + pin->name)
        << " whatever else is plugged in, map it by its by-id name:\n";
  } else {
    const bool anyById = std::any_of(listing.devices.begin(), listing.devices.end(),
                                     [](const auto& d) { return !d.facts.byId.empty(); });
    out << "\n"
        << (anyById ? "Every device with a by-id name is mapped already. "
                    : "No device here has a /dev/serial/by-id name (USB adapters have one). ")
        << "A mapping pins a device to a number:\n";
  }
  if (!listing.portsDirExists) out << "  mkdir -p " << shellWord(listing.portsDir) << "\n";
  out << "  ln -s " << shellWord(target) << " "
      << shellWord(listing.portsDir + "/COM" + std::to_string(number)) << "\n";
}

}  // namespace

PortListing listPorts(const std::string& portsDir, const DeviceRoots& roots) {
  PortListing listing;
  listing.portsDir = portsDir;
  std::vector<std::pair<int, std::string>> names;
  if (DIR* dir = portsDir.empty() ? nullptr : ::opendir(portsDir.c_str())) {
    listing.portsDirExists = true;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      if (const int n = comPortNumber(name))
        names.emplace_back(n, name);
      else
        listing.ignoredEntries.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  std::sort(listing.ignoredEntries.begin(), listing.ignoredEntries.end());

  for (const auto& [number, name] : names) {
    const ResolvedName resolved = resolveDeviceName(name, portsDir, roots);
    MappedPort port{
        name, resolved.error == 0 ? resolved.path : portsDir + "/" + name, {}, false, {}};
    port.target = readLink(port.entry);
    port.facts = factsOf(port.entry, roots);
    port.leadsSomewhere = resolved.error == 0 && port.facts.exists;
    listing.mappings.push_back(std::move(port));
  }

  const std::vector<std::string> devices = presentSerialDevices(roots);
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const std::string name = "COM" + std::to_string(i + 1);
    NumberedDevice device{name, devices[i], false, factsOf(devices[i], roots)};
    device.mappedAway = resolveDeviceName(name, portsDir, roots).path != devices[i];
    listing.devices.push_back(std::move(device));
  }
  return listing;
}

bool printListing(std::ostream& out, std::ostream& err, const PortListing& listing) {
  if (listing.portsDir.empty()) {
    out << "No ports directory: neither XDG_CONFIG_HOME nor a home directory is set.\n";
  } else if (listing.mappings.empty()) {
    out << "No mappings in " << listing.portsDir << ".\n";
  } else {
    out << "Mappings in " << listing.portsDir << " (a mapping COMn wins over the n-th device):\n";
    for (const MappedPort& m : listing.mappings) {
      out << "  " << m.name << " -> " << (m.target.empty() ? m.entry : m.target);
      if (m.leadsSomewhere) {
        out << " (opens " << realPath(m.entry) << ")\n";
        printFacts(out, m.facts);
      } else {
        out << " (leads nowhere: " << errnoName(m.facts.statError)
            << "; is the adapter plugged in?)\n";
      }
    }
  }
  for (const std::string& name : listing.ignoredEntries)
    out << "  (" << name << " is ignored: only COM1 to COM256, written plainly, are port names)\n";

  if (listing.devices.empty()) {
    err << "No serial devices are present: no /dev/ttyUSB*, no /dev/ttyACM*, and no /dev/ttyS* "
           "with a driver and a UART behind it. Is the adapter plugged in? (dmesg tells what "
           "the kernel saw.)\n";
    return false;
  }
  out << "\nSerial devices, numbered (COMn opens the n-th when no mapping COMn exists):\n";
  for (const NumberedDevice& d : listing.devices) {
    if (d.mappedAway)
      out << "  " << d.name << " is mapped above; by number it would open " << d.path << "\n";
    else
      out << "  " << d.name << " opens " << d.path << "\n";
    printFacts(out, d.facts);
  }
  printPinLine(out, listing);
  return true;
}

}  // namespace posix
