// The handle table of the KERNEL32 half: one lock, one counter, two kinds of record.
#include "platform/linux/kernel32/handles.h"

#include <unistd.h>

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace posix {

DeviceRecord::~DeviceRecord() {
  if (fd >= 0) ::close(fd);
}

SearchRecord::~SearchRecord() {
  if (directory) ::closedir(directory);
}

namespace {

std::mutex tableLock;
// Handles count up in steps of four from well above null, like Win32's kernel handles.
std::uintptr_t nextHandle = 0x1000;
std::unordered_map<std::uintptr_t, std::shared_ptr<DeviceRecord>> devices;
std::unordered_map<std::uintptr_t, std::shared_ptr<SearchRecord>> searches;

template <class Record>
HANDLE add(std::unordered_map<std::uintptr_t, std::shared_ptr<Record>>& table,
           std::shared_ptr<Record> record) {
  std::lock_guard guard(tableLock);
  const std::uintptr_t value = nextHandle;
  table.emplace(value, std::move(record));
  nextHandle += 4;
  return reinterpret_cast<HANDLE>(value);
}

template <class Record>
std::shared_ptr<Record> find(std::unordered_map<std::uintptr_t, std::shared_ptr<Record>>& table,
                             HANDLE handle, bool take) {
  std::lock_guard guard(tableLock);
  auto it = table.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == table.end()) return nullptr;
  std::shared_ptr<Record> record = it->second;
  if (take) table.erase(it);
  return record;
}

}  // namespace

HANDLE addDevice(std::shared_ptr<DeviceRecord> device) { return add(devices, std::move(device)); }
std::shared_ptr<DeviceRecord> findDevice(HANDLE handle) { return find(devices, handle, false); }
std::shared_ptr<DeviceRecord> takeDevice(HANDLE handle) { return find(devices, handle, true); }

HANDLE addSearch(std::shared_ptr<SearchRecord> search) { return add(searches, std::move(search)); }
std::shared_ptr<SearchRecord> findSearch(HANDLE handle) { return find(searches, handle, false); }
std::shared_ptr<SearchRecord> takeSearch(HANDLE handle) { return find(searches, handle, true); }

std::size_t openSearchCount() {
  std::lock_guard guard(tableLock);
  return searches.size();
}

}  // namespace posix
