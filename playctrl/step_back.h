// Finding the frame before the one shown, for stepping back in a recording.
#pragma once

#include <cstdint>

#include "mediafile/record_reader.h"

namespace playctrl {

// Walks the records from `from` while their start lies below `limit` and
// finds the last video record with fragment index 0 whose frame number is
// below n, stopping at the first one whose number is n or more. On return the
// reader's position is unspecified.
struct StepBackTarget {
    bool found = false;
    uint32_t frame_number = 0;  // the previous frame's number
    uint64_t position = 0;      // where its record starts
};
StepBackTarget ScanForPreviousFrame(mediafile::RecordReader& reader, uint64_t from, uint64_t limit,
                                    uint32_t n);

}  // namespace playctrl
