// File playback: first-key-frame rule, end of file, seeking by percent and
// by time, the time index, stepping, pacing with a fake clock, reopening,
// sound and callbacks.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <zynvs/ZynPlayCtrl.h>

#include "tests/playctrl/playctrl_test_util.h"

namespace {

using pc_test::FakeClock;
using pc_test::Frame;
using pc_test::FrameLog;
using pc_test::RecordingBuilder;
using playctrl::CImageDraw;
using playctrl::PortTable;

constexpr ZYNVS_WND kFakeWindow = 0x7fff0002;
constexpr int kWait = 10000;

class FilePlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        PortTable::Instance().Clear();
        setenv("SDL_AUDIODRIVER", "dummy", 0);
    }
    void TearDown() override { PortTable::Instance().Clear(); }

    // Writes the bytes and opens them; with a clock the port paces on it,
    // without one it does not pace at all.
    int Open(const std::vector<uint8_t>& bytes, FrameLog* log,
             std::shared_ptr<FakeClock> clock = nullptr, ZYNVS_WND window = 0,
             const std::string& name = "r.zyn") {
        const std::string path = dir_.Path(name);
        EXPECT_TRUE(pc_test::WriteFile(path, bytes));
        const int p = ZYNVS_PlAY_OpenFile(window, path.c_str());
        EXPECT_GT(p, 0);
        if (p <= 0) return p;
        auto port = pc_test::Port(p);
        if (clock)
            port->set_clock(clock);
        else
            port->set_pacing(false);
        if (log) log->Attach(*port, clock);
        return p;
    }

    bool WaitEnd(int p) { return pc_test::Port(p)->WaitPlaybackEnded(kWait); }

    // Waits until the port's thread holds after `count` frames were handed.
    bool WaitHeldAfter(int p, const FrameLog& log, std::size_t count) {
        auto port = pc_test::Port(p);
        return pc_test::WaitUntil(
            [&] { return log.count() >= count && port->held() && port->idle_in_hold(); }, kWait);
    }

    static std::vector<uint32_t> Numbers(const FrameLog& log) {
        std::vector<uint32_t> v;
        for (const auto& f : log.frames()) v.push_back(f.number);
        return v;
    }

    pc_test::TempDir dir_;
};

// A recording of `n` frames, 40 ms apart, a key frame every `gop`.
std::vector<uint8_t> Frames(uint32_t n, uint32_t gop = 10, std::size_t payload = 200,
                            bool header = true) {
    RecordingBuilder b;
    if (header) b.Header(1000, 1100);
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t ms = i * 40;
        b.Video(Frame(i, i % gop == 0 ? 7 : 8, 1000 + ms / 1000, static_cast<uint16_t>(ms % 1000),
                      pc_test::FillerPayload(payload, static_cast<uint8_t>(i))));
    }
    return std::move(b.bytes());
}

// Exactly 1,000,000 bytes: the header, a first record of 488 bytes (frame
// 0), then 999 records of 1000 bytes, record k (frame k) at offset k * 1000.
// Every frame is a key frame; `start`/`end` go into the header.
std::vector<uint8_t> MillionByteFile(uint32_t start = 1000, uint32_t end = 1100) {
    RecordingBuilder b;
    b.Header(start, end);
    b.Video(Frame(0, 7, start, 0, pc_test::FillerPayload(488 - 30)));
    for (uint32_t k = 1; k < 1000; ++k) {
        const uint32_t ms = k * 40;
        b.Video(Frame(k, 7, start + ms / 1000, static_cast<uint16_t>(ms % 1000),
                      pc_test::FillerPayload(1000 - 30, static_cast<uint8_t>(k))));
    }
    EXPECT_EQ(b.size(), 1000000u);
    return std::move(b.bytes());
}

