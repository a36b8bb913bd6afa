// Per-control text and background colours, answered through the dialog's colour
// requests; solid background brushes are shared by every record with the same colour.
#pragma once

#include <cstdint>

#include "toolkit/window_records.h"

std::int32_t normaliseTextColour(std::int32_t colour);
std::int32_t normaliseBackgroundColour(std::int32_t colour);

// Teardown of a record that has left the list: its brush is deleted unless a remaining
// record still paints with the same colour.
void releaseRecordBrush(WindowRecord& record);
