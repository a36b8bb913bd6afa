// Facts about a serial device from sysfs, /dev/serial/by-id and /proc; nothing here
// opens the device.
#include "platform/linux/kernel32/device_facts.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace posix {

namespace {

std::string firstLine(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string dirName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string readLink(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
  return length < 0 ? std::string() : std::string(target, static_cast<std::size_t>(length));
}

// The path and every link it passes through, one hop at a time: a ports-directory
// entry, a by-id link, /dev/ttyUSB0.
std::vector<std::string> linkChain(const std::string& path) {
  std::vector<std::string> chain{path};
  for (int hop = 0; hop < 40; ++hop) {
    const std::string target = readLink(chain.back());
    if (target.empty()) break;
    chain.push_back(target[0] == '/' ? target : dirName(chain.back()) + "/" + target);
  }
  return chain;
}

// /sys/class/tty/<name> of the device: the first name along the chain that sysfs knows.
std::string sysEntryOf(const std::string& path, const DeviceRoots& roots) {
  for (const std::string& hop : linkChain(path)) {
    const std::string entry = roots.sysClassTty + "/" + baseName(hop);
    if (exists(entry)) return entry;
  }
  return {};
}

struct UsbFacts {
  std::string vendor, product, serial, name;
};

// The USB device is an ancestor of the tty's device in /sys/devices: for ttyUSB the
// port's interface's parent, for ttyACM the interface's parent.
UsbFacts usbOf(const std::string& sysEntry) {
  if (sysEntry.empty()) return {};
  char resolved[PATH_MAX];
  if (!::realpath((sysEntry + "/device").c_str(), resolved)) return {};
  for (std::string dir = resolved; dir != "/" && dir != "."; dir = dirName(dir)) {
    if (!exists(dir + "/idVendor")) continue;
    UsbFacts usb{firstLine(dir + "/idVendor"), firstLine(dir + "/idProduct"),
                 firstLine(dir + "/serial"), firstLine(dir + "/manufacturer")};
    const std::string product = firstLine(dir + "/product");
    if (!product.empty()) usb.name += (usb.name.empty() ? "" : " ") + product;
    return usb;
  }
  return {};
}

std::string byIdOf(const std::string& path, const DeviceRoots& roots) {
  struct stat device, link;
  if (::stat(path.c_str(), &device) != 0) return {};
  const std::string dir = roots.dev + "/serial/by-id";
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* entry = ::readdir(d))
      if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string candidate = dir + "/" + name;
    if (::stat(candidate.c_str(), &link) == 0 && link.st_dev == device.st_dev &&
        link.st_ino == device.st_ino)
      return candidate;
  }
  return {};
}

std::string userName(uid_t uid) {
  struct passwd entry, *found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found) return found->pw_name;
  return std::to_string(uid);
}

std::string groupName(gid_t gid) {
  struct group entry, *found = nullptr;
  std::vector<char> buffer(65536);
  if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
    return found->gr_name;
  return std::to_string(gid);
}

bool inSessionGroups(gid_t gid) {
  if (::getegid() == gid) return true;
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(0, ::getgroups(0, nullptr))));
  const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
  return std::find(groups.begin(), groups.begin() + std::max(0, count), gid) !=
         groups.begin() + std::max(0, count);
}

// The account's groups as the group database has them now, not as the session got them.
bool inAccountGroups(gid_t gid) {
  struct passwd entry, *found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found) return false;
  int count = 64;
  std::vector<gid_t> groups(count);
  if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
    groups.resize(count);
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) return false;
  }
  return std::find(groups.begin(), groups.begin() + count, gid) != groups.begin() + count;
}

std::optional<ProcessRef> processRef(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  return ProcessRef{pid, firstLine("/proc/" + std::to_string(pid) + "/comm")};
}

// A descriptor on the same character device counts whichever node it was opened by.
bool sameFile(const struct stat& a, const struct stat& b) {
  if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

pid_t descriptorHolder(const struct stat& device) {
  DIR* proc = ::opendir("/proc");
  if (!proc) return 0;
  pid_t holder = 0;
  while (const dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    const std::string fdDir = "/proc/" + std::string(entry->d_name) + "/fd";
    DIR* fds = ::opendir(fdDir.c_str());
    if (!fds) continue;  // another user's process, or gone
    while (const dirent* fd = ::readdir(fds)) {
      struct stat st;
      if (fd->d_name[0] == '.') continue;
      if (::stat((fdDir + "/" + fd->d_name).c_str(), &st) == 0 && sameFile(st, device)) {
        holder = static_cast<pid_t>(pid);
        break;
      }
    }
    ::closedir(fds);
    if (holder) break;
  }
  ::closedir(proc);
  return holder;
}

DeviceRoots& rootsInUse() {
  static DeviceRoots roots;
  return roots;
}

}  // namespace