TEST_F(FilePlaybackTest, PlaysFromTheFirstKeyFrameToTheEndWithOneNotice) {
    pc_test::NoticeRecorder notices;
    RecordingBuilder b;
    b.Header(1000, 1001);
    b.Video(Frame(0, 8)).Video(Frame(1, 8)).Video(Frame(2, 7, 1000, 80, {1, 2, 3}));
    b.Video(Frame(3, 8, 1000, 120, {4})).Video(Frame(4, 7, 1000, 160, {5}));
    FrameLog log;
    const int p = Open(b.bytes(), &log);
    EXPECT_EQ(ZYNVS_PlAY_SetFileEndMsg(p, 0x4321, 0x0400 + 7), 1);
    EXPECT_EQ(ZYNVS_PlAY_GetPlayPos(p), 0);
    ASSERT_EQ(ZYNVS_PlAY_Play(p, 0), 1);
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(Numbers(log), (std::vector<uint32_t>{2, 3, 4}));
    EXPECT_EQ(ZYNVS_PlAY_GetPlayPos(p), 100);
    ASSERT_EQ(notices.count(), 1u);
    const auto n = notices.notices()[0];
    EXPECT_EQ(n.window, 0x4321u);
    EXPECT_EQ(n.message, 0x0407u);
    EXPECT_EQ(n.wparam, p);
    EXPECT_EQ(n.lparam, p);
    EXPECT_FALSE(pc_test::Port(p)->playing());
    EXPECT_TRUE(pc_test::Port(p)->file_open());  // the file stays open at its end
    // Playing a finished port meets the end again at once.
    ASSERT_EQ(ZYNVS_PlAY_Play(p, 0), 1);
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(log.count(), 3u);
    EXPECT_EQ(notices.count(), 2u);
    // Stop on a finished port sends nothing.
    ZYNVS_PlAY_Stop(p);
    EXPECT_EQ(notices.count(), 2u);
}

TEST_F(FilePlaybackTest, NoNoticeWithoutAWindowOrAfterAStop) {
    pc_test::NoticeRecorder notices;
    FrameLog log;
    const int quiet = Open(Frames(5), &log, nullptr, 0, "a.zyn");
    ZYNVS_PlAY_Play(quiet, 0);
    ASSERT_TRUE(WaitEnd(quiet));
    EXPECT_EQ(notices.count(), 0u);  // no file-end window set

    // Real pacing: 100 frames take 4 s; stopping after the first sends no notice.
    FrameLog log2;
    const std::string path = dir_.Path("b.zyn");
    ASSERT_TRUE(pc_test::WriteFile(path, Frames(100)));
    const int p = ZYNVS_PlAY_OpenFile(0, path.c_str());
    log2.Attach(*pc_test::Port(p));
    ZYNVS_PlAY_SetFileEndMsg(p, 99, 1);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(pc_test::WaitUntil([&] { return log2.count() >= 1; }));
    EXPECT_EQ(ZYNVS_PlAY_Stop(p), 1);
    EXPECT_FALSE(pc_test::Port(p)->thread_alive());
    EXPECT_FALSE(pc_test::Port(p)->file_open());
    EXPECT_LT(ZYNVS_PlAY_GetPlayPos(p), 100);
    EXPECT_EQ(notices.count(), 0u);
}

TEST_F(FilePlaybackTest, HeaderlessFilePlaysFromByteZero) {
    FrameLog log;
    const int p = Open(Frames(12, 4, 100, false), &log);
    auto port = pc_test::Port(p);
    EXPECT_EQ(port->picture_width(), 1920);
    EXPECT_EQ(port->picture_height(), 1080);
    EXPECT_EQ(port->start_time(), 0u);
    EXPECT_FALSE(port->index_present());
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(log.count(), 12u);
    EXPECT_EQ(log.frames()[0].number, 0u);
    // No times: SetPlayByTime does nothing.
    EXPECT_EQ(ZYNVS_PlAY_SetPlayByTime(p, 0, 0), 1);
    EXPECT_FALSE(port->held());
}

TEST_F(FilePlaybackTest, HeaderSizeAndAudioMode) {
    RecordingBuilder b;
    b.Header(1000, 1001, 0, 0, 640, 0);  // height 0: no size given
    const int p = Open(b.bytes(), nullptr);
    EXPECT_EQ(pc_test::Port(p)->picture_width(), 1920);
    EXPECT_EQ(pc_test::Port(p)->picture_height(), 1080);
    EXPECT_EQ(pc_test::Port(p)->audio_mode(), 0);  // only an indexed file turns 0 into 1
    RecordingBuilder c;
    c.Header(1000, 1001, 0, 2, 704, 576);
    const int q = Open(c.bytes(), nullptr, nullptr, 0, "c.zyn");
    EXPECT_EQ(pc_test::Port(q)->picture_width(), 704);
    EXPECT_EQ(pc_test::Port(q)->picture_height(), 576);
    EXPECT_EQ(pc_test::Port(q)->audio_mode(), 2);
}

