// The wire module: views put every field where the packed C records have it,
// the CRC-32 is zlib's, and the parameter table answers by code and by name.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "zynvs/wire/codes.h"
#include "zynvs/wire/crc32.h"
#include "zynvs/wire/layouts.h"
#include "zynvs/wire/param_groups.h"

namespace {
namespace wire = zyn::wire;

TEST(WireViews, AgreeWithThePackedRecords) {
    uint8_t b[64];
    std::memset(b, 0xEE, sizeof b);
    const wire::MutableFragmentHeader f(b);
    f.set_channel(3);
    f.set_stream_kind(1);
    f.set_frame_type(wire::kKeyFrameType);
    f.set_fragment_index(5);
    f.set_frame_number(0x01020304);
    f.set_total_length(0xA0B0C0D0);
    f.set_time_msec(0x1234);
    f.set_fragment_length(0xBEEF);
    FrameFragmentHeader h;
    std::memcpy(&h, b, sizeof h);
    EXPECT_EQ(h.channel, 3);
    EXPECT_EQ(h.stream_kind, 1);
    EXPECT_EQ(h.frame_type, 7);
    EXPECT_EQ(h.fragment_index, 5);
    EXPECT_EQ(h.frame_number, 0x01020304u);
    EXPECT_EQ(h.total_length, 0xA0B0C0D0u);
    EXPECT_EQ(h.time_msec, 0x1234);
    EXPECT_EQ(h.fragment_length, 0xBEEF);
    EXPECT_EQ(b[12], 0xD0);  // little-endian on the wire
    EXPECT_EQ(b[2], 0xEE);   // untouched fields stay

    StreamRequest r{7, 2, 1, 2, 0x11223344, 0, 6000, 0xE0000101};
    const wire::StreamRequestView v(reinterpret_cast<const uint8_t*>(&r));
    EXPECT_EQ(v.stream_kind(), 7);
    EXPECT_EQ(v.channel(), 2);
    EXPECT_EQ(v.open_flag(), 1);
    EXPECT_EQ(v.stream_transport(), 2);
    EXPECT_EQ(v.link_value(), 0x11223344u);
    EXPECT_EQ(v.stream_port(), 6000);
    EXPECT_EQ(v.stream_address(), 0xE0000101u);

    wire::MutableMessageHeader(b).Set(ZYN_CMD_STREAM_BIND, 0x0102, 4);
    MessageHeader m;
    std::memcpy(&m, b, sizeof m);
    EXPECT_EQ(m.sync[0], 0x11);
    EXPECT_EQ(m.sync[1], 0x11);
    EXPECT_EQ(m.command, 0x0202);
    EXPECT_EQ(m.second_word, 0x0102);
    EXPECT_EQ(m.payload_length, 4);
    EXPECT_TRUE(wire::MessageHeader(b).has_sync());
}

TEST(WireCrc32, MatchesZlib) {
    const struct {
        std::string text;
        uint32_t crc;
    } cases[] = {{"", 0}, {"a", 0xE8B7BE43u}, {"123456789", 0xCBF43926u}};
    for (const auto& c : cases) {
        const auto* p = reinterpret_cast<const uint8_t*>(c.text.data());
        EXPECT_EQ(wire::Crc32(p, c.text.size()), c.crc) << c.text;
    }
    // Continued over pieces, as an upgrade image is read.
    const auto* p = reinterpret_cast<const uint8_t*>("123456789");
    EXPECT_EQ(wire::Crc32(p + 4, 5, wire::Crc32(p, 4)), 0xCBF43926u);
}

TEST(WireCodes, RepliesAndParameterGroupsAreFoundBothWays) {
    EXPECT_EQ(wire::kStreamReply, 0x8201);
    EXPECT_EQ(wire::RequestOf(wire::kStreamReply), ZYN_CMD_STREAM_REQUEST);
    for (const auto& g : wire::kParamGroups) {
        EXPECT_EQ(wire::GroupByGet(g.get_command), &g) << g.name;
        EXPECT_EQ(wire::GroupBySet(g.set_command), &g) << g.name;
        EXPECT_EQ(wire::GroupByName(g.name), &g) << g.name;
        EXPECT_EQ(wire::GroupAt(static_cast<int>(g.group)), &g) << g.name;
    }
    EXPECT_EQ(wire::GroupByGet(ZYN_CMD_RESET_PARAM), nullptr);
    EXPECT_EQ(wire::GroupAt(wire::kParamGroupCount), nullptr);
    EXPECT_EQ(wire::GroupAt(-1), nullptr);
    EXPECT_EQ(wire::GroupByName("nothing"), nullptr);
}
}  // namespace
