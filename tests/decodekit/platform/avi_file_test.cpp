#include "decodekit/platform/avi_file.h"

#include "avi_test_util.h"
#include "platform_test_util.h"

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <ctime>
#include <thread>

using namespace platform_test;

namespace {

Bytes data_of(std::size_t n, uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 13);
    return b;
}

// The live path: the whole record in native mode, the data behind the 30-byte
// prefix in AVI mode; kind 0; key mark for frame type 7.
int write_like_live_path(CAviFile& file, const Bytes& record) {
    const int key = record[6 + 4] == 7;
    if (file.mode() == decodekit::kRecordModeAvi) {
        return file.WriteFrame(record.data() + 30, record.size() - 30, 0, key);
    }
    return file.WriteFrame(record.data(), record.size(), 0, key);
}

// ---- AVI --------------------------------------------------------------------

TEST(AviFileAvi, OpenAndCloseAtOnceGivesTheEmpty232ByteFile) {
    TempFolder dir;
    const std::string path = dir.file("empty.avi");
    CAviFile file;
    EXPECT_EQ(file.mode(), -1);
    ASSERT_EQ(file.Open(path.c_str(), 1, 0), 1);
    EXPECT_EQ(file.is_recording(), 1);
    // While recording the sizes are provisional.
    EXPECT_EQ(read_file(path), expected_avi_header(0, 0xFFFFFFFF, 0xFFFFFFFF));
    EXPECT_EQ(file.Close(), 1);
    EXPECT_EQ(file.is_recording(), 0);

    Bytes expected = expected_avi_header(0, 224, 4);
    expected.insert(expected.end(), {'i', 'd', 'x', '1', 0, 0, 0, 0});
    EXPECT_EQ(read_file(path), expected);
}

TEST(AviFileAvi, OddKeyFrameGetsPadByteAndKeyIndexEntry) {
    TempFolder dir;
    const std::string path = dir.file("one.avi");
    CAviFile file;
    ASSERT_EQ(file.Open(path.c_str(), 1, 1), 1);
    EXPECT_STREQ(file.audio_name(), "G711");
    EXPECT_EQ(file.audio_format(), 6);
    const Bytes data = data_of(101, 3);
    ASSERT_EQ(write_like_live_path(file, frame_record(7, 0, data)), 1);
    ASSERT_EQ(file.Close(), 1);

    const Bytes f = read_file(path);
    ASSERT_EQ(f.size(), 224u + 8 + 102 + 8 + 16);
    Bytes expected = expected_avi_header(1, static_cast<uint32_t>(f.size() - 8), 4 + 8 + 102);
    expected.insert(expected.end(), {'0', '0', 'd', 'c', 101, 0, 0, 0});
    expected.insert(expected.end(), data.begin(), data.end());
    expected.push_back(0);
    expected.insert(expected.end(), {'i', 'd', 'x', '1', 16, 0, 0, 0});
    expected.insert(expected.end(),
                    {'0', '0', 'd', 'c', 0x10, 0, 0, 0, 224, 0, 0, 0, 101, 0, 0, 0});
    EXPECT_EQ(f, expected);
}

TEST(AviFileAvi, IndexHoldsOneEntryPerFramePastTheGrowthSteps) {
    TempFolder dir;
    const std::string path = dir.file("many.avi");
    CAviFile file;
    ASSERT_EQ(file.Open(path.c_str(), 1, 2), 1);
    EXPECT_EQ(file.audio_format(), 7);
    std::vector<Bytes> sent;
    for (uint32_t i = 0; i < 2001; ++i) {
        const Bytes rec = frame_record(i % 25 == 0 ? 7 : 1, i, data_of(1 + i % 9, uint8_t(i)));
        ASSERT_EQ(write_like_live_path(file, rec), 1) << i;
        sent.emplace_back(rec.begin() + 30, rec.end());
    }
    ASSERT_EQ(file.Close(), 1);
    const ParsedAvi p = parse_avi(read_file(path));
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.index.size(), 2001u);
    EXPECT_EQ(p.frames, sent);
    for (std::size_t i = 0; i < p.index.size(); ++i) {
        EXPECT_EQ(p.index[i].flags, i % 25 == 0 ? 0x10u : 0u) << i;
    }
}

