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
