// CAviStreamWriter: the bytes of the header, chunks and index, codec
// mappings, the byte limit and failed opens.
#include "playctrl/convert/avi_stream_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/playctrl_convert/convert_test_util.h"

using namespace playctrl::convert;
using namespace convert_test;

namespace {

struct Chunk {
    std::string tag;
    uint32_t offset;
    Bytes data;
};

// Walks "movi" by its size and checks idx1 against the chunks.
std::vector<Chunk> MoviChunks(const Bytes& f, std::size_t movi_tag_at, std::string* error) {
    std::vector<Chunk> out;
    const std::size_t end = movi_tag_at + Le32(f, movi_tag_at - 4);
    std::size_t at = movi_tag_at + 4;
    while (at < end) {
        const uint32_t len = Le32(f, at + 4);
        out.push_back({TagAt(f, at), static_cast<uint32_t>(at),
                       Bytes(f.begin() + at + 8, f.begin() + at + 8 + len)});
        if ((len & 1) && f[at + 8 + len] != 0) *error = "pad byte";
        at += 8 + len + (len & 1);
    }
    if (at != end) *error = "movi size";
    if (TagAt(f, at) != "idx1") *error = "no idx1";
    if (Le32(f, at + 4) != 16 * out.size()) *error = "idx1 size";
    if (at + 8 + 16 * out.size() != f.size()) *error = "file does not end after idx1";
    for (std::size_t i = 0; i < out.size() && error->empty(); ++i) {
        const std::size_t e = at + 8 + 16 * i;
        if (TagAt(f, e) != out[i].tag || Le32(f, e + 8) != out[i].offset ||
            Le32(f, e + 12) != out[i].data.size())
            *error = "index entry " + std::to_string(i);
    }
    return out;
}

}  // namespace

TEST(AviStreamWriter, VideoOnlyFileHasTheFixedHeaderLayout) {
    TempFolder dir;
    const std::string path = dir.file("a.avi");
    CAviStreamWriter w;
    ASSERT_EQ(w.Open(path.c_str()), 0);
    ASSERT_EQ(w.AddVideoStream(352, 288, 25, 1, 4), 0);
    EXPECT_EQ(w.AddAudioStream(8000, 16, 1, 6), -1);  // codec type 6 has no mapping
    const Bytes key(101, 0xAB), other(40, 0xCD);
    ASSERT_EQ(w.WriteVideo(key.data(), key.size(), true), 0);
    ASSERT_EQ(w.WriteVideo(other.data(), other.size(), false), 0);
    EXPECT_EQ(w.WriteAudio(other.data(), other.size()), 0);  // no audio stream: nothing
    w.Close();

    const Bytes f = ReadFile(path);
    ASSERT_GE(f.size(), 232u);
    EXPECT_EQ(TagAt(f, 0), "RIFF");
    EXPECT_EQ(Le32(f, 4), f.size() - 8);
    EXPECT_EQ(TagAt(f, 8), "AVI ");
    EXPECT_EQ(TagAt(f, 12), "LIST");
    EXPECT_EQ(Le32(f, 16), 192u);
    EXPECT_EQ(TagAt(f, 20), "hdrl");
    EXPECT_EQ(TagAt(f, 24), "avih");
    EXPECT_EQ(Le32(f, 32), 40000u);  // microseconds per frame
    EXPECT_EQ(Le32(f, 44), 0x910u);
    EXPECT_EQ(Le32(f, 48), 2u);  // frames
    EXPECT_EQ(Le32(f, 56), 1u);  // streams
    EXPECT_EQ(Le32(f, 64), 352u);
    EXPECT_EQ(Le32(f, 68), 288u);
    EXPECT_EQ(TagAt(f, 88), "LIST");
    EXPECT_EQ(Le32(f, 92), 116u);
    EXPECT_EQ(TagAt(f, 96), "strl");
    EXPECT_EQ(TagAt(f, 100), "strh");
    EXPECT_EQ(TagAt(f, 108), "vids");
    EXPECT_EQ(TagAt(f, 112), "H264");
    EXPECT_EQ(Le32(f, 116), 1u);  // flags
    EXPECT_EQ(Le32(f, 128), 1u);  // scale
    EXPECT_EQ(Le32(f, 132), 25u);  // rate
    EXPECT_EQ(Le32(f, 140), 2u);  // length
    EXPECT_EQ(Le32(f, 144), 352u * 288 * 3);  // suggested buffer
    EXPECT_EQ(Le32(f, 148), 0u);  // quality
    EXPECT_EQ(Le32(f, 152), 0u);  // sample size
    EXPECT_EQ(Le16(f, 156), 0u);
    EXPECT_EQ(Le16(f, 158), 0u);
    EXPECT_EQ(Le16(f, 160), 352u);
    EXPECT_EQ(Le16(f, 162), 288u);
    EXPECT_EQ(TagAt(f, 164), "strf");
    EXPECT_EQ(Le32(f, 168), 40u);
    EXPECT_EQ(Le32(f, 172), 40u);
    EXPECT_EQ(Le32(f, 176), 352u);
    EXPECT_EQ(Le32(f, 180), 288u);
    EXPECT_EQ(Le16(f, 184), 1u);
    EXPECT_EQ(Le16(f, 186), 24u);
    EXPECT_EQ(TagAt(f, 188), "H264");
    EXPECT_EQ(Le32(f, 192), 352u * 288 * 3);
    EXPECT_EQ(TagAt(f, 212), "LIST");
    EXPECT_EQ(TagAt(f, 220), "movi");
    EXPECT_EQ(Le32(f, 216), 4u + (8 + 102) + (8 + 40));

    std::string error;
    const auto chunks = MoviChunks(f, 220, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].tag, "00dc");
    EXPECT_EQ(chunks[0].offset, 224u);  // index offsets count from the file start
    EXPECT_EQ(chunks[0].data, key);
    EXPECT_EQ(chunks[1].data, other);
    const std::size_t idx = 224 + 110 + 48;
    EXPECT_EQ(Le32(f, idx + 8 + 4), 0x10u);  // key flag
    EXPECT_EQ(Le32(f, idx + 8 + 16 + 4), 0u);
}

