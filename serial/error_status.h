// The error status: how every runtime operation reports failure.
//
// Each invocation of a program routine (the start-up routine, every call of an event
// handler) owns one status, opened with an ErrorStatusScope. A failing operation
// overwrites the innermost open status with its number; a nested invocation has its
// own and neither sees nor changes the one it interrupted. A number of 241 or more
// ends the process at once with exit code 255.
#pragma once

#include <cstdint>

class ErrorStatusScope {
 public:
  ErrorStatusScope();
  ~ErrorStatusScope();
  ErrorStatusScope(const ErrorStatusScope&) = delete;
  ErrorStatusScope& operator=(const ErrorStatusScope&) = delete;

 private:
  friend void recordError(std::uint8_t number);
  friend std::uint8_t takeErrorStatus();
  std::uint8_t status_ = 0;
  ErrorStatusScope* outer_;
};

// Store `number` in the calling invocation's status; the latest failure wins.
void recordError(std::uint8_t number);

// The calling invocation's status, which is reset to 0.
std::uint8_t takeErrorStatus();

inline constexpr std::uint8_t kFirstFatalError = 241;
inline constexpr int kFatalExitCode = 255;

// The error numbers of the runtime, each named once. The serial operations record them
// directly or through mapPlatformError (serial/call_platform.h), the font table records
// kErrInvalidCall.
inline constexpr std::uint8_t kErrInvalidCall = 5;  // a bad argument, or a refused change
inline constexpr std::uint8_t kErrOutOfMemory = 7;
inline constexpr std::uint8_t kErrBadHandle = 51;   // the platform refused a handle
inline constexpr std::uint8_t kErrBadChannel = 52;  // a negative or not-open channel
inline constexpr std::uint8_t kErrNotFound = 53;
inline constexpr std::uint8_t kErrChannelOpen = 55;  // the channel is already open
inline constexpr std::uint8_t kErrDiskFull = 61;
inline constexpr std::uint8_t kErrPastEnd = 62;  // read past the end of a file
inline constexpr std::uint8_t kErrBadName = 64;  // empty, or with "*" or "?"
inline constexpr std::uint8_t kErrTooManyFiles = 67;
inline constexpr std::uint8_t kErrDeviceUnavailable = 68;
inline constexpr std::uint8_t kErrOpenFailed = 69;  // refused, or a disk file
inline constexpr std::uint8_t kErrNoAccess = 70;
inline constexpr std::uint8_t kErrDiskNotReady = 71;
inline constexpr std::uint8_t kErrDeviceFault = 72;
inline constexpr std::uint8_t kErrOtherDevice = 74;   // a move to another device
inline constexpr std::uint8_t kErrAccessFailed = 75;  // every other platform failure
inline constexpr std::uint8_t kErrPathNotFound = 76;
inline constexpr std::uint8_t kErrCorruptMemory = 241;  // fatal: the process ends
static_assert(kErrCorruptMemory >= kFirstFatalError);
