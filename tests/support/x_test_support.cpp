#include "x_test_support.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace xtest {

namespace {

bool canConnect(const std::string& display) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return false;
  XCloseDisplay(d);
  return true;
}

}  // namespace

// ---- X servers ------------------------------------------------------------------------------
bool Xvfb::start(const std::vector<std::string>& extraArgs) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                   "1024x768x24", "-nolisten", "tcp"};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const int rc = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    pid_ = -1;
    return false;
  }
  // The server writes its display number once it accepts connections.
  std::string number;
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buf[32];
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    number.append(buf, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
  if (number.empty()) {
    stop();
    return false;
  }
  display_ = ":" + number;
  while (Clock::now() < deadline) {
    if (canConnect(display_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  stop();
  return false;
}

void Xvfb::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

void Xvfb::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

bool useDisplay(const std::vector<std::string>& extraArgs) {
  const char* current = std::getenv("DISPLAY");
  if (current && *current) return true;
  static Xvfb server;  // ends with the process
  if (!server.start(extraArgs)) return false;
  setenv("DISPLAY", server.display().c_str(), 1);
  return true;
}

// ---- Looking at windows ------------------------------------------------------------------------
std::string windowTitle(Display* d, unsigned long w) {
  const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
  Atom type;
  int format;
  unsigned long count, remaining;
  unsigned char* data = nullptr;
  std::string name;
  if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &count, &remaining,
                         &data) == Success && data) {
    name.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
    return name;
  }
  char* legacy = nullptr;
  if (XFetchName(d, w, &legacy) && legacy) {
    name = legacy;
    XFree(legacy);
  }
  return name;
}

std::vector<Rgb> readPixels(Display* d, unsigned long drawable, int x, int y, int width,
                            int height) {
  std::vector<Rgb> out;
  if (width <= 0 || height <= 0) return out;
  XImage* image = XGetImage(d, drawable, x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image) return out;
  out.reserve(static_cast<std::size_t>(width * height));
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      const unsigned long p = XGetPixel(image, col, row);
      out.push_back(Rgb{static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
                        static_cast<int>(p & 0xFF)});
    }
  }
  XDestroyImage(image);
  return out;
}

void sendDeleteWindow(Display* d, unsigned long window) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, window, False, NoEventMask, &e);
  XFlush(d);
}

// ---- X clients ---------------------------------------------------------------------------------
namespace {

// Runs the command once; its exit code (-1 when it could not be run) and its stderr.
int runOnce(const std::vector<std::string>& args, std::string& errors) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  char errorFile[] = "/tmp/fileptt-test-stderr-XXXXXX";
  const int errorFd = mkstemp(errorFile);
  pid_t pid;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (errorFd >= 0) posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  bool waited = rc == 0;
  while (waited && waitpid(pid, &status, 0) < 0) waited = errno == EINTR;
  errors.clear();
  if (errorFd >= 0) {
    char buf[512];
    ssize_t n;
    lseek(errorFd, 0, SEEK_SET);
    while ((n = read(errorFd, buf, sizeof buf)) > 0) errors.append(buf, static_cast<std::size_t>(n));
    close(errorFd);
    unlink(errorFile);
  }
  if (!waited) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int runCommand(const std::vector<std::string>& args) {
  std::string errors;
  int rc = -1;
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    rc = runOnce(args, errors);
    // A refused connection did nothing yet: the command may be run again.
    if (rc == 0 || !displayRefused(errors)) break;
  }
  if (rc != 0 && !errors.empty()) std::fprintf(stderr, "%s", errors.c_str());
  return rc;
}

bool displayRefused(const std::string& output) {
  return output.find("open display") != std::string::npos ||
         output.find("open X server") != std::string::npos ||
         output.find("open the X display") != std::string::npos;
}

bool xdotool(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"xdotool"};
  all.insert(all.end(), args.begin(), args.end());
  return runCommand(all) == 0;
}

bool pressKeys(const std::vector<std::string>& keys) {
  std::vector<std::string> args = {"key", "--delay", "30"};
  args.insert(args.end(), keys.begin(), keys.end());
  return xdotool(args);
}

}  // namespace xtest