TEST(AviStreamWriter, CodecTypesMapToTheirCodesAndOthersAreRefused) {
    TempFolder dir;
    const struct {
        int type;
        const char* code;
    } video[] = {{1, "XVID"}, {11, "XVID"}, {3, "H263"}, {4, "H264"}};
    for (const auto& v : video) {
        const std::string path = dir.file("v" + std::to_string(v.type) + ".avi");
        CAviStreamWriter w;
        ASSERT_EQ(w.Open(path.c_str()), 0);
        ASSERT_EQ(w.AddVideoStream(64, 48, 25, 1, v.type), 0);
        w.Close();
        const Bytes f = ReadFile(path);
        EXPECT_EQ(TagAt(f, 112), v.code);
        EXPECT_EQ(TagAt(f, 188), v.code);
    }
    CAviStreamWriter w;
    ASSERT_EQ(w.Open(dir.file("x.avi").c_str()), 0);
    for (int type : {0, 2, 5, 6, 10, 12, -1}) EXPECT_EQ(w.AddVideoStream(64, 48, 25, 1, type), -1);
    for (int type : {0, 4, 5, 6, 7, 20, 24, 28, 30}) EXPECT_EQ(w.AddAudioStream(8000, 16, 1, type), -1);
    EXPECT_FALSE(w.has_video_stream());
    EXPECT_FALSE(w.has_audio_stream());
}

TEST(AviStreamWriter, AudioStreamGetsItsOwnListAndChunks) {
    TempFolder dir;
    const struct {
        int type;
        uint16_t tag;
    } audio[] = {{1, 1}, {2, 0x55}, {3, 0x55}, {21, 0xA280}, {22, 0xA280}, {23, 0xA280}, {29, 0xA280}};
    for (const auto& a : audio) {
        const std::string path = dir.file("a" + std::to_string(a.type) + ".avi");
        CAviStreamWriter w;
        ASSERT_EQ(w.Open(path.c_str()), 0);
        ASSERT_EQ(w.AddVideoStream(64, 48, 25, 1, 4), 0);
        ASSERT_EQ(w.AddAudioStream(8000, 16, 1, a.type), 0);
        const Bytes v(10, 1), s(320, 2);
        ASSERT_EQ(w.WriteVideo(v.data(), v.size(), true), 0);
        ASSERT_EQ(w.WriteAudio(s.data(), s.size()), 0);
        w.Close();
        const Bytes f = ReadFile(path);
        EXPECT_EQ(Le32(f, 56), 2u);  // streams
        const std::size_t strl = 12 + 12 + 64 + 124;
        ASSERT_EQ(TagAt(f, strl), "LIST");
        EXPECT_EQ(Le32(f, strl + 4), 4u + 64 + 8 + 18);
        EXPECT_EQ(TagAt(f, strl + 20), "auds");
        EXPECT_EQ(Le32(f, strl + 40), 2u);      // scale
        EXPECT_EQ(Le32(f, strl + 44), 16000u);  // rate
        EXPECT_EQ(Le32(f, strl + 56), 8000u);   // suggested buffer
        EXPECT_EQ(Le32(f, strl + 64), 2u);      // sample size
        const std::size_t wf = strl + 12 + 64 + 8;
        EXPECT_EQ(TagAt(f, wf - 8), "strf");
        EXPECT_EQ(Le32(f, wf - 4), 18u);
        EXPECT_EQ(Le16(f, wf), a.tag);
        EXPECT_EQ(Le16(f, wf + 2), 1u);
        EXPECT_EQ(Le32(f, wf + 4), 8000u);
        EXPECT_EQ(Le32(f, wf + 8), 16000u);  // bytes per second
        EXPECT_EQ(Le16(f, wf + 12), 2u);
        EXPECT_EQ(Le16(f, wf + 14), 16u);
        EXPECT_EQ(Le16(f, wf + 16), 0u);
        const std::size_t movi = wf + 18 + 12 - 4;
        ASSERT_EQ(TagAt(f, movi), "movi");
        std::string error;
        const auto chunks = MoviChunks(f, movi, &error);
        ASSERT_EQ(error, "");
        ASSERT_EQ(chunks.size(), 2u);
        EXPECT_EQ(chunks[0].tag, "00dc");
        EXPECT_EQ(chunks[1].tag, "01wb");
        EXPECT_EQ(chunks[1].data, Bytes(320, 2));
    }
}

