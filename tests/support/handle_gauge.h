// A measure of the handles a Windows process holds, for tests that check that nothing
// is left open. Built on KERNEL32 alone (included only by the Windows integration
// tests); it tells growth, not an exact count.
#pragma once

#include <windows.h>

// A value that grows with every handle the process leaves open. Windows counts the
// handles. Wine's GetProcessHandleCount reports 0, but Wine hands out the lowest free
// handle slot, so the value of a fresh handle shows the same growth.
inline DWORD_PTR handleGauge() {
  DWORD count = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) return count;
  HANDLE fresh = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ::CloseHandle(fresh);
  return reinterpret_cast<DWORD_PTR>(fresh) / 4;
}
