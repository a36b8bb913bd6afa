// The toolkit's font table: fonts by face and point size, addressed by small handles,
// each made into a platform font the first time it is given to a control. The table
// is guarded by a spin lock like every process-wide table of the runtime (why: see
// SpinLock in serial/call_platform.h).
#pragma once

#include <cstdint>

#include "toolkit/window_records.h"

struct FontEntry {
  FontEntry* next = nullptr;
  std::int32_t useCount = 0;  // the creator's hold plus one per control showing it
  int handle = 0;
  HFONT hFont = nullptr;  // made by the first setControlFont
  float pointSize = 0;
  LOGFONTA logFont{};  // complete except lfHeight until hFont is made
};

// Start-up: the table holds only its two built-in entries (handles 1 and 2), so the
// program's first font is 3. Starting again forgets every entry made since.
void startFontTable();

// A copy of the entry with `handle`; false when there is none.
bool copyFontEntry(int handle, FontEntry* copy);

// lfHeight for a font of `points` on a display of `pixelsPerInch`: the pixel size with
// its sign changed, rounded to the nearest integer with halves to the even neighbour.
LONG fontHeightFor(int pixelsPerInch, float points);

// Teardown of a record that has left the list: gives back its font reference and puts
// the saved font back on the control.
void releaseControlFont(WindowRecord& record);