TEST_F(FilePlaybackTest, SeekToHalfOfAMillionByteFile) {
    FrameLog log;
    const int p = Open(MillionByteFile(), &log);
    EXPECT_EQ(pc_test::Port(p)->file_size(), 1000000u);
    // 0 and 100 do nothing.
    EXPECT_EQ(ZYNVS_PlAY_SetPlayPos(p, 0), 1);
    EXPECT_EQ(ZYNVS_PlAY_SetPlayPos(p, 100), 1);
    EXPECT_EQ(ZYNVS_PlAY_SetPlayPos(p, 50), 1);
    ASSERT_EQ(ZYNVS_PlAY_Play(p, 0), 1);
    ASSERT_TRUE(WaitEnd(p));
    const auto frames = log.frames();
    ASSERT_EQ(frames.size(), 500u);
    // Reading continued at offset 500,000: frame 500 is the first handed on.
    EXPECT_EQ(frames[0].number, 500u);
    // Right after the seek bytes consumed was 500,000 - 204,800 = 295,200; the
    // frame's 1000 bytes have been read since.
    EXPECT_EQ(frames[0].bytes_consumed, 295200u + 1000u);
    EXPECT_EQ(static_cast<int>(frames[0].bytes_consumed / 10000), 29);
    EXPECT_EQ(ZYNVS_PlAY_GetPlayPos(p), 100);
}

TEST_F(FilePlaybackTest, SeekWhilePlayingResyncsToAKeyFrame) {
    FrameLog log;
    const int p = Open(Frames(60, 10, 300), &log);
    ZYNVS_PlAY_OneByOne(p);  // hold after the first frame
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitHeldAfter(p, log, 1));
    EXPECT_EQ(log.last_number(), 0u);
    ZYNVS_PlAY_SetPlayPos(p, 50);  // lands inside a P frame record
    ASSERT_TRUE(WaitEnd(p));
    const auto numbers = Numbers(log);
    ASSERT_GE(numbers.size(), 2u);
    EXPECT_EQ(numbers[1] % 10, 0u) << "first frame after the seek is a key frame";
    EXPECT_GE(numbers[1], 29u);
}

TEST_F(FilePlaybackTest, StepBackLandsOnThePreviousFrameAndHolds) {
    FrameLog log;
    const int p = Open(Frames(30, 10), &log);
    auto port = pc_test::Port(p);
    ZYNVS_PlAY_OneByOne(p);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitHeldAfter(p, log, 1));
    for (std::size_t k = 2; k <= 6; ++k) {
        ZYNVS_PlAY_OneByOne(p);
        ASSERT_TRUE(WaitHeldAfter(p, log, k));
    }
    EXPECT_EQ(log.last_number(), 5u);
    ZYNVS_PlAY_OneByOneBack(p);
    ASSERT_TRUE(WaitHeldAfter(p, log, 7));
    EXPECT_EQ(log.last_number(), 4u);
    ZYNVS_PlAY_OneByOneBack(p);
    ASSERT_TRUE(WaitHeldAfter(p, log, 8));
    EXPECT_EQ(log.last_number(), 3u);
    ZYNVS_PlAY_OneByOne(p);
    ASSERT_TRUE(WaitHeldAfter(p, log, 9));
    EXPECT_EQ(log.last_number(), 4u);
    EXPECT_TRUE(port->playing());
    // Held: nothing more comes.
    EXPECT_EQ(log.count(), 9u);
    // Resuming plays on to the end.
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(log.last_number(), 29u);
}

TEST_F(FilePlaybackTest, StepBackFromTheFirstFrameShowsItAgain) {
    FrameLog log;
    const int p = Open(Frames(10, 5), &log);
    ZYNVS_PlAY_OneByOne(p);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitHeldAfter(p, log, 1));
    ZYNVS_PlAY_OneByOneBack(p);
    ASSERT_TRUE(WaitHeldAfter(p, log, 2));
    EXPECT_EQ(Numbers(log), (std::vector<uint32_t>{0, 0}));
}

TEST_F(FilePlaybackTest, StepBackBeforeAnythingWasReadHoldsAndIsNotStuck) {
    FrameLog log;
    const int p = Open(Frames(10, 5), &log);
    auto port = pc_test::Port(p);
    ZYNVS_PlAY_OneByOneBack(p);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(pc_test::WaitUntil([&] { return port->held() && port->idle_in_hold(); }));
    EXPECT_EQ(log.count(), 0u);
    ZYNVS_PlAY_Play(p, 0);  // resumes: the request was dropped
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(log.count(), 10u);
}

