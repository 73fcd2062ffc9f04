// Framing of the device side: building, stream reassembly with split and
// coalesced reads, resynchronisation after garbage, datagram parsing.
#include <gtest/gtest.h>

#include "tools/devsim/wire.h"

namespace {

using devsim::ParsedMessage;
using devsim::StreamFramer;
using Bytes = std::vector<uint8_t>;

struct Seen {
    bool malformed;
    uint16_t command, second_word;
    Bytes payload, raw;
};

std::vector<Seen> FeedAll(StreamFramer& f, const Bytes& bytes, size_t step) {
    std::vector<Seen> out;
    for (size_t at = 0; at < bytes.size(); at += step) {
        size_t n = std::min(step, bytes.size() - at);
        f.Feed(bytes.data() + at, n, [&](const ParsedMessage& m) {
            Seen s{m.malformed, m.command, m.second_word, {}, {}};
            if (m.payload) s.payload.assign(m.payload, m.payload + m.length);
            s.raw.assign(m.raw, m.raw + m.raw_length);
            out.push_back(s);
        });
    }
    return out;
}

TEST(Wire, BuildsTheHeaderLittleEndian) {
    Bytes m = devsim::BuildMessage(0x8201, 0x0102, {0xAA, 0xBB, 0xCC});
    EXPECT_EQ(m, (Bytes{0x11, 0x11, 0x01, 0x82, 0x02, 0x01, 0x03, 0x00, 0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(devsim::BuildMessage(0x0F06, 0, {}), (Bytes{0x11, 0x11, 0x06, 0x0F, 0, 0, 0, 0}));
}

TEST(Wire, SplitAndCoalescedReadsGiveTheSameMessages) {
    Bytes stream = devsim::BuildMessage(0x0101, 0, Bytes(40, 0x41));
    Bytes second = devsim::BuildMessage(0x0103, 7, {});
    Bytes third = devsim::BuildMessage(0x0504, 0, Bytes(96, 0x5A));
    stream.insert(stream.end(), second.begin(), second.end());
    stream.insert(stream.end(), third.begin(), third.end());
    for (size_t step : {size_t{1}, size_t{3}, size_t{8}, size_t{47}, stream.size()}) {
        StreamFramer f;
        auto seen = FeedAll(f, stream, step);
        ASSERT_EQ(seen.size(), 3u) << "step " << step;
        EXPECT_EQ(seen[0].command, 0x0101);
        EXPECT_EQ(seen[0].payload, Bytes(40, 0x41));
        EXPECT_EQ(seen[1].command, 0x0103);
        EXPECT_EQ(seen[1].second_word, 7);
        EXPECT_TRUE(seen[1].payload.empty());
        EXPECT_EQ(seen[2].raw, third);
        EXPECT_EQ(f.Buffered(), 0u);
    }
}

TEST(Wire, GarbageIsReportedOnceAndTheNextHeaderIsFound) {
    Bytes garbage = {0xA5, 0x00, 0x11, 0x42, 0x99};  // a lone 0x11 is not a header
    Bytes msg = devsim::BuildMessage(0x0103, 0, {});
    Bytes stream = garbage;
    stream.insert(stream.end(), msg.begin(), msg.end());
    for (size_t step : {size_t{1}, size_t{2}, stream.size()}) {
        StreamFramer f;
        auto seen = FeedAll(f, stream, step);
        ASSERT_EQ(seen.size(), 2u) << step;
        EXPECT_TRUE(seen[0].malformed);
        EXPECT_EQ(seen[0].raw, garbage);
        EXPECT_FALSE(seen[1].malformed);
        EXPECT_EQ(seen[1].command, 0x0103);
    }
}

TEST(Wire, EndlessGarbageIsReportedInBoundedPieces) {
    StreamFramer f;
    auto seen = FeedAll(f, Bytes(10000, 0x42), 1000);
    size_t total = 0;
    for (const Seen& s : seen) {
        EXPECT_TRUE(s.malformed);
        EXPECT_LE(s.raw.size(), 4096u + 1000u);  // one read past the bound at most
        total += s.raw.size();
    }
    EXPECT_EQ(total, 10000u);
    EXPECT_EQ(f.Buffered(), 0u);
}

TEST(Wire, AnIncompleteMessageWaitsForItsBytes) {
    Bytes msg = devsim::BuildMessage(0x0502, 0, Bytes(88, 1));
    StreamFramer f;
    auto seen = FeedAll(f, Bytes(msg.begin(), msg.begin() + 50), 50);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(f.Buffered(), 50u);
    seen = FeedAll(f, Bytes(msg.begin() + 50, msg.end()), 100);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].payload.size(), 88u);
}

TEST(Wire, LargestPayloadIsAccepted) {
    Bytes msg = devsim::BuildMessage(0x0302, 0, Bytes(65535, 7));
    StreamFramer f;
    auto seen = FeedAll(f, msg, 4096);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].payload.size(), 65535u);
}

TEST(Wire, DatagramsAreCheckedAgainstTheirHeader) {
    ParsedMessage m;
    Bytes search = {0x11, 0x11, 0x06, 0x0F, 0, 0, 0, 0};
    ASSERT_TRUE(devsim::ParseDatagram(search.data(), search.size(), &m));
    EXPECT_EQ(m.command, 0x0F06);
    EXPECT_EQ(m.length, 0u);

    Bytes bad_sync = {0x12, 0x11, 0x06, 0x0F, 0, 0, 0, 0};
    EXPECT_FALSE(devsim::ParseDatagram(bad_sync.data(), bad_sync.size(), &m));
    EXPECT_TRUE(m.malformed);

    Bytes short_payload = {0x11, 0x11, 0x06, 0x0F, 0, 0, 4, 0, 1, 2};
    EXPECT_FALSE(devsim::ParseDatagram(short_payload.data(), short_payload.size(), &m));

    Bytes longer = {0x11, 0x11, 0x06, 0x0F, 0, 0, 2, 0, 1, 2, 3, 4};
    ASSERT_TRUE(devsim::ParseDatagram(longer.data(), longer.size(), &m));
    EXPECT_EQ(m.length, 2u);
    EXPECT_EQ(m.raw_length, 10u);

    EXPECT_FALSE(devsim::ParseDatagram(search.data(), 3, &m));
}

}  // namespace
