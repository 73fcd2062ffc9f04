#include "qvnet/qv_message.h"

#include <algorithm>
#include <cstring>

namespace qvnet {

namespace {

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutText(uint8_t* field, size_t field_bytes, const std::string& text) {
    std::memcpy(field, text.data(), std::min(text.size(), field_bytes - 1));
}

}  // namespace

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::vector<uint8_t> BuildRequest(uint32_t command, const std::string& user,
                                  const std::string& password, const uint8_t* payload,
                                  size_t payload_bytes) {
    if (payload_bytes > kMaxPayloadBytes || (payload_bytes > 0 && !payload)) return {};
    std::vector<uint8_t> out(kHeaderBytes + payload_bytes, 0);
    std::memcpy(out.data() + offsetof(Header, magic), kMagic, sizeof kMagic);
    PutU32(out.data() + offsetof(Header, total_bytes), static_cast<uint32_t>(out.size()));
    PutU32(out.data() + offsetof(Header, command), command);
    PutText(out.data() + offsetof(Header, user), 32, user);
    PutText(out.data() + offsetof(Header, password), 32, password);
    if (payload_bytes) std::memcpy(out.data() + kHeaderBytes, payload, payload_bytes);
    return out;
}

int CheckReplyStart(const uint8_t* first12) {
    if (std::memcmp(first12, kMagic, sizeof kMagic) != 0) return kBadReply;
    uint32_t total = ReadU32(first12 + offsetof(Header, total_bytes));
    if (total < kHeaderBytes || total > kMaxMessageBytes) return kBadReply;
    return static_cast<int>(total);
}

int CheckReply(const uint8_t* data, size_t bytes) {
    if (!data || bytes < kHeaderBytes) return kBadReply;
    int total = CheckReplyStart(data);
    if (total < 0 || static_cast<size_t>(total) != bytes) return kBadReply;
    if (ReadU32(data + offsetof(Header, word20)) != 0) return kBadReply;
    return kOk;
}

}  // namespace qvnet
