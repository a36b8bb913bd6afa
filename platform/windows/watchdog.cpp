// The watchdog thread: it sleeps until a second after the loop last came round, and
// finds either that the loop came round since (it sleeps again) or that it did not (it
// drops the lines of every open port, then waits for the loop to come round).
#include "platform/windows/watchdog.h"

#include <atomic>
#include <cstdint>
#include <new>
#include <vector>

namespace watchdog {
namespace {

constexpr std::uint64_t kStallMs = 1000;  // two ticks of 500 ms
constexpr DWORD kLookAgainMs = 100;       // while stalled: how often to look

struct Port {
  HANDLE file;
  bool dropped;  // by the thread, since the last SetCommState
};

struct State {
  std::atomic<std::uint64_t> lastAliveMs{0};  // 0: no loop has come round yet
  // Guards `ports` and is held for each drop, so forgetPort waits for a drop under
  // way. Nothing else takes it, and the GUI thread holds it only to change the list.
  SRWLOCK lock = SRWLOCK_INIT;
  std::vector<Port> ports;
  bool started = false;
};

// Made in place and never destroyed: the thread runs on while the process exits.
State& state() {
  alignas(State) static unsigned char storage[sizeof(State)];
  static State* const made = new (storage) State;
  return *made;
}

class Locked {
 public:
  Locked() { ::AcquireSRWLockExclusive(&state().lock); }
  ~Locked() { ::ReleaseSRWLockExclusive(&state().lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

// A line in handshake mode cannot be switched by hand on every driver (serial.sys
// refuses it); the port's block with both modes disabled drops it there.
void drop(Port& port) {
  const BOOL rts = ::EscapeCommFunction(port.file, CLRRTS);
  const BOOL dtr = ::EscapeCommFunction(port.file, CLRDTR);
  if (!rts || !dtr) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetCommState(port.file, &dcb)) {
      dcb.fDtrControl = DTR_CONTROL_DISABLE;
      dcb.fRtsControl = RTS_CONTROL_DISABLE;
      ::SetCommState(port.file, &dcb);
    }
  }
  port.dropped = true;
}

DWORD WINAPI watch(LPVOID) {
  State& s = state();
  for (;;) {
    const std::uint64_t seen = s.lastAliveMs.load(std::memory_order_relaxed);
    const std::uint64_t now = ::GetTickCount64();
    const std::uint64_t due = (seen == 0 ? now : seen) + kStallMs;
    if (due > now) ::Sleep(static_cast<DWORD>(due - now));
    if (seen == 0 || s.lastAliveMs.load(std::memory_order_relaxed) != seen) continue;
    {
      Locked guard;
      for (Port& port : s.ports) drop(port);
    }
    while (s.lastAliveMs.load(std::memory_order_relaxed) == seen) ::Sleep(kLookAgainMs);
  }
}

}  // namespace

void loopAlive() noexcept {
  state().lastAliveMs.store(::GetTickCount64(), std::memory_order_relaxed);
}

HANDLE watched(HANDLE file) noexcept {
  if (file == INVALID_HANDLE_VALUE) return file;
  State& s = state();
  bool ok = true;
  {
    Locked guard;
    try {
      s.ports.push_back(Port{file, false});
    } catch (...) {
      ok = false;
    }
    if (ok && !s.started) {
      const HANDLE thread = ::CreateThread(nullptr, 0, watch, nullptr, 0, nullptr);
      s.started = thread != nullptr;
      if (thread) ::CloseHandle(thread);
      if (!s.started) {
        s.ports.pop_back();
        ok = false;
      }
    }
  }
  if (ok) return file;
  ::CloseHandle(file);
  ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return INVALID_HANDLE_VALUE;
}

void forgetPort(HANDLE file) noexcept {
  State& s = state();
  Locked guard;
  std::erase_if(s.ports, [file](const Port& port) { return port.file == file; });
}

BOOL setCommState(HANDLE file, LPDCB dcb) {
  loopAlive();
  bool wasDropped = false;
  {
    Locked guard;
    for (Port& port : state().ports) {
      if (port.file != file) continue;
      wasDropped = wasDropped || port.dropped;
      port.dropped = false;
    }
  }
  if (wasDropped && dcb) {
    DCB off = *dcb;
    off.fDtrControl = DTR_CONTROL_DISABLE;
    off.fRtsControl = RTS_CONTROL_DISABLE;
    ::SetCommState(file, &off);
  }
  return ::SetCommState(file, dcb);
}

}  // namespace watchdog
