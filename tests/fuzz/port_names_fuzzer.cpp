// libFuzzer target: how a port name reaches a device (posix::comPortNumber,
// presentSerialDevices, resolveDeviceName) over a fake /dev, /sys/class/tty and ports
// directory that the input builds below the scratch directory.
//
// Input lines (fuzz_input.h), run in order on emptied trees:
//   d NAME          an entry in the fake /dev     D NAME TARGET   a symbolic link there
//   s NAME [TYPE]   /sys/class/tty/NAME with a device link (and a UART type file)
//   n NAME [TYPE]   /sys/class/tty/NAME without a device
//   b NAME          /sys/class/tty/NAME whose device link leads nowhere
//   m NAME TARGET   ports/NAME, a symbolic link   M NAME   ports/NAME, a directory
//   P               the ports directory replaced by a regular file
//   ? NAME          resolve NAME
// Beyond "no crash, no leak", each ? checks: COMn is recognised exactly for the
// canonical spellings COM1 to COM256; a COMn with a ports entry leads to that entry;
// every device listed exists in the fake /dev, is listed once, in family order
// (ttyUSB, ttyACM, ttyS) and numeric order, and a ttyS only with a driver behind it;
// every ttyUSB and ttyACM with a plain number is listed.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "fuzz_input.h"
#include "platform/linux/kernel32/port_names.h"

namespace {

struct Trees {
  std::string dev, sys, ports;
};

const Trees& trees() {
  static const Trees t = [] {
    const std::string root = fuzzinput::scratch();
    return Trees{root + "/dev", root + "/sys/class/tty", root + "/ports"};
  }();
  return t;
}

void reset() {
  const Trees& t = trees();
  fuzzinput::empty(fuzzinput::scratch());
  if (!fuzzinput::makeDirectories(t.dev) || !fuzzinput::makeDirectories(t.sys) ||
      !fuzzinput::makeDirectories(t.ports) ||
      !fuzzinput::makeDirectories(fuzzinput::scratch() + "/sys/devices/x"))
    fuzzinput::fail("cannot make the fake trees");
}

bool plainName(const std::string& name) {
  return fuzzinput::staysInside(name) && name.find('/') == std::string::npos;
}

void writeFile(const std::string& path, const std::string& text) {
  fuzzinput::makeFile(path, text);
}

// The family and number of a device name, or -1 when it has no plain number.
int familyOf(const std::string& path, long* number) {
  static const char* const prefixes[] = {"ttyUSB", "ttyACM", "ttyS"};
  const std::string name = path.substr(path.rfind('/') + 1);
  for (int f = 0; f < 3; ++f) {
    const std::string prefix = prefixes[f];
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.empty() || digits.size() > 6 || (digits[0] == '0' && digits.size() > 1) ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      continue;
    *number = std::stol(digits);
    return f;
  }
  return -1;
}

bool exists(const std::string& path, bool follow = false) {
  struct stat st;
  return (follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) == 0;
}

void checkDevices(const std::vector<std::string>& devices, const std::set<std::string>& made) {
  const Trees& t = trees();
  std::set<std::string> seen;
  int lastFamily = -1;
  long lastNumber = -1;
  for (const std::string& path : devices) {
    if (path.compare(0, t.dev.size() + 1, t.dev + "/") != 0 || !exists(path))
      fuzzinput::fail("listed a device that is not in /dev: " + path);
    if (!seen.insert(path).second) fuzzinput::fail("listed twice: " + path);
    long number = 0;
    const int family = familyOf(path, &number);
    if (family < 0) fuzzinput::fail("listed a name of no family: " + path);
    if (family < lastFamily || (family == lastFamily && number < lastNumber))
      fuzzinput::fail("out of order: " + path);
    lastFamily = family, lastNumber = number;
    if (family == 2) {
      const std::string sysEntry = t.sys + path.substr(path.rfind('/'));
      if (!exists(sysEntry + "/device", true))
        fuzzinput::fail("listed a ttyS without a driver: " + path);
    }
  }
  for (const std::string& name : made) {
    long number = 0;
    const int family = familyOf(name, &number);
    if (family >= 0 && family < 2 && !seen.count(t.dev + "/" + name))
      fuzzinput::fail("left out " + name);
  }
}

void resolve(const std::string& name, const std::set<std::string>& made) {
  const Trees& t = trees();
  const int n = posix::comPortNumber(name);
  if (n < 0 || n > 256) fuzzinput::fail("port number out of range for \"" + name + "\"");
  // COMn written plainly, or in Win32's device namespace (\\.\COMn), names port n.
  const std::string plain = name.rfind("\\\\.\\", 0) == 0 ? name.substr(4) : name;
  const bool canonical = plain.size() >= 4 && plain.compare(0, 3, "COM") == 0 &&
                         plain.substr(3) == std::to_string(n) && n >= 1;
  if ((n != 0) != canonical)
    fuzzinput::fail("comPortNumber(\"" + name + "\") = " + std::to_string(n));

  const std::vector<std::string> devices = posix::presentSerialDevices({t.dev, t.sys});
  checkDevices(devices, made);

  const posix::ResolvedName resolved = posix::resolveDeviceName(name, t.ports, {t.dev, t.sys});
  if (resolved.error != 0 && !resolved.path.empty()) fuzzinput::fail("a failure with a path");
  if (n == 0) return;  // other names: their rules are the layer's to choose
  const std::string entry = t.ports + "/" + plain;
  if (exists(entry)) {
    if (resolved.error != 0 || resolved.path != entry)
      fuzzinput::fail("a ports entry was passed over for " + name);
  } else if (resolved.error == 0 &&
             std::find(devices.begin(), devices.end(), resolved.path) == devices.end()) {
    fuzzinput::fail(name + " led to " + resolved.path + ", which is not a device present");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  reset();
  const Trees& t = trees();
  std::set<std::string> made;  // names made in the fake /dev
  bool resolved = false;
  for (const fuzzinput::Command& c : fuzzinput::parse(data, size)) {
    const std::string name = c.field(0);
    switch (c.letter) {
      case 'd':
        if (plainName(name) && (writeFile(t.dev + "/" + name, ""), exists(t.dev + "/" + name)))
          made.insert(name);
        break;
      case 'D':
        if (plainName(name) && ::symlink(c.field(1).c_str(), (t.dev + "/" + name).c_str()) == 0)
          made.insert(name);
        break;
      case 's':
      case 'n':
      case 'b':
        if (!plainName(name)) break;
        ::mkdir((t.sys + "/" + name).c_str(), 0755);
        if (c.letter != 'n')
          ::symlink(c.letter == 's' ? "../../../devices/x" : "../../../devices/gone",
                    (t.sys + "/" + name + "/device").c_str());
        if (c.fields.size() > 1) writeFile(t.sys + "/" + name + "/type", c.field(1));
        break;
      case 'm':
        if (plainName(name)) ::symlink(c.field(1).c_str(), (t.ports + "/" + name).c_str());
        break;
      case 'M':
        if (plainName(name)) ::mkdir((t.ports + "/" + name).c_str(), 0755);
        break;
      case 'P':
        fuzzinput::empty(t.ports);
        ::rmdir(t.ports.c_str());
        writeFile(t.ports, "");
        break;
      case '?':
        resolve(name, made);
        resolved = true;
        break;
      default: break;
    }
  }
  if (!resolved) resolve("COM1", made);
  return 0;
}
