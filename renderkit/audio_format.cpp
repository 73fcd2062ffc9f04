#include "renderkit/audio_format.h"

#include <algorithm>

#include "renderkit/g711.h"

namespace renderkit {

int NormaliseAudioFormat(int format) {
    switch (format) {
        case kAudioFormatAlaw: return kAudioFormatAlaw;
        case kAudioFormatPcm16: return kAudioFormatPcm16;
        default: return kAudioFormatMulaw;
    }
}

bool AudioFormatHasFrameHeader(int format) {
    return format == kAudioFormatMulaw || format == kAudioFormatAlaw;
}

size_t AudioFrameHeaderLength(const uint8_t* data, size_t length) {
    if (data == nullptr || length < kAudioFrameHeaderBytes) return 0;
    if (data[0] != 0x00 || data[1] != 0x01) return 0;
    const size_t words = static_cast<size_t>(data[2]) | (static_cast<size_t>(data[3]) << 8);
    return words * 2 == length - kAudioFrameHeaderBytes ? kAudioFrameHeaderBytes : 0;
}

void WriteAudioFrameHeader(size_t payload_bytes, uint8_t* out) {
    const size_t words = payload_bytes / 2;
    out[0] = 0x00;
    out[1] = 0x01;
    out[2] = static_cast<uint8_t>(words & 0xFF);
    out[3] = static_cast<uint8_t>((words >> 8) & 0xFF);
}

size_t DecodeAudioBlock(int format, const uint8_t* data, size_t length, int16_t* out,
                        size_t out_capacity) {
    if (data == nullptr || out == nullptr) return 0;
    switch (NormaliseAudioFormat(format)) {
        case kAudioFormatPcm16: {
            const size_t n = std::min(length / 2, out_capacity);
            for (size_t i = 0; i < n; ++i) {
                out[i] = static_cast<int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
            }
            return n;
        }
        case kAudioFormatAlaw: {
            const size_t n = std::min(length, out_capacity);
            AlawDecodeBlock(data, n, out);
            return n;
        }
        default: {
            const size_t n = std::min(length, out_capacity);
            MulawDecodeBlock(data, n, out);
            return n;
        }
    }
}

}  // namespace renderkit
