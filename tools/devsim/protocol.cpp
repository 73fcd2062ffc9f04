#include "tools/devsim/protocol.h"

#include <arpa/inet.h>

namespace devsim {

std::vector<uint8_t> DefaultParamRecord(const ParamGroupInfo& group, int channel,
                                        uint8_t resolution_code) {
    std::vector<uint8_t> r(group.record_bytes);
    uint32_t seed = group.get_command * 31u + static_cast<uint32_t>(channel) * 7u;
    for (size_t i = 0; i < r.size(); ++i) r[i] = static_cast<uint8_t>((seed + i * 13u) % 251u + 1u);
    if (group.group == wire::ParamGroup::kVideo && r.size() > wire::kVideoRecordResolution)
        r[wire::kVideoRecordResolution] = resolution_code;
    return r;
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
