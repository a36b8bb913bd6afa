#include "serial/serial_port_channel.h"

#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "serial/call_platform.h"

namespace {

constexpr ChannelNumber kHighestChannel = 32767;
constexpr std::size_t kMaxDeviceNameBytes = 255;

struct ChannelEntry {
  ChannelNumber number;
  HANDLE device;
  std::unique_ptr<std::uint8_t[]> receiveBuffer;
  std::unique_ptr<ChannelEntry> next;
};

// The open channels, newest first, guarded by tableLock for each lookup, insertion
// and removal. Reserving and opening also hold openLock for their whole run.
std::unique_ptr<ChannelEntry> channelTable;
SpinLock tableLock;
SpinLock openLock;
ChannelNumber reservationCounter = 0;

bool findDevice(ChannelNumber number, HANDLE* device) {
  std::lock_guard guard(tableLock);
  for (ChannelEntry* e = channelTable.get(); e; e = e->next.get()) {
    if (e->number == number) {
      *device = e->device;
      return true;
    }
  }
  return false;
}

bool isOpen(ChannelNumber number) {
  HANDLE ignored;
  return findDevice(number, &ignored);
}

std::unique_ptr<ChannelEntry> removeEntry(ChannelNumber number) {
  std::lock_guard guard(tableLock);
  for (std::unique_ptr<ChannelEntry>* link = &channelTable; *link; link = &(*link)->next) {
    if ((*link)->number == number) {
      std::unique_ptr<ChannelEntry> entry = std::move(*link);
      *link = std::move(entry->next);
      return entry;
    }
  }
  return nullptr;
}

void insertEntry(std::unique_ptr<ChannelEntry> entry) {
  std::lock_guard guard(tableLock);
  entry->next = std::move(channelTable);
  channelTable = std::move(entry);
}

bool hasWildcard(const std::string& name) {
  return name.find_first_of("*?") != std::string::npos;
}

}  // namespace

ChannelNumber reserveChannelNumber() {
  std::lock_guard guard(openLock);
  // Every number open is impossible with one channel per program, but a full table
  // must not spin forever: after one full round the counter's number is returned.
  for (int tries = 0; tries < kHighestChannel; ++tries) {
    reservationCounter = reservationCounter >= kHighestChannel ? 1 : reservationCounter + 1;
    if (!isOpen(reservationCounter)) break;
  }
  return reservationCounter;
}

void openSerialChannel(ChannelNumber channel, const std::string& deviceName,
                       std::int32_t receiveBufferLength) {
  std::lock_guard guard(openLock);
  const std::string name = deviceName.substr(0, kMaxDeviceNameBytes);
  if (name.empty() || hasWildcard(name)) return recordError(kErrBadName);
  if (channel < 0) return recordError(kErrBadChannel);
  if (receiveBufferLength < 1) return recordError(kErrInvalidCall);
  if (isOpen(channel)) return recordError(kErrChannelOpen);

  auto entry = std::unique_ptr<ChannelEntry>(new (std::nothrow) ChannelEntry{});
  if (entry) entry->receiveBuffer.reset(new (std::nothrow) std::uint8_t[receiveBufferLength]);
  if (!entry || !entry->receiveBuffer) return recordError(kErrOutOfMemory);

  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof security;
  security.lpSecurityDescriptor = nullptr;
  // Inheritable, as the runtime's ports always were: a program started from this one
  // would get the port too (this one starts none). On Linux that means a descriptor
  // without close-on-exec (platform/linux/kernel32/devices.cpp).
  security.bInheritHandle = TRUE;
  const auto opened = callPlatform([&] {
    return platform::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &security,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  });
  if (opened.result == INVALID_HANDLE_VALUE) return recordError(kErrOpenFailed);

  const auto type = callPlatform([&] { return platform::GetFileType(opened.result); });
  if (type.result == FILE_TYPE_DISK) {
    callPlatform([&] { return platform::CloseHandle(opened.result); });
    return recordError(kErrOpenFailed);
  }

  entry->number = channel;
  entry->device = opened.result;
  insertEntry(std::move(entry));
}

void setLineSetting(ChannelNumber channel, int settingId, std::int32_t value) {
  HANDLE device;
  if (!findDevice(channel, &device)) return recordError(kErrBadChannel);

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  const auto read = callPlatform([&] { return platform::GetCommState(device, &dcb); });
  // A block the platform did not fill is never written back, even when it failed
  // without leaving an error code: that would send the port a zeroed block.
  if (read.failed() || !read.result) return recordError(mapPlatformError(read.lastError));

  // Setting 9 is the runtime's DTR-handshake switch, its only DTR setting: there is no
  // plain "DTR on". On, the driver runs DTR as its receive handshake, which holds DTR
  // asserted while its receive queue has room; a PTT interface sends nothing, so DTR
  // stays up for as long as the transmitter is keyed. Off is DTR_CONTROL_DISABLE, low.
  // (The Linux layer has no DTR handshake and asserts DTR throughout.)
  if (settingId == SETTING_DTR_HANDSHAKE)
    dcb.fDtrControl = value == 0 ? DTR_CONTROL_DISABLE : DTR_CONTROL_HANDSHAKE;
  else if (settingId == SETTING_RTS_CONTROL)
    dcb.fRtsControl = static_cast<DWORD>(value) & 3u;

  const auto written = callPlatform([&] { return platform::SetCommState(device, &dcb); });
  if (written.failed() || !written.result) return recordError(kErrInvalidCall);
}

void closeSerialChannel(ChannelNumber channel) {
  std::unique_ptr<ChannelEntry> entry = removeEntry(channel);
  if (!entry) return;
  const auto closed = callPlatform([&] { return platform::CloseHandle(entry->device); });
  if (closed.failed()) recordError(mapPlatformError(closed.lastError));
}
