// ptyhold: holds one pseudo-terminal open for the Windows tests under Wine.
// Prints the slave's path on one line, then keeps the master open until it is ended by
// a signal or its parent dies; Wine opens the slave as a COM port through the registry.
// Nothing is read or written: the tests only switch the port's control lines.
// Built for the host by scripts/windows/test.sh (c++ ptyhold.cpp -o ptyhold).
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <unistd.h>

int main() {
  // The harness kills us by pid; if the harness itself is killed, go with it.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() == 1) return 1;

  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    perror("ptyhold: no pseudo-terminal");
    return 1;
  }
  const char* slave = ptsname(master);
  if (slave == nullptr) {
    perror("ptyhold: ptsname");
    return 1;
  }
  printf("%s\n", slave);
  fflush(stdout);
  for (;;) pause();
}
