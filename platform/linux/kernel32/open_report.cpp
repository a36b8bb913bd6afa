// Why an open failed, found again after the fact from the name's resolution and the
// device's facts, so that the open itself stays free of reporting.
#include "platform/linux/kernel32/open_report.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/linux/kernel32/device_facts.h"
#include "platform/linux/kernel32/errors.h"
#include "platform/linux/kernel32/handles.h"
#include "platform/linux/kernel32/port_names.h"

namespace posix {

namespace {

std::string devicesPresent(const DeviceRoots& roots) {
  const std::size_t count = presentSerialDevices(roots).size();
  std::string text = count == 0 ? "no serial device is present"
                     : count == 1
                         ? "1 serial device is present (COM1)"
                         : std::to_string(count) + " serial devices are present (COM1 to COM" +
                               std::to_string(count) + ")";
  return text + "; run fileptt-ports to see which is which";
}

// Where a chain of links ends, or as far as it goes when it leads nowhere.
std::string finalTarget(const std::string& path) {
  char resolved[4096];
  if (::realpath(path.c_str(), resolved)) return resolved;
  std::string current = path;
  for (int hop = 0; hop < 40; ++hop) {
    char target[4096];
    const ssize_t length = ::readlink(current.c_str(), target, sizeof target - 1);
    if (length < 0) break;
    const std::string next(target, static_cast<std::size_t>(length));
    const std::size_t slash = current.find_last_of('/');
    current =
        next[0] == '/' || slash == std::string::npos ? next : current.substr(0, slash + 1) + next;
  }
  return std::filesystem::path(current).lexically_normal().string();
}

// What a device that opened but was refused is, when it is not a terminal whose DTR
// and RTS can be driven.
std::string notAPortReason(const std::string& path) {
  struct stat st;
  std::string kind;
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISREG(st.st_mode)) kind = "a disk file, ";
    else if (S_ISFIFO(st.st_mode)) kind = "a FIFO, ";
    else if (S_ISSOCK(st.st_mode)) kind = "a socket, ";
    else if (isPseudoTerminal(st))
      kind = "a pseudo-terminal without modem lines, ";
  }
  return "it is " + kind + "not a serial port whose DTR and RTS can be driven: nothing could be keyed";
}

std::string failureReason(std::string_view name, const ResolvedName& resolved, DWORD code,
                          const std::string& portsDir, const DeviceRoots& roots) {
  const int number = comPortNumber(name);
  if (number == 0)
    return "only COM1 to COM256, written plainly (or as \\\\.\\COMn), name a port; no other "
           "name is opened, so that nothing planted in the working directory becomes one";
  const std::string mapping = portsDir.empty() ? "" : portsDir + "/" + std::string(name);
  if (resolved.error != 0) {
    struct stat st;
    if (!mapping.empty() && ::lstat(mapping.c_str(), &st) != 0 && errno != ENOENT &&
        errno != ENOTDIR)
      return "the ports directory " + portsDir + " cannot be read (" + errnoName(errno) + ")";
    return "no mapping " + std::string(name) + " in " +
           (portsDir.empty() ? "the ports directory (no home directory)" : portsDir) + ", and " +
           devicesPresent(roots);
  }

  const DeviceFacts facts = factsOf(resolved.path, roots);
  if (!facts.exists) {
    const std::string error = errnoName(facts.statError);
    if (number != 0 && resolved.path == mapping)
      return std::string(name) + " is mapped to " + finalTarget(mapping) +
             ", which does not exist (" + error + "): is the adapter plugged in? " +
             devicesPresent(roots);
    return "there is no such device (" + error + "); " + devicesPresent(roots);
  }
  if (code == kErrorSharingViolation) {
    if (facts.holder)
      return "held by another process: pid " + std::to_string(facts.holder->pid) + " (" +
             (facts.holder->name.empty() ? "name unknown" : facts.holder->name) + ")";
    return "held by another process (one this user may not look into)";
  }
  struct stat st;
  if (::stat(resolved.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return "it is a directory, not a serial device";
  if (!facts.mayOpen) return accessDenial(facts);
  if (code == kErrorNotSupported) return notAPortReason(resolved.path);
  if (code == kErrorFileNotFound)
    return "the device does not answer (no hardware behind it, or just unplugged)";
  return "the open failed with error " + std::to_string(code);
}

bool isDiskFile(HANDLE handle) {
  const std::shared_ptr<DeviceRecord> device = findDevice(handle);
  struct stat st;
  return device && ::fstat(device->fd, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string openReport(const char* name, HANDLE handle, DWORD code) {
  // Named as the operator knows it: COM1, not the device-namespace spelling.
  const std::string_view text = withoutDeviceNamespace(name ? name : "");
  const bool opened = handle != INVALID_HANDLE_VALUE;
  if (opened && !isDiskFile(handle)) return {};
  if (text.empty()) return "cannot open a port without a name";

  const std::string portsDir = portsDirectory();
  const DeviceRoots& roots = openingRoots();
  const ResolvedName resolved = resolveDeviceName(text, portsDir, roots);
  std::string line = (opened ? "cannot use " : "cannot open ") + std::string(text);
  if (resolved.error == 0 && resolved.path != text) {
    // A mapping that leads nowhere is shown with its target in the reason itself.
    struct stat st;
    const std::string target = finalTarget(resolved.path);
    const bool leads = ::stat(resolved.path.c_str(), &st) == 0;
    line += " (" + resolved.path + (leads && target != resolved.path ? " -> " + target : "") + ")";
  }
  if (opened) return line + ": it is a disk file, not a serial device";
  return line + ": " + failureReason(text, resolved, code, portsDir, roots);
}

void reportOpen(const char* name, HANDLE handle, DWORD code) noexcept {
  try {
    const std::string line = openReport(name, handle, code);
    if (line.empty()) return;
    const std::string whole = line + "\n";
    // One write, so that the line never interleaves with another thread's.
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, whole.data(), whole.size());
  } catch (...) {
    // Out of memory while explaining: the program's own error box still comes.
  }
}

}  // namespace posix
