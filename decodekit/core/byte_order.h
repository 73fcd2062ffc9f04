// Little-endian reads and writes of unaligned wire fields.
#pragma once

#include <cstdint>
#include <cstring>

namespace zyn {
inline void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t GetLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
}  // namespace zyn

#include <arpa/inet.h>

namespace zyn {
// A dotted IPv4 text as the number whose most significant byte is the first
// octet (invalid text gives 0xFFFFFFFF, like inet_addr).
inline uint32_t AddressNumber(const char* text) {
    return ntohl(inet_addr(text ? text : ""));
}
}  // namespace zyn
