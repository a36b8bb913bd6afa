// The KERNEL32 half of the recording fake: serial devices by name, one directory for
// the file search, the thread's last-error code and the process error mode.
// Built on fake_platform.h's call log; every call is recorded there with its arguments.
// It leaves out real files, real timing (Sleep returns at once) and every device
// behaviour beyond the control block: nothing is read from or written to a port.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"
#include "platform/platform.h"

namespace fake {

// Win32 last-error codes the fake raises by itself (named apart from <winerror.h>).
inline constexpr DWORD kErrorInvalidFunction = 1;
inline constexpr DWORD kErrorFileNotFound = 2;
inline constexpr DWORD kErrorPathNotFound = 3;
inline constexpr DWORD kErrorAccessDenied = 5;
inline constexpr DWORD kErrorInvalidHandle = 6;
inline constexpr DWORD kErrorNoMoreFiles = 18;

// ---- Serial devices --------------------------------------------------------------------
// Names are matched without regard to letter case, as Windows matches device names.
// A port (any kind but DiskFile) named "COMn" opens as "\\.\COMn", and by its plain
// name only for n from 1 to 9, as on Win32; a DiskFile opens by its plain name alone.
enum class DeviceKind {
  SerialPort,          // opens; GetFileType says FILE_TYPE_CHAR; has a control block
  HeldByOtherProgram,  // CreateFileA fails with ERROR_ACCESS_DENIED
  DiskFile,            // opens; GetFileType says FILE_TYPE_DISK; no control block
};

// A control block with a distinctive non-zero value in every field, so that a field
// written back differently from how it was read shows.
DCB distinctiveDcb();
// Every field by name, one per line, for readable comparisons in tests.
std::string describeDcb(const DCB& dcb);

void addDevice(const std::string& name, DeviceKind kind, const DCB& state = distinctiveDcb());
void removeDevice(const std::string& name);  // the device vanishes; open handles stay
const DCB& deviceDcb(const std::string& name);  // as SetCommState last stored it
std::vector<DCB> dcbWrites(const std::string& name);  // every block SetCommState stored
bool isDeviceOpen(const std::string& name);
HANDLE deviceHandle(const std::string& name);  // the open handle, or nullptr
std::size_t openHandleCount();                  // device handles not yet closed

// What CreateFileA was given, one entry per call.
struct CreateFileCall {
  std::string name;
  DWORD access;
  DWORD shareMode;
  bool hasSecurity;
  DWORD securityLength;
  bool securityDescriptorNull;
  BOOL inheritHandle;
  DWORD creation;
  DWORD flags;
  bool templateNull;
};
const std::vector<CreateFileCall>& createFileCalls();

// The rendering of a handle in the call log, e.g. "0x104".
std::string handleText(HANDLE handle);

// Handles that were closed twice, never opened, or used after their close.
std::size_t invalidHandleUses();

// ---- Scripted outcomes -------------------------------------------------------------------
// The next call(s) of `callName` ("GetCommState", "CloseHandle", ...) end as scripted
// instead of as the devices and directory say. A call that does not succeed has no
// effect and returns its failure value (FALSE, INVALID_HANDLE_VALUE, FILE_TYPE_UNKNOWN);
// either way the thread's last-error code is set to `lastError`, which may be 0 for a
// failure or non-zero for a success.
struct Outcome {
  bool succeeds;
  DWORD lastError;
};
void scriptNext(const std::string& callName, Outcome outcome, int times = 1);
std::size_t scriptedOutcomesLeft();

// ---- The directory of the file search -------------------------------------------------------
// One current directory; a stored name may carry a directory part ("logs\\TX.txt").
// FindFirstFileA matches the last component without regard to letter case, with "*" and
// "?" as wildcards, and reports entries in the order they were added.
void addDirectoryEntry(const std::string& storedName, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
void removeDirectoryEntry(const std::string& storedName);
std::size_t openSearchCount();
std::size_t peakOpenSearchCount();  // the most searches open at one moment since reset

// ---- Error mode --------------------------------------------------------------------------
UINT errorMode();

}  // namespace fake