TEST_F(FilePlaybackTest, StepBackAfterASeekLandsOnThePreviousFrame) {
    FrameLog log;
    const int p = Open(MillionByteFile(), &log);
    ZYNVS_PlAY_SetPlayPos(p, 50);
    ZYNVS_PlAY_OneByOne(p);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitHeldAfter(p, log, 1));
    EXPECT_EQ(log.last_number(), 500u);
    ZYNVS_PlAY_OneByOneBack(p);
    ASSERT_TRUE(WaitHeldAfter(p, log, 2));
    EXPECT_EQ(log.last_number(), 499u);
}

TEST_F(FilePlaybackTest, PlayByTimeWithoutAnIndexIsProportional) {
    FrameLog log;
    const int p = Open(MillionByteFile(1000, 1100), &log);
    auto port = pc_test::Port(p);
    EXPECT_FALSE(port->index_present());
    EXPECT_EQ(ZYNVS_PlAY_GetPlayTime(p), 1000u);  // nothing consumed yet
    // Before the start or after the end: nothing changes, the result is 1.
    EXPECT_EQ(ZYNVS_PlAY_SetPlayByTime(p, 999, 0), 1);
    EXPECT_EQ(ZYNVS_PlAY_SetPlayByTime(p, 1050, 1), 1);  // high word: far in the future
    EXPECT_EQ(ZYNVS_PlAY_SetPlayByTime(p, 1101, 0), 1);
    EXPECT_FALSE(port->held());
    EXPECT_EQ(ZYNVS_PlAY_SetPlayByTime(p, 1050, 0), 1);
    EXPECT_TRUE(port->held());  // until the thread takes the seek up
    EXPECT_EQ(ZYNVS_PlAY_GetPlayedTime(p), 1000u);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(log.frames()[0].number, 500u);
    EXPECT_EQ(ZYNVS_PlAY_GetPlayTime(p), 1100u);  // 100 % of the span
    EXPECT_EQ(ZYNVS_PlAY_GetPlayedTime(p), 1100u);
}

TEST_F(FilePlaybackTest, PlayByTimeWithAnIndex) {
    // Records, then the index: (1000 -> first record), (1010 -> record 10),
    // (1020 -> record 20). Each record is 30 + 8 + 100 bytes.
    RecordingBuilder b;
    const uint32_t record_bytes = 138;
    b.Header(1000, 1030, 30 * record_bytes, 0);
    for (uint32_t i = 0; i < 30; ++i) {
        pc_test::VideoRecord r = Frame(i, 7, 1000 + i, 0, pc_test::FillerPayload(100));
        r.extension = true;
        r.extension_time = 1000 + i;
        b.Video(r);
    }
    b.IndexEntry(1000, 512).IndexEntry(1010, 512 + 10 * record_bytes);
    b.IndexEntry(1020, 512 + 20 * record_bytes);
    b.Raw({1, 2, 3});  // a trailing part shorter than an entry is ignored
    FrameLog log;
    const int p = Open(b.bytes(), &log);
    auto port = pc_test::Port(p);
    ASSERT_TRUE(port->index_present());
    ASSERT_EQ(port->time_index().size(), 3u);
    EXPECT_EQ(port->time_index()[1].time, 1010u);
    EXPECT_EQ(port->audio_mode(), 1);                    // 0 became 1
    EXPECT_EQ(ZYNVS_PlAY_SetPlayByTime(p, 1010, 0), 1);  // first entry later than 1010: 1020
    EXPECT_TRUE(port->held());
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(log.frames()[0].number, 20u);
    // With an index the play time is the last time extension read.
    EXPECT_EQ(ZYNVS_PlAY_GetPlayTime(p), 1029u);
    // No entry later than t: nothing happens.
    EXPECT_EQ(ZYNVS_PlAY_SetPlayByTime(p, 1025, 0), 1);
    EXPECT_FALSE(port->held());
}

TEST_F(FilePlaybackTest, FilesWrittenBySdkHaveNoIndex) {
    // Index position 0 and a stop time after the start time: every record is
    // played and nothing is taken as index entries.
    RecordingBuilder b;
    b.Header(5000, 5003, 0);
    for (uint32_t i = 0; i < 20; ++i)
        b.Video(Frame(i, i % 5 ? 8 : 7, 5000, 0, pc_test::FillerPayload(64)));
    FrameLog log;
    const int p = Open(b.bytes(), &log);
    auto port = pc_test::Port(p);
    EXPECT_FALSE(port->index_present());
    EXPECT_TRUE(port->time_index().empty());
    EXPECT_EQ(port->end_time(), 5003u);  // the header's stop time
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(log.count(), 20u);
}

