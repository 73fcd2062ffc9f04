#include "tools/devsim/protocol.h"

#include <arpa/inet.h>

namespace devsim {

const std::vector<ParamGroup>& ParamGroups() {
    static const std::vector<ParamGroup> kGroups = {
        {"base", 0x0501, 0x0502, 88, false, false, false},
        {"video", 0x0503, 0x0504, 92, true, true, true},
        {"audio", 0x0505, 0x0506, 4, true, true, true},
        {"rs", 0x0507, 0x0508, 8, true, true, true},
        {"motion", 0x0509, 0x050A, 304, true, true, true},
        {"sensor", 0x050B, 0x050C, 72, true, true, true},
        {"mask", 0x050D, 0x050E, 80, true, true, true},
        {"vloss", 0x050F, 0x0510, 8, true, true, true},
        {"record", 0x0511, 0x0512, 72, true, true, true},
        {"network", 0x0513, 0x0514, 328, false, false, false},
        {"pan", 0x0518, 0x0519, 4, true, true, true},
        {"capture", 0x051A, 0x051B, 84, true, true, true},
        {"wifi", 0x051E, 0x051F, 264, false, false, false},
        // 3G, FTP and mail: one record per device; the getter still carries a
        // channel prefix, the setter (the lower code) does not.
        {"3g", 0x0523, 0x0522, 25, false, true, false},
        {"ftp", 0x0525, 0x0524, 200, false, true, false},
        {"mail", 0x0527, 0x0526, 516, false, true, false},
    };
    return kGroups;
}

const ParamGroup* FindParamGroupByGet(uint16_t command) {
    for (const ParamGroup& g : ParamGroups())
        if (g.get_command == command) return &g;
    return nullptr;
}

const ParamGroup* FindParamGroupBySet(uint16_t command) {
    for (const ParamGroup& g : ParamGroups())
        if (g.set_command == command) return &g;
    return nullptr;
}

std::vector<uint8_t> DefaultParamRecord(const ParamGroup& group, int channel,
                                        uint8_t resolution_code) {
    std::vector<uint8_t> r(group.record_bytes);
    uint32_t seed = group.get_command * 31u + static_cast<uint32_t>(channel) * 7u;
    for (size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<uint8_t>((seed + i * 13u) % 251u + 1u);
    if (group.get_command == 0x0503 && r.size() > kVideoRecordResolution)
        r[kVideoRecordResolution] = resolution_code;
    return r;
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
    static uint32_t table[256];
    static bool ready = [] {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        return true;
    }();
    (void)ready;
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

bool ParseIpv4(const std::string& text, uint32_t* out) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    *out = ntohl(a.s_addr);
    return true;
}

std::string FormatIpv4(uint32_t address) {
    in_addr a{};
    a.s_addr = htonl(address);
    char buf[INET_ADDRSTRLEN] = {0};
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

}  // namespace devsim
