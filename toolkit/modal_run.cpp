#include "toolkit/colours.h"
#include "toolkit/fonts.h"
#include "toolkit/window_records.h"

namespace {

// The first fields of a WM_NOTIFY header (NMHDR): the control that sent it.
struct NotifyHeader {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
};

// The dialog whose WM_CLOSE dismissDialog is delivering at the moment.
thread_local HWND closingDialog = nullptr;

WORD lowWord(WPARAM value) { return static_cast<WORD>(value & 0xFFFF); }

HWND ownerOf(HWND dialog) {
  // Window handles are 32-bit values on 64-bit Windows too; the sign extension of
  // the LONG gives back the handle.
  const HWND owner = reinterpret_cast<HWND>(
      static_cast<LONG_PTR>(platform::GetWindowLongA(dialog, GWL_HWNDPARENT)));
  if (owner) return owner;
  // 64-bit Windows refuses that 32-bit index; the owner given at creation is the one
  // the platform knows.
  const WindowRecord* record = findRecord(dialog);
  return record && (record->flags & RECORD_DIALOG) ? record->parent : nullptr;
}

WPARAM sizeTypeFor(int showCommand) {
  if (showCommand == SW_SHOWMAXIMIZED) return SIZE_MAXIMIZED;
  if (showCommand == SW_MINIMIZE) return SIZE_MINIMIZED;
  return SIZE_RESTORED;
}

LPARAM packedSize(const RECT& client) {
  const DWORD width = static_cast<DWORD>(client.right - client.left) & 0xFFFF;
  const DWORD height = static_cast<DWORD>(client.bottom - client.top) & 0xFFFF;
  return static_cast<LPARAM>(width | (height << 16));
}

bool isColourRequest(UINT message) {
  return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

INT_PTR callControlHandler(HWND control, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  const WindowRecord* record = findRecord(control);
  if (!record || !record->eventHandler) return 0;
  const EventHandler handler = record->eventHandler;
  return handler(dialog, message, wParam, lParam);
}

void releaseRecord(WindowRecord* record) {
  releaseControlFont(*record);
  releaseRecordBrush(*record);
  deleteRecord(record);
}

// Children first; each record stays in the list, where its colour keeps a shared
// brush alive, until its own children are gone.
void releaseRecordTree(HWND window) {
  while (const HWND child = findChildControl(window)) releaseRecordTree(child);
  if (WindowRecord* own = unlinkRecord(window)) releaseRecord(own);
}

}  // namespace

INT_PTR toolkitDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      // The platform's, sent while createDialog runs; the handler gets its own from
      // runModal once the dialog is complete.
      return 0;
    case WM_ACTIVATE:
      if (lowWord(wParam) <= WA_CLICKACTIVE) return 0;
      break;
    case WM_COMMAND:
      if (platform::GetDlgItem(window, lowWord(wParam))) {
        const INT_PTR result =
            callControlHandler(reinterpret_cast<HWND>(lParam), window, message, wParam, lParam);
        if (result) return result;
      }
      break;
    case WM_HSCROLL:
    case WM_VSCROLL: {
      const INT_PTR result =
          callControlHandler(reinterpret_cast<HWND>(lParam), window, message, wParam, lParam);
      if (result) return result;
      break;
    }
    case WM_NOTIFY:
      if (lParam) {
        const HWND sender = reinterpret_cast<const NotifyHeader*>(lParam)->hwndFrom;
        const INT_PTR result = callControlHandler(sender, window, message, wParam, lParam);
        if (result) return result;
      }
      break;
  }

  if (const WindowRecord* record = findRecord(window)) {
    const EventHandler handler = record->eventHandler;
    // The record may be gone once the handler returns (it may end the dialog).
    const INT_PTR result = handler ? handler(window, message, wParam, lParam) : 0;
    if (result) {
      if (platform::GetWindowLongA(window, DWL_MSGRESULT) == 0) {
        platform::SetWindowLongA(window, DWL_MSGRESULT, static_cast<LONG>(result));
      }
    }
    if (message == WM_NCDESTROY) {
      // Released whatever the handler answered: the window is gone either way, and a
      // record left behind would hold a brush and could match a later window that the
      // platform gives the same handle.
      releaseRecordTree(window);
      return result ? result : 1;
    }
    if (result) return result;
    if (isColourRequest(message)) {
      return replyCtlColor(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    }
  }

  if (message == WM_SYSCOMMAND && (wParam & ~WPARAM{0xF}) == SC_CLOSE) {
    dismissDialog(window, 0);
    return 1;
  }
  // Answered as handled so that the platform's default dialog processing does not
  // post an IDCANCEL command in reply: nothing may follow dismissDialog's WM_CLOSE.
  if (message == WM_CLOSE && window == closingDialog) return 1;
  return 0;
}

void runModal(HWND dialog, EventHandler handler, std::int32_t* resultPlace) {
  if (handler) {
    handler(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(dialog), 0);
    RECT client{};  // 0 by 0 when there is no window
    if (dialog) platform::GetClientRect(dialog, &client);
    const WindowRecord* record = findRecord(dialog);
    const int showCommand = record ? record->showCommand : SW_SHOW;
    handler(dialog, WM_SIZE, sizeTypeFor(showCommand), packedSize(client));
  }

  WindowRecord* record = findRecord(dialog);
  if (!record) return;
  record->eventHandler = handler;
  record->flags |= RECORD_MODAL;
  record->resultPlace = resultPlace;
  const int showCommand = record->showCommand;

  const HWND owner = ownerOf(dialog);
  if (owner) {
    platform::SendMessageA(owner, WM_CANCELMODE, 0, 0);
    platform::EnableWindow(owner, FALSE);
  }
  platform::ShowWindow(dialog, showCommand);

  // Checked before every wait as well as after every message: a dialog ended while
  // it was being shown would otherwise leave the loop polling an empty queue forever.
  while (platform::IsWindow(dialog)) {
    MSG msg{};
    if (!platform::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (owner) {
        platform::SendMessageA(owner, WM_ENTERIDLE, MSGF_DIALOGBOX,
                               reinterpret_cast<LPARAM>(dialog));
      }
      platform::Sleep(1);
      continue;
    }
    if (!platform::IsWindow(dialog) || !platform::IsDialogMessageA(dialog, &msg)) {
      platform::TranslateMessage(&msg);
      platform::DispatchMessageA(&msg);
    }
  }

  if (owner) platform::SetFocus(owner);
}

void dismissDialog(HWND dialog, std::int32_t result) {
  // A handler that ends the dialog from its WM_CLOSE (as classic dialog code does)
  // must not be sent WM_CLOSE again and again.
  if (dialog != closingDialog) {
    const HWND outer = closingDialog;
    closingDialog = dialog;
    platform::SendMessageA(dialog, WM_CLOSE, 0, 0);
    closingDialog = outer;
  }

  const HWND owner = ownerOf(dialog);
  const bool ownerWasDisabled = owner && platform::EnableWindow(owner, TRUE) != 0;
  if (const WindowRecord* record = findRecord(dialog); record && record->resultPlace) {
    *record->resultPlace = result;
  }
  if (!platform::DestroyWindow(dialog) && ownerWasDisabled) {
    platform::EnableWindow(owner, FALSE);
  }
}
