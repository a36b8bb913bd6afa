// libFuzzer target: the serial layer (CreateFileA, GetFileType, GetCommState,
// SetCommState, CloseHandle through platform/platform.h) on names that lead to things
// that are not serial ports: /dev/null and its kind, a FIFO, a regular file, a
// directory, a socket, a bare pseudo-terminal (whose master may hang up), dangling and
// looping links; and on handles that are stale, bogus or closed twice.
//
// No name here can reach a real port: COM1 to COM256 are all entries of a ports
// directory below the scratch directory (COM9 and up lead nowhere), and every other
// name is a single path component, looked up in the scratch working directory.
//
// Input lines (fuzz_input.h):
//   m K KIND          ports/COMK (K from 1 to 8) leads to a new thing of KIND
//   o NAME KIND       NAME in the working directory is a new thing of KIND
//   c NAME FLAGS      CreateFileA(NAME); FLAGS' letters: r w (access), x (exclusive),
//                     i (inheritable); the handle goes into the next slot
//   t S / g S / x S   GetFileType / GetCommState / CloseHandle on slot S
//   s S BYTES         SetCommState on slot S with a DCB made of the bytes
//   b NUMBER          each call on the handle value NUMBER (never one of ours)
//   k                 the pseudo-terminals' masters close: their slaves hang up
// KINDs: null zero full ptmx pty fifo file empty dir socket dangling loop chain.
// Checked beyond "no crash, no leak": a directory never opens; a disk file opens as
// FILE_TYPE_DISK and takes no control block; two exclusive handles are never open on
// the same file or device at once; a closed or foreign handle fails with
// ERROR_INVALID_HANDLE (6); a block that SetCommState took reads back with the same
// DTR and RTS controls; after each input, the descriptor count is as before.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "platform/platform.h"

namespace {

constexpr int kMappedPorts = 8;
constexpr DWORD kInvalidHandle = 6;

std::string root, work, ports;

void setUp() {
  root = fuzzinput::scratch();
  work = root + "/cwd";
  ports = root + "/config/fileptt/ports";
  if (!fuzzinput::makeDirectories(work) || !fuzzinput::makeDirectories(ports) ||
      ::chdir(work.c_str()) != 0)
    fuzzinput::fail("cannot make the scratch trees");
  ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  for (int n = 1; n <= 256; ++n) {
    const std::string entry = ports + "/COM" + std::to_string(n);
    ::symlink((root + "/nothing").c_str(), entry.c_str());
    struct stat st;
    if (::lstat(entry.c_str(), &st) != 0) fuzzinput::fail("cannot map " + entry);
  }
}

struct Pty {
  int master;
  std::string slave;
};
std::vector<Pty> ptys;

std::string newPty() {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return root + "/nothing";
  const char* slave = ::ptsname(master);
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || !slave) {
    ::close(master);
    return root + "/nothing";
  }
  ptys.push_back({master, slave});
  return slave;
}

void hangUp() {
  for (Pty& p : ptys)
    if (p.master >= 0) ::close(p.master), p.master = -1;
}

// Makes `path` (which does not exist) a thing of `kind`.
void make(const std::string& path, const std::string& kind) {
  static int serial = 0;
  const std::string fresh = root + "/thing" + std::to_string(serial++);
  auto link = [&](const std::string& target) { ::symlink(target.c_str(), path.c_str()); };
  if (kind == "null" || kind == "zero" || kind == "full" || kind == "ptmx") {
    link("/dev/" + kind);
  } else if (kind == "pty") {
    link(newPty());
  } else if (kind == "fifo") {
    ::mkfifo(path.c_str(), 0600);
  } else if (kind == "file" || kind == "empty") {
    fuzzinput::makeFile(path, kind == "file" ? "AT\r\n" : "");
  } else if (kind == "dir") {
    ::mkdir(path.c_str(), 0700);
  } else if (kind == "socket") {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fresh.size() >= sizeof address.sun_path) return;
    std::memcpy(address.sun_path, fresh.c_str(), fresh.size());
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) link(fresh);
    ::close(s);
  } else if (kind == "dangling") {
    link(fresh);
  } else if (kind == "loop") {
    link(path);
  } else if (kind == "chain") {
    ::symlink(newPty().c_str(), fresh.c_str());
    link(fresh);
  }
}

struct Slot {
  HANDLE handle;
  bool open;
  bool exclusive;
  struct stat target;  // what the name led to when it opened
};
std::vector<Slot> slots;

Slot* slotAt(const std::string& field) {
  if (slots.empty()) return nullptr;
  return &slots[std::strtoul(field.c_str(), nullptr, 10) % slots.size()];
}

void expectInvalidHandle(bool failed, const char* call) {
  if (!failed || platform::GetLastError() != kInvalidHandle)
    fuzzinput::fail(std::string(call) + " took a handle that is not open");
}

void allCallsRefuse(HANDLE h) {
  DCB dcb{};
  platform::SetLastError(0);
  expectInvalidHandle(platform::GetFileType(h) == FILE_TYPE_UNKNOWN, "GetFileType");
  expectInvalidHandle(!platform::GetCommState(h, &dcb), "GetCommState");
  expectInvalidHandle(!platform::SetCommState(h, &dcb), "SetCommState");
  expectInvalidHandle(!platform::CloseHandle(h), "CloseHandle");
}

