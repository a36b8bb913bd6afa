// KERNEL32 file search on POSIX: FindFirstFileA, FindNextFileA, FindClose.
// A name without "*" or "?" is looked up directly (lstat, then the target's stat for a
// symbolic link), so a probe costs the same in a directory of ten entries or a
// million; only names with wildcards read the directory. Names compare byte for byte
// as Linux stores them; where the file system ignores letter case, the entry is
// reported under its stored name. A relative name is looked for in the directory that
// the start path leads to now (working_directory.h). Built on POSIX stat and readdir
// and the handle table; leaves out short (8.3) names and the backslash as a separator.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "platform/linux/kernel32/errors.h"
#include "platform/linux/kernel32/handles.h"
#include "platform/linux/kernel32/working_directory.h"
#include "platform/platform.h"

using namespace posix;

namespace {

// Seconds from 1601-01-01, where FILETIME counts from, to the Unix epoch.
constexpr std::int64_t kEpochDifference = 11644473600LL;

FILETIME fileTime(const timespec& ts) {
  const std::uint64_t ticks =
      static_cast<std::uint64_t>(ts.tv_sec + kEpochDifference) * 10000000u + ts.tv_nsec / 100;
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

bool hasWildcard(std::string_view text) {
  return text.find_first_of("*?") != std::string_view::npos;
}

// Win32's rules: "*" matches any run of bytes, "?" exactly one; "*.*" matches every
// name, those without a dot included.
bool matches(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") pattern = "*";
  std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p, ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++, starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1, n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

struct Entry {
  struct stat self;    // the entry itself (lstat)
  struct stat judged;  // what it is judged by: a symbolic link's target
  bool dangling;       // a symbolic link whose target cannot be reached
};

// False, with errno set, when the entry itself does not exist.
bool statEntry(int directory, const char* path, Entry* entry) {
  if (::fstatat(directory, path, &entry->self, AT_SYMLINK_NOFOLLOW) != 0) return false;
  entry->judged = entry->self;
  entry->dangling = false;
  if (S_ISLNK(entry->self.st_mode) && ::fstatat(directory, path, &entry->judged, 0) != 0) {
    entry->judged = entry->self;
    entry->dangling = true;
  }
  return true;
}

DWORD attributesOf(std::string_view name, const Entry& entry) {
  const mode_t mode = entry.judged.st_mode;
  DWORD attributes;
  if (entry.dangling || S_ISREG(mode))
    attributes = FILE_ATTRIBUTE_ARCHIVE;
  else if (S_ISDIR(mode))
    attributes = FILE_ATTRIBUTE_DIRECTORY;
  else
    attributes = FILE_ATTRIBUTE_SYSTEM;  // FIFO, socket, device node
  if (!entry.dangling && (S_ISREG(mode) || S_ISDIR(mode)) && (mode & 0222) == 0)
    attributes |= FILE_ATTRIBUTE_READONLY;
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
  return attributes;
}

void fill(WIN32_FIND_DATAA* found, std::string_view storedName, const Entry& entry) {
  *found = WIN32_FIND_DATAA{};
  found->dwFileAttributes = attributesOf(storedName, entry);
  const struct stat& st = entry.dangling ? entry.self : entry.judged;
  found->ftCreationTime = fileTime(st.st_ctim);
  found->ftLastAccessTime = fileTime(st.st_atim);
  found->ftLastWriteTime = fileTime(st.st_mtim);
  if (S_ISREG(st.st_mode)) {
    const auto size = static_cast<std::uint64_t>(st.st_size);
    found->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    found->nFileSizeLow = static_cast<DWORD>(size);
  }
  const std::size_t length = std::min(storedName.size(), sizeof found->cFileName - 1);
  std::memcpy(found->cFileName, storedName.data(), length);
  found->cFileName[length] = '\0';
}

std::string flippedCase(std::string_view text) {
  std::string flipped(text);
  for (char& c : flipped) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    else if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return flipped;
}

// Does the directory find this entry under another letter case too? Only then is
// the stored name in doubt. One more lookup, never a directory read.
bool foundUnderOtherCase(const std::string& directoryPart, std::string_view leaf,
                         const struct stat& self) {
  const std::string flipped = flippedCase(leaf);
  if (flipped == leaf) return false;
  struct stat other;
  return ::lstat((directoryPart + flipped).c_str(), &other) == 0 && other.st_dev == self.st_dev &&
         other.st_ino == self.st_ino;
}

// The entry's name as the directory stores it, found by reading the directory: the
// exact name if it is there, else the one that matches without regard to ASCII case,
// else the one with the entry's inode. False (errno set) when none can be told.
bool storedNameOf(const std::string& directoryPart, std::string_view leaf, const struct stat& self,
                  std::string* stored) {
  DIR* directory = ::opendir(directoryPart.empty() ? "." : directoryPart.c_str());
  if (!directory) return false;
  std::string caseless, sameInode;
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(directory);
    if (!e) break;
    const std::string_view name = e->d_name;
    if (name == leaf) {
      ::closedir(directory);
      *stored = leaf;
      return true;
    }
    if (caseless.empty() && name.size() == leaf.size() &&
        ::strncasecmp(name.data(), leaf.data(), leaf.size()) == 0)
      caseless = name;
    if (sameInode.empty() && e->d_ino == self.st_ino) sameInode = name;
  }
  const int readError = errno;
  ::closedir(directory);
  *stored = !caseless.empty() ? caseless : sameInode;
  errno = readError ? readError : ENOENT;
  return !stored->empty();
}

HANDLE findDirect(const std::string& name, const std::string& directoryPart, std::string_view leaf,
                  WIN32_FIND_DATAA* found) {
  Entry entry;
  if (!statEntry(AT_FDCWD, name.c_str(), &entry))
    return failWith(win32ErrorFromErrno(errno), INVALID_HANDLE_VALUE);
  std::string stored(leaf);
  if (foundUnderOtherCase(directoryPart, leaf, entry.self) &&
      !storedNameOf(directoryPart, leaf, entry.self, &stored))
    return failWith(win32ErrorFromErrno(errno), INVALID_HANDLE_VALUE);
  fill(found, stored, entry);
  return addSearch(std::make_shared<SearchRecord>());
}

// The next entry of a reading search that matches its pattern; false with the Win32
// code in *error when there is none.
bool nextMatch(SearchRecord& search, WIN32_FIND_DATAA* found, DWORD* error) {
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(search.directory);
    if (!e) {
      *error = errno ? win32ErrorFromErrno(errno) : kErrorNoMoreFiles;
      return false;
    }
    if (!matches(search.pattern, e->d_name)) continue;
    Entry entry;
    if (!statEntry(::dirfd(search.directory), e->d_name, &entry)) continue;  // gone meanwhile
    fill(found, e->d_name, entry);
    return true;
  }
}

HANDLE findReading(const std::string& directoryPart, std::string_view pattern,
                   WIN32_FIND_DATAA* found) {
  auto search = std::make_shared<SearchRecord>();
  search->directory = ::opendir(directoryPart.empty() ? "." : directoryPart.c_str());
  if (!search->directory)
    return failWith(errno == ENOENT ? kErrorPathNotFound : win32ErrorFromErrno(errno),
                    INVALID_HANDLE_VALUE);
  search->directoryPart = directoryPart;
  search->pattern = pattern;
  DWORD error = 0;
  if (!nextMatch(*search, found, &error))
    return failWith(error == kErrorNoMoreFiles ? kErrorFileNotFound : error, INVALID_HANDLE_VALUE);
  return addSearch(std::move(search));
}

HANDLE findFirst(LPCSTR name, LPWIN32_FIND_DATAA found) {
  if (!name || !found) return failWith(kErrorInvalidParameter, INVALID_HANDLE_VALUE);
  const std::string path = name;
  if (path.empty()) return failWith(kErrorPathNotFound, INVALID_HANDLE_VALUE);
  const std::size_t slash = path.rfind('/');
  const std::string directoryPart = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string_view leaf = std::string_view(path).substr(directoryPart.size());
  if (leaf.empty()) return failWith(kErrorFileNotFound, INVALID_HANDLE_VALUE);
  if (hasWildcard(directoryPart)) return failWith(kErrorInvalidName, INVALID_HANDLE_VALUE);
  // A relative name is looked up in the directory the start path leads to now.
  if (path[0] != '/' && !followStartDirectory())
    return failWith(kErrorPathNotFound, INVALID_HANDLE_VALUE);
  if (!hasWildcard(leaf)) return findDirect(path, directoryPart, leaf, found);
  return findReading(directoryPart, leaf, found);
}

}  // namespace

namespace platform {

HANDLE FindFirstFileA(LPCSTR name, LPWIN32_FIND_DATAA found) {
  try {
    return findFirst(name, found);
  } catch (const std::bad_alloc&) {
    return failWith(kErrorNotEnoughMemory, INVALID_HANDLE_VALUE);
  }
}

BOOL FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA found) {
  const std::shared_ptr<SearchRecord> search = findSearch(handle);
  if (!search) return failWith(kErrorInvalidHandle, FALSE);
  if (!found) return failWith(kErrorInvalidParameter, FALSE);
  // A direct lookup names one entry: there is never a next one.
  if (!search->directory) return failWith(kErrorNoMoreFiles, FALSE);
  DWORD error = 0;
  try {
    if (nextMatch(*search, found, &error)) return TRUE;
  } catch (const std::bad_alloc&) {
    error = kErrorNotEnoughMemory;
  }
  return failWith(error, FALSE);
}

BOOL FindClose(HANDLE handle) {
  if (!takeSearch(handle)) return failWith(kErrorInvalidHandle, FALSE);
  return TRUE;
}

}  // namespace platform
