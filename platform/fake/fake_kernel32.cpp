// The KERNEL32 half of the recording fake: serial devices by name with a whole control
// block each, a directory model for the file search, the thread's last-error code and
// the process error mode, all reset by fake::reset().
// Built on fake_core.cpp's call log; tests script outcomes ahead of calls. No real
// file or device is touched, and Sleep returns at once.
#include "platform/fake/fake_kernel32.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <stdexcept>
#include <string_view>
#include <type_traits>

namespace fake {
namespace {

std::string folded(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

std::string hex(std::uintmax_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  return "0x" + std::string(digits, end);
}

std::string pointerText(const void* pointer) {
  return pointer ? hex(reinterpret_cast<std::uintptr_t>(pointer)) : "null";
}

struct Device {
  std::string name;
  DeviceKind kind;
  DCB dcb;
  std::vector<DCB> writes;
  HANDLE open = nullptr;
};

struct OpenDevice {
  std::string key;  // of the device in devices(); it may have vanished since
  DeviceKind kind;
};

struct DirectoryEntry {
  std::string directory;  // folded, '\\' separators, "" for the current directory
  std::string storedName;
  DWORD attributes;
};

struct Search {
  std::vector<DirectoryEntry> matches;
  std::size_t next;
};

struct State {
  std::map<std::string, Device> devices;  // by folded name
  std::map<HANDLE, OpenDevice> openDevices;
  std::vector<CreateFileCall> createFiles;
  std::map<std::string, std::deque<Outcome>> scripts;
  std::vector<DirectoryEntry> directory;
  std::map<HANDLE, Search> searches;
  std::size_t peakSearches = 0;
  std::size_t invalidUses = 0;
  UINT errorMode = 0;
};

State& state() {
  static State s;
  return s;
}

thread_local DWORD lastErrorCode = 0;

// Handle values are never reused, not even across resets, so that a handle kept by
// the code under test from an earlier test cannot alias a new one.
HANDLE newHandle() {
  static std::uintptr_t next = 0x100;
  next += 4;
  return reinterpret_cast<HANDLE>(next);
}

void resetKernel32() {
  state() = State{};
  lastErrorCode = 0;
}
const ResetHook hook{resetKernel32};

// The scripted outcome for this call, if one is queued.
bool takeScript(const char* callName, Outcome* outcome) {
  auto found = state().scripts.find(callName);
  if (found == state().scripts.end() || found->second.empty()) return false;
  *outcome = found->second.front();
  found->second.pop_front();
  return true;
}

// Plays one call: a scripted failure returns `failure` with its code and skips the
// call's own work; otherwise `work` runs, and a scripted success still decides the
// last-error code left behind (a success that leaves a code).
template <class Work, class Result = std::invoke_result_t<Work>>
Result playCall(const char* callName, std::type_identity_t<Result> failure, Work work) {
  Outcome scripted;
  const bool isScripted = takeScript(callName, &scripted);
  if (isScripted && !scripted.succeeds) {
    lastErrorCode = scripted.lastError;
    return failure;
  }
  Result result = work();
  if (isScripted) lastErrorCode = scripted.lastError;
  return result;
}

Device* findDevice(const std::string& name) {
  auto found = state().devices.find(folded(name));
  return found == state().devices.end() ? nullptr : &found->second;
}

// How Win32 finds what CreateFileA names: "\\.\X" is device X in the device namespace,
// where every port is; a plain name reaches a port only as a DOS device name, which
// Win32 knows for COM1 to COM9 alone; any other plain name is a file.
Device* deviceNamed(const std::string& name) {
  constexpr std::string_view kNamespace = "\\\\.\\";
  const bool inNamespace = name.starts_with(kNamespace);
  Device* device = findDevice(inNamespace ? name.substr(kNamespace.size()) : name);
  if (!device) return nullptr;
  const bool isFile = device->kind == DeviceKind::DiskFile;
  if (inNamespace) return isFile ? nullptr : device;
  const std::string plain = folded(name);
  const bool dosDeviceName =
      plain.size() == 4 && plain.starts_with("com") && plain[3] >= '1' && plain[3] <= '9';
  return isFile || dosDeviceName ? device : nullptr;
}

Device& existingDevice(const std::string& name) {
  Device* device = findDevice(name);
  if (!device) throw std::invalid_argument("fake: no device named " + name);
  return *device;
}

Device* deviceBehind(HANDLE handle, OpenDevice** open = nullptr) {
  auto found = state().openDevices.find(handle);
  if (found == state().openDevices.end()) return nullptr;
  if (open) *open = &found->second;
  auto device = state().devices.find(found->second.key);
  return device == state().devices.end() ? nullptr : &device->second;
}

void splitPath(std::string_view path, std::string* directory, std::string* leaf) {
  const std::size_t cut = path.find_last_of("\\/");
  if (cut == std::string_view::npos) {
    directory->clear();
    *leaf = std::string(path);
    return;
  }
  *directory = folded(path.substr(0, cut));
  for (char& c : *directory)
    if (c == '/') c = '\\';
  *leaf = std::string(path.substr(cut + 1));
}

// Case-blind match with "*" and "?", as Windows matches a search's last component.
bool matches(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) return name.empty();
  if (pattern.front() == '*') {
    for (std::size_t skip = 0; skip <= name.size(); ++skip)
      if (matches(pattern.substr(1), name.substr(skip))) return true;
    return false;
  }
  if (name.empty()) return false;
  const bool same = pattern.front() == '?' ||
                    std::tolower(static_cast<unsigned char>(pattern.front())) ==
                        std::tolower(static_cast<unsigned char>(name.front()));
  return same && matches(pattern.substr(1), name.substr(1));
}

void fill(const DirectoryEntry& entry, LPWIN32_FIND_DATAA found) {
  std::memset(found, 0, sizeof *found);
  found->dwFileAttributes = entry.attributes;
  const std::size_t length = std::min(entry.storedName.size(), sizeof found->cFileName - 1);
  std::memcpy(found->cFileName, entry.storedName.data(), length);
  // A short alias that differs from the stored name, so that reading it shows.
  std::string alias = entry.storedName.substr(0, sizeof found->cAlternateFileName - 1);
  for (char& c : alias) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::memcpy(found->cAlternateFileName, alias.data(), alias.size());
}

}  // namespace

// ---- Test-side helpers ------------------------------------------------------------------------
DCB distinctiveDcb() {
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = 19200;
  dcb.fBinary = 1;
  dcb.fParity = 1;
  dcb.fOutxCtsFlow = 1;
  dcb.fOutxDsrFlow = 1;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;  // neither of the two values the program writes
  dcb.fDsrSensitivity = 1;
  dcb.fTXContinueOnXoff = 1;
  dcb.fOutX = 1;
  dcb.fInX = 1;
  dcb.fErrorChar = 1;
  dcb.fNull = 1;
  dcb.fRtsControl = RTS_CONTROL_TOGGLE;  // neither 0 nor 1
  dcb.fAbortOnError = 1;
  dcb.fDummy2 = 0x1A5C3;
  dcb.wReserved = 0x1234;
  dcb.XonLim = 0x2345;
  dcb.XoffLim = 0x3456;
  dcb.ByteSize = 7;
  dcb.Parity = 2;
  dcb.StopBits = 1;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.ErrorChar = '?';
  dcb.EofChar = 0x1A;
  dcb.EvtChar = '!';
  dcb.wReserved1 = 0x4567;
  return dcb;
}

std::string describeDcb(const DCB& d) {
  std::string text;
  auto field = [&](const char* name, std::uintmax_t value) {
    text += name;
    text += '=';
    text += hex(value);
    text += '\n';
  };
  field("DCBlength", d.DCBlength);
  field("BaudRate", d.BaudRate);
  field("fBinary", d.fBinary);
  field("fParity", d.fParity);
  field("fOutxCtsFlow", d.fOutxCtsFlow);
  field("fOutxDsrFlow", d.fOutxDsrFlow);
  field("fDtrControl", d.fDtrControl);
  field("fDsrSensitivity", d.fDsrSensitivity);
  field("fTXContinueOnXoff", d.fTXContinueOnXoff);
  field("fOutX", d.fOutX);
  field("fInX", d.fInX);
  field("fErrorChar", d.fErrorChar);
  field("fNull", d.fNull);
  field("fRtsControl", d.fRtsControl);
  field("fAbortOnError", d.fAbortOnError);
  field("fDummy2", d.fDummy2);
  field("wReserved", d.wReserved);
  field("XonLim", d.XonLim);
  field("XoffLim", d.XoffLim);
  field("ByteSize", d.ByteSize);
  field("Parity", d.Parity);
  field("StopBits", d.StopBits);
  field("XonChar", static_cast<unsigned char>(d.XonChar));
  field("XoffChar", static_cast<unsigned char>(d.XoffChar));
  field("ErrorChar", static_cast<unsigned char>(d.ErrorChar));
  field("EofChar", static_cast<unsigned char>(d.EofChar));
  field("EvtChar", static_cast<unsigned char>(d.EvtChar));
  field("wReserved1", d.wReserved1);
  return text;
}

void addDevice(const std::string& name, DeviceKind kind, const DCB& dcb) {
  Device device;
  device.name = name;
  device.kind = kind;
  device.dcb = dcb;
  state().devices[folded(name)] = std::move(device);
}

void removeDevice(const std::string& name) { state().devices.erase(folded(name)); }

const DCB& deviceDcb(const std::string& name) { return existingDevice(name).dcb; }

std::vector<DCB> dcbWrites(const std::string& name) { return existingDevice(name).writes; }

bool isDeviceOpen(const std::string& name) { return deviceHandle(name) != nullptr; }

HANDLE deviceHandle(const std::string& name) {
  Device* device = findDevice(name);
  return device ? device->open : nullptr;
}

std::size_t openHandleCount() { return state().openDevices.size(); }

const std::vector<CreateFileCall>& createFileCalls() { return state().createFiles; }

std::string handleText(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return "INVALID_HANDLE_VALUE";
  return pointerText(handle);
}

std::size_t invalidHandleUses() { return state().invalidUses; }

void scriptNext(const std::string& callName, Outcome outcome, int times) {
  for (int i = 0; i < times; ++i) state().scripts[callName].push_back(outcome);
}

std::size_t scriptedOutcomesLeft() {
  std::size_t left = 0;
  for (const auto& [name, queue] : state().scripts) left += queue.size();
  return left;
}

void addDirectoryEntry(const std::string& storedName, DWORD attributes) {
  DirectoryEntry entry;
  splitPath(storedName, &entry.directory, &entry.storedName);
  entry.attributes = attributes;
  state().directory.push_back(std::move(entry));
}

void removeDirectoryEntry(const std::string& storedName) {
  std::string directory, leaf;
  splitPath(storedName, &directory, &leaf);
  auto& entries = state().directory;
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (it->directory == directory && it->storedName == leaf) {
      entries.erase(it);
      return;
    }
  }
}

