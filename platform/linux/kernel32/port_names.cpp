// Port names on Linux: ports directory first, then the serial devices present that are
// not a system console.
#include "platform/linux/kernel32/port_names.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "platform/linux/kernel32/errors.h"

namespace posix {

namespace {

constexpr int kHighestComPort = 256;

// The decimal number that `digits` spells without sign or leading zero, or -1.
long plainNumber(std::string_view digits, long limit) {
  if (digits.empty() || digits.size() > 9 || (digits[0] == '0' && digits.size() > 1)) return -1;
  long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value <= limit ? value : -1;
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// A UART that the 8250 driver registered but never found reports type 0; such a
// port has a device link yet no hardware behind it.
bool isPhantomUart(const std::string& sysEntry) {
  std::ifstream type(sysEntry + "/type");
  int value = -1;
  return type >> value && value == 0;
}

// The ttys the kernel writes its console to. On servers, virtual machines and boards
// a serial port is often one of them; counting it would make COM1 the console. Both
// lists are read: console/active names the consoles in use, /proc/consoles every
// registered one.
std::set<std::string, std::less<>> systemConsoles(const DeviceRoots& roots) {
  std::set<std::string, std::less<>> names;
  std::ifstream active(roots.sysClassTty + "/console/active");
  for (std::string name; active >> name;) names.insert(name);
  std::ifstream consoles(roots.procConsoles);
  for (std::string line; std::getline(consoles, line);) {
    std::istringstream fields(line);
    if (std::string name; fields >> name) names.insert(name);
  }
  return names;
}

}  // namespace

// "\\.\COM" and digits is the device-namespace spelling of "COM" and those digits, the
// way the program names every port number; Linux has one namespace, so both spellings
// resolve alike, whatever the digits.
std::string_view withoutDeviceNamespace(std::string_view name) {
  constexpr std::string_view kNamespace = "\\\\.\\";
  if (!name.starts_with(kNamespace)) return name;
  const std::string_view rest = name.substr(kNamespace.size());
  const bool comDigits = rest.size() > 3 && rest.substr(0, 3) == "COM" &&
                         rest.find_first_not_of("0123456789", 3) == std::string_view::npos;
  return comDigits ? rest : name;
}

int comPortNumber(std::string_view name) {
  name = withoutDeviceNamespace(name);
  if (name.substr(0, 3) != "COM") return 0;
  const long n = plainNumber(name.substr(3), kHighestComPort);
  return n >= 1 ? static_cast<int>(n) : 0;
}

std::string portsDirectory() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/fileptt/ports";
  std::string home;
  if (const char* h = std::getenv("HOME"); h && h[0] == '/') {
    home = h;
  } else {
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
      home = found->pw_dir;
  }
  return home.empty() ? std::string() : home + "/.config/fileptt/ports";
}

std::vector<std::string> presentSerialDevices(const DeviceRoots& roots) {
  struct Family {
    std::string_view prefix;
    bool needsDriver;
    std::vector<long> numbers;
  };
  Family families[] = {{"ttyUSB", false, {}}, {"ttyACM", false, {}}, {"ttyS", true, {}}};
  const auto consoles = systemConsoles(roots);

  if (DIR* dev = ::opendir(roots.dev.c_str())) {
    while (const dirent* entry = ::readdir(dev)) {
      const std::string_view name = entry->d_name;
      for (Family& family : families) {
        if (name.substr(0, family.prefix.size()) != family.prefix) continue;
        const long n = plainNumber(name.substr(family.prefix.size()), 999999);
        if (n < 0 || consoles.count(name)) continue;
        if (family.needsDriver) {
          const std::string sysEntry = roots.sysClassTty + "/" + std::string(name);
          if (!exists(sysEntry + "/device") || isPhantomUart(sysEntry)) continue;
        }
        family.numbers.push_back(n);
      }
    }
    ::closedir(dev);
  }

  std::vector<std::string> paths;
  for (Family& family : families) {
    std::sort(family.numbers.begin(), family.numbers.end());
    for (long n : family.numbers)
      paths.push_back(roots.dev + "/" + std::string(family.prefix) + std::to_string(n));
  }
  return paths;
}

ResolvedName resolveDeviceName(std::string_view name, const std::string& portsDir,
                               const DeviceRoots& roots) {
  const std::string_view port = withoutDeviceNamespace(name);
  const int n = comPortNumber(port);
  // Any other name would be a path, relative to the current directory: the one that
  // other programs write TX.txt into, where a planted entry would become the port.
  if (n == 0) return {{}, kErrorFileNotFound};

  if (!portsDir.empty()) {
    const std::string entry = portsDir + "/" + std::string(port);
    struct stat st;
    if (::lstat(entry.c_str(), &st) == 0) return {entry, 0};
    // Only a mapping that is certainly absent lets the search go on to the devices.
    if (errno != ENOENT && errno != ENOTDIR) return {{}, win32ErrorFromErrno(errno)};
  }

  const std::vector<std::string> devices = presentSerialDevices(roots);
  if (static_cast<std::size_t>(n) > devices.size()) return {{}, kErrorFileNotFound};
  return {devices[n - 1], 0};
}

}  // namespace posix
