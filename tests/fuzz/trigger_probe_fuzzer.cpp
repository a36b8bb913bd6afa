// libFuzzer target: the trigger probe and the file search beneath it
// (FindFirstFileA, FindNextFileA, FindClose through platform/platform.h) over
// directories the input builds: odd names and bytes, long names, symbolic links that
// dangle, loop or leave the directory, FIFOs, sockets, entries removed while a search
// is open.
//
// Input lines (fuzz_input.h), run in order in an emptied directory that is the
// current directory:
//   f NAME          a regular file         F NAME   one without write permission
//   d NAME          a directory            p NAME   a FIFO         s NAME   a socket
//   l NAME TARGET   a symbolic link (an absolute target is taken below the scratch
//                   directory, except /dev/null)
//   r NAME          remove the entry
//   ? PATTERN       a whole search: first, every next (bounded), close
//   o PATTERN       FindFirstFileA only, the search left open until the next o or the end
//   n               FindNextFileA on that open search
//   t NAME          TriggerFileProbe::isPresent(NAME)
// After the lines, the probe looks for TX.txt. What is checked beyond "no crash, no
// leak": the probe's answer for a plain name agrees with the entry as lstat/stat see
// it, every entry found has a terminated name, no search outlives its input, and the
// descriptor count is the same after each input as before.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "platform/platform.h"
#include "trigger/trigger_file_probe.h"

namespace {

const std::string& workDirectory() {
  static const std::string dir = [] {
    const std::string d = fuzzinput::scratch() + "/cwd";
    if (!fuzzinput::makeDirectories(d) || ::chdir(d.c_str()) != 0)
      fuzzinput::fail("cannot enter " + d);
    return d;
  }();
  return dir;
}

void makeSocket(const std::string& name) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (name.size() >= sizeof address.sun_path) return;
  std::memcpy(address.sun_path, name.data(), name.size());
  const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (s < 0) return;
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::close(s);  // the socket file stays
}

// What the probe must answer for a name without wildcards: present only for an entry
// of exactly that name in the current directory that is a regular file (a symbolic
// link by its target; one that leads nowhere counts as a file) and not hidden.
bool expectedPresent(const std::string& name) {
  if (name.empty() || name.find_first_of(std::string_view("/*?\0", 4)) != std::string::npos)
    return false;
  if (name[0] == '.') return false;           // hidden, or "." and ".."
  if (name.size() >= MAX_PATH) return false;  // cannot be reported whole
  struct stat self, target;
  if (::lstat(name.c_str(), &self) != 0) return false;
  if (!S_ISLNK(self.st_mode)) return S_ISREG(self.st_mode);
  return ::stat(name.c_str(), &target) != 0 || S_ISREG(target.st_mode);
}

void checkEntry(const WIN32_FIND_DATAA& entry, const std::string& pattern) {
  if (::memchr(entry.cFileName, '\0', sizeof entry.cFileName) == nullptr)
    fuzzinput::fail("unterminated name found for \"" + pattern + "\"");
}

void wholeSearch(const std::string& pattern) {
  WIN32_FIND_DATAA entry;
  std::memset(&entry, 0xA5, sizeof entry);
  HANDLE search = platform::FindFirstFileA(pattern.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) {
    if (platform::GetLastError() == 0) fuzzinput::fail("failed search without an error code");
    return;
  }
  checkEntry(entry, pattern);
  // Bounded: a directory of this input holds a few hundred entries at most.
  for (int i = 0; i < 4096 && platform::FindNextFileA(search, &entry); ++i)
    checkEntry(entry, pattern);
  if (!platform::FindClose(search)) fuzzinput::fail("FindClose refused a live search");
  if (platform::FindClose(search)) fuzzinput::fail("FindClose accepted a closed search");
}

void build(const fuzzinput::Command& c, HANDLE* open) {
  const std::string name = c.field(0);
  switch (c.letter) {
    case 'f':
    case 'F':
      if (!fuzzinput::staysInside(name)) return;
      fuzzinput::makeFile(name, c.field(1), c.letter == 'F' ? 0444 : 0644);
      return;
    case 'd':
      if (fuzzinput::staysInside(name)) ::mkdir(name.c_str(), 0755);
      return;
    case 'p':
      if (fuzzinput::staysInside(name)) ::mkfifo(name.c_str(), 0644);
      return;
    case 's':
      if (fuzzinput::staysInside(name)) makeSocket(name);
      return;
    case 'l': {
      if (!fuzzinput::staysInside(name)) return;
      std::string target = c.field(1);
      if (!target.empty() && target[0] == '/' && target != "/dev/null")
        target = fuzzinput::scratch() + target;
      ::symlink(target.c_str(), name.c_str());
      return;
    }
    case 'r':
      if (fuzzinput::staysInside(name)) ::remove(name.c_str());
      return;
    case '?': wholeSearch(name); return;
    case 'o': {
      if (*open != INVALID_HANDLE_VALUE) platform::FindClose(*open);
      WIN32_FIND_DATAA entry;
      *open = platform::FindFirstFileA(name.c_str(), &entry);
      return;
    }
    case 'n':
      if (*open != INVALID_HANDLE_VALUE) {
        WIN32_FIND_DATAA entry;
        if (platform::FindNextFileA(*open, &entry)) checkEntry(entry, "(open search)");
      }
      return;
    case 't': {
      // Two probes in a row: the first one's open search must not change the second's.
      const bool expected = expectedPresent(name);
      const bool first = TriggerFileProbe::isPresent(name);
      const bool second = TriggerFileProbe::isPresent(name);
      if (first != second) fuzzinput::fail("the probe changed its answer for \"" + name + "\"");
      // An empty name is no question: the probe answers for names that can exist.
      if (!name.empty() && name.find_first_of("*?") == std::string::npos && first != expected)
        fuzzinput::fail("the probe says " + std::string(first ? "present" : "absent") + " for \"" +
                        name + "\"");
      return;
    }
    default: return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& dir = workDirectory();
  const int descriptors = fuzzinput::openDescriptors();
  HANDLE open = INVALID_HANDLE_VALUE;
  for (const fuzzinput::Command& c : fuzzinput::parse(data, size)) build(c, &open);
  if (open != INVALID_HANDLE_VALUE && !platform::FindClose(open))
    fuzzinput::fail("FindClose refused an open search");
  const bool present = TriggerFileProbe::isPresent("TX.txt");
  if (present != expectedPresent("TX.txt")) fuzzinput::fail("the probe is wrong about TX.txt");
  // The probe keeps its last positive search open until its next call: one call on a
  // name that cannot be there closes it, so that the count below is fair.
  TriggerFileProbe::isPresent("");
  fuzzinput::empty(dir);
  if (fuzzinput::openDescriptors() != descriptors) fuzzinput::fail("descriptors leaked");
  return 0;
}
