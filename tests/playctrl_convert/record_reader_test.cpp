// Reading recordings: prefixes found through garbage, lengths, time
// extensions, oversized and truncated records; reassembling fragments.
#include "mediafile/frame_assembler.h"
#include "mediafile/record_reader.h"

#include <gtest/gtest.h>

#include <cstring>

#include "playctrl/convert/convert_job.h"
#include "tests/playctrl_convert/convert_test_util.h"

using namespace mediafile;
using convert_test::AudioRecord;
using convert_test::Bytes;
using convert_test::VideoRecord;

namespace {

Bytes Payload(std::size_t n, uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

void Append(Bytes& to, const Bytes& what) {
    to.insert(to.end(), what.begin(), what.end());
}

struct Read {
    char kind;
    Bytes payload;
    uint64_t offset;
};

std::vector<Read> ReadAll(const Bytes& file, RecordReaderStats* stats = nullptr,
                          uint64_t* end = nullptr) {
    MemoryByteSource source(file.data(), file.size());
    RecordReader reader(source, 0);
    std::vector<Read> out;
    MediaRecord r;
    while (reader.Next(&r))
        out.push_back({r.kind, Bytes(r.payload, r.payload + r.length), r.offset});
    if (stats) *stats = reader.stats();
    if (end) *end = reader.bytes_read();
    return out;
}

Bytes Fragment(uint8_t index, uint8_t count, const Bytes& data) {
    Bytes r = VideoRecord(data, index == 0, 9);
    r[6 + 6] = index;
    r[6 + 7] = count;
    r[6 + 22] = static_cast<uint8_t>(data.size());
    r[6 + 23] = static_cast<uint8_t>(data.size() >> 8);
    return r;
}

}  // namespace

TEST(RecordReader, FindsEveryRecordThroughGarbageAndPartialPrefixes) {
    const Bytes a = Payload(100, 1), b = Payload(33, 2), c = Payload(7, 3), d = Payload(250, 4);
    Bytes file;
    Append(file, {'j', 'u', 'n', 'k'});
    Append(file, VideoRecord(a, true, 0));
    Append(file, {'X'});  // a lone 'X' right before a record
    Append(file, VideoRecord(b, false, 1));
    Append(file, {'X', 'C', 'X', 'C', 'X'});  // overlapping partial prefixes
    Append(file, AudioRecord(c, 1));
    Append(file, {'X', 'C', 'X', 'B', 'Q', 0});  // a prefix of another kind
    Append(file, VideoRecord(d, false, 2, true));
    Append(file, {'X', 'C', 'X'});  // a partial prefix at the very end
    RecordReaderStats stats;
    uint64_t end = 0;
    const auto got = ReadAll(file, &stats, &end);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].kind, 'V');
    EXPECT_EQ(got[0].payload, a);
    EXPECT_EQ(got[0].offset, 4u);
    EXPECT_EQ(got[1].payload, b);
    EXPECT_EQ(got[2].kind, 'A');
    EXPECT_EQ(got[2].payload.size(), 4 + c.size());  // audio payload keeps its 4-byte header
    EXPECT_EQ(Bytes(got[2].payload.begin() + 4, got[2].payload.end()), c);
    EXPECT_EQ(got[3].payload, d);  // the 8-byte time extension is not payload
    EXPECT_EQ(stats.other_kinds, 1u);
    EXPECT_EQ(end, file.size());
}

TEST(RecordReader, LengthComesFromTotalForSingleFragmentsAndFromFragmentLengthOtherwise) {
    const Bytes data = Payload(1000, 5);
    Bytes single = VideoRecord(data, true, 0);
    single[6 + 22] = 10;  // fragment length disagrees; the total (offset 12) counts
    single[6 + 23] = 0;
    Bytes multi = Fragment(0, 2, Payload(300, 6));
    multi[6 + 12] = 0xFF;  // total says much more; the fragment length (offset 22) counts
    multi[6 + 14] = 0x10;
    Bytes file = single;
    Append(file, multi);
    const auto got = ReadAll(file);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].payload, data);
    EXPECT_EQ(got[1].payload, Payload(300, 6));
}

TEST(RecordReader, OversizedVideoIsNotTakenAndReadingResumesAfterItsHeader) {
    Bytes huge = VideoRecord(Payload(20, 7), true, 0);
    const uint32_t oversized = static_cast<uint32_t>(kFrameBufferBytes);
    std::memcpy(&huge[6 + 12], &oversized, 4);  // claims 1,024,000 bytes
    Bytes file = huge;
    Append(file, VideoRecord(Payload(50, 8), true, 1));
    RecordReaderStats stats;
    const auto got = ReadAll(file, &stats);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].payload, Payload(50, 8));
    EXPECT_EQ(stats.oversized, 1u);

    // 1,023,999 bytes is the largest frame taken.
    const Bytes big = Payload(kFrameBufferBytes - 1, 9);
    const auto one = ReadAll(VideoRecord(big, true, 0));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].payload, big);
}

