#include "decodekit/platform/packet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {
std::vector<uint8_t> Bytes(std::initializer_list<int> v) {
    return std::vector<uint8_t>(v.begin(), v.end());
}
}  // namespace

TEST(CPacket, BuildWritesHeaderAndPayloadLittleEndian) {
    CPacket p;
    const uint8_t payload[3] = {0xAA, 0xBB, 0xCC};
    std::size_t n = 0;
    const uint8_t* msg = p.Build(0x0F02, 0x1234, payload, 3, &n);
    ASSERT_NE(msg, nullptr);
    ASSERT_EQ(n, 11u);
    EXPECT_EQ(std::vector<uint8_t>(msg, msg + n),
              Bytes({0x11, 0x11, 0x02, 0x0F, 0x34, 0x12, 0x03, 0x00, 0xAA, 0xBB, 0xCC}));
    // The rest of the buffer is zeroed, even after a longer earlier message.
    std::vector<uint8_t> big(100, 0x55);
    p.Build(1, 0, big.data(), big.size(), &n);
    msg = p.Build(0x0F06, 0, nullptr, 0, &n);
    EXPECT_EQ(n, 8u);
    for (int i = 8; i < 200; ++i) ASSERT_EQ(msg[i], 0) << i;
}

TEST(CPacket, BuildRefusesPayloadsThatDoNotFit) {
    CPacket p;
    std::vector<uint8_t> payload(CPacket::kMaxPayload + 1, 1);
    std::size_t n = 99;
    EXPECT_EQ(p.Build(1, 0, payload.data(), payload.size(), &n), nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_NE(p.Build(1, 0, payload.data(), CPacket::kMaxPayload, &n), nullptr);
    EXPECT_EQ(n, CPacket::kBufferBytes);
    EXPECT_EQ(p.Build(1, 0, nullptr, 4, &n), nullptr);
}

TEST(CPacket, ParseSearchRequest) {
    CPacket p;
    auto d = Bytes({0x11, 0x11, 0x06, 0x0F, 0x00, 0x00, 0x00, 0x00});
    uint16_t cmd = 1, second = 1, len = 1;
    const uint8_t* payload = p.Parse(d.data(), d.size(), &cmd, &second, &len);
    EXPECT_NE(payload, nullptr);
    EXPECT_EQ(cmd, 0x0F06);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(len, 0);
}

TEST(CPacket, ParseBadSyncAndShortInput) {
    CPacket p;
    uint16_t cmd, second, len;
    auto bad = Bytes({0x12, 0x11, 0x06, 0x0F, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(p.Parse(bad.data(), bad.size(), &cmd, &second, &len), nullptr);
    EXPECT_EQ(cmd, 0);
    EXPECT_EQ(len, 0xFFFF);

    EXPECT_EQ(p.Parse(nullptr, 8, &cmd, &second, &len), nullptr);
    EXPECT_EQ(len, 0xFFFF);

    // Header announces 4 bytes, only 2 follow.
    auto shortd = Bytes({0x11, 0x11, 0x06, 0x0F, 0x00, 0x00, 0x04, 0x00, 1, 2});
    EXPECT_EQ(p.Parse(shortd.data(), shortd.size(), &cmd, &second, &len), nullptr);
    EXPECT_EQ(cmd, 0);
    EXPECT_EQ(len, 0);

    // A lone sync pair, shorter than any header.
    auto tiny = Bytes({0x11, 0x11, 0x06});
    EXPECT_EQ(p.Parse(tiny.data(), tiny.size(), &cmd, &second, &len), nullptr);
    EXPECT_EQ(len, 0);

    // Exactly as long as announced: accepted, payload copied, rest zeroed.
    auto ok = Bytes({0x11, 0x11, 0x06, 0x0F, 0x07, 0x00, 0x04, 0x00, 1, 2, 3, 4, 9, 9});
    const uint8_t* payload = p.Parse(ok.data(), ok.size(), &cmd, &second, &len);
    ASSERT_NE(payload, nullptr);
    EXPECT_EQ(cmd, 0x0F06);
    EXPECT_EQ(second, 7);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(std::vector<uint8_t>(payload, payload + 6), Bytes({1, 2, 3, 4, 0, 0}));
}

TEST(CPacket, ParseNeverOverreadsOnRandomInput) {
    // Each input lives in its own exactly-sized allocation, so an overread
    // shows up under AddressSanitizer.
    CPacket p;
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i) {
        std::size_t n = rng() % 64;
        std::vector<uint8_t> d(n);
        for (auto& b : d) b = static_cast<uint8_t>(rng());
        if (n >= 2 && (rng() & 1)) d[0] = d[1] = 0x11;
        uint16_t cmd, second, len;
        const uint8_t* payload = p.Parse(d.data(), d.size(), &cmd, &second, &len);
        if (payload) {
            ASSERT_LE(8u + len, n);
            ASSERT_EQ(std::memcmp(payload, d.data() + 8, len), 0);
        } else {
            ASSERT_EQ(cmd, 0);
        }
    }
}
