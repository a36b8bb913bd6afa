// The watchdog thread: it sleeps until a second after the loop last came round, and
// finds either that the loop came round since (it sleeps again) or that it did not (it
// drops the lines, says so, and looks every tenth of a second for the loop's return).
#include "platform/linux/kernel32/watchdog.h"

#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/kernel32/errors.h"

namespace watchdog {
namespace {

constexpr std::int64_t kSecondNs = 1'000'000'000;
constexpr std::int64_t kStallNs = kSecondNs;           // two ticks of 500 ms
constexpr std::int64_t kLookAgainNs = kSecondNs / 10;  // while stalled: how often to look

std::int64_t nowNs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * kSecondNs + t.tv_nsec;
}

void sleepUntil(std::int64_t ns) {
  const timespec until{static_cast<time_t>(ns / kSecondNs), static_cast<long>(ns % kSecondNs)};
  while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

struct Port {
  int fd;
  std::string path;
};

struct State {
  std::atomic<std::int64_t> lastAliveNs{0};  // 0: no loop has come round yet
  // Guards `ports` and is held for each drop, so forgetPort waits for a drop under
  // way. Nothing else takes it, and the GUI thread holds it only to add or remove.
  std::mutex lock;
  std::vector<Port> ports;
  bool started = false;
};

// Made in place and never destroyed: the thread runs on while the process exits, after
// the static destructors too. Making it cannot fail, so the noexcept calls cannot throw.
State& state() {
  alignas(State) static unsigned char storage[sizeof(State)];
  static State* const made = new (storage) State;
  return *made;
}

// Drops both lines of every watched device; what it did, for stderr ("" when none is
// open). The message is written by the caller, outside the lock: a stderr that blocks
// (a full pipe) must not hold up a close.
std::string dropAll() {
  State& s = state();
  std::string dropped, failed;
  std::lock_guard guard(s.lock);
  for (const Port& port : s.ports) {
    int both = TIOCM_DTR | TIOCM_RTS;
    int result;
    while ((result = ::ioctl(port.fd, TIOCMBIC, &both)) != 0 && errno == EINTR) {
    }
    if (result == 0) {
      dropped += (dropped.empty() ? "" : ", ") + port.path;
    } else {
      failed += (failed.empty() ? "" : ", ") + port.path + " (" + std::strerror(errno) + ")";
    }
  }
  if (s.ports.empty()) return "";
  std::string text = "the message loop has not run for 1 s:";
  if (!dropped.empty()) text += " DTR and RTS dropped on " + dropped;
  if (!failed.empty())
    text += (dropped.empty() ? "" : ";") + std::string(" cannot drop DTR and RTS on ") + failed;
  return text;
}

void watch() {
  State& s = state();
  for (;;) {
    const std::int64_t seen = s.lastAliveNs.load(std::memory_order_relaxed);
    sleepUntil((seen == 0 ? nowNs() : seen) + kStallNs);
    if (seen == 0 || s.lastAliveNs.load(std::memory_order_relaxed) != seen) continue;

    const std::string dropped = dropAll();
    if (!dropped.empty()) posix::sayOnStderr(dropped);
    std::int64_t back;
    while ((back = s.lastAliveNs.load(std::memory_order_relaxed)) == seen)
      sleepUntil(nowNs() + kLookAgainNs);
    if (!dropped.empty()) {
      char text[96];
      std::snprintf(text, sizeof text, "the message loop runs again, after %.1f s",
                    static_cast<double>(back - seen) / kSecondNs);
      posix::sayOnStderr(text);
    }
  }
}

// The device itself, for the message, rather than the name it was opened by (a link in
// the ports directory, say).
std::string deviceName(int fd, const char* path) {
  char target[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t size = ::readlink(link.c_str(), target, sizeof target);
  if (size > 0 && static_cast<std::size_t>(size) < sizeof target) return std::string(target, size);
  return path ? path : "?";
}

// The thread takes no signal: the program's own handling stays on its threads.
bool startThread() {
  sigset_t all, old;
  ::sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &old);
  bool started = true;
  try {
    std::thread(watch).detach();
  } catch (...) {
    started = false;
  }
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return started;
}

}  // namespace

void loopAlive() noexcept { state().lastAliveNs.store(nowNs(), std::memory_order_relaxed); }

bool watchPort(int fd, const char* path) noexcept {
  State& s = state();
  std::lock_guard guard(s.lock);
  try {
    s.ports.push_back(Port{fd, deviceName(fd, path)});
  } catch (...) {
    return false;
  }
  if (!s.started) s.started = startThread();
  if (!s.started) s.ports.pop_back();
  return s.started;
}

void forgetPort(int fd) noexcept {
  State& s = state();
  std::lock_guard guard(s.lock);
  std::erase_if(s.ports, [fd](const Port& port) { return port.fd == fd; });
}

}  // namespace watchdog
