// The per-stream-port H.264 decoder instance, in the shape of the hi_h264dec_w
// library (Hi264DecCreate / Hi264DecDestroy), over FFmpeg's H.264 decoder.
// The player creates one instance per stream port and decodes nothing
// through it; opening a stream port depends on creating it. Thread-safe.
#pragma once

#include <cstdint>

// Creation attributes: eight 32-bit words in this order.
struct Hi264DecAttr {
    uint32_t picture_format = 0;  // not set by the player: 0
    uint32_t stream_input_type = 0;
    uint32_t picture_width_mb = 0;   // picture width in 16-pixel macroblocks
    uint32_t picture_height_mb = 0;  // picture height in macroblocks
    uint32_t buffer_count = 0;
    uint32_t work_mode = 0;
    uint32_t user_data = 0;  // null
    uint32_t reserved = 0;   // not set by the player: 0
};
static_assert(sizeof(Hi264DecAttr) == 32, "eight 32-bit words");

using Hi264DecHandle = void*;

// An opened decoder for the attributes, or null (no decoder, bad attributes).
Hi264DecHandle Hi264DecCreate(const Hi264DecAttr* attr);
// Releases the instance; null is ignored.
void Hi264DecDestroy(Hi264DecHandle handle);

namespace playctrl {
// The attributes a stream port creates its instance with.
Hi264DecAttr StreamPortDecoderAttr();
// Tests: instances alive now, and making the next `count` creations fail.
int Hi264DecLiveInstances();
void Hi264DecFailNextCreates(int count);
}  // namespace playctrl