std::size_t openSearchCount() { return state().searches.size(); }

std::size_t peakOpenSearchCount() { return state().peakSearches; }

UINT errorMode() { return state().errorMode; }

}  // namespace fake

// ---- The KERNEL32 calls ---------------------------------------------------------------------
namespace platform {

using fake::Outcome;

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD flags, HANDLE templateFile) {
  fake::CreateFileCall call{name ? name : "",
                            access,
                            shareMode,
                            security != nullptr,
                            security ? security->nLength : 0,
                            security ? security->lpSecurityDescriptor == nullptr : true,
                            security ? security->bInheritHandle : FALSE,
                            creation,
                            flags,
                            templateFile == nullptr};
  std::string detail = "\"" + call.name + "\" access=" + fake::hex(access) +
                       " share=" + fake::hex(shareMode) + " security=";
  if (security) {
    detail += "{nLength=" + std::to_string(security->nLength) +
              ",descriptor=" + fake::pointerText(security->lpSecurityDescriptor) +
              ",inherit=" + std::to_string(security->bInheritHandle) + "}";
  } else {
    detail += "null";
  }
  detail += " creation=" + std::to_string(creation) + " flags=" + fake::hex(flags) +
            " template=" + fake::pointerText(templateFile);
  fake::record("CreateFileA", detail);
  fake::state().createFiles.push_back(call);

  return fake::playCall("CreateFileA", INVALID_HANDLE_VALUE, [&] {
    HANDLE result = INVALID_HANDLE_VALUE;
    fake::Device* device = fake::deviceNamed(call.name);
    if (!device) {
      fake::lastErrorCode = fake::kErrorFileNotFound;
    } else if (device->kind == fake::DeviceKind::HeldByOtherProgram || device->open) {
      fake::lastErrorCode = fake::kErrorAccessDenied;
    } else {
      result = fake::newHandle();
      device->open = result;
      fake::state().openDevices[result] = {fake::folded(device->name), device->kind};
    }
    return result;
  });
}

