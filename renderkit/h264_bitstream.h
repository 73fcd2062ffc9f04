// Small helpers over H.264 Annex B byte streams (start-code separated NAL units).
#pragma once

#include <cstddef>
#include <cstdint>

namespace renderkit {

// Position of the first byte after the next start code (00 00 01 or 00 00 00 01)
// at or after `from`, or `length` when there is none.
size_t NextNalStart(const uint8_t* data, size_t length, size_t from);

// True when the frame starts a decodable picture: it holds an SPS (type 7) or
// an IDR slice (type 5) before its first non-IDR slice. Only the NAL headers up
// to the first slice are looked at, so the cost does not grow with frame size.
bool IsH264KeyFrame(const uint8_t* data, size_t length);

}  // namespace renderkit
