// KERNEL32's process-wide bits on POSIX: the error mode, the thread's last-error code
// and the module handle. Built on the C++ runtime alone. Leaves out everything the
// error mode would suppress: Linux shows no system error boxes, so the mode is only
// stored and given back.
#include <atomic>

#include "platform/platform.h"

namespace {

thread_local DWORD lastError = 0;
std::atomic<UINT> errorMode{0};

}  // namespace

namespace platform {

UINT SetErrorMode(UINT mode) { return errorMode.exchange(mode); }

void SetLastError(DWORD code) { lastError = code; }

DWORD GetLastError() { return lastError; }

HMODULE GetModuleHandleA(LPCSTR /*moduleName*/) {
  // One module per process here; any name yields the program's own instance.
  static char instance;
  return reinterpret_cast<HMODULE>(&instance);
}

}  // namespace platform
