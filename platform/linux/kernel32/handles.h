// The handles of the KERNEL32 half of the Linux platform: each open device and each open
// file search is a small record in a table, and the HANDLE is a counter value naming
// it (never null, never INVALID_HANDLE_VALUE, never reused within a run), so a stale
// or foreign handle is refused instead of dereferenced. Built on <mutex>; leaves out
// every Win32 object kind but these two.
#pragma once

#include <dirent.h>
#include <termios.h>

#include <cstddef>
#include <memory>
#include <string>

#include "platform/linux/kernel32/device_facts.h"
#include "platform/platform.h"

namespace posix {

// The control-block fields that termios cannot carry; SetCommState keeps them so
// that GetCommState gives back what was set.
struct DcbKeptFields {
  DWORD fOutxDsrFlow = 0;
  DWORD fDsrSensitivity = 0;
  DWORD fTXContinueOnXoff = 0;
  DWORD fErrorChar = 0;
  DWORD fNull = 0;
  DWORD fAbortOnError = 0;
  WORD XonLim = 2048;
  WORD XoffLim = 512;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
};

struct DeviceRecord {
  int fd = -1;
  bool isTerminal = false;
  // The line modes last applied; until then GetCommState reads the lines themselves.
  bool modesKnown = false;
  DWORD dtrControl = 0;
  DWORD rtsControl = 0;
  // The speed the control block reports while the device is at B0: the one it had
  // when opened (9600, Windows' default, when it was at B0 already).
  speed_t speedAtB0 = B9600;
  DcbKeptFields kept;
  // How it was opened, so that the same device can be opened again the same way when
  // it comes back after it was lost (lost_ports.h); fd is -1 while it is lost.
  std::string portName;  // "COM7", as the operator knows it
  std::string path;      // what the name resolved to: a mapping entry, /dev/ttyUSB0
  DWORD access = 0;
  bool exclusive = true;
  bool inherit = false;
  DeviceIdentity identity;
  bool lost = false;
  ~DeviceRecord();
};

struct SearchRecord {
  DIR* directory = nullptr;   // null for a direct lookup, which has no further entry
  std::string directoryPart;  // "" for the current directory, else ends with '/'
  std::string pattern;
  ~SearchRecord();
};

HANDLE addDevice(std::shared_ptr<DeviceRecord> device);
std::shared_ptr<DeviceRecord> findDevice(HANDLE handle);
std::shared_ptr<DeviceRecord> takeDevice(HANDLE handle);  // removed from the table

HANDLE addSearch(std::shared_ptr<SearchRecord> search);
std::shared_ptr<SearchRecord> findSearch(HANDLE handle);
std::shared_ptr<SearchRecord> takeSearch(HANDLE handle);

// How many searches are open now; the probe tests watch it for leaks.
std::size_t openSearchCount();

}  // namespace posix
