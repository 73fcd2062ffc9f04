// How the emulator's media goes on the wire: one encoded picture as 0x0301
// fragments, one G.711 block as a 0x0302 message. Shared by the emulated
// devices and the encoder party.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/devsim/video_loop.h"

namespace devsim {

struct VideoFraming {
    uint8_t channel_byte = 0;
    uint8_t resolution = 0;  // ResolutionCode of the picture
    uint8_t stream_kind = 0;
    uint32_t frame_number = 0;
    uint32_t time_sec = 0;
    uint16_t time_msec = 0;
    uint16_t second_word = 0;  // of each message header
    size_t fragment_bytes = 1024;
};

// Appends the fragments of one picture to *out (each a whole message) and
// where each starts to *offsets. A picture that needs more than 255 fragments
// is cut into 255 larger ones; false (nothing appended) when even those do not
// fit a message.
bool AppendVideoFrame(const EncodedFrame& frame, const VideoFraming& framing,
                      std::vector<uint8_t>* out, std::vector<size_t>* offsets);

struct AudioFraming {
    uint8_t channel = 0;
    int audio_format = 1;  // 1 and 2 put the 4-byte audio header in front
    uint32_t frame_number = 0;
    uint32_t time_sec = 0;
    uint16_t time_msec = 0;
    uint16_t second_word = 0;
};

// Appends one 0x0302 message carrying `samples` G.711 bytes taken from the
// looped `tone` starting at *tone_pos (advanced past them).
void AppendAudioBlock(const std::vector<uint8_t>& tone, size_t* tone_pos, size_t samples,
                      const AudioFraming& framing, std::vector<uint8_t>* out);

}  // namespace devsim
