// The rule by which every platform call of the file search and the serial operations
// is made and judged: under one process-wide lock, with the platform's own error
// boxes suppressed for the call only, and with the last-error code cleared before
// and read after. The call failed when that code is not 0, unless the caller judges
// the call by its result instead.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

#include "platform/platform.h"

// A spin lock taken by atomically exchanging -1 into its word. The program has one
// thread, yet the runtime's tables (channels, platform calls, the toolkit's records and
// fonts) are locked anyway: they are process-wide state, and the locks keep them
// consistent for any caller, a second thread of a later program or of a test included,
// at no cost to this one. A spin lock and not a mutex because each is held for a few
// instructions, never across a handler, a wait or a nested invocation, and with one
// thread never contended: taking it is one atomic exchange and no system call.
class SpinLock {
 public:
  void lock() {
    while (word_.exchange(-1, std::memory_order_acquire) != 0) {
    }
  }
  void unlock() { word_.store(0, std::memory_order_release); }

 private:
  std::atomic<std::int32_t> word_{0};
};

template <class Result>
struct PlatformOutcome {
  Result result;
  DWORD lastError;  // 0 when the call raised no error
  bool failed() const { return lastError != 0; }
};

SpinLock& platformCallLock();

inline constexpr UINT kQuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;

template <class Call>
auto callPlatform(Call&& call) -> PlatformOutcome<std::invoke_result_t<Call>> {
  SpinLock& lock = platformCallLock();
  lock.lock();
  UINT keptMode = platform::SetErrorMode(kQuietErrorMode);
  platform::SetLastError(0);
  auto result = call();
  DWORD lastError = platform::GetLastError();
  platform::SetErrorMode(keptMode);
  lock.unlock();
  return {result, lastError};
}

// Win32 last-error code to this system's error number.
std::uint8_t mapPlatformError(DWORD code);
