// caseless_fs_server MOUNT-POINT [NAME...]: serves a CaselessFs holding the NAMEs at
// MOUNT-POINT, in the caller's mount namespace, until it is killed. Says "mounted" on
// stdout once it serves. A test stops it (SIGSTOP) to have a working directory whose file
// system stops answering, as a stalled network share does, and continues it (SIGCONT).
// The caller unmounts (umount2 MNT_DETACH) before or after killing it.
#include <unistd.h>

#include <cstdio>

#include "caseless_fs.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: caseless_fs_server MOUNT-POINT [NAME...]\n");
    return 2;
  }
  CaselessFs fs(argv[1], std::vector<std::string>(argv + 2, argv + argc),
                CaselessFs::Namespace::Callers);
  if (!fs.mounted()) {
    std::fprintf(stderr, "caseless_fs_server: %s\n", fs.whyNot().c_str());
    return 1;
  }
  std::printf("mounted\n");
  std::fflush(stdout);
  for (;;) ::pause();
}
