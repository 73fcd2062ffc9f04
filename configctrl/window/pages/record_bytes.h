// Little-endian fields of the vendor records the pages keep as QByteArray;
// reads outside the record give 0 and writes outside it are dropped.
#pragma once

#include <QByteArray>

#include <cstdint>

namespace configctrl {

inline uint32_t RecordU32(const QByteArray& r, int offset) {
    if (offset < 0 || offset + 4 > r.size()) return 0;
    const auto* p = reinterpret_cast<const uint8_t*>(r.constData()) + offset;
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void SetRecordU32(QByteArray& r, int offset, uint32_t v) {
    if (offset < 0 || offset + 4 > r.size()) return;
    for (int i = 0; i < 4; ++i) r[offset + i] = static_cast<char>(v >> (8 * i));
}
inline int32_t RecordI32(const QByteArray& r, int offset) {
    return static_cast<int32_t>(RecordU32(r, offset));
}
inline uint16_t RecordU16(const QByteArray& r, int offset) {
    if (offset < 0 || offset + 2 > r.size()) return 0;
    const auto* p = reinterpret_cast<const uint8_t*>(r.constData()) + offset;
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline void SetRecordU16(QByteArray& r, int offset, uint16_t v) {
    if (offset < 0 || offset + 2 > r.size()) return;
    r[offset] = static_cast<char>(v);
    r[offset + 1] = static_cast<char>(v >> 8);
}
inline uint8_t RecordU8(const QByteArray& r, int offset) {
    return offset >= 0 && offset < r.size() ? static_cast<uint8_t>(r[offset]) : 0;
}
inline void SetRecordU8(QByteArray& r, int offset, uint8_t v) {
    if (offset >= 0 && offset < r.size()) r[offset] = static_cast<char>(v);
}

}  // namespace configctrl
