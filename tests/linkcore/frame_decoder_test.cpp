#include "linkcore/frame_decoder.h"

#include <gtest/gtest.h>

#include "link_test_util.h"

namespace {

using linkcore::FrameDecoder;
using linkcore::FrameView;
using linktest::Bytes;
using linktest::Event;
using linktest::Frame;
using linktest::Pattern;

struct Collected {
    std::vector<Event> messages;
    bool operator()(const FrameView& m) {
        Event e;
        e.command = m.command;
        e.second_word = m.second_word;
        EXPECT_NE(m.payload, nullptr);
        e.payload.assign(m.payload, m.payload + m.length);
        messages.push_back(std::move(e));
        return true;
    }
};

Bytes Concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

void ExpectMessage(const Event& e, uint16_t command, uint16_t second, const Bytes& payload) {
    EXPECT_EQ(e.command, command);
    EXPECT_EQ(e.second_word, second);
    EXPECT_EQ(e.payload, payload);
}

TEST(FrameDecoder, HeaderBytesAreLittleEndian) {
    const Bytes f = Frame(0x0F06, 0x0201, Pattern(0x0103, 1));
    ASSERT_EQ(f.size(), 8u + 0x0103);
    EXPECT_EQ(f[0], 0x11);
    EXPECT_EQ(f[1], 0x11);
    EXPECT_EQ(f[2], 0x06);
    EXPECT_EQ(f[3], 0x0F);
    EXPECT_EQ(f[4], 0x01);
    EXPECT_EQ(f[5], 0x02);
    EXPECT_EQ(f[6], 0x03);
    EXPECT_EQ(f[7], 0x01);
}

TEST(FrameDecoder, CoalescedMessagesInOneChunk) {
    const Bytes big = Pattern(linkcore::kMaxPayload, 9);
    const Bytes stream = Concat({Frame(0x0101, 0, Pattern(40, 1)), Frame(0x0103, 7, {}),
                                 Frame(0x0301, 0xFFFF, big), Frame(0x8101, 1, Pattern(3, 5))});
    FrameDecoder d;
    Collected c;
    EXPECT_EQ(d.Feed(stream.data(), stream.size(), c), FrameDecoder::Result::kOk);
    ASSERT_EQ(c.messages.size(), 4u);
    ExpectMessage(c.messages[0], 0x0101, 0, Pattern(40, 1));
    ExpectMessage(c.messages[1], 0x0103, 7, {});
    ExpectMessage(c.messages[2], 0x0301, 0xFFFF, big);
    ExpectMessage(c.messages[3], 0x8101, 1, Pattern(3, 5));
    EXPECT_EQ(d.buffered_bytes(), 0u);
    // Whole messages are handed out in place: nothing needed gathering.
    EXPECT_EQ(d.buffer_capacity(), 0u);
}

TEST(FrameDecoder, WholeMessagePayloadPointsIntoChunk) {
    const Bytes stream = Frame(0x0301, 0, Pattern(100, 3));
    FrameDecoder d;
    const uint8_t* seen = nullptr;
    d.Feed(stream.data(), stream.size(), [&](const FrameView& m) {
        seen = m.payload;
        return true;
    });
    EXPECT_EQ(seen, stream.data() + 8);
}

TEST(FrameDecoder, EveryTwoWaySplitGivesTheSameMessages) {
    const Bytes stream = Concat({Frame(0x0301, 2, Pattern(300, 1)), Frame(0x0000, 0, {}),
                                 Frame(0x0302, 9, Pattern(17, 4))});
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        FrameDecoder d;
        Collected c;
        ASSERT_EQ(d.Feed(stream.data(), cut, c), FrameDecoder::Result::kOk);
        ASSERT_EQ(d.Feed(stream.data() + cut, stream.size() - cut, c), FrameDecoder::Result::kOk);
        ASSERT_EQ(c.messages.size(), 3u) << "cut at " << cut;
        ExpectMessage(c.messages[0], 0x0301, 2, Pattern(300, 1));
        ExpectMessage(c.messages[1], 0x0000, 0, {});
        ExpectMessage(c.messages[2], 0x0302, 9, Pattern(17, 4));
        EXPECT_EQ(d.buffered_bytes(), 0u);
    }
}

TEST(FrameDecoder, ByteByByteAndBufferedCount) {
    const Bytes stream = Concat({Frame(0x1234, 0x5678, Pattern(1000, 2)), Frame(1, 2, {})});
    FrameDecoder d;
    Collected c;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        ASSERT_EQ(d.Feed(&stream[i], 1, c), FrameDecoder::Result::kOk);
        if (i < 1007) {
            EXPECT_EQ(d.buffered_bytes(), i + 1);
            EXPECT_TRUE(c.messages.empty());
        }
    }
    ASSERT_EQ(c.messages.size(), 2u);
    ExpectMessage(c.messages[0], 0x1234, 0x5678, Pattern(1000, 2));
    ExpectMessage(c.messages[1], 1, 2, {});
}

