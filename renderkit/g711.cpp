#include "renderkit/g711.h"

#include <array>

namespace renderkit {
namespace {

constexpr int kMulawBias = 0x84;
constexpr int kMulawClip = 8159;  // on the 14-bit magnitude

constexpr int16_t MulawDecodeSlow(uint8_t code) {
    const int u = ~code & 0xFF;
    int t = ((u & 0x0F) << 3) + kMulawBias;
    t <<= (u & 0x70) >> 4;
    return static_cast<int16_t>((u & 0x80) ? (kMulawBias - t) : (t - kMulawBias));
}

constexpr int16_t AlawDecodeSlow(uint8_t code) {
    const int a = code ^ 0x55;
    int t = (a & 0x0F) << 4;
    const int seg = (a & 0x70) >> 4;
    switch (seg) {
        case 0: t += 8; break;
        case 1: t += 0x108; break;
        default: t += 0x108; t <<= seg - 1; break;
    }
    return static_cast<int16_t>((a & 0x80) ? t : -t);
}

constexpr uint8_t MulawEncodeSlow(int pcm) {
    int value = pcm >> 2;  // 14-bit
    int mask = 0xFF;
    if (value < 0) {
        value = -value;
        mask = 0x7F;
    }
    if (value > kMulawClip) value = kMulawClip;
    value += kMulawBias >> 2;
    int seg = 0;
    for (int end = 0x3F; seg < 8 && value > end; ++seg) end = (end << 1) | 1;
    if (seg >= 8) return static_cast<uint8_t>(0x7F ^ mask);
    return static_cast<uint8_t>(((seg << 4) | ((value >> (seg + 1)) & 0x0F)) ^ mask);
}

constexpr uint8_t AlawEncodeSlow(int pcm) {
    int value = pcm >> 3;  // 13-bit
    int mask = 0xD5;
    if (value < 0) {
        mask = 0x55;
        value = -value - 1;
    }
    int seg = 0;
    for (int end = 0x1F; seg < 8 && value > end; ++seg) end = (end << 1) | 1;
    if (seg >= 8) return static_cast<uint8_t>(0x7F ^ mask);
    int code = seg << 4;
    code |= (seg < 2 ? (value >> 1) : (value >> seg)) & 0x0F;
    return static_cast<uint8_t>(code ^ mask);
}

struct Tables {
    std::array<int16_t, 256> mulaw_decode{};
    std::array<int16_t, 256> alaw_decode{};
    // Indexed by the 16-bit sample + 32768.
    std::array<uint8_t, 65536> mulaw_encode{};
    std::array<uint8_t, 65536> alaw_encode{};
    Tables() {
        for (int i = 0; i < 256; ++i) {
            mulaw_decode[i] = MulawDecodeSlow(static_cast<uint8_t>(i));
            alaw_decode[i] = AlawDecodeSlow(static_cast<uint8_t>(i));
        }
        for (int i = 0; i < 65536; ++i) {
            mulaw_encode[i] = MulawEncodeSlow(i - 32768);
            alaw_encode[i] = AlawEncodeSlow(i - 32768);
        }
    }
};

const Tables& GetTables() {
    static const Tables tables;
    return tables;
}

}  // namespace

uint8_t MulawEncode(int16_t pcm) { return GetTables().mulaw_encode[pcm + 32768]; }
int16_t MulawDecode(uint8_t code) { return GetTables().mulaw_decode[code]; }
uint8_t AlawEncode(int16_t pcm) { return GetTables().alaw_encode[pcm + 32768]; }
int16_t AlawDecode(uint8_t code) { return GetTables().alaw_decode[code]; }

void MulawEncodeBlock(const int16_t* pcm, size_t count, uint8_t* out) {
    const auto& t = GetTables().mulaw_encode;
    for (size_t i = 0; i < count; ++i) out[i] = t[pcm[i] + 32768];
}
void MulawDecodeBlock(const uint8_t* codes, size_t count, int16_t* out) {
    const auto& t = GetTables().mulaw_decode;
    for (size_t i = 0; i < count; ++i) out[i] = t[codes[i]];
}
void AlawEncodeBlock(const int16_t* pcm, size_t count, uint8_t* out) {
    const auto& t = GetTables().alaw_encode;
    for (size_t i = 0; i < count; ++i) out[i] = t[pcm[i] + 32768];
}
void AlawDecodeBlock(const uint8_t* codes, size_t count, int16_t* out) {
    const auto& t = GetTables().alaw_decode;
    for (size_t i = 0; i < count; ++i) out[i] = t[codes[i]];
}

}  // namespace renderkit