TEST_F(FilePlaybackTest, HeaderThatLiesAboutTheIndex) {
    // Beyond the file: no index. Without a stop time the end time is the
    // file's last change.
    RecordingBuilder b;
    b.Header(1000, 0, 0x7FFFFFFF);
    for (uint32_t i = 0; i < 10; ++i) b.Video(Frame(i, 7, 1000, 0, pc_test::FillerPayload(64)));
    FrameLog log;
    const int p = Open(b.bytes(), &log, nullptr, 0, "beyond.zyn");
    EXPECT_FALSE(pc_test::Port(p)->index_present());
    struct stat st {};
    ASSERT_EQ(stat(dir_.Path("beyond.zyn").c_str(), &st), 0);
    EXPECT_EQ(pc_test::Port(p)->end_time(), static_cast<uint32_t>(st.st_mtime));
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(log.count(), 10u);

    // An index "position" of 1: nearly the whole file is taken as entries,
    // yet every record still plays.
    RecordingBuilder c;
    c.Header(1000, 2000, 1);
    for (uint32_t i = 0; i < 10; ++i) c.Video(Frame(i, 7, 1000, 0, pc_test::FillerPayload(64)));
    FrameLog log2;
    const int q = Open(c.bytes(), &log2, nullptr, 0, "one.zyn");
    EXPECT_TRUE(pc_test::Port(q)->index_present());
    EXPECT_EQ(pc_test::Port(q)->time_index().size(), (c.size() - 513) / 16);
    ZYNVS_PlAY_Play(q, 0);
    ASSERT_TRUE(WaitEnd(q));
    EXPECT_EQ(log2.count(), 10u);
}

TEST_F(FilePlaybackTest, TimeExtensionCallbackComesBeforeTheFrame) {
    struct Seen {
        std::vector<std::string> events;
        std::vector<int> ports;
    } seen;
    RecordingBuilder b;
    b.Header(1000, 1010);
    for (uint32_t i = 0; i < 3; ++i) {
        pc_test::VideoRecord r = Frame(i, 7, 1000, 0, {9, 9});
        r.extension = i != 1;
        r.extension_time = 1000 + i;
        b.Video(r);
    }
    const int p = Open(b.bytes(), nullptr);
    pc_test::Port(p)->set_frame_observer([&](const uint8_t*, uint32_t, uint32_t n) {
        seen.events.push_back("frame" + std::to_string(n));
    });
    static Seen* s = &seen;
    s = &seen;
    auto cb = [](int port, void* data, int length, void*) {
        uint32_t t;
        std::memcpy(&t, data, 4);
        s->events.push_back("ext" + std::to_string(t) + "/" + std::to_string(length));
        s->ports.push_back(port);
    };
    ZYNVS_PlAY_SetRealDataCallBack(p, cb, nullptr);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(seen.events,
              (std::vector<std::string>{"ext1000/8", "frame0", "frame1", "ext1002/8", "frame2"}));
    EXPECT_EQ(seen.ports, (std::vector<int>{p, p}));
}

// ---- Pacing -------------------------------------------------------------------------

TEST_F(FilePlaybackTest, FramesFortyMillisecondsApartAreHandedOnFortyApart) {
    auto clock = std::make_shared<FakeClock>();
    FrameLog log;
    const int p = Open(Frames(10), &log, clock);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    // Level 0, hand-on time 0, audio time 1: each frame waits 2d - 40 - A = 39.
    EXPECT_EQ(clock->sleeps(), std::vector<int64_t>(10, 39));
    const auto frames = log.frames();
    for (std::size_t i = 1; i < frames.size(); ++i)
        EXPECT_EQ(frames[i].fake_now - frames[i - 1].fake_now, 39) << i;
}

TEST_F(FilePlaybackTest, SpeedLevelsShortenAndLengthenTheWait) {
    for (const auto& [level, expected] :
         {std::pair{2, 19}, std::pair{-2, 119}, std::pair{5, 0}, std::pair{-5, 239}}) {
        auto clock = std::make_shared<FakeClock>();
        FrameLog log;
        const int p = Open(Frames(8), &log, clock, 0, "s" + std::to_string(level) + ".zyn");
        ZYNVS_PlAY_OneByOne(p);
        ZYNVS_PlAY_Play(p, 0);
        ASSERT_TRUE(WaitHeldAfter(p, log, 1));
        ZYNVS_PlAY_SetSpeed(p, level);
        ZYNVS_PlAY_Pause(p, 0);  // ends the hold, keeps the level
        ASSERT_TRUE(WaitEnd(p));
        auto sleeps = clock->sleeps();
        ASSERT_FALSE(sleeps.empty());
        EXPECT_EQ(sleeps[0], 39);  // the first frame at level 0
        sleeps.erase(sleeps.begin());
        // Level +5 removes 50 ms: no wait at all.
        EXPECT_EQ(sleeps, std::vector<int64_t>(expected ? 7 : 0, expected)) << "level " << level;
        ZYNVS_PlAY_Destory(p);
    }
}

