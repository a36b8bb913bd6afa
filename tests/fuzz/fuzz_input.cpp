// The fuzz targets' input lines and scratch directory (see fuzz_input.h).
#include "fuzz_input.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace fuzzinput {

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string decode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
        hexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

int removeEntry(const char* path, const struct stat*, int type, struct FTW* where) {
  if (where->level == 0) return 0;  // the directory itself stays
  if (type == FTW_DP) ::chmod(path, 0700);
  return ::remove(path) == 0 || errno == ENOENT ? 0 : -1;
}

std::string made;

void removeScratch() {
  if (made.empty()) return;
  empty(made);
  ::rmdir(made.c_str());
}

}  // namespace

std::vector<Command> parse(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<Command> commands;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    Command command{line[0], {}};
    // The letter is followed by a blank, then the tab-separated fields.
    std::string_view rest = line.substr(1);
    if (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
    for (;;) {
      const std::size_t tab = rest.find('\t');
      command.fields.push_back(decode(rest.substr(0, tab)));
      if (tab == std::string_view::npos) break;
      rest.remove_prefix(tab + 1);
    }
    commands.push_back(std::move(command));
  }
  return commands;
}

bool staysInside(std::string_view path) {
  if (path.empty() || path[0] == '/' || path.find('\0') != std::string_view::npos) return false;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string_view::npos) slash = path.size();
    if (path.substr(start, slash - start) == "..") return false;
    start = slash + 1;
  }
  return true;
}

const std::string& scratch() {
  if (made.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/fileptt-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) fail("cannot make a scratch directory");
    made = pattern;
    std::atexit(removeScratch);
  }
  return made;
}

void empty(const std::string& directory) {
  if (::nftw(directory.c_str(), removeEntry, 32, FTW_DEPTH | FTW_PHYS) != 0)
    fail("cannot empty " + directory);
}

bool makeFile(const std::string& path, const std::string& text, unsigned mode) {
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const bool moded = ::fchmod(fd, mode) == 0;
  ::close(fd);
  return written && moded;
}

bool makeDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

int openDescriptors() {
  DIR* fds = ::opendir("/proc/self/fd");
  if (!fds) fail("cannot read /proc/self/fd");
  int count = 0;
  while (const dirent* e = ::readdir(fds)) count += e->d_name[0] != '.';
  ::closedir(fds);
  return count - 1;  // the one opendir holds
}

void fail(const std::string& what) {
  std::fprintf(stderr, "fuzz: %s\n", what.c_str());
  std::abort();
}

}  // namespace fuzzinput
