// The dead man's switch of the Linux platform: a thread of its own that drops DTR and
// RTS of every open serial device when the GUI thread's message loop has not come round
// for a second (two ticks), as when the thread hangs in a lookup on a file system that
// stopped answering. It says so on stderr, and again when the loop runs again; the
// lines are the program's again from then on (its next tick writes them). Built on
// <thread>, <mutex> and the TIOCMBIC ioctl. It keeps its own list of the devices, so it
// never waits on anything the stuck thread may hold; it touches nothing but the two
// lines, and leaves out every other part of the port.
#pragma once

namespace watchdog {

// The message loop has come round (every PeekMessageA). Never blocks.
void loopAlive() noexcept;

// A device was opened on `fd` (by the name `path`); from now on a stalled loop
// drops its lines. The first call starts the thread: a program that opens no device
// has none. False when the thread could not be started or memory ran out; the device
// is then not watched and the caller should not keep it open.
bool watchPort(int fd, const char* path) noexcept;

// Before `fd` is closed: after this returns the thread will not touch it again (so a
// descriptor number reused by a later open cannot have its lines dropped by mistake).
void forgetPort(int fd) noexcept;

}  // namespace watchdog
