// The dead man's switch of the Windows platform: a thread of its own that drops DTR and
// RTS of every open port (EscapeCommFunction CLRDTR and CLRRTS) when the GUI thread's
// message loop has not come round for a second (two ticks), as when the thread hangs in
// a lookup on a network share that stopped answering. The program's next tick after the
// loop is back writes the lines again. Built on CreateThread, an SRW lock and the comm
// functions; it keeps its own list of the open handles, so it never waits on anything the
// stuck thread may hold, and touches nothing but the two lines. Leaves out a message on
// stderr (a Windows program has none to show).
#pragma once

#include "platform/platform.h"

namespace watchdog {

// The message loop has come round (every PeekMessageA). Never blocks.
void loopAlive() noexcept;

// CreateFileA's result, watched from now on: the first one starts the thread, so a
// program that opens nothing has none. When the thread cannot start, the file is closed
// and INVALID_HANDLE_VALUE returned with ERROR_NOT_ENOUGH_MEMORY: a port the watchdog
// cannot drop is not kept open. INVALID_HANDLE_VALUE passes through as it is.
HANDLE watched(HANDLE file) noexcept;

// Before `file` is closed: the thread will not touch it (or a later handle of the same
// value) again.
void forgetPort(HANDLE file) noexcept;

// SetCommState, and a sign of life: the modal loops of Windows (a window being moved, a
// message box) dispatch the timer without calling our PeekMessageA. After a drop the
// block goes to the port by way of both lines' modes disabled, because a serial driver
// may carry out a line's mode only when it changes.
BOOL setCommState(HANDLE file, LPDCB dcb);

}  // namespace watchdog
