// A working directory whose file system a test can stop answering, as a stalled network
// share does: caseless_fs_server (tests/integration/linux_probe) mounted over a
// directory, in a process of its own, stopped with SIGSTOP and continued with SIGCONT.
// Shared by the end-to-end tests and the rig on real serial drivers (tests/realdrivers),
// which runs it inside its guest. Built on posix_spawn and umount2; needs root and
// /dev/fuse, and leaves out any way of changing what the directory holds.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace e2e {

class StoppableFs {
 public:
  // Mounts, with the server at `server`, a directory holding `storedName` (an empty
  // file) over `mountPoint`; serving() says whether it does.
  StoppableFs(const std::string& server, const std::filesystem::path& mountPoint,
              const std::string& storedName);
  ~StoppableFs();  // continues the server, unmounts (lazily) and ends it
  StoppableFs(const StoppableFs&) = delete;
  StoppableFs& operator=(const StoppableFs&) = delete;

  bool serving() const { return serving_; }
  void stop();
  void resume();

 private:
  std::filesystem::path mountPoint_;
  pid_t pid_ = -1;
  bool serving_ = false;
};

}  // namespace e2e
