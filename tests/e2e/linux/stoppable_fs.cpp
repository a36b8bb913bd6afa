#include "stoppable_fs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace e2e {

StoppableFs::StoppableFs(const std::string& server, const std::filesystem::path& mountPoint,
                         const std::string& storedName)
    : mountPoint_(mountPoint) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::string program = server, point = mountPoint.string(), name = storedName;
  char* argv[] = {program.data(), point.data(), name.data(), nullptr};
  if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  // The server says "mounted" once the kernel sends it the directory's lookups; it ends
  // (and the pipe with it) when it cannot mount.
  std::string said;
  pollfd ready{out[0], POLLIN, 0};
  char buffer[64];
  while (pid_ > 0 && said.find('\n') == std::string::npos && ::poll(&ready, 1, 10000) == 1) {
    const ssize_t got = ::read(out[0], buffer, sizeof buffer);
    if (got <= 0) break;
    said.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(out[0]);
  serving_ = said == "mounted\n";
}

StoppableFs::~StoppableFs() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGCONT);
  ::umount2(mountPoint_.c_str(), MNT_DETACH);
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

void StoppableFs::stop() { ::kill(pid_, SIGSTOP); }

void StoppableFs::resume() { ::kill(pid_, SIGCONT); }

}  // namespace e2e
