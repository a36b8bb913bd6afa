// The rig's program inside the guest, linked statically with the serial channel and
// the Linux layer's serial half (no FLTK). Two commands:
//
//   rig_guest mark LABEL        marks a step (guest_marker.h), for shell jobs;
//   rig_guest serial COMn       runs the serial layer's steps on COMn (below), marking
//                               each and recording what the trace cannot show as facts.
//
// The lines themselves are judged on the host, from QEMU's trace: nothing here reads
// them back. Built on the serial channel (serial/serial_port_channel.h) and termios;
// leaves out everything the GUI does.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "guest_marker.h"
#include "serial/error_status.h"
#include "serial/serial_port_channel.h"

namespace {

using rig::fact;
using rig::mark;

// The device node that this process holds open on a terminal, found in /proc/self/fd:
// which file COMn reached.
std::string heldDevice() {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    const std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
    if (target.rfind("/dev/tty", 0) == 0) return target;
  }
  return "none";
}

// Opens `name` on a fresh channel; the error status of the open (0 = opened).
int open(ChannelNumber channel, const std::string& name) {
  ErrorStatusScope scope;
  openSerialChannel(channel, name, 1024);
  return takeErrorStatus();
}

int set(ChannelNumber channel, int setting, int value) {
  ErrorStatusScope scope;
  setLineSetting(channel, setting, value);
  return takeErrorStatus();
}

void close(ChannelNumber channel) {
  ErrorStatusScope scope;
  closeSerialChannel(channel);
}

void keyBoth(ChannelNumber channel) {
  set(channel, SETTING_DTR_HANDSHAKE, 1);
  set(channel, SETTING_RTS_CONTROL, 1);
}

// Gives the device a real speed again, outside the layer (as another program would),
// so that the next open is one the kernel raises the lines on.
void restoreSpeed(const std::string& device) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  termios t;
  if (::tcgetattr(fd, &t) == 0) {
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    t.c_cflag |= HUPCL;
    ::tcsetattr(fd, TCSANOW, &t);
  }
  ::close(fd);
}

std::string storedSpeed(const std::string& device) {
  const int fd = ::open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "unknown";
  termios t;
  std::string speed = "unknown";
  if (::tcgetattr(fd, &t) == 0) speed = cfgetospeed(&t) == B0 ? "B0" : "not-B0";
  ::close(fd);
  return speed;
}

int runSerial(const std::string& name) {
  const ChannelNumber channel = 1, other = 2;

  // The first open after boot: the stored speed is the driver's default.
  mark("first-open");
  const int opened = open(channel, name);
  mark("first-opened");
  fact("first-open-status", std::to_string(opened));
  if (opened != 0) return 1;
  const std::string device = heldDevice();
  fact("device", device);

  mark("dtr-up");
  set(channel, SETTING_DTR_HANDSHAKE, 1);
  mark("rts-up");
  set(channel, SETTING_RTS_CONTROL, 1);
  mark("dtr-down");
  set(channel, SETTING_DTR_HANDSHAKE, 0);
  mark("rts-down");
  set(channel, SETTING_RTS_CONTROL, 0);
  mark("key-both");
  keyBoth(channel);
  mark("close-keyed");
  close(channel);
  mark("closed");
  fact("speed-after-close", storedSpeed(device));

  // The layer left the device at B0: opening it again raises nothing.
  mark("b0-open");
  const int again = open(channel, name);
  mark("b0-opened");
  fact("b0-open-status", std::to_string(again));

  // A second exclusive open while the first holds the port, from another process.
  mark("second-open");
  const pid_t rival = ::fork();
  if (rival == 0) _exit(open(other, name) == 69 ? 0 : 1);
  int status = 0;
  ::waitpid(rival, &status, 0);
  mark("second-done");
  fact("second-open-refused", WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "yes" : "no");
  close(channel);

  // A device given a real speed again by someone else: a later open pulses, and the
  // layer lowers the lines at once.
  restoreSpeed(device);
  mark("later-open");
  open(channel, name);
  mark("later-opened");
  close(channel);

  // Killed while keyed: the kernel's release of the port (HUPCL) drops both.
  int ready[2];
  if (::pipe(ready) != 0) return 1;
  const pid_t holder = ::fork();
  if (holder == 0) {
    ::close(ready[0]);
    if (open(channel, name) != 0) _exit(1);
    keyBoth(channel);
    (void)!::write(ready[1], "k", 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char byte = 0;
  const bool keyed = ::read(ready[0], &byte, 1) == 1;
  ::close(ready[0]);
  fact("killed-holder-keyed", keyed ? "yes" : "no");
  mark("sigkill");
  ::kill(holder, SIGKILL);
  ::waitpid(holder, &status, 0);
  mark("sigkill-reaped");
  mark("end");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "mark" && argc == 3) return mark(argv[2]) ? 0 : 1;
  if (command == "serial" && argc == 3) return runSerial(argv[2]);
  std::fprintf(stderr, "usage: rig_guest mark LABEL | rig_guest serial COMn\n");
  return 2;
}