TEST(RecordReader, TruncatedRecordsEndTheFileWithoutReadingPastIt) {
    const Bytes whole = VideoRecord(Payload(500, 10), true, 0);
    for (std::size_t cut : {std::size_t{3}, std::size_t{5}, std::size_t{17}, std::size_t{30},
                            std::size_t{31}, whole.size() - 1}) {
        Bytes file = VideoRecord(Payload(40, 11), true, 0);
        const std::size_t first = file.size();
        file.insert(file.end(), whole.begin(), whole.begin() + static_cast<long>(cut));
        // An exactly sized copy, so an overread would show under the sanitizers.
        auto exact = std::make_unique<uint8_t[]>(file.size());
        std::memcpy(exact.get(), file.data(), file.size());
        MemoryByteSource source(exact.get(), file.size());
        RecordReader reader(source, 0);
        MediaRecord r;
        ASSERT_TRUE(reader.Next(&r)) << cut;
        EXPECT_EQ(reader.bytes_read(), first);
        EXPECT_FALSE(reader.Next(&r)) << cut;
        EXPECT_EQ(reader.bytes_read(), file.size()) << cut;
        EXPECT_FALSE(reader.Next(&r));
    }
}

TEST(RecordReader, StopRequestEndsReadingEvenInsideLongGarbage) {
    Bytes file(3'000'000, 'X');
    Append(file, VideoRecord(Payload(10, 1), true, 0));
    std::atomic<int> stop{0};
    // Raises the stop flag once the reader has taken its first piece.
    class StoppingSource final : public ByteSource {
    public:
        StoppingSource(const Bytes& b, std::atomic<int>* stop)
            : inner_(b.data(), b.size()), stop_(stop) {}
        std::size_t Read(uint8_t* dst, std::size_t bytes) override {
            if (reads_++ == 1) stop_->store(1);
            return inner_.Read(dst, bytes);
        }

    private:
        MemoryByteSource inner_;
        std::atomic<int>* stop_;
        int reads_ = 0;
    } source(file, &stop);
    RecordReader reader(source, 0);
    MediaRecord r;
    EXPECT_FALSE(reader.Next(&r, &stop));
    EXPECT_EQ(stop.load(), 1);
    EXPECT_LT(reader.bytes_read(), 1'000'000u);
}

TEST(RecordingHeader, MagicNeedsItsZeroByteAndFullLength) {
    Bytes h(512, 0);
    std::memcpy(h.data(), "ZYNIPCFH", 8);
    h[12] = 0x60;  // 352
    h[13] = 0x01;
    h[14] = 0x20;  // 288
    h[15] = 0x01;
    RecordingHeader p = ParseRecordingHeader(h.data(), h.size());
    EXPECT_TRUE(p.valid);
    EXPECT_EQ(p.picture_width, 352);
    EXPECT_EQ(p.picture_height, 288);
    EXPECT_FALSE(ParseRecordingHeader(h.data(), 511).valid);
    h[8] = '!';
    EXPECT_FALSE(ParseRecordingHeader(h.data(), h.size()).valid);
}

TEST(FrameAssembler, CollectsFragmentsUntilTheLastIndex) {
    FrameAssembler frames;
    const Bytes a = Payload(1000, 1), b = Payload(1000, 2), c = Payload(500, 3);
    const Bytes fa = Fragment(0, 3, a), fb = Fragment(1, 3, b), fc = Fragment(2, 3, c);
    EXPECT_FALSE(frames.Add(fa.data() + 6, a.data(), a.size()));
    EXPECT_FALSE(frames.Add(fb.data() + 6, b.data(), b.size()));
    ASSERT_TRUE(frames.Add(fc.data() + 6, c.data(), c.size()));
    ASSERT_EQ(frames.frame_bytes(), 2500u);
    Bytes want = a;
    Append(want, b);
    Append(want, c);
    EXPECT_EQ(0, std::memcmp(frames.frame(), want.data(), want.size()));
    EXPECT_EQ(frames.fill(), 0u);
}

TEST(FrameAssembler, IndexZeroDiscardsAHalfFrameAndCountZeroNeverCompletes) {
    FrameAssembler frames;
    const Bytes a = Payload(100, 1), b = Payload(60, 2);
    const Bytes first = Fragment(0, 2, a);
    EXPECT_FALSE(frames.Add(first.data() + 6, a.data(), a.size()));
    const Bytes restart = Fragment(0, 1, b);
    ASSERT_TRUE(frames.Add(restart.data() + 6, b.data(), b.size()));
    EXPECT_EQ(frames.frame_bytes(), 60u);
    EXPECT_EQ(0, std::memcmp(frames.frame(), b.data(), b.size()));

    const Bytes zero = Fragment(0, 0, a);
    EXPECT_FALSE(frames.Add(zero.data() + 6, a.data(), a.size()));
    EXPECT_FALSE(frames.Add(zero.data() + 6, a.data(), a.size()));
}

TEST(FrameAssembler, AFragmentThatWouldOverflowStartsTheFrameAfresh) {
    FrameAssembler frames;
    const Bytes big = Payload(kFrameBufferBytes - 100, 1), tail = Payload(200, 2);
    const Bytes f0 = Fragment(0, 2, Payload(1, 0));
    EXPECT_FALSE(frames.Add(f0.data() + 6, big.data(), big.size()));
    const Bytes f1 = Fragment(1, 2, tail);
    ASSERT_TRUE(frames.Add(f1.data() + 6, tail.data(), tail.size()));
    EXPECT_EQ(frames.frame_bytes(), 200u);
    EXPECT_EQ(0, std::memcmp(frames.frame(), tail.data(), tail.size()));
}