TEST(AviFileAvi, KindsNullBuffersAndEmptyFrames) {
    TempFolder dir;
    const std::string path = dir.file("kinds.avi");
    CAviFile file;
    ASSERT_EQ(file.Open(path.c_str(), 1, 0), 1);
    const Bytes a = data_of(10, 1);
    EXPECT_EQ(file.WriteFrame(a.data(), a.size(), 0, 1), 1);
    EXPECT_EQ(file.WriteFrame(a.data(), a.size(), 1, 0), 1);  // kind 1 is a video chunk too
    EXPECT_EQ(file.WriteFrame(a.data(), a.size(), 2, 0), 0);  // ignored
    EXPECT_EQ(file.WriteFrame(a.data(), a.size(), -1, 0), 0);
    EXPECT_EQ(file.WriteFrame(nullptr, 10, 0, 0), 0);
    EXPECT_EQ(file.frames_written(), 2u);
    ASSERT_EQ(file.Close(), 1);
    const ParsedAvi p = parse_avi(read_file(path));
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.index.size(), 2u);
    EXPECT_EQ(p.index[0].flags, 0x10u);
    EXPECT_EQ(p.index[1].flags, 0u);
}

// ---- Native -----------------------------------------------------------------

TEST(AviFileNative, HeaderTimesAndRecordsBackToBack) {
    TempFolder dir;
    const std::string path = dir.file("rec.zyn");
    CAviFile file;
    const uint32_t before_open = static_cast<uint32_t>(std::time(nullptr));
    ASSERT_EQ(file.Open(path.c_str(), 0, 1), 1);
    const uint32_t after_open = static_cast<uint32_t>(std::time(nullptr));
    EXPECT_EQ(file.mode(), 0);

    std::vector<Bytes> records = {frame_record(7, 0, data_of(1000, 1)),
                                  frame_record(1, 1, data_of(333, 2)),
                                  frame_record(1, 2, data_of(1, 3))};
    for (const auto& r : records) ASSERT_EQ(write_like_live_path(file, r), 1);

    // Stop time 0 while recording.
    Bytes f = read_file(path);
    ASSERT_GE(f.size(), 512u);
    EXPECT_EQ(le32(f, 164), 0u);

    const uint32_t before_close = static_cast<uint32_t>(std::time(nullptr));
    ASSERT_EQ(file.Close(), 1);
    const uint32_t after_close = static_cast<uint32_t>(std::time(nullptr));

    f = read_file(path);
    ASSERT_EQ(f.size(), 512u + records[0].size() + records[1].size() + records[2].size());
    EXPECT_EQ(std::string(f.begin(), f.begin() + 9), std::string("ZYNIPCFH\0", 9));
    for (std::size_t i = 8; i < 512; ++i) {
        if (i == 11 || (i >= 160 && i < 168)) continue;
        ASSERT_EQ(f[i], 0) << "header byte " << i;
    }
    EXPECT_EQ(f[11], 1);
    EXPECT_GE(le32(f, 160), before_open);
    EXPECT_LE(le32(f, 160), after_open);
    EXPECT_GE(le32(f, 164), before_close);
    EXPECT_LE(le32(f, 164), after_close);
    std::size_t at = 512;
    for (const auto& r : records) {
        EXPECT_EQ(Bytes(f.begin() + at, f.begin() + at + r.size()), r);
        at += r.size();
    }
}

TEST(AviFileNative, AnyModeButOneIsNative) {
    TempFolder dir;
    CAviFile file;
    for (int mode : {0, 2, -5, 255}) {
        const std::string path = dir.file("m" + std::to_string(mode));
        ASSERT_EQ(file.Open(path.c_str(), mode, 0), 1);
        file.Close();
        const Bytes f = read_file(path);
        ASSERT_EQ(f.size(), 512u);
        EXPECT_EQ(std::string(f.begin(), f.begin() + 8), "ZYNIPCFH");
    }
}

// ---- Lifecycle --------------------------------------------------------------

TEST(AviFileLifecycle, OpeningAgainFinishesTheFirstFileInItsOwnFormat) {
    TempFolder dir;
    CAviFile file;
    // AVI, then native on the same object.
    ASSERT_EQ(file.Open(dir.file("a.avi").c_str(), 1, 0), 1);
    write_like_live_path(file, frame_record(7, 0, data_of(50, 1)));
    ASSERT_EQ(file.Open(dir.file("b.zyn").c_str(), 0, 0), 1);
    const ParsedAvi first = parse_avi(read_file(dir.file("a.avi")));
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(first.index.size(), 1u);
    // Native, then AVI.
    write_like_live_path(file, frame_record(7, 0, data_of(20, 2)));
    ASSERT_EQ(file.Open(dir.file("c.avi").c_str(), 1, 0), 1);
    const Bytes second = read_file(dir.file("b.zyn"));
    ASSERT_EQ(second.size(), 512u + 50);
    EXPECT_NE(le32(second, 164), 0u);
    EXPECT_EQ(std::string(second.begin(), second.begin() + 8), "ZYNIPCFH");
    EXPECT_EQ(file.Close(), 1);
    EXPECT_TRUE(parse_avi(read_file(dir.file("c.avi"))).ok);
}