TEST_F(FilePlaybackTest, OddTimeStampsAndGaps) {
    RecordingBuilder b;
    b.Header(1000, 1100);
    b.Video(Frame(0, 7, 1000, 500)).Video(Frame(1, 8, 1000, 500));  // equal
    b.Video(Frame(2, 8, 1000, 300));                                // backwards
    b.Video(Frame(3, 8, 1005, 300));                                // five seconds later
    b.Video(Frame(4, 8, 1005, 370));                                // 70 ms
    auto clock = std::make_shared<FakeClock>();
    const int p = Open(b.bytes(), nullptr, clock);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    // 40, 40, 40, 100 (capped: 160 - A), 70 (2 x 70 - 40 - A).
    EXPECT_EQ(clock->sleeps(), (std::vector<int64_t>{39, 39, 39, 159, 99}));
}

TEST_F(FilePlaybackTest, AudioOnlyFileIsPacedAt39MsPerRecord) {
    RecordingBuilder b;
    b.Header(1000, 1010);
    for (uint32_t i = 0; i < 12; ++i) b.Audio(i, pc_test::FillerPayload(164));
    auto clock = std::make_shared<FakeClock>();
    const int p = Open(b.bytes(), nullptr, clock);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(clock->sleeps(), std::vector<int64_t>(12, 39));

    // With an audio-data callback the records are not paced; the callback
    // gets each payload without its first 4 bytes.
    struct Sink {
        std::vector<int> lengths;
    } sink;
    auto clock2 = std::make_shared<FakeClock>();
    const int q = Open(b.bytes(), nullptr, clock2, 0, "cb.zyn");
    ZYNVS_PlAY_SetRealDataCallBackEx(
        q,
        [](int, void*, int length, void* user) {
            static_cast<Sink*>(user)->lengths.push_back(length);
        },
        &sink);
    ZYNVS_PlAY_Play(q, 0);
    ASSERT_TRUE(WaitEnd(q));
    EXPECT_TRUE(clock2->sleeps().empty());
    EXPECT_EQ(sink.lengths, std::vector<int>(12, 160));
}

TEST_F(FilePlaybackTest, SpeedLevelLimits) {
    const int p = Open(Frames(3), nullptr);
    for (int i = 0; i < 6; ++i) ZYNVS_PlAY_Fast(p);
    EXPECT_EQ(ZYNVS_PlAY_GetSpeed(p), 5);
    for (int i = 0; i < 11; ++i) ZYNVS_PlAY_Slow(p);
    EXPECT_EQ(ZYNVS_PlAY_GetSpeed(p), -5);
    EXPECT_EQ(ZYNVS_PlAY_SetSpeed(p, 42), 1);  // unchecked
    EXPECT_EQ(ZYNVS_PlAY_GetSpeed(p), 42);
    ZYNVS_PlAY_Play(p, 0);  // starting resets the level
    EXPECT_EQ(ZYNVS_PlAY_GetSpeed(p), 0);
}

// ---- Hold, stop, reopen ---------------------------------------------------------------

TEST_F(FilePlaybackTest, PauseTogglesOnlyWhilePlaying) {
    FrameLog log;
    const int p = Open(Frames(20), &log);
    auto port = pc_test::Port(p);
    EXPECT_EQ(ZYNVS_PlAY_Pause(p, 0), 1);
    EXPECT_FALSE(port->held());  // not playing: nothing
    ZYNVS_PlAY_OneByOne(p);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitHeldAfter(p, log, 1));
    ZYNVS_PlAY_SetSpeed(p, 3);
    ZYNVS_PlAY_Pause(p, 0);
    EXPECT_FALSE(port->held());
    EXPECT_EQ(ZYNVS_PlAY_GetSpeed(p), 3);
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(log.count(), 20u);
}

TEST_F(FilePlaybackTest, PlayResumesAHoldAndResetsTheLevel) {
    FrameLog log;
    const int p = Open(Frames(20), &log);
    ZYNVS_PlAY_OneByOne(p);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitHeldAfter(p, log, 1));
    ZYNVS_PlAY_SetSpeed(p, -3);
    ZYNVS_PlAY_Play(p, 0);
    EXPECT_EQ(ZYNVS_PlAY_GetSpeed(p), 0);
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(log.count(), 20u);
}