DWORD GetFileType(HANDLE file) {
  fake::record("GetFileType", fake::handleText(file));
  return fake::playCall("GetFileType", FILE_TYPE_UNKNOWN, [&] {
    DWORD type = FILE_TYPE_UNKNOWN;
    auto open = fake::state().openDevices.find(file);
    if (open == fake::state().openDevices.end()) {
      ++fake::state().invalidUses;
      fake::lastErrorCode = fake::kErrorInvalidHandle;
    } else {
      type = open->second.kind == fake::DeviceKind::DiskFile ? FILE_TYPE_DISK : FILE_TYPE_CHAR;
    }
    return type;
  });
}

namespace {
// The code a control-block call raises on a handle that is not an open serial port.
bool controlBlockTarget(HANDLE file, fake::Device** device) {
  fake::OpenDevice* open = nullptr;
  *device = fake::deviceBehind(file, &open);
  if (!open) {
    ++fake::state().invalidUses;
    fake::lastErrorCode = fake::kErrorInvalidHandle;
    return false;
  }
  if (!*device) {  // the device went away while open
    fake::lastErrorCode = 22;  // ERROR_BAD_COMMAND
    return false;
  }
  if ((*device)->kind != fake::DeviceKind::SerialPort) {
    fake::lastErrorCode = fake::kErrorInvalidFunction;
    return false;
  }
  return true;
}
}  // namespace