TEST(AviStreamWriter, SamplesPastTheByteLimitAreRefusedAndTheFileStaysWhole) {
    TempFolder dir;
    const std::string path = dir.file("limit.avi");
    CAviStreamWriter w;
    ASSERT_EQ(w.Open(path.c_str()), 0);
    ASSERT_EQ(w.AddVideoStream(64, 48, 25, 1, 4), 0);
    w.set_max_total_bytes(1000);
    const Bytes s(400, 7);
    EXPECT_EQ(w.WriteVideo(s.data(), s.size(), true), 0);
    EXPECT_EQ(w.WriteVideo(s.data(), s.size(), false), 0);
    EXPECT_EQ(w.WriteVideo(s.data(), s.size(), false), -1);  // 1200 > 1000
    EXPECT_EQ(w.WriteVideo(s.data(), 200, false), 0);        // exactly 1000
    EXPECT_EQ(w.WriteVideo(s.data(), 1, false), -1);
    EXPECT_EQ(w.total_bytes(), 1000u);
    w.Close();
    const Bytes f = ReadFile(path);
    std::string error;
    EXPECT_EQ(MoviChunks(f, 220, &error).size(), 3u);
    EXPECT_EQ(error, "");
    EXPECT_EQ(Le32(f, 48), 3u);
    EXPECT_EQ(kAviMaxTotalBytes, 0x7EC00000u);
}

TEST(AviStreamWriter, OpenReplacesAFileAndCreatesMissingFolders) {
    TempFolder dir;
    const std::string path = dir.file("x/y/z/out.avi");
    ASSERT_FALSE(Exists(dir.file("x")));
    {
        CAviStreamWriter w;
        ASSERT_EQ(w.Open(path.c_str()), 0);
        ASSERT_EQ(w.AddVideoStream(64, 48, 25, 1, 4), 0);
        w.Close();
    }
    const Bytes first = ReadFile(path);
    EXPECT_EQ(first.size(), 232u);  // header and an empty idx1
    WriteFile(path, Bytes(5000, 'z'));
    CAviStreamWriter w;
    ASSERT_EQ(w.Open(path.c_str()), 0);
    w.Close();
    const Bytes second = ReadFile(path);
    EXPECT_EQ(TagAt(second, 0), "RIFF");
    EXPECT_LT(second.size(), 5000u);
}

TEST(AviStreamWriter, AFailedOpenMakesEveryLaterCallFail) {
    TempFolder dir;
    WriteFile(dir.file("plain"), Bytes(3, 1));
    const std::string path = dir.file("plain/out.avi");  // a file where a folder should be
    CAviStreamWriter w;
    EXPECT_NE(w.Open(path.c_str()), 0);
    EXPECT_GT(w.AddVideoStream(64, 48, 25, 1, 4), 0);
    const Bytes s(10, 1);
    EXPECT_GT(w.WriteVideo(s.data(), s.size(), true), 0);
    w.Close();
    EXPECT_FALSE(Exists(path));
    EXPECT_NE(w.Open(nullptr), 0);
}

TEST(AviStreamWriter, StreamsCannotBeAddedAfterTheFirstSample) {
    TempFolder dir;
    CAviStreamWriter w;
    ASSERT_EQ(w.Open(dir.file("late.avi").c_str()), 0);
    ASSERT_EQ(w.AddVideoStream(64, 48, 25, 1, 4), 0);
    EXPECT_EQ(w.AddVideoStream(64, 48, 25, 1, 4), -1);  // one video stream
    const Bytes s(10, 1);
    ASSERT_EQ(w.WriteVideo(s.data(), s.size(), true), 0);
    EXPECT_EQ(w.AddAudioStream(8000, 16, 1, 1), -1);
    EXPECT_FALSE(w.has_audio_stream());
}
