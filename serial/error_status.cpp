#include "serial/error_status.h"

#include <cstdlib>

namespace {
// Operations called outside any invocation (a test calling the runtime directly)
// record here.
ErrorStatusScope* baseScope() {
  thread_local ErrorStatusScope base;
  return &base;
}
thread_local ErrorStatusScope* innermost = nullptr;

ErrorStatusScope* current() { return innermost ? innermost : baseScope(); }
}  // namespace

ErrorStatusScope::ErrorStatusScope() : outer_(innermost) { innermost = this; }

ErrorStatusScope::~ErrorStatusScope() {
  if (innermost == this) innermost = outer_;
}

void recordError(std::uint8_t number) {
  current()->status_ = number;
  if (number >= kFirstFatalError) std::_Exit(kFatalExitCode);
}

std::uint8_t takeErrorStatus() {
  ErrorStatusScope* scope = current();
  std::uint8_t number = scope->status_;
  scope->status_ = 0;
  return number;
}