TEST_F(FilePlaybackTest, ResumeCancelsAStepNotYetTaken) {
    // A step asked for while a frame is on its way, then a resume (what
    // `zynvs play` does after a jump while paused and a resume): playback must
    // not hold again after that frame.
    const int p = Open(Frames(20), nullptr);
    auto port = pc_test::Port(p);
    std::mutex m;
    std::condition_variable cv;
    bool inside = false, release = false;
    port->set_frame_observer([&](const uint8_t*, uint32_t, uint32_t number) {
        if (number != 5) return;
        std::unique_lock lock(m);
        inside = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
    });
    ZYNVS_PlAY_Play(p, 0);
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::milliseconds(kWait), [&] { return inside; }));
    }
    ZYNVS_PlAY_OneByOne(p);
    ZYNVS_PlAY_Play(p, 0);
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(port->frames_handed_on(), 20u);
}

TEST_F(FilePlaybackTest, PlayWithoutAFile) {
    const int s = ZYNVS_PlAY_OpenStream(0, 0, 0, 0);
    const int d = ZYNVS_PlAY_Create(0);
    EXPECT_EQ(ZYNVS_PlAY_Play(s, 0), 0);  // nothing to read: refused
    EXPECT_EQ(ZYNVS_PlAY_Play(d, 0), 0);
    EXPECT_FALSE(pc_test::Port(s)->thread_alive());
}

TEST_F(FilePlaybackTest, PlayAfterStopOpensTheFileAgain) {
    FrameLog log;
    const int p = Open(Frames(15, 5), &log);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(ZYNVS_PlAY_Stop(p), 1);
    EXPECT_FALSE(pc_test::Port(p)->file_open());
    ASSERT_EQ(ZYNVS_PlAY_Play(p, 0), 1);  // by the stored name, from the start
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(log.count(), 30u);
    EXPECT_EQ(log.frames()[15].number, 0u);

    // Another name: the next opening plays that file.
    ASSERT_TRUE(pc_test::WriteFile(dir_.Path("other.zyn"), Frames(4)));
    ZYNVS_PlAY_SetFileName(p, dir_.Path("other.zyn").c_str());
    ZYNVS_PlAY_CloseFile(p);
    ASSERT_EQ(ZYNVS_PlAY_Play(p, 0), 1);
    ASSERT_TRUE(WaitEnd(p));
    EXPECT_EQ(log.count(), 34u);

    // A name that cannot be opened: refused.
    ZYNVS_PlAY_SetFileName(p, dir_.Path("gone.zyn").c_str());
    ZYNVS_PlAY_Stop(p);
    EXPECT_EQ(ZYNVS_PlAY_Play(p, 0), 0);
}

TEST_F(FilePlaybackTest, StopAndDestroyFromInsideACallback) {
    RecordingBuilder b;
    b.Header(1000, 1010);
    for (uint32_t i = 0; i < 50; ++i) {
        pc_test::VideoRecord r = Frame(i, 7, 1000, 0, {1, 2});
        r.extension = true;
        b.Video(r);
    }
    for (bool destroy : {false, true}) {
        FrameLog log;
        const int p = Open(b.bytes(), &log, nullptr, 0, destroy ? "d.zyn" : "s.zyn");
        std::weak_ptr<CImageDraw> weak = pc_test::Port(p);
        static bool s_destroy;
        s_destroy = destroy;
        ZYNVS_PlAY_SetRealDataCallBack(
            p,
            [](int port, void*, int, void*) {
                if (s_destroy)
                    ZYNVS_PlAY_Destory(port);
                else
                    ZYNVS_PlAY_Stop(port);
            },
            nullptr);
        ZYNVS_PlAY_Play(p, 0);
        ASSERT_TRUE(pc_test::WaitUntil([&] {
            auto port = weak.lock();
            return !port || !port->thread_alive();
        }));
        EXPECT_LE(log.count(), 1u);  // the record in hand may still be handed on
        if (destroy) {
            EXPECT_EQ(pc_test::Port(p), nullptr);
            EXPECT_TRUE(pc_test::WaitUntil([&] { return weak.expired(); }));
        } else {
            EXPECT_FALSE(pc_test::Port(p)->file_open());  // the thread closed it
            ZYNVS_PlAY_Destory(p);
        }
    }
}

// ---- Sound ----------------------------------------------------------------------------