TEST(AviFileLifecycle, CloseTwiceWriteAfterCloseAndUnwritablePaths) {
    TempFolder dir;
    CAviFile file;
    EXPECT_EQ(file.Close(), 0);  // never opened
    const Bytes d = data_of(8, 1);
    EXPECT_EQ(file.WriteFrame(d.data(), d.size(), 0, 1), 0);

    const std::string path = dir.file("x.avi");
    ASSERT_EQ(file.Open(path.c_str(), 1, 0), 1);
    ASSERT_EQ(file.WriteFrame(d.data(), d.size(), 0, 1), 1);
    ASSERT_EQ(file.Close(), 1);
    const Bytes closed = read_file(path);
    EXPECT_EQ(file.Close(), 0);
    EXPECT_EQ(file.WriteFrame(d.data(), d.size(), 0, 1), 0);
    EXPECT_EQ(read_file(path), closed);

    for (const std::string& bad :
         {dir.file("no/such/folder/x.avi"), dir.path().string(), std::string()}) {
        EXPECT_EQ(file.Open(bad.empty() ? nullptr : bad.c_str(), 1, 0), 0) << bad;
        EXPECT_EQ(file.is_recording(), 0);
        EXPECT_EQ(file.WriteFrame(d.data(), d.size(), 0, 1), 0);
        EXPECT_EQ(file.Close(), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
}

TEST(AviFileLifecycle, DestroyingTheWriterFinishesTheFile) {
    TempFolder dir;
    {
        CAviFile file;
        ASSERT_EQ(file.Open(dir.file("d.avi").c_str(), 1, 0), 1);
        write_like_live_path(file, frame_record(7, 0, data_of(7, 1)));
    }
    const ParsedAvi p = parse_avi(read_file(dir.file("d.avi")));
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.index.size(), 1u);
}

// ---- Failed writes ----------------------------------------------------------

// Limits the size of files this process writes (the write past it fails with
// EFBIG after writing what fits).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        set(bytes);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_handler_);
    }
    void set(rlim_t bytes) {
        rlimit l = old_;
        l.rlim_cur = bytes;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &l), 0);
    }
    void lift() { setrlimit(RLIMIT_FSIZE, &old_); }

private:
    rlimit old_{};
    void (*old_handler_)(int) = nullptr;
};

TEST(AviFileFailure, AviFrameThatDoesNotFitIsLeftOutWhole) {
    TempFolder dir;
    const std::string path = dir.file("full.avi");
    CAviFile file;
    std::vector<Bytes> kept;
    {
        FileSizeLimit limit(224 + 2 * (8 + 100) + 50);  // the third frame breaks off
        ASSERT_EQ(file.Open(path.c_str(), 1, 0), 1);
        for (int i = 0; i < 2; ++i) {
            const Bytes d = data_of(100, uint8_t(i));
            ASSERT_EQ(file.WriteFrame(d.data(), d.size(), 0, i == 0), 1);
            kept.push_back(d);
        }
        const Bytes lost = data_of(100, 9);
        EXPECT_EQ(file.WriteFrame(lost.data(), lost.size(), 0, 0), 0);
        EXPECT_EQ(file.write_failed(), 1);
        EXPECT_EQ(file.is_recording(), 1);
        limit.lift();  // room again: recording goes on
        const Bytes d = data_of(77, 5);
        ASSERT_EQ(file.WriteFrame(d.data(), d.size(), 0, 1), 1);
        kept.push_back(d);
    }
    ASSERT_EQ(file.Close(), 1);
    const ParsedAvi p = parse_avi(read_file(path));
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.frames, kept);
    EXPECT_EQ(p.index[2].flags, 0x10u);
}

