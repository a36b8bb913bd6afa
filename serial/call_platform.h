// The rule by which every platform call of the file search and the serial operations
// is made and judged: under one process-wide lock, with the platform's own error
// boxes suppressed for the call only, and with the last-error code cleared before
// and read after. The call failed when that code is not 0, unless the caller judges
// the call by its result instead.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

#include "platform.h"

// A spin lock taken by atomically exchanging -1 into its word; never contended in
// this single-threaded program, but it keeps the runtime consistent if it ever is.
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
