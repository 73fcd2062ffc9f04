// CRC-32 (IEEE 802.3, the one of zlib), as upgrade requests carry it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zyn::wire {

inline constexpr std::array<uint32_t, 256> kCrc32Table = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}();

// Continues `crc` (the result of an earlier call, 0 to start) over data.
inline uint32_t Crc32(const uint8_t* data, std::size_t size, uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) crc = kCrc32Table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

}  // namespace zyn::wire