TEST_F(FilePlaybackTest, SoundOfAFilePort) {
    RecordingBuilder b;
    b.Header(1000, 1010);
    for (uint32_t i = 0; i < 30; ++i) b.Video(Frame(i, 7, 1000, static_cast<uint16_t>(i * 30)));
    // Headless: playback never starts sound.
    const int headless = Open(b.bytes(), nullptr, nullptr, 0, "h.zyn");
    ZYNVS_PlAY_PlaySound(headless);
    ZYNVS_PlAY_Play(headless, 0);
    ASSERT_TRUE(WaitEnd(headless));
    EXPECT_FALSE(pc_test::Port(headless)->sound_on());

    FrameLog log;
    const int p = Open(b.bytes(), &log, nullptr, kFakeWindow, "w.zyn");
    auto port = pc_test::Port(p);
    EXPECT_EQ(ZYNVS_PlAY_PlaySound(p), 1);
    EXPECT_FALSE(port->sound_on());  // a host request needs stream input first
    ZYNVS_PlAY_OneByOne(p);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitHeldAfter(p, log, 1));
    EXPECT_TRUE(port->sound_on());  // the playback thread started it
    ZYNVS_PlAY_StopSound(p);
    EXPECT_TRUE(port->sound_on());  // playing: unchanged
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    ZYNVS_PlAY_StopSound(p);
    EXPECT_FALSE(port->sound_on());
}

TEST_F(FilePlaybackTest, AudioRecordsReachTheAudioObjectWithoutTheirFirstFourBytes) {
    RecordingBuilder b;
    b.Header(1000, 1010);
    b.Video(Frame(0));
    for (uint32_t i = 0; i < 6; ++i) b.Audio(i, pc_test::FillerPayload(324));
    b.Audio(9, {1, 2, 3});  // too short to carry audio after its 4-byte header
    const int p = Open(b.bytes(), nullptr, nullptr, kFakeWindow);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    RenderAudioStats s{};
    pc_test::Port(p)->audio().GetStats(&s);
    EXPECT_EQ(s.blocks, 6u);
    EXPECT_EQ(s.samples_in, 6u * 320u);
}

// ---- Decoding, snapshots, drawing callback --------------------------------------------

TEST_F(FilePlaybackTest, HeadlessPortDecodesForSnapshots) {
    const auto& frames = pc_test::Stream320x240();
    FrameLog log;
    const int p = Open(pc_test::H264Recording(frames), &log);
    auto port = pc_test::Port(p);
    port->video().SetQueueLimits(200, 0, 0);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    ASSERT_EQ(port->video().WaitIdle(kWait), 1);
    RenderVideoStats s{};
    port->video().GetStats(&s);
    EXPECT_EQ(log.count(), frames.size());
    EXPECT_EQ(s.frames_decoded, frames.size());
    EXPECT_EQ(s.width, 320);
    const std::string path = dir_.Path("shot.bmp");
    ZYNVS_PLAY_CapPic(p, path.c_str(), 1);
    EXPECT_GT(pc_test::ReadFile(path).size(), 320u * 240u * 3u);
}

struct DrawCount {
    std::atomic<int> calls{0};
    std::atomic<int> channel{-1};
    static void ZYNVS_CALL On(ZYNVS_HDC, ZYNVS_SIZE* size, int channel, void* user) {
        auto* self = static_cast<DrawCount*>(user);
        if (size && size->cx == 320) self->calls++;
        self->channel = channel;
    }
};

TEST_F(FilePlaybackTest, DrawingCallbackEndsWithStop) {
    const auto& frames = pc_test::Stream320x240();
    const int p = Open(pc_test::H264Recording(frames), nullptr);
    auto port = pc_test::Port(p);
    port->video().SetQueueLimits(200, 0, 0);
    DrawCount draw;
    EXPECT_EQ(ZYNVS_PlAY_RegisterDrawOSDFuncPtr(p, &DrawCount::On, &draw), 1);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    ASSERT_EQ(port->video().WaitIdle(kWait), 1);
    EXPECT_EQ(draw.calls.load(), static_cast<int>(frames.size()));
    EXPECT_EQ(draw.channel.load(), p);  // the play channel is the port number
    ZYNVS_PlAY_Stop(p);
    ZYNVS_PlAY_Play(p, 0);
    ASSERT_TRUE(WaitEnd(p));
    ASSERT_EQ(port->video().WaitIdle(kWait), 1);
    EXPECT_EQ(draw.calls.load(), static_cast<int>(frames.size()));
}

}  // namespace
