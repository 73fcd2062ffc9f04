#include "linkcore/frame_decoder.h"

namespace linkcore {

const uint8_t FrameDecoder::kEmptyPayload[1] = {0};

bool FrameDecoder::ReserveSplitPayload(std::size_t length) {
    if (length <= payload_capacity_) return true;
    // Grow in steps so a stream of slowly growing messages reallocates rarely.
    std::size_t capacity = std::max<std::size_t>(payload_capacity_ * 2, 2048);
    capacity = std::min(std::max(capacity, length), max_payload_);
    payload_ = std::make_unique_for_overwrite<uint8_t[]>(capacity);
    payload_capacity_ = capacity;
    return true;
}

bool ParseDatagram(const uint8_t* data, std::size_t size, FrameView* out) {
    if (data == nullptr || out == nullptr || size < kHeaderBytes) return false;
    if (data[0] != kSync || data[1] != kSync) return false;
    const uint16_t length = LoadLe16(data + 6);
    if (kHeaderBytes + length != size) return false;
    out->command = LoadLe16(data + 2);
    out->second_word = LoadLe16(data + 4);
    out->length = length;
    out->payload = data + kHeaderBytes;
    return true;
}

}  // namespace linkcore