BOOL GetCommState(HANDLE file, LPDCB dcb) {
  fake::record("GetCommState", fake::handleText(file));
  return fake::playCall("GetCommState", FALSE, [&] {
    fake::Device* device = nullptr;
    BOOL result = FALSE;
    if (controlBlockTarget(file, &device)) {
      *dcb = device->dcb;
      result = TRUE;
    }
    return result;
  });
}

BOOL SetCommState(HANDLE file, LPDCB dcb) {
  fake::record("SetCommState", fake::handleText(file) +
                                   " fDtrControl=" + std::to_string(dcb->fDtrControl) +
                                   " fRtsControl=" + std::to_string(dcb->fRtsControl));
  return fake::playCall("SetCommState", FALSE, [&] {
    fake::Device* device = nullptr;
    BOOL result = FALSE;
    if (controlBlockTarget(file, &device)) {
      device->dcb = *dcb;
      device->writes.push_back(*dcb);
      result = TRUE;
    }
    return result;
  });
}

BOOL CloseHandle(HANDLE object) {
  fake::record("CloseHandle", fake::handleText(object));
  return fake::playCall("CloseHandle", FALSE, [&] {
    BOOL result = FALSE;
    auto open = fake::state().openDevices.find(object);
    if (open == fake::state().openDevices.end()) {
      ++fake::state().invalidUses;
      fake::lastErrorCode = fake::kErrorInvalidHandle;
    } else {
      if (fake::Device* device = fake::deviceBehind(object)) device->open = nullptr;
      fake::state().openDevices.erase(open);
      result = TRUE;
    }
    return result;
  });
}