void create(const std::string& name, const std::string& flags) {
  if (slots.size() >= 64) return;  // far from the descriptor limit
  DWORD access = 0;
  if (flags.find('r') != std::string::npos) access |= GENERIC_READ;
  if (flags.find('w') != std::string::npos) access |= GENERIC_WRITE;
  const bool exclusive = flags.find('x') != std::string::npos;
  SECURITY_ATTRIBUTES security{sizeof security, nullptr, flags.find('i') != std::string::npos};
  // COM1 to COM256 are the ports entries; any other name is a path.
  const bool port = name.size() > 3 && name.compare(0, 3, "COM") == 0 && name[3] != '0' &&
                    name.size() <= 6 &&
                    name.find_first_not_of("0123456789", 3) == std::string::npos &&
                    std::stoi(name.substr(3)) <= 256;
  struct stat target;
  const bool reachable = ::stat((port ? ports + "/" + name : name).c_str(), &target) == 0;
  HANDLE h = platform::CreateFileA(name.c_str(), access, exclusive ? 0 : 1, &security,
                                   OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  if (!reachable) fuzzinput::fail("opened \"" + name + "\", which stat cannot reach");
  if (S_ISDIR(target.st_mode)) fuzzinput::fail("opened the directory \"" + name + "\"");
  // Only exclusive opens take the lock: a shared one is invisible, as with Linux's own
  // programs (the layer's README says so).
  if (exclusive && (S_ISREG(target.st_mode) || S_ISCHR(target.st_mode))) {
    for (const Slot& s : slots)
      if (s.open && s.exclusive && s.target.st_dev == target.st_dev &&
          s.target.st_ino == target.st_ino)
        fuzzinput::fail("a second handle on \"" + name + "\" though one is exclusive");
  }
  if (S_ISREG(target.st_mode)) {
    DCB dcb{};
    if (platform::GetFileType(h) != FILE_TYPE_DISK) fuzzinput::fail("a disk file not of type disk");
    if (platform::GetCommState(h, &dcb)) fuzzinput::fail("a disk file gave a control block");
  }
  slots.push_back({h, true, exclusive, target});
}

void setState(Slot& slot, const std::string& bytes) {
  DCB dcb{};
  platform::GetCommState(slot.handle, &dcb);
  std::memcpy(&dcb, bytes.data(), std::min(bytes.size(), sizeof dcb));
  const DCB asked = dcb;
  const BOOL took = platform::SetCommState(slot.handle, &dcb);
  if (!slot.open) return expectInvalidHandle(!took, "SetCommState");
  DCB back{};
  if (took && platform::GetCommState(slot.handle, &back) &&
      (back.fDtrControl != asked.fDtrControl || back.fRtsControl != asked.fRtsControl))
    fuzzinput::fail("the lines' controls did not read back");
}

void run(const fuzzinput::Command& c) {
  switch (c.letter) {
    case 'm': {
      const long k = std::strtol(c.field(0).c_str(), nullptr, 10);
      if (k < 1 || k > kMappedPorts) return;
      const std::string entry = ports + "/COM" + std::to_string(k);
      ::unlink(entry.c_str());
      make(entry, c.field(1));
      struct stat st;
      if (::lstat(entry.c_str(), &st) != 0) ::symlink((root + "/nothing").c_str(), entry.c_str());
      return;
    }
    case 'o':
      if (fuzzinput::staysInside(c.field(0)) && c.field(0).find('/') == std::string::npos)
        make(c.field(0), c.field(1));
      return;
    case 'c':
      if (fuzzinput::staysInside(c.field(0)) && c.field(0).find('/') == std::string::npos)
        create(c.field(0), c.field(1));
      return;
    case 't':
    case 'g':
    case 'x':
      if (Slot* s = slotAt(c.field(0))) {
        DCB dcb{};
        platform::SetLastError(0);
        const bool failed = c.letter == 't' ? platform::GetFileType(s->handle) == FILE_TYPE_UNKNOWN
                            : c.letter == 'g' ? !platform::GetCommState(s->handle, &dcb)
                                              : !platform::CloseHandle(s->handle);
        if (!s->open) expectInvalidHandle(failed, c.letter == 'x' ? "CloseHandle" : "a call");
        if (c.letter == 'x') s->open = false;
      }
      return;
    case 's':
      if (Slot* s = slotAt(c.field(0))) setState(*s, c.field(1));
      return;
    case 'b': {
      const auto value = static_cast<std::uintptr_t>(std::strtoull(c.field(0).c_str(), nullptr, 0));
      HANDLE h = reinterpret_cast<HANDLE>(value);
      for (const Slot& s : slots)
        if (s.handle == h && s.open) return;
      allCallsRefuse(h);
      return;
    }
    case 'k': hangUp(); return;
    default: return;
  }
}

void reset() {
  for (Slot& s : slots)
    if (s.open && !platform::CloseHandle(s.handle))
      fuzzinput::fail("CloseHandle refused an open handle");
  slots.clear();
  hangUp();
  ptys.clear();
  for (int k = 1; k <= kMappedPorts; ++k) {
    const std::string entry = ports + "/COM" + std::to_string(k);
    ::unlink(entry.c_str());
    ::rmdir(entry.c_str());
    ::symlink((root + "/nothing").c_str(), entry.c_str());
  }
  fuzzinput::empty(work);
  // The things made outside the working directory: sockets, the targets of links.
  DIR* d = ::opendir(root.c_str());
  if (!d) fuzzinput::fail("cannot read the scratch directory");
  while (const dirent* e = ::readdir(d))
    if (std::strncmp(e->d_name, "thing", 5) == 0) ::unlink((root + "/" + e->d_name).c_str());
  ::closedir(d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (root.empty()) setUp();
  const int descriptors = fuzzinput::openDescriptors();
  for (const fuzzinput::Command& c : fuzzinput::parse(data, size)) run(c);
  reset();
  if (fuzzinput::openDescriptors() != descriptors) fuzzinput::fail("descriptors leaked");
  return 0;
}
