#include "app/ptt_controller.h"

#include "trigger/trigger_file_probe.h"

WindowOperations windowOperations{};
HWND hDlg = nullptr;
int hStatusFont = 0;
std::string portNumberText;
std::string triggerFileName;
ChannelNumber channelNumber = 0;

std::string portDeviceName(const std::string& portText) {
  const bool plainNumber =
      !portText.empty() && portText.find_first_not_of("0123456789") == std::string::npos;
  return (plainNumber ? std::string(kDeviceNamespace) : std::string()) + kPortNamePrefix + portText;
}

namespace {

void onInitialise() {
  portNumberText = windowOperations.readControlText(ID_PORT_TEXT);
  channelNumber = reserveChannelNumber();
  windowOperations.startTimer(kTickPeriodMs);
}

// Every tick writes both lines and the label, changed or not: a line knocked off by
// something else is put right within one tick.
void onTick() {
  const bool transmit = TriggerFileProbe::isPresent(triggerFileName);
  const std::int32_t level = transmit ? 1 : 0;
  setLineSetting(channelNumber, SETTING_DTR_HANDSHAKE, level);
  setLineSetting(channelNumber, SETTING_RTS_CONTROL, level);
  windowOperations.setControlText(ID_STATUS_LABEL, transmit ? kPttOnText : kPttOffText);
}

INT_PTR onSetPort() {
  portNumberText = windowOperations.readControlText(ID_PORT_TEXT);
  closeSerialChannel(channelNumber);
  openSerialChannel(channelNumber, portDeviceName(portNumberText), kReceiveBufferLength);
  if (takeErrorStatus() != 0) {
    // The open itself may have succeeded after the release of the old port failed;
    // the box tells the operator no port is in use, so none is left open to be keyed.
    closeSerialChannel(channelNumber);
    windowOperations.showErrorBox(kOpenFailedText, kOpenFailedCaption, kOpenFailedStyle);
    return 0;
  }
  setLineSetting(channelNumber, SETTING_DTR_HANDSHAKE, 0);
  setLineSetting(channelNumber, SETTING_RTS_CONTROL, 0);
  return 1;
}

void onClose(WORD notification) {
  if (notification > 1) return;
  closeSerialChannel(channelNumber);
  windowOperations.endRun(0);
}

}  // namespace

INT_PTR PttController(HWND, UINT message, WPARAM wParam, LPARAM) {
  ErrorStatusScope status;  // every event has its own error status
  switch (message) {
    case WM_INITDIALOG:
      onInitialise();
      return 0;
    case WM_TIMER:
      onTick();
      return 0;
    case WM_COMMAND: {
      const WORD controlId = static_cast<WORD>(wParam & 0xFFFF);
      const WORD notification = static_cast<WORD>((wParam >> 16) & 0xFFFF);
      switch (controlId) {
        case ID_SET_PORT:
          return onSetPort();
        case IDCANCEL:
          onClose(notification);
          return 0;
      }
      return 0;
    }
    case WM_DESTROY:
      closeSerialChannel(channelNumber);
      return 0;
  }
  return 0;
}
