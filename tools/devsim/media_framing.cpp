#include "tools/devsim/media_framing.h"

#include <algorithm>
#include <cstring>

#include "tools/devsim/wire.h"
#include "zynvs/wire/codes.h"

namespace devsim {

bool AppendVideoFrame(const EncodedFrame& frame, const VideoFraming& framing,
                      std::vector<uint8_t>* out, std::vector<size_t>* offsets) {
    const size_t total = frame.data.size();
    size_t frag = std::max<size_t>(1, framing.fragment_bytes);
    size_t count = (total + frag - 1) / frag;
    if (count > 255) {  // the fragment count is one byte
        frag = (total + 254) / 255;
        count = (total + frag - 1) / frag;
    }
    if (frag > kMaxPayload - wire::kFragmentHeaderBytes - wire::kMessageHeaderBytes || count == 0)
        return false;
    constexpr size_t kHeaders = wire::kMessageHeaderBytes + wire::kFragmentHeaderBytes;
    out->reserve(out->size() + total + count * kHeaders);
    for (size_t i = 0; i < count; ++i) {
        const size_t at = i * frag;
        const size_t n = std::min(frag, total - at);
        const size_t base = out->size();
        offsets->push_back(base);
        out->resize(base + kHeaders + n, 0);
        uint8_t* p = out->data() + base;
        wire::MutableMessageHeader(p).Set(ZYN_CMD_VIDEO_FRAGMENT, framing.second_word,
                                          static_cast<uint16_t>(wire::kFragmentHeaderBytes + n));
        const wire::MutableFragmentHeader h(p + wire::kMessageHeaderBytes);
        h.set_channel(framing.channel_byte);
        h.set_resolution(framing.resolution);
        h.set_stream_kind(framing.stream_kind);
        h.set_frame_type(frame.key ? wire::kKeyFrameType : 8);  // 8: not a key frame
        h.set_fragment_index(static_cast<uint8_t>(i));
        h.set_fragment_count(static_cast<uint8_t>(count));
        h.set_frame_number(framing.frame_number);
        h.set_total_length(static_cast<uint32_t>(total));
        h.set_time_sec(framing.time_sec);
        h.set_time_msec(framing.time_msec);
        h.set_fragment_length(static_cast<uint16_t>(n));
        std::memcpy(h.fragment_data(), frame.data.data() + at, n);
    }
    return true;
}

void AppendAudioBlock(const std::vector<uint8_t>& tone, size_t* tone_pos, size_t samples,
                      const AudioFraming& framing, std::vector<uint8_t>* out) {
    const bool audio_header = wire::HasAudioSubHeader(framing.audio_format);
    const size_t data_len = samples + (audio_header ? wire::kAudioSubHeaderBytes : 0);
    const size_t base = out->size();
    out->resize(base + wire::kMessageHeaderBytes + wire::kFragmentHeaderBytes + data_len, 0);
    uint8_t* p = out->data() + base;
    wire::MutableMessageHeader(p).Set(ZYN_CMD_AUDIO_BLOCK, framing.second_word,
                                      static_cast<uint16_t>(wire::kFragmentHeaderBytes + data_len));
    const wire::MutableAudioHeader h(p + wire::kMessageHeaderBytes);
    h.set_audio_type(static_cast<uint8_t>(framing.audio_format));
    h.set_channel(framing.channel);
    h.set_stream_kind(wire::kAudio);
    h.set_fragment_count(1);
    h.set_frame_number(framing.frame_number);
    h.set_total_length(static_cast<uint32_t>(data_len));
    h.set_time_sec(framing.time_sec);
    h.set_time_msec(framing.time_msec);
    h.set_fragment_length(static_cast<uint16_t>(data_len));
    uint8_t* data = h.fragment_data();
    if (audio_header) {
        data[0] = 0x00;
        data[1] = 0x01;
        wire::StoreLe16(data + 2, static_cast<uint16_t>(samples / 2));
        data += wire::kAudioSubHeaderBytes;
    }
    if (tone.empty()) return;
    for (size_t i = 0; i < samples; ++i) data[i] = tone[(*tone_pos + i) % tone.size()];
    *tone_pos = (*tone_pos + samples) % tone.size();
}

}  // namespace devsim
