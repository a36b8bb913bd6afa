// The followed working directory: one path, the identity of the directory it led to,
// and whether it was last seen leading nowhere.
#include "platform/linux/kernel32/working_directory.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/linux/kernel32/errors.h"

namespace posix {

namespace {

struct Followed {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  bool gone = false;  // the last look found nothing at the path
};

std::mutex followedLock;
Followed followed;

// At start-up rather than at the first lookup: by the first tick the directory may
// already have been replaced, and a path asked for then would be that of the directory
// in use (or none, for one removed), not the path the program was started in.
const bool capturedAtStartUp = (captureStartDirectory(), true);

}  // namespace

void captureStartDirectory() {
  // $PWD when it names the current directory (the path as the operator gave it, links
  // included), else the kernel's path of it.
  char* path = ::get_current_dir_name();
  struct stat st;
  std::lock_guard guard(followedLock);
  followed = Followed{};
  if (path && path[0] == '/' && ::stat(".", &st) == 0) {
    followed.path = path;
    followed.device = st.st_dev;
    followed.inode = st.st_ino;
  }
  ::free(path);
}

std::string startDirectory() {
  std::lock_guard guard(followedLock);
  return followed.path;
}

bool followStartDirectory() {
  std::lock_guard guard(followedLock);
  if (followed.path.empty()) return true;  // nothing to follow: the directory in use
  struct stat st;
  if (::stat(followed.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    if (!followed.gone)
      sayOnStderr("the working directory " + followed.path +
                  " is gone: TX.txt counts as absent until it is back");
    followed.gone = true;
    return false;
  }
  const bool replaced = st.st_dev != followed.device || st.st_ino != followed.inode;
  if (replaced) {
    struct stat entered;
    if (::chdir(followed.path.c_str()) != 0 || ::stat(".", &entered) != 0) {
      if (!followed.gone)
        sayOnStderr("the working directory " + followed.path +
                    " was replaced and cannot be entered (" + std::strerror(errno) +
                    "): TX.txt counts as absent");
      followed.gone = true;
      return false;
    }
    followed.device = entered.st_dev;
    followed.inode = entered.st_ino;
  }
  if (replaced || followed.gone)
    sayOnStderr("the working directory " + followed.path +
                (replaced ? " was replaced: TX.txt is looked for in the new one" : " is back"));
  followed.gone = false;
  return true;
}

}  // namespace posix
