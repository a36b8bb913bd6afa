// Step markers of the rig's guest programs (guest_marker.h).
#include "guest_marker.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace rig {

namespace {

constexpr off_t kScratchRegister = 0x3f8 + 7;  // ttyS0's SCR
constexpr char kStepsLog[] = "steps.log";

int stepsSoFar() {
  std::ifstream log(kStepsLog);
  std::string line;
  int n = 0;
  while (std::getline(log, line))
    if (!line.empty() && line[0] >= '0' && line[0] <= '9') ++n;
  return n;
}

void appendLine(const std::string& line) {
  const int fd = ::open(kStepsLog, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  const std::string text = line + "\n";
  (void)!::write(fd, text.data(), text.size());
  ::close(fd);
}

}  // namespace

bool mark(const std::string& label) {
  const int n = stepsSoFar() + 1;
  const unsigned char value = static_cast<unsigned char>(n & 0xff);
  const int port = ::open("/dev/port", O_WRONLY | O_CLOEXEC);
  if (port < 0 || ::pwrite(port, &value, 1, kScratchRegister) != 1) {
    std::fprintf(stderr, "rig: cannot write the scratch register: %s\n", std::strerror(errno));
    if (port >= 0) ::close(port);
    return false;
  }
  ::close(port);
  appendLine(std::to_string(n) + " " + label);
  return true;
}

void fact(const std::string& name, const std::string& value) { appendLine("fact " + name + " " + value); }

}  // namespace rig
