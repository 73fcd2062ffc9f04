#include "renderkit/h264_bitstream.h"

namespace renderkit {

size_t NextNalStart(const uint8_t* data, size_t length, size_t from) {
    if (data == nullptr) return length;
    for (size_t i = from; i + 2 < length; ++i) {
        if (data[i + 2] > 1) {
            i += 2;  // no start code can end before i + 3
            continue;
        }
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) return i + 3;
    }
    return length;
}

bool IsH264KeyFrame(const uint8_t* data, size_t length) {
    size_t pos = NextNalStart(data, length, 0);
    while (pos < length) {
        const int type = data[pos] & 0x1F;
        if (type == 5 || type == 7) return true;
        if (type >= 1 && type <= 4) return false;  // a non-IDR slice came first
        pos = NextNalStart(data, length, pos + 1);
    }
    return false;
}

}  // namespace renderkit