TEST(AviFileFailure, NoRoomForTheIndexLeavesAReadableFileWithoutIndex) {
    TempFolder dir;
    const std::string path = dir.file("noindex.avi");
    CAviFile file;
    FileSizeLimit limit(224 + 8 + 100 + 10);  // the frame fits, idx1 and its entry do not
    ASSERT_EQ(file.Open(path.c_str(), 1, 0), 1);
    const Bytes d = data_of(100, 1);
    ASSERT_EQ(file.WriteFrame(d.data(), d.size(), 0, 1), 1);
    EXPECT_EQ(file.Close(), 0);
    const Bytes f = read_file(path);
    ASSERT_EQ(f.size(), 224u + 8 + 100);  // the broken-off index is cut away
    EXPECT_EQ(le32(f, 4), f.size() - 8);
    EXPECT_EQ(le32(f, 216), 4u + 108);
    EXPECT_EQ(le32(f, 48), 1u);
    EXPECT_EQ(le32(f, 44), 0x900u);  // says there is no index
}

TEST(AviFileFailure, NativeRecordThatDoesNotFitIsLeftOutWhole) {
    TempFolder dir;
    const std::string path = dir.file("full.zyn");
    CAviFile file;
    const Bytes r1 = frame_record(7, 0, data_of(200, 1));
    const Bytes r2 = frame_record(1, 1, data_of(200, 2));
    const Bytes r3 = frame_record(1, 2, data_of(50, 3));
    {
        FileSizeLimit limit(512 + r1.size() + 100);
        ASSERT_EQ(file.Open(path.c_str(), 0, 0), 1);
        ASSERT_EQ(file.WriteFrame(r1.data(), r1.size(), 0, 1), 1);
        EXPECT_EQ(file.WriteFrame(r2.data(), r2.size(), 0, 0), 0);
        limit.lift();
        ASSERT_EQ(file.WriteFrame(r3.data(), r3.size(), 0, 0), 1);
    }
    ASSERT_EQ(file.Close(), 1);
    Bytes f = read_file(path);
    ASSERT_EQ(f.size(), 512 + r1.size() + r3.size());
    EXPECT_EQ(Bytes(f.begin() + 512, f.begin() + 512 + r1.size()), r1);
    EXPECT_EQ(Bytes(f.begin() + 512 + r1.size(), f.end()), r3);
}

TEST(AviFileFailure, NoRoomForTheHeaderFailsTheOpen) {
    TempFolder dir;
    CAviFile file;
    FileSizeLimit limit(100);
    EXPECT_EQ(file.Open(dir.file("h.avi").c_str(), 1, 0), 0);
    EXPECT_EQ(file.Open(dir.file("h.zyn").c_str(), 0, 0), 0);
    EXPECT_EQ(file.is_recording(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("h.avi")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("h.zyn")));
}

TEST(AviFileFailure, AviStopsTakingFramesBeforeItsSizesWouldOverflow) {
    TempFolder dir;
    const std::string path = dir.file("limit.avi");
    CAviFile file;
    ASSERT_EQ(file.Open(path.c_str(), 1, 0), 1);
    const uint64_t limit = 224 + 3 * (8 + 100) + 8 + 3 * 16;  // exactly three frames
    file.set_avi_max_file_bytes(limit);
    const Bytes d = data_of(100, 1);
    int accepted = 0;
    for (int i = 0; i < 5; ++i) accepted += file.WriteFrame(d.data(), d.size(), 0, 1);
    EXPECT_EQ(accepted, 3);
    ASSERT_EQ(file.Close(), 1);
    const Bytes f = read_file(path);
    EXPECT_EQ(f.size(), limit);
    const ParsedAvi p = parse_avi(f);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.index.size(), 3u);
}

// ---- Threads ----------------------------------------------------------------

TEST(AviFileThreads, CloseWhileTheLivePathWritesGivesACompleteFile) {
    TempFolder dir;
    for (int round = 0; round < 20; ++round) {
        const std::string path = dir.file("race" + std::to_string(round) + ".avi");
        CAviFile file;
        ASSERT_EQ(file.Open(path.c_str(), 1, 0), 1);
        std::atomic<int> written{0};
        std::atomic<bool> started{false};
        std::thread live([&] {
            const Bytes d = data_of(333, 7);
            for (int i = 0; i < 100000; ++i) {
                if (!file.is_recording()) break;
                written += file.WriteFrame(d.data(), d.size(), 0, i % 10 == 0);
                started = true;
            }
        });
        while (!started) std::this_thread::yield();
        file.Close();
        live.join();
        const ParsedAvi p = parse_avi(read_file(path));
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(p.index.size(), static_cast<std::size_t>(written.load()));
    }
}

}  // namespace
