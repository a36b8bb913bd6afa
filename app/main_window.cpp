#include "app/main_window.h"

#include "app/ptt_controller.h"
#include "toolkit/toolkit.h"

namespace {

constexpr char kWindowCaption[] = "File TX.txt";
constexpr char kTriggerFileName[] = "TX.txt";
constexpr DWORD kMainDialogStyle = WS_CAPTION | WS_SYSMENU;
constexpr std::int32_t kRed = 0x0000FF;
constexpr int kExitNoWindow = 1;

std::string readControlText(int controlId) {
  return getControlText(controlWindow(hDlg, controlId));
}

void writeControlText(int controlId, const std::string& text) {
  setControlText(controlWindow(hDlg, controlId), text);
}

void startTimer(UINT periodMs) { platform::SetTimer(hDlg, 0, periodMs, nullptr); }

void showErrorBox(const std::string& text, const std::string& caption, UINT style) {
  showMessageBox(text, style, caption);
}

void endRun(INT_PTR result) { dismissDialog(hDlg, static_cast<std::int32_t>(result)); }

void setStockIcon(WPARAM which) {
  HICON icon = platform::LoadIconA(nullptr, IDI_APPLICATION);
  sendDialogMessage(hDlg, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
}

}  // namespace

int runMainWindow() {
  ErrorStatusScope status;  // the start-up routine's own; nothing looks at it
  windowOperations = {readControlText, writeControlText, startTimer, showErrorBox, endRun};

  hDlg = createDialog(UNIT_MODE_DIALOG, nullptr, kWindowCaption, COORD_OMITTED, COORD_OMITTED,
                      80, 75, kMainDialogStyle, 0);
  setStockIcon(ICON_SMALL);
  setStockIcon(ICON_BIG);

  // The port box is not a tab stop: Tab moves only between the two buttons.
  addControl(TextBox, hDlg, ID_PORT_TEXT, "1", 60, 45, 20, 14, WS_BORDER, 0, nullptr);
  addControl(PushButton, hDlg, IDCANCEL, "&Close", 0, 60, 80, 14, 0, 0, nullptr);
  addControl(Label, hDlg, ID_STATUS_LABEL, "", 0, 0, 80, 40, 0, 0, nullptr);
  addControl(PushButton, hDlg, ID_SET_PORT, "Set comport", 0, 45, 60, 14, 0, 0, nullptr);

  hStatusFont = createFont("Arial", 20.0f, FONT_STYLE_BOLD, 0, 0, 0);
  setControlFont(hDlg, ID_STATUS_LABEL, hStatusFont);
  setControlColors(hDlg, ID_PORT_TEXT, kRed,
                   static_cast<std::int32_t>(platform::GetSysColor(COLOR_INFOBK)));

  triggerFileName = kTriggerFileName;
  runModal(hDlg, PttController, nullptr);
  // A window that could not be made (no display, say) is not a normal end: a
  // launcher or script must be able to tell.
  return hDlg ? 0 : kExitNoWindow;
}
