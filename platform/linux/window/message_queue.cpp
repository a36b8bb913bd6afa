// The thread's message queue on Linux: PeekMessageA, TranslateMessage, DispatchMessageA
// and SetTimer, on FLTK 1.3's event loop (Fl::check, Fl::add_timeout). Widgets post input
// here and it acts only when dispatched; a timer is a flag, so one WM_TIMER at most waits.
// Waiting for input (pumpDisplay, idlePause, and Sleep, whose 1 ms is the message
// loops' idle pause) lives here too, beside the timers it must not outsleep. Leaves out waiting for messages (GetMessage), hooks and cross-thread
// messages.
#include "message_queue.h"

#include <FL/Fl.H>
#include <FL/x.H>

#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

#include "dialog_window.h"
#include "display.h"
#include "focus.h"
#include "text.h"
#include "win32_values.h"
#include "window.h"
#include "platform/linux/kernel32/watchdog.h"

namespace fltkwin {

namespace {

struct Queued {
  MSG msg{};
  bool toFocus = false;  // keyboard input: routed when taken from the queue
  std::uintptr_t dialog = 0;
  std::string text;  // keyboard input: the characters the key typed (UTF-8)
  int modifiers = 0;
};

struct Timer {
  std::uintptr_t window = 0;
  UINT_PTR id = 0;
  UINT period = 0;
  TIMERPROC proc = nullptr;
  bool pending = false;
  std::uintptr_t serial = 0;
  double nextDue = 0;  // seconds on the monotonic clock
};

std::deque<Queued>& queue() {
  static std::deque<Queued> q;
  return q;
}
std::vector<Timer>& timers() {
  static std::vector<Timer> t;
  return t;
}
std::uintptr_t nextTimerSerial = 1;
UINT_PTR nextThreadTimerId = 0x7FF0;

int modifiersOfLastMessage = 0;
MSG lastKeyMessage{};
std::string lastKeyText;

double monotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Keeps to the timer's own schedule, and after a stall skips the periods that were
// missed rather than firing them back to back: one WM_TIMER now, the next on time.
void timerFired(void* data) {
  const auto serial = reinterpret_cast<std::uintptr_t>(data);
  for (Timer& t : timers()) {
    if (t.serial != serial) continue;
    t.pending = true;
    const double period = t.period / 1000.0;
    const double now = monotonicSeconds();
    t.nextDue += period;
    if (t.nextDue <= now) t.nextDue = now + period;
    Fl::add_timeout(t.nextDue - now, timerFired, data);
    return;
  }
}

std::uintptr_t routeKeyInput(const Queued& q) {
  Wnd* dialog = findWnd(q.dialog);
  if (!dialog) return 0;
  const std::uintptr_t focus = focusedWindow();
  if (focus && (focus == q.dialog || isDescendant(q.dialog, focus))) return focus;
  if (dialog->focusChild && findWnd(dialog->focusChild)) return dialog->focusChild;
  return q.dialog;
}

bool windowMatches(std::uintptr_t window, HWND filter) {
  const std::uintptr_t f = fromHwnd(filter);
  if (f == 0) return true;
  if (f == static_cast<std::uintptr_t>(-1)) return window == 0;
  return window == f || isDescendant(f, window);
}

bool messageMatches(UINT message, UINT low, UINT high) {
  if (low == 0 && high == 0) return true;
  return message >= low && message <= high;
}

POINT pointerPosition() { return POINT{Fl::event_x_root(), Fl::event_y_root()}; }

// The character a key types when TranslateMessage gets a key message it did not see
// come out of the queue (made up by the program): letters, digits and the control keys.
std::string charactersForKey(WPARAM vk, int modifiers) {
  const bool shift = (modifiers & FL_SHIFT) != 0;
  const bool ctrl = (modifiers & FL_CTRL) != 0;
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl) return std::string(1, static_cast<char>(vk - 'A' + 1));
    return std::string(1, static_cast<char>(shift ? vk : vk + 32));
  }
  if (vk >= '0' && vk <= '9') return std::string(1, static_cast<char>(vk));
  switch (vk) {
    case VK_SPACE: return " ";
    case VK_RETURN: return "\r";
    case VK_TAB: return "\t";
    case VK_ESCAPE: return "\x1b";
    case VK_BACK: return "\b";
    default: return {};
  }
}