std::optional<pid_t> lockHolder(const struct stat& device, LockKinds kinds) {
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string id, kind, mode, access, where;
    long pid = 0;
    fields >> id >> kind;
    if (kind == "->") continue;  // a waiter; its holder has a line of its own
    fields >> mode >> access >> pid >> where;
    if (kinds == LockKinds::FlockOnly && kind != "FLOCK") continue;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
    if (major == ::major(device.st_dev) && minor == ::minor(device.st_dev) &&
        inode == device.st_ino)
      return pid > 0 ? static_cast<pid_t>(pid) : 0;
  }
  return std::nullopt;
}

std::optional<ProcessRef> holderOf(const std::string& path) {
  struct stat device;
  if (::stat(path.c_str(), &device) != 0) return std::nullopt;
  if (const auto pid = lockHolder(device, LockKinds::Any); pid && *pid > 0)
    return processRef(*pid);
  return processRef(descriptorHolder(device));
}

DeviceFacts factsOf(const std::string& path, const DeviceRoots& roots) {
  DeviceFacts facts;
  facts.path = path;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    facts.statError = errno;
    return facts;
  }
  facts.exists = true;
  facts.isCharDevice = S_ISCHR(st.st_mode);
  facts.byId = byIdOf(path, roots);
  const std::string sysEntry = sysEntryOf(path, roots);
  if (!sysEntry.empty()) facts.driver = baseName(readLink(sysEntry + "/device/driver"));
  const UsbFacts usb = usbOf(sysEntry);
  facts.usbVendor = usb.vendor;
  facts.usbProduct = usb.product;
  facts.usbSerial = usb.serial;
  facts.usbName = usb.name;
  facts.owner = userName(st.st_uid);
  facts.group = groupName(st.st_gid);
  facts.mayOpen = ::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
  if (!facts.mayOpen) facts.accessError = errno;
  facts.groupMayOpen = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  facts.groupNotYetInSession = !facts.mayOpen && facts.accessError == EACCES &&
                               facts.groupMayOpen && !inSessionGroups(st.st_gid) &&
                               inAccountGroups(st.st_gid);
  facts.holder = holderOf(path);
  return facts;
}

bool isPseudoTerminal(const struct stat& st) {
  constexpr unsigned kFirstPtySlaveMajor = 136, kLastPtySlaveMajor = 143;  // Unix98 ptys
  return S_ISCHR(st.st_mode) && ::major(st.st_rdev) >= kFirstPtySlaveMajor &&
         ::major(st.st_rdev) <= kLastPtySlaveMajor;
}

DeviceIdentity identityOf(const std::string& path, const DeviceRoots& roots) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return {};
  if (std::string byId = byIdOf(path, roots); !byId.empty())
    return {DeviceIdentity::Kind::ById, baseName(byId)};
  const UsbFacts usb = usbOf(sysEntryOf(path, roots));
  if (!usb.serial.empty())
    return {DeviceIdentity::Kind::Usb, usb.vendor + ":" + usb.product + ":" + usb.serial};
  // A pseudo-terminal's numbers name no device: the kernel gives a freed number to the
  // next terminal that any program opens, so such a port is never taken for "the same".
  if (isPseudoTerminal(st)) return {};
  return {DeviceIdentity::Kind::Numbers,
          std::to_string(::major(st.st_rdev)) + ":" + std::to_string(::minor(st.st_rdev))};
}

std::string errnoName(int error) {
  const char* name = ::strerrorname_np(error);
  return name ? name : "errno " + std::to_string(error);
}

std::string accessDenial(const DeviceFacts& facts) {
  if (facts.accessError != EACCES)
    return "it may not be opened for reading and writing (" + errnoName(facts.accessError) + ")";
  const std::string denied = "permission denied (EACCES): ";
  if (facts.groupNotYetInSession)
    return denied + "your account is in group " + facts.group +
           ", which owns the device, but this session began before it was added: log out and in";
  if (facts.groupMayOpen)
    return denied + "the device belongs to group " + facts.group + "; run \"sudo usermod -aG " +
           facts.group + " $USER\", then log out and in";
  return denied + "the device belongs to " + facts.owner + ":" + facts.group +
         " and its group may not open it either";
}

const DeviceRoots& openingRoots() { return rootsInUse(); }

void setOpeningRootsForTesting(const DeviceRoots& roots) { rootsInUse() = roots; }

}  // namespace posix
