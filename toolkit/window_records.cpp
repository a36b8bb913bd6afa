#include "toolkit/window_records.h"

#include <mutex>
#include <new>

#include "serial/call_platform.h"

namespace {
WindowRecord* recordList = nullptr;
SpinLock recordListLock;
}  // namespace

WindowRecord* newRecord(HWND window) {
  WindowRecord* record = new (std::nothrow) WindowRecord{};
  if (record) record->window = window;
  return record;
}

void insertRecord(WindowRecord* record) {
  std::lock_guard guard(recordListLock);
  record->next = recordList;
  recordList = record;
}

WindowRecord* findRecord(HWND window) {
  if (!window) return nullptr;
  std::lock_guard guard(recordListLock);
  for (WindowRecord* r = recordList; r; r = r->next) {
    if (r->window == window) return r;
  }
  return nullptr;
}

WindowRecord* unlinkRecord(HWND window) {
  if (!window) return nullptr;
  std::lock_guard guard(recordListLock);
  for (WindowRecord** link = &recordList; *link; link = &(*link)->next) {
    if ((*link)->window == window) {
      WindowRecord* record = *link;
      *link = record->next;
      record->next = nullptr;
      return record;
    }
  }
  return nullptr;
}

HWND findChildControl(HWND parent) {
  if (!parent) return nullptr;
  std::lock_guard guard(recordListLock);
  // Only controls: an owned dialog also names its owner as parent, but it has a life
  // and a WM_NCDESTROY of its own.
  for (WindowRecord* r = recordList; r; r = r->next) {
    if ((r->flags & RECORD_CONTROL) && r->parent == parent) return r->window;
  }
  return nullptr;
}

HBRUSH brushOfFirstRecordWithBackground(std::int32_t colour, bool* found) {
  std::lock_guard guard(recordListLock);
  for (WindowRecord* r = recordList; r; r = r->next) {
    if (r->backgroundColour == colour) {
      *found = true;
      return r->backgroundBrush;
    }
  }
  *found = false;
  return nullptr;
}

void deleteRecord(WindowRecord* record) { delete record; }

std::size_t recordCount() {
  std::lock_guard guard(recordListLock);
  std::size_t count = 0;
  for (WindowRecord* r = recordList; r; r = r->next) ++count;
  return count;
}