TEST(FrameDecoder, BadSyncIsDetectedAtOnceAndSticks) {
    for (int which = 0; which < 2; ++which) {
        FrameDecoder d;
        Collected c;
        const uint8_t good = 0x11;
        const uint8_t bad = 0x12;
        if (which == 1) {
            ASSERT_EQ(d.Feed(&good, 1, c), FrameDecoder::Result::kOk);
        }
        // The bad byte alone is enough: no waiting for the rest of a header.
        EXPECT_EQ(d.Feed(&bad, 1, c), FrameDecoder::Result::kSyncLost);
        EXPECT_TRUE(d.failed());
        const Bytes next = Frame(1, 1, {});
        EXPECT_EQ(d.Feed(next.data(), next.size(), c), FrameDecoder::Result::kSyncLost);
        EXPECT_TRUE(c.messages.empty());
        d.Reset();
        EXPECT_EQ(d.Feed(next.data(), next.size(), c), FrameDecoder::Result::kOk);
        EXPECT_EQ(c.messages.size(), 1u);
    }
}

TEST(FrameDecoder, MessagesBeforeGarbageAreDelivered) {
    Bytes stream = Concat({Frame(5, 0, Pattern(10, 1)), Frame(6, 0, Pattern(20, 2))});
    stream.insert(stream.end(), {0x11, 0x10, 0, 0, 0, 0, 0, 0});
    FrameDecoder d;
    Collected c;
    EXPECT_EQ(d.Feed(stream.data(), stream.size(), c), FrameDecoder::Result::kSyncLost);
    ASSERT_EQ(c.messages.size(), 2u);
    EXPECT_EQ(c.messages[1].command, 6);
}

TEST(FrameDecoder, LengthAboveLimitIsRejectedBeforeCopying) {
    FrameDecoder d(/*max_payload=*/100);
    Collected c;
    const Bytes ok = Frame(1, 0, Pattern(100, 1));
    EXPECT_EQ(d.Feed(ok.data(), ok.size(), c), FrameDecoder::Result::kOk);
    const Bytes too_long = Frame(2, 0, Pattern(101, 1));
    // Only the header is given: the length alone must trip the check.
    EXPECT_EQ(d.Feed(too_long.data(), 8, c), FrameDecoder::Result::kSyncLost);
    EXPECT_EQ(d.buffer_capacity(), 0u);
    EXPECT_EQ(c.messages.size(), 1u);
}

TEST(FrameDecoder, SinkCanStopDecoding) {
    const Bytes stream = Concat({Frame(1, 0, {}), Frame(2, 0, {}), Frame(3, 0, {})});
    FrameDecoder d;
    int calls = 0;
    EXPECT_EQ(d.Feed(stream.data(), stream.size(),
                     [&](const FrameView&) {
                         ++calls;
                         return calls < 2;
                     }),
              FrameDecoder::Result::kStopped);
    EXPECT_EQ(calls, 2);
}

TEST(FrameDecoder, SplitBufferIsReused) {
    const Bytes stream = Frame(1, 0, Pattern(5000, 1));
    FrameDecoder d;
    Collected c;
    for (int round = 0; round < 3; ++round) {
        d.Feed(stream.data(), 100, c);
        d.Feed(stream.data() + 100, stream.size() - 100, c);
    }
    EXPECT_EQ(c.messages.size(), 3u);
    EXPECT_GE(d.buffer_capacity(), 5000u);
    EXPECT_LE(d.buffer_capacity(), 10000u);
}

TEST(ParseDatagram, AcceptsExactlyOneWellFormedMessage) {
    FrameView m;
    const Bytes search = {0x11, 0x11, 0x06, 0x0F, 0x00, 0x00, 0x00, 0x00};
    ASSERT_TRUE(linkcore::ParseDatagram(search.data(), search.size(), &m));
    EXPECT_EQ(m.command, 0x0F06);
    EXPECT_EQ(m.second_word, 0);
    EXPECT_EQ(m.length, 0);

    const Bytes f = Frame(0x0301, 3, Pattern(50, 1));
    ASSERT_TRUE(linkcore::ParseDatagram(f.data(), f.size(), &m));
    EXPECT_EQ(m.length, 50);
    EXPECT_EQ(Bytes(m.payload, m.payload + m.length), Pattern(50, 1));

    // Shorter than the header says, longer than it says, short header,
    // bad sync bytes, null data: all dropped.
    EXPECT_FALSE(linkcore::ParseDatagram(f.data(), f.size() - 1, &m));
    Bytes longer = f;
    longer.push_back(0);
    EXPECT_FALSE(linkcore::ParseDatagram(longer.data(), longer.size(), &m));
    EXPECT_FALSE(linkcore::ParseDatagram(f.data(), 7, &m));
    Bytes bad = f;
    bad[0] = 0x10;
    EXPECT_FALSE(linkcore::ParseDatagram(bad.data(), bad.size(), &m));
    bad = f;
    bad[1] = 0x00;
    EXPECT_FALSE(linkcore::ParseDatagram(bad.data(), bad.size(), &m));
    EXPECT_FALSE(linkcore::ParseDatagram(nullptr, 8, &m));
}

}  // namespace