// An idle wake costs mostly system calls: FLTK's wait asks the X connection twice (its
// flush) and then waits, and a pump of the display at the look at the queue that
// follows would make as many calls again. After a pause that ended with nothing to do
// (no X input, and no timer of ours about to fall due) that pump is skipped: nothing
// came, and whatever the X library may already hold, the next pause's flush takes in
// before it waits. A pause that ends at a timer's due time is
// not quiet: FLTK runs a due timeout only when next asked, and that must be this look
// at the queue, not the start of the next pause, or the WM_TIMER would come a pause late.
bool quietPause = false;
constexpr double kDueMargin = 0.0005;  // clock rounding between FLTK's clock and ours

bool timerDueWithin(double seconds) {
  const double soon = monotonicSeconds() + seconds;
  for (const Timer& t : timers())
    if (t.pending || t.nextDue <= soon) return true;
  return false;
}

}  // namespace

void pumpDisplay() {
  quietPause = false;
  if (!fl_display || insideFltk()) return;
  FltkScope scope;
  Fl::check();
}

// Win32 grants a pause of 1 ms one tick of the system timer, 15.6 ms by default; an
// idle loop there wakes 64 times a second. The same bound here: input, an X event or a
// due timer (our window timers are FLTK timeouts) ends the pause at once, so nothing
// waits longer for it, and the bound only sets how often an idle loop looks round (and
// tells the watchdog that it is alive). Without FLTK to wait on (no display, or FLTK on
// the stack) the pause is the plain millisecond.
void idlePause() {
  constexpr double kTimerGranularity = 0.0156;
  if (fl_display && !insideFltk()) {
    FltkScope scope;
    quietPause = Fl::wait(kTimerGranularity) == 0 && !timerDueWithin(kDueMargin);
    return;
  }
  quietPause = false;
  timespec pause{0, 1000000};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

DWORD tickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<DWORD>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                            static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

int currentModifiers() { return modifiersOfLastMessage; }

void postMessage(std::uintptr_t window, UINT message, WPARAM wParam, LPARAM lParam) {
  Queued q;
  q.msg.hwnd = toHwnd(window);
  q.msg.message = message;
  q.msg.wParam = wParam;
  q.msg.lParam = lParam;
  q.msg.time = tickCount();
  q.modifiers = fl_display ? Fl::event_state() : 0;
  queue().push_back(std::move(q));
}

void postKeyInput(std::uintptr_t dialog, UINT message, WPARAM vk, LPARAM lParam,
                  const std::string& text, int modifiers) {
  Queued q;
  q.msg.message = message;
  q.msg.wParam = vk;
  q.msg.lParam = lParam;
  q.msg.time = tickCount();
  q.toFocus = true;
  q.dialog = dialog;
  q.text = text;
  q.modifiers = modifiers;
  queue().push_back(std::move(q));
}

void discardMessagesFor(std::uintptr_t window) {
  auto& q = queue();
  for (auto it = q.begin(); it != q.end();) {
    const bool gone =
        (!it->toFocus && fromHwnd(it->msg.hwnd) == window) || (it->toFocus && it->dialog == window);
    it = gone ? q.erase(it) : it + 1;
  }
}

void killTimersOf(std::uintptr_t window) {
  auto& t = timers();
  for (auto it = t.begin(); it != t.end();) {
    if (it->window == window) {
      Fl::remove_timeout(timerFired, reinterpret_cast<void*>(it->serial));
      it = t.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace fltkwin

namespace platform {

// Sleep(1) is how the toolkit's loop pauses when its queue is empty: it gets the idle
// pause above, as Win32 gives it a timer tick. Every other length keeps its plain
// meaning: the thread waits that long and no message is handled meanwhile.
void Sleep(DWORD milliseconds) {
  constexpr DWORD kInfinite = 0xFFFFFFFFu;
  if (milliseconds == 0) {
    ::sched_yield();
    return;
  }
  if (milliseconds == 1) {
    fltkwin::idlePause();
    return;
  }
  if (milliseconds == kInfinite) {
    for (;;) ::pause();
  }
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

using namespace fltkwin;

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMode) {
  if (!msg) return FALSE;
  watchdog::loopAlive();
  if (!insideFltk()) {
    finishPendingHides();
    deletePendingWidgets();
    if (quietPause)
      quietPause = false;
    else
      pumpDisplay();
    finishPendingHides();
    deletePendingWidgets();
    processPendingActivation();
  }
  const bool remove = (removeMode & PM_REMOVE) != 0;
  auto& q = queue();
  for (auto it = q.begin(); it != q.end();) {
    std::uintptr_t target = fromHwnd(it->msg.hwnd);
    if (it->toFocus) {
      target = routeKeyInput(*it);
      if (!target) {
        it = q.erase(it);
        continue;
      }
    } else if (target && !findWnd(target)) {
      it = q.erase(it);
      continue;
    }
    if (!windowMatches(target, window) || !messageMatches(it->msg.message, filterMin, filterMax)) {
      ++it;
      continue;
    }
    *msg = it->msg;
    msg->hwnd = toHwnd(target);
    msg->pt = pointerPosition();
    if (it->toFocus) {
      lastKeyMessage = *msg;
      lastKeyText = it->text;
    }
    if (remove) {
      modifiersOfLastMessage = it->modifiers;
      q.erase(it);
    }
    return TRUE;
  }
  // Timers come last, when nothing else waits, as Win32 generates WM_TIMER.
  for (Timer& t : timers()) {
    if (!t.pending || !windowMatches(t.window, window) ||
        !messageMatches(WM_TIMER, filterMin, filterMax))
      continue;
    *msg = MSG{};
    msg->hwnd = toHwnd(t.window);
    msg->message = WM_TIMER;
    msg->wParam = t.id;
    msg->lParam = reinterpret_cast<LPARAM>(t.proc);
    msg->time = tickCount();
    msg->pt = pointerPosition();
    if (remove) t.pending = false;
    return TRUE;
  }
  return FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg) return FALSE;
  if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) {
    return msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP;
  }
  std::string typed;
  if (msg->hwnd == lastKeyMessage.hwnd && msg->message == lastKeyMessage.message &&
      msg->wParam == lastKeyMessage.wParam && msg->lParam == lastKeyMessage.lParam &&
      msg->time == lastKeyMessage.time) {
    typed = utf8ToAnsi(lastKeyText.data(), lastKeyText.size());
  } else {
    typed = charactersForKey(msg->wParam, modifiersOfLastMessage);
  }
  const UINT charMessage = msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
  auto& q = queue();
  // The characters come before any input still waiting, as Win32's posted messages do.
  std::size_t at = 0;
  for (unsigned char c : typed) {
    if (c == 0x7F) continue;  // Delete types nothing on Win32
    Queued ch;
    ch.msg.hwnd = msg->hwnd;
    ch.msg.message = charMessage;
    ch.msg.wParam = c;
    ch.msg.lParam = msg->lParam;
    ch.msg.time = msg->time;
    ch.modifiers = modifiersOfLastMessage;
    q.insert(q.begin() + static_cast<std::ptrdiff_t>(at++), std::move(ch));
  }
  return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    // Only a procedure that a live timer was set with is ever called.
    const auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    for (const Timer& t : timers()) {
      if (t.proc == proc && t.id == msg->wParam && t.window == fromHwnd(msg->hwnd)) {
        proc(msg->hwnd, WM_TIMER, msg->wParam, tickCount());
        return 0;
      }
    }
    return 0;
  }
  const std::uintptr_t window = fromHwnd(msg->hwnd);
  if (!window) return 0;
  return sendMessage(window, msg->message, msg->wParam, msg->lParam);
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
  const std::uintptr_t handle = fromHwnd(window);
  if (handle && !findWnd(handle)) return 0;
  const UINT period = elapse < 10 ? 10 : (elapse > 0x7FFFFFFFu ? 0x7FFFFFFFu : elapse);
  auto& t = timers();
  Timer* timer = nullptr;
  for (Timer& existing : t)
    if (existing.window == handle && existing.id == id) timer = &existing;
  if (!timer && !handle) id = nextThreadTimerId++;  // thread timers get ids of their own
  if (timer) {
    Fl::remove_timeout(timerFired, reinterpret_cast<void*>(timer->serial));
  } else {
    t.push_back(Timer{});
    timer = &t.back();
    timer->window = handle;
    timer->id = id;
  }
  timer->period = period;
  timer->proc = timerProc;
  timer->pending = false;
  timer->serial = nextTimerSerial++;
  timer->nextDue = monotonicSeconds() + period / 1000.0;
  Fl::add_timeout(period / 1000.0, timerFired, reinterpret_cast<void*>(timer->serial));
  if (!handle) return id;
  return id ? id : 1;
}

}  // namespace platform
