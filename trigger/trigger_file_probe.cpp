#include "trigger/trigger_file_probe.h"

#include "serial/call_platform.h"

namespace {

constexpr DWORD kRefusedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;

// The search left open by the last positive probe of this thread, if any.
thread_local HANDLE openSearch = nullptr;
thread_local bool searchIsOpen = false;

void closeOpenSearch() {
  if (!searchIsOpen) return;
  HANDLE search = openSearch;
  searchIsOpen = false;
  openSearch = nullptr;
  callPlatform([&] { return platform::FindClose(search); });
}

bool acceptable(const WIN32_FIND_DATAA& entry) {
  return (entry.dwFileAttributes & kRefusedAttributes) == 0;
}

std::string storedName(const WIN32_FIND_DATAA& entry) {
  std::size_t length = 0;
  while (length < sizeof entry.cFileName && entry.cFileName[length] != '\0') ++length;
  return std::string(entry.cFileName, length);
}

}  // namespace

std::string DirectorySearch::firstMatch(const std::string& name) {
  closeOpenSearch();

  WIN32_FIND_DATAA entry{};
  const auto first = callPlatform([&] { return platform::FindFirstFileA(name.c_str(), &entry); });
  if (first.result == INVALID_HANDLE_VALUE) return {};
  openSearch = first.result;
  searchIsOpen = true;

  while (!acceptable(entry)) {
    const auto next = callPlatform([&] { return platform::FindNextFileA(openSearch, &entry); });
    // A refusal without an error code also ends the search: the record still holds the
    // refused entry, and asking again could go on for ever.
    if (next.failed() || !next.result) {
      closeOpenSearch();
      return {};
    }
  }
  return storedName(entry);
}

bool TriggerFileProbe::isPresent(const std::string& triggerName) {
  return DirectorySearch::firstMatch(triggerName) == triggerName;
}
