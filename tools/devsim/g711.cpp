#include "tools/devsim/g711.h"

#include <cmath>

namespace devsim {

uint8_t LinearToMuLaw(int16_t sample) {
    constexpr int kBias = 0x84;
    constexpr int kClip = 32635;
    int s = sample;
    int sign = (s < 0) ? 0x80 : 0;
    if (s < 0) s = -s;
    if (s > kClip) s = kClip;
    s += kBias;
    int exponent = 7;
    for (int mask = 0x4000; (s & mask) == 0 && exponent > 0; mask >>= 1) --exponent;
    int mantissa = (s >> (exponent + 3)) & 0x0F;
    return static_cast<uint8_t>(~(sign | (exponent << 4) | mantissa));
}

int16_t MuLawToLinear(uint8_t code) {
    code = static_cast<uint8_t>(~code);
    int sign = code & 0x80;
    int exponent = (code >> 4) & 0x07;
    int mantissa = code & 0x0F;
    int s = ((mantissa << 3) + 0x84) << exponent;
    s -= 0x84;
    return static_cast<int16_t>(sign ? -s : s);
}

uint8_t LinearToALaw(int16_t sample) {
    int s = sample >> 3;  // 13-bit magnitude
    int sign = 0x80;
    if (s < 0) {
        sign = 0;
        s = -s - 1;
    }
    if (s > 0x0FFF) s = 0x0FFF;
    int code;
    if (s < 32) {
        code = s >> 1;
    } else {
        int exponent = 1;
        for (int v = s >> 5; v > 1; v >>= 1) ++exponent;
        code = (exponent << 4) | ((s >> exponent) & 0x0F);
    }
    return static_cast<uint8_t>((code | sign) ^ 0x55);
}

int16_t ALawToLinear(uint8_t code) {
    code ^= 0x55;
    int sign = code & 0x80;
    int exponent = (code >> 4) & 0x07;
    int mantissa = code & 0x0F;
    int s = (exponent == 0) ? (mantissa << 4) + 8 : ((mantissa << 4) + 0x108) << (exponent - 1);
    return static_cast<int16_t>(sign ? s : -s);
}

std::vector<uint8_t> EncodedToneSecond(int tone_hz, bool a_law) {
    constexpr int kRate = 8000;
    std::vector<uint8_t> out(kRate);
    for (int i = 0; i < kRate; ++i) {
        double v = 8000.0 * std::sin(2.0 * M_PI * tone_hz * i / kRate);
        auto s = static_cast<int16_t>(std::lround(v));
        out[i] = a_law ? LinearToALaw(s) : LinearToMuLaw(s);
    }
    return out;
}

}  // namespace devsim
