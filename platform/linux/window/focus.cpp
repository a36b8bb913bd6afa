// The keyboard focus and activation on Linux: one focused window and one active dialog
// for the thread, kept here and told to FLTK (the widget's focus) and to the X server
// (dialog_window.cpp asks for the activation). Leaves out focus across threads and
// activation of windows other than dialogs.
#include "focus.h"

#include <algorithm>
#include <vector>

#include "button.h"
#include "dialog_window.h"
#include "win32_values.h"
#include "window.h"

namespace fltkwin {

namespace {

std::uintptr_t focus = 0;
std::uintptr_t active = 0;
std::uintptr_t pendingActivation = 0;
std::vector<std::uintptr_t> activationOrder;  // top-level dialogs, most recent last

void noteActivated(std::uintptr_t dialog) {
  activationOrder.erase(std::remove(activationOrder.begin(), activationOrder.end(), dialog),
                        activationOrder.end());
  activationOrder.push_back(dialog);
}

}  // namespace

std::uintptr_t focusedWindow() { return focus; }

void forgetFocusWithin(std::uintptr_t window) {
  if (focus == window || isDescendant(window, focus)) focus = 0;
}

bool setFocusTo(std::uintptr_t window) {
  Wnd* w = findWnd(window);
  if (window && !w) return false;
  if (w && (w->style & WS_DISABLED)) return false;
  const std::uintptr_t previous = focus;
  if (previous == window) return true;
  focus = window;
  if (w && w->parent) {
    if (Wnd* d = findWnd(w->parent)) d->focusChild = window;
  }
  if (previous && findWnd(previous))
    sendMessage(previous, WM_KILLFOCUS, static_cast<WPARAM>(window), 0);
  if (window && findWnd(window)) sendMessage(window, WM_SETFOCUS, static_cast<WPARAM>(previous), 0);
  if (Wnd* now = findWnd(window); now && focus == window) giveWidgetFocus(*now);
  if (Wnd* p = findWnd(previous); p && p->parent) redrawButtonsOf(p->parent);
  if (w && w->parent) redrawButtonsOf(w->parent);
  return true;
}

void activate(std::uintptr_t dialog) {
  Wnd* d = findWnd(dialog);
  if (!d || d->kind != WindowKind::Dialog) return;
  noteActivated(dialog);
  const std::uintptr_t previous = active;
  if (previous == dialog) return;
  active = dialog;
  if (previous && findWnd(previous))
    sendMessage(previous, WM_ACTIVATE, static_cast<WPARAM>(WA_INACTIVE),
                static_cast<LPARAM>(dialog));
  if (findWnd(dialog))
    sendMessage(dialog, WM_ACTIVATE, static_cast<WPARAM>(WA_ACTIVE), static_cast<LPARAM>(previous));
}

void notePendingActivation(std::uintptr_t dialog) { pendingActivation = dialog; }

void processPendingActivation() {
  const std::uintptr_t dialog = pendingActivation;
  pendingActivation = 0;
  if (dialog && dialog != active && findWnd(dialog)) activate(dialog);
}

// The active window went away or was hidden: the most recently active visible dialog
// that remains takes over, as Win32 activates the next top-level window.
void activateAfterLoss(std::uintptr_t gone) {
  activationOrder.erase(std::remove(activationOrder.begin(), activationOrder.end(), gone),
                        activationOrder.end());
  if (active != gone) return;
  active = 0;
  forgetFocusWithin(gone);
  for (auto it = activationOrder.rbegin(); it != activationOrder.rend(); ++it) {
    Wnd* d = findWnd(*it);
    if (d && (d->style & WS_VISIBLE) && !d->destroying) {
      requestActivation(*d);
      pendingActivation = d->handle;
      return;
    }
  }
}

}  // namespace fltkwin

namespace platform {

HWND SetFocus(HWND window) {
  const std::uintptr_t previous = fltkwin::focusedWindow();
  if (!fltkwin::setFocusTo(fltkwin::fromHwnd(window))) return nullptr;
  return fltkwin::toHwnd(previous);
}

}  // namespace platform
