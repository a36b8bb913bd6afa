// The thread's message queue of the Linux window system: posting, keyboard input routed
// when it is read, timers, and the waits that let FLTK read the X connection.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace fltkwin {

void postMessage(std::uintptr_t window, UINT message, WPARAM wParam, LPARAM lParam);
// Keyboard input goes to whichever control of `dialog` has the focus when it is taken
// from the queue, as Win32 routes input when it is read, not when it happens.
void postKeyInput(std::uintptr_t dialog, UINT message, WPARAM vk, LPARAM lParam,
                  const std::string& text, int modifiers);
void discardMessagesFor(std::uintptr_t window);
void killTimersOf(std::uintptr_t window);
int currentModifiers();  // FLTK modifier state as of the last message taken from the queue
DWORD tickCount();

// Runs FLTK's event processing without waiting, unless FLTK is already on the stack
// (a colour request made while a control paints), where it must not be re-entered.
void pumpDisplay();
// The idle pause of a message loop whose queue is empty: until X input, an FLTK
// timeout (a window timer) or 15.6 ms, whichever comes first.
void idlePause();

}  // namespace fltkwin