UINT SetErrorMode(UINT mode) {
  fake::record("SetErrorMode", fake::hex(mode));
  const UINT previous = fake::state().errorMode;
  fake::state().errorMode = mode;
  return previous;
}

void SetLastError(DWORD code) {
  fake::record("SetLastError", std::to_string(code));
  fake::lastErrorCode = code;
}

DWORD GetLastError() {
  fake::record("GetLastError", std::to_string(fake::lastErrorCode));
  return fake::lastErrorCode;
}

HANDLE FindFirstFileA(LPCSTR name, LPWIN32_FIND_DATAA found) {
  const std::string request = name ? name : "";
  fake::record("FindFirstFileA", "\"" + request + "\"");
  return fake::playCall("FindFirstFileA", INVALID_HANDLE_VALUE, [&] {
    std::string directory, pattern;
    fake::splitPath(request, &directory, &pattern);
    fake::Search search{{}, 1};
    bool directoryExists = directory.empty();
    for (const fake::DirectoryEntry& entry : fake::state().directory) {
      if (entry.directory != directory) continue;
      directoryExists = true;
      if (fake::matches(pattern, entry.storedName)) search.matches.push_back(entry);
    }

    HANDLE result = INVALID_HANDLE_VALUE;
    if (search.matches.empty()) {
      fake::lastErrorCode = directoryExists ? fake::kErrorFileNotFound : fake::kErrorPathNotFound;
    } else {
      fake::fill(search.matches.front(), found);
      result = fake::newHandle();
      auto& searches = fake::state().searches;
      searches[result] = std::move(search);
      fake::state().peakSearches = std::max(fake::state().peakSearches, searches.size());
    }
    return result;
  });
}

BOOL FindNextFileA(HANDLE searchHandle, LPWIN32_FIND_DATAA found) {
  fake::record("FindNextFileA", fake::handleText(searchHandle));
  return fake::playCall("FindNextFileA", FALSE, [&] {
    BOOL result = FALSE;
    auto search = fake::state().searches.find(searchHandle);
    if (search == fake::state().searches.end()) {
      ++fake::state().invalidUses;
      fake::lastErrorCode = fake::kErrorInvalidHandle;
    } else if (search->second.next >= search->second.matches.size()) {
      fake::lastErrorCode = fake::kErrorNoMoreFiles;
    } else {
      fake::fill(search->second.matches[search->second.next++], found);
      result = TRUE;
    }
    return result;
  });
}

BOOL FindClose(HANDLE searchHandle) {
  fake::record("FindClose", fake::handleText(searchHandle));
  return fake::playCall("FindClose", FALSE, [&] {
    BOOL result = FALSE;
    if (fake::state().searches.erase(searchHandle) == 0) {
      ++fake::state().invalidUses;
      fake::lastErrorCode = fake::kErrorInvalidHandle;
    } else {
      result = TRUE;
    }
    return result;
  });
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  fake::record("GetModuleHandleA", moduleName ? "\"" + std::string(moduleName) + "\"" : "null");
  // Only the program's own module is known to the fake.
  if (moduleName) {
    fake::lastErrorCode = 126;  // ERROR_MOD_NOT_FOUND
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x400000));
}

void Sleep(DWORD milliseconds) { fake::record("Sleep", std::to_string(milliseconds)); }

}  // namespace platform
