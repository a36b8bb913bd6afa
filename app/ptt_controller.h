// The program's own behaviour after start-up: one event handler that turns its
// window's events (initialise, tick, "Set comport", close, destroy) into operations on
// the serial port channel, the trigger file probe and the window.
#pragma once

#include <string>

#include "platform/platform.h"
#include "serial/serial_port_channel.h"

inline constexpr int ID_PORT_TEXT = 1002;
inline constexpr int ID_SET_PORT = 1003;
inline constexpr int ID_STATUS_LABEL = 1994;

inline constexpr UINT kTickPeriodMs = 500;
inline constexpr std::int32_t kReceiveBufferLength = 512;

inline constexpr char kPttOnText[] = "PTT ON";
inline constexpr char kPttOffText[] = "PTT OFF";
inline constexpr char kPortNamePrefix[] = "COM";
// Win32 finds only COM1 to COM9 by their plain names; every port number, COM10 and
// higher included, is found in the device namespace.
inline constexpr char kDeviceNamespace[] = "\\\\.\\";
inline constexpr char kOpenFailedText[] =
    "Comport not available or already open by another application";
inline constexpr char kOpenFailedCaption[] = "Comport";
inline constexpr UINT kOpenFailedStyle = MB_ICONERROR | MB_OK;

// The only ways the controller reaches its window; the start-up routine binds them
// to the dialog toolkit, tests to a recording stand-in.
struct WindowOperations {
  std::string (*readControlText)(int controlId);
  void (*setControlText)(int controlId, const std::string& text);
  void (*startTimer)(UINT periodMs);
  void (*showErrorBox)(const std::string& text, const std::string& caption, UINT style);
  void (*endRun)(INT_PTR result);  // the closing events arrive nested inside
};

// Program-wide state.
extern WindowOperations windowOperations;
extern HWND hDlg;
extern int hStatusFont;
extern std::string portNumberText;
extern std::string triggerFileName;
extern ChannelNumber channelNumber;

// The device name for the port box's text: "COM" and the text, in the device namespace
// when the text is a plain decimal number ("12" -> \\.\COM12), otherwise as typed.
std::string portDeviceName(const std::string& portText);

INT_PTR PttController(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
