// CPlayVideo without a window: decoding, callbacks, snapshots, overload and
// bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "renderkit/ffmpeg_util.h"
#include "renderkit/play_video.h"
#include "tests/renderkit/test_util.h"

namespace {

using zyn_test::H264Frame;
using zyn_test::Rgb;

constexpr int kWait = 20000;
// Tests feed whole streams at once; a queue that holds them avoids drops.
constexpr int kBurst = 1000;

struct Picture {
    uint32_t number;
    int width, height;
    int bar;  // bar code read from the luma plane
    bool quadrants_ok;
    uint16_t size_arg;
    int channel;
};

// Checks the luma of the quadrant centres against the pattern.
bool LumaMatches(const ZynDecodedPicture* p) {
    for (int q = 0; q < 4; ++q) {
        int x, y;
        zyn_test::QuadrantCentre(q, p->width, p->height, &x, &y);
        const Rgb c = zyn_test::PatternColour(x, y, p->width, p->height, 0);
        const double expected = 16 + (65.481 * c.r + 128.553 * c.g + 24.966 * c.b) / 255.0;
        const int got = p->planes[0][static_cast<ptrdiff_t>(y) * p->strides[0] + x];
        if (std::abs(got - expected) > 6) return false;
    }
    return true;
}

struct Recorder {
    std::mutex mutex;
    std::vector<Picture> pictures;
    // Optional gate: the callback waits while `hold` is set.
    std::condition_variable cv;
    bool hold = false;

    static void ZYNVS_CALL OnDecoded(const void* frame, uint16_t size, int channel, void* user) {
        auto* self = static_cast<Recorder*>(user);
        const auto* p = static_cast<const ZynDecodedPicture*>(frame);
        Picture pic{p->frame_number, p->width, p->height,
                    zyn_test::ReadBarCode(p->planes[0], p->strides[0], p->width, p->height),
                    LumaMatches(p), size, channel};
        std::unique_lock lock(self->mutex);
        self->pictures.push_back(pic);
        self->cv.wait(lock, [&] { return !self->hold; });
    }
    size_t count() {
        std::lock_guard lock(mutex);
        return pictures.size();
    }
    std::vector<uint32_t> numbers() {
        std::lock_guard lock(mutex);
        std::vector<uint32_t> out;
        for (const auto& p : pictures) out.push_back(p.number);
        return out;
    }
    void Release() {
        {
            std::lock_guard lock(mutex);
            hold = false;
        }
        cv.notify_all();
    }
};

void Feed(CPlayVideo& video, const std::vector<H264Frame>& frames, size_t from, size_t to) {
    for (size_t i = from; i < to && i < frames.size(); ++i) {
        video.SendOneFrame1(frames[i].data.data(), static_cast<int>(frames[i].data.size()),
                            static_cast<uint32_t>(frames[i].index));
    }
}

std::vector<uint32_t> Range(uint32_t from, uint32_t to) {
    std::vector<uint32_t> v;
    for (uint32_t i = from; i < to; ++i) v.push_back(i);
    return v;
}

RenderVideoStats Stats(CPlayVideo& video) {
    RenderVideoStats s{};
    video.GetStats(&s);
    return s;
}

TEST(PlayVideo, DecodesEveryFrameWithItsNumberSizeAndContent) {
    const auto& stream = rk_test::Stream320x240();
    ASSERT_EQ(stream.size(), 75u);
    CPlayVideo video;
    video.SetQueueLimits(kBurst, 0, 0);
    Recorder rec;
    video.RegisterDecCallback(&Recorder::OnDecoded, 3, &rec);
    ASSERT_EQ(video.StartVideo(0, 0, 1), 1);  // no window: decode only
    Feed(video, stream, 0, 50);
    ASSERT_EQ(video.WaitIdle(kWait), 1);
    ASSERT_EQ(rec.count(), 50u);
    for (size_t i = 0; i < 50; ++i) {
        const Picture& p = rec.pictures[i];
        EXPECT_EQ(p.number, i);
        EXPECT_EQ(p.width, 320);
        EXPECT_EQ(p.height, 240);
        EXPECT_EQ(p.bar, static_cast<int>(i)) << "picture " << i;
        EXPECT_TRUE(p.quadrants_ok) << "picture " << i;
        EXPECT_EQ(p.size_arg, sizeof(ZynDecodedPicture));
        EXPECT_EQ(p.channel, 3);
    }
    const auto s = Stats(video);
    EXPECT_EQ(s.frames_received, 50u);
    EXPECT_EQ(s.frames_decoded, 50u);
    EXPECT_EQ(s.frames_dropped, 0u);
    EXPECT_EQ(s.frames_skipped, 0u);
    EXPECT_EQ(s.frames_drawn, 0u);
    EXPECT_EQ(s.width, 320);
    EXPECT_EQ(s.height, 240);
    EXPECT_EQ(video.StopVideo(), 1);
}

void ExpectPattern(const rk_test::Image& image, int index, int tolerance, const std::string& what) {
    ASSERT_EQ(image.width, 320) << what;
    ASSERT_EQ(image.height, 240) << what;
    for (int q = 0; q < 4; ++q) {
        int x, y;
        zyn_test::QuadrantCentre(q, 320, 240, &x, &y);
        const Rgb want = zyn_test::PatternColour(x, y, 320, 240, index);
        const Rgb got = image.At(x, y);
        EXPECT_TRUE(zyn_test::Near(got, want, tolerance))
            << what << " quadrant " << q << ": got " << int(got.r) << "," << int(got.g) << ","
            << int(got.b) << " want " << int(want.r) << "," << int(want.g) << "," << int(want.b);
    }
    for (int bit = 0; bit < 8; ++bit) {
        int x, y;
        zyn_test::BarCellCentre(bit, 320, 240, &x, &y);
        const bool on = image.At(x, y).g > 128;
        EXPECT_EQ(on, ((index >> bit) & 1) != 0) << what << " bit " << bit;
    }
}

TEST(PlayVideo, CaptureBitmapWritesBmpPngAndJpegOfTheLastPicture) {
    const auto& stream = rk_test::Stream320x240();
    CPlayVideo video;
    video.SetQueueLimits(kBurst, 0, 0);
    EXPECT_EQ(video.CaptureBitmap(rk_test::ArtifactPath("none.bmp").c_str()), 0);  // no picture yet
    ASSERT_EQ(video.StartVideo(352, 288, 1), 1);
    Feed(video, stream, 0, 38);
    ASSERT_EQ(video.WaitIdle(kWait), 1);
    const std::string bmp = rk_test::ArtifactPath("capture_last_picture.bmp");
    const std::string png = rk_test::ArtifactPath("capture_last_picture.png");
    const std::string jpg = rk_test::ArtifactPath("capture_last_picture.JPG");
    ASSERT_EQ(video.CaptureBitmap(bmp.c_str()), 1);
    ASSERT_EQ(video.CaptureBitmap(png.c_str()), 1);
    ASSERT_EQ(video.CaptureBitmap(jpg.c_str()), 1);
    const auto bmp_bytes = rk_test::ReadFile(bmp);
    ASSERT_EQ(bmp_bytes.size(), 54u + 320u * 3u * 240u);
    EXPECT_EQ(bmp_bytes[28], 24);  // bits per pixel
    ExpectPattern(rk_test::ReadBmp(bmp), 37, 12, "bmp");
    ExpectPattern(rk_test::ReadImageWithFfmpeg(png), 37, 12, "png");
    ExpectPattern(rk_test::ReadImageWithFfmpeg(jpg), 37, 20, "jpeg");
    EXPECT_EQ(video.CaptureBitmap(nullptr), 0);
    EXPECT_EQ(video.CaptureBitmap(""), 0);
    EXPECT_EQ(video.CaptureBitmap("/nonexistent-dir/x.bmp"), 0);
    // The last picture survives StopVideo.
    video.StopVideo();
    EXPECT_EQ(video.CaptureBitmap(bmp.c_str()), 1);
}

struct SurfaceRecorder {
    std::atomic<int> calls{0};
    std::atomic<int> bad{0};
    std::atomic<int> channel{-1};
    static void ZYNVS_CALL OnDraw(ZYNVS_HDC dc, ZYNVS_SIZE* size, int channel, void* user) {
        auto* self = static_cast<SurfaceRecorder*>(user);
        self->channel = channel;
        bool ok = dc != nullptr && size != nullptr && dc->width == 320 && dc->height == 240 &&
                  dc->stride >= 320 * 4 && dc->format == 0 && size->cx == 320 && size->cy == 240;
        if (ok) {
            for (int q = 0; q < 4 && ok; ++q) {
                int x, y;
                zyn_test::QuadrantCentre(q, 320, 240, &x, &y);
                const uint8_t* px = dc->pixels + static_cast<ptrdiff_t>(y) * dc->stride + x * 4;
                const Rgb want = zyn_test::PatternColour(x, y, 320, 240, 0);
                ok = zyn_test::Near(Rgb{px[2], px[1], px[0]}, want, 12) && px[3] == 255;
            }
        }
        if (!ok) ++self->bad;
        ++self->calls;
    }
};

TEST(PlayVideo, DrawCallbackSeesEveryPictureAsBgraSurfaceWithoutWindow) {
    const auto& stream = rk_test::Stream320x240();
    CPlayVideo video;
    video.SetQueueLimits(kBurst, 0, 0);
    SurfaceRecorder rec;
    video.SetPlayChannel(7);
    video.RegisterCallback(&SurfaceRecorder::OnDraw, &rec);
    ASSERT_EQ(video.StartVideo(0, 0, 1), 1);
    Feed(video, stream, 0, 30);
    ASSERT_EQ(video.WaitIdle(kWait), 1);
    EXPECT_EQ(rec.calls.load(), 30);
    EXPECT_EQ(rec.bad.load(), 0);
    EXPECT_EQ(rec.channel.load(), 7);
    // After unregistering, no further calls.
    video.RegisterCallback(nullptr, nullptr);
    Feed(video, stream, 30, 40);
    ASSERT_EQ(video.WaitIdle(kWait), 1);
    EXPECT_EQ(rec.calls.load(), 30);
    EXPECT_EQ(Stats(video).frames_decoded, 40u);
}

TEST(PlayVideo, FramesBeforeTheFirstKeyFrameAreSkipped) {
    const auto& stream = rk_test::Stream320x240();
    CPlayVideo video;
    video.SetQueueLimits(kBurst, 0, 0);
    Recorder rec;
    video.RegisterDecCallback(&Recorder::OnDecoded, 0, &rec);
    ASSERT_EQ(video.StartVideo(0, 0, 1), 1);
    Feed(video, stream, 10, 50);  // joins mid-GOP
    ASSERT_EQ(video.WaitIdle(kWait), 1);
    EXPECT_EQ(rec.numbers(), Range(25, 50));
    EXPECT_EQ(Stats(video).frames_skipped, 15u);
}

TEST(PlayVideo, QueueFullDropsWholeGroupsAndCountsThem) {
    const auto& stream = rk_test::Stream320x240();
    CPlayVideo video;
    video.SetQueueLimits(4, 0, 0);
    Recorder rec;
    rec.hold = true;  // the decode thread stalls inside the first callback
    video.RegisterDecCallback(&Recorder::OnDecoded, 0, &rec);
    ASSERT_EQ(video.StartVideo(0, 0, 1), 1);
    Feed(video, stream, 0, 1);
    ASSERT_TRUE(rk_test::WaitUntil([&] { return rec.count() == 1; }, kWait));
    // The feeder goes on at full speed and is never blocked.
    const auto start = std::chrono::steady_clock::now();
    Feed(video, stream, 1, 25);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    rec.Release();
    ASSERT_EQ(video.WaitIdle(kWait), 1);
    for (size_t i = 25; i < 75; ++i) {  // now at the decoder's pace: nothing lost
        Feed(video, stream, i, i + 1);
        ASSERT_EQ(video.WaitIdle(kWait), 1);
    }
    // 1..4 were queued, 5..24 dropped (the rest of that group), 25.. whole.
    std::vector<uint32_t> want = Range(0, 5);
    for (uint32_t i = 25; i < 75; ++i) want.push_back(i);
    EXPECT_EQ(rec.numbers(), want);
    const auto s = Stats(video);
    EXPECT_EQ(s.frames_dropped, 20u);
    EXPECT_EQ(s.frames_received, 75u);
    EXPECT_EQ(s.frames_decoded, 55u);
}

TEST(PlayVideo, OversizedFrameIsDroppedWithItsGroup) {
    const auto& stream = rk_test::Stream320x240();
    CPlayVideo video;
    video.SetQueueLimits(16, 0, 64 * 1024);
    Recorder rec;
    video.RegisterDecCallback(&Recorder::OnDecoded, 0, &rec);
    ASSERT_EQ(video.StartVideo(0, 0, 1), 1);
    Feed(video, stream, 0, 5);
    std::vector<uint8_t> huge(5 * 1024 * 1024, 0x11);
    EXPECT_EQ(video.SendOneFrame1(huge.data(), static_cast<int>(huge.size()), 999), 0);
    Feed(video, stream, 5, 30);
    ASSERT_EQ(video.WaitIdle(kWait), 1);
    std::vector<uint32_t> want = Range(0, 5);
    for (uint32_t i = 25; i < 30; ++i) want.push_back(i);
    EXPECT_EQ(rec.numbers(), want);
    EXPECT_EQ(Stats(video).frames_dropped, 21u);  // the huge one and 5..24
}

TEST(PlayVideo, CorruptAndTruncatedFramesRecoverAtTheNextKeyFrame) {
    auto stream = rk_test::Stream320x240();  // a copy we may damage
    stream[30].data.resize(stream[30].data.size() / 2);                // truncated P frame
    std::mt19937 rng(1234);
    for (size_t i = 40; i < stream[31].data.size(); ++i) stream[31].data[i] = static_cast<uint8_t>(rng());
    CPlayVideo video;
    video.SetQueueLimits(kBurst, 0, 0);
    Recorder rec;
    video.RegisterDecCallback(&Recorder::OnDecoded, 0, &rec);
    ASSERT_EQ(video.StartVideo(0, 0, 1), 1);
    Feed(video, stream, 0, 75);
    ASSERT_EQ(video.WaitIdle(kWait), 1);
    const auto numbers = rec.numbers();
    // Everything before the damage and everything from the next key frame on
    // is shown, with the right content.
    for (uint32_t i = 0; i < 30; ++i) EXPECT_NE(std::find(numbers.begin(), numbers.end(), i), numbers.end()) << i;
    for (uint32_t i = 50; i < 75; ++i) EXPECT_NE(std::find(numbers.begin(), numbers.end(), i), numbers.end()) << i;
    for (const auto& p : rec.pictures) {
        if (p.number >= 50 || p.number < 30) {
            EXPECT_EQ(p.bar, static_cast<int>(p.number));
            EXPECT_TRUE(p.quadrants_ok) << p.number;
        }
    }
    // Pictures between the damage and the next key frame may be concealed
    // ones (the decoder's choice); the snapshot after the key frame is clean.
    const std::string bmp = rk_test::ArtifactPath("after_corruption.bmp");
    ASSERT_EQ(video.CaptureBitmap(bmp.c_str()), 1);
    const auto image = rk_test::ReadBmp(bmp);
    ASSERT_EQ(image.width, 320);
}

TEST(PlayVideo, GarbageNeverCrashesAndACleanStreamDecodesAfterIt) {
    const auto& stream = rk_test::Stream320x240();
    CPlayVideo video;
    video.SetQueueLimits(kBurst, 0, 0);
    Recorder rec;
    video.RegisterDecCallback(&Recorder::OnDecoded, 0, &rec);
    ASSERT_EQ(video.StartVideo(0, 0, 1), 1);
    std::mt19937 rng(42);
    EXPECT_EQ(video.SendOneFrame1(nullptr, 100, 0), 0);
    EXPECT_EQ(video.SendOneFrame1(stream[0].data.data(), 0, 0), 0);
    EXPECT_EQ(video.SendOneFrame1(stream[0].data.data(), -5, 0), 0);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> frame = stream[rng() % stream.size()].data;
        switch (round % 4) {
            case 0:  // flip bytes
                for (int k = 0; k < 20; ++k) frame[rng() % frame.size()] ^= static_cast<uint8_t>(rng());
                break;
            case 1:  // cut anywhere
                frame.resize(rng() % frame.size() + 1);
                break;
            case 2:  // pure noise behind a key-frame NAL header
                for (size_t i = 5; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(rng());
                frame[0] = 0, frame[1] = 0, frame[2] = 0, frame[3] = 1, frame[4] = 0x67;
                break;
            default:  // tiny frames
                frame.resize(rng() % 6 + 1);
                break;
        }
        video.SendOneFrame1(frame.data(), static_cast<int>(frame.size()), 1000 + round);
        if (round % 16 == 0) video.WaitIdle(kWait);
    }
    ASSERT_EQ(video.WaitIdle(kWait), 1);
    const size_t before = rec.count();
    Feed(video, stream, 0, 50);
    ASSERT_EQ(video.WaitIdle(kWait), 1);
    std::vector<uint32_t> tail;
    {
        std::lock_guard lock(rec.mutex);
        for (size_t i = before; i < rec.pictures.size(); ++i) {
            if (rec.pictures[i].number < 1000) tail.push_back(rec.pictures[i].number);
        }
    }
    // The clean stream is decoded from its first key frame (maybe its second,
    // if the decoder needed the first one to recover).
    ASSERT_FALSE(tail.empty());
    EXPECT_TRUE(tail.front() == 0 || tail.front() == 25) << tail.front();
    EXPECT_EQ(tail.back(), 49u);
}

TEST(PlayVideo, ResolutionChangeMidStream) {
    const auto& small = rk_test::Stream320x240();
    zyn_test::H264StreamOptions o;
    o.width = 640;
    o.height = 480;
    o.frames = 20;
    o.gop = 10;
    o.first_index = 100;
    const auto big = zyn_test::MakeH264Stream(o);
    CPlayVideo video;
    video.SetQueueLimits(kBurst, 0, 0);
    Recorder rec;
    video.RegisterDecCallback(&Recorder::OnDecoded, 0, &rec);
    ASSERT_EQ(video.StartVideo(320, 240, 1), 1);
    Feed(video, small, 0, 30);
    Feed(video, big, 0, 20);
    Feed(video, small, 50, 60);
    ASSERT_EQ(video.WaitIdle(kWait), 1);
    ASSERT_EQ(rec.count(), 60u);
    for (size_t i = 0; i < rec.pictures.size(); ++i) {
        const auto& p = rec.pictures[i];
        const bool is_big = i >= 30 && i < 50;
        EXPECT_EQ(p.width, is_big ? 640 : 320) << i;
        EXPECT_EQ(p.bar, static_cast<int>(p.number & 0xFF)) << i;
        EXPECT_TRUE(p.quadrants_ok) << i;
    }
    ZYNVS_RECT r{};
    ASSERT_EQ(video.GetSrcRect(&r), 1);
    EXPECT_EQ(r.right, 320);
    EXPECT_EQ(r.bottom, 240);
}

TEST(PlayVideo, SourceRectangleRules) {
    CPlayVideo video;
    video.SetQueueLimits(kBurst, 0, 0);
    ZYNVS_RECT r{1, 2, 3, 4};
    ASSERT_EQ(video.GetSrcRect(&r), 1);
    EXPECT_EQ(r.right, 0);  // no picture yet, no rectangle
    EXPECT_EQ(video.GetSrcRect(nullptr), 0);
    const ZYNVS_RECT bad[] = {{-1, 0, 10, 10}, {0, 0, 0, 10}, {10, 0, 5, 10}, {0, 10, 10, 10}};
    for (const auto& b : bad) EXPECT_EQ(video.SetSrcRect(&b), 0);
    const ZYNVS_RECT good{16, 8, 100, 60};
    ASSERT_EQ(video.SetSrcRect(&good), 1);
    ASSERT_EQ(video.GetSrcRect(&r), 1);
    EXPECT_EQ(r.left, 16);
    EXPECT_EQ(r.bottom, 60);
    ASSERT_EQ(video.SetSrcRect(nullptr), 1);
    ASSERT_EQ(video.GetSrcRect(&r), 1);
    EXPECT_EQ(r.right, 0);
}

TEST(PlayVideo, LifecycleAndArguments) {
    const auto& stream = rk_test::Stream320x240();
    CPlayVideo video;
    video.SetQueueLimits(kBurst, 0, 0);
    // Not started: frames are refused and not counted.
    EXPECT_EQ(video.SendOneFrame1(stream[0].data.data(), static_cast<int>(stream[0].data.size()), 0), 0);
    EXPECT_EQ(video.StopVideo(), 1);
    EXPECT_EQ(video.SetGuid(nullptr), 0);
    const uint8_t guid[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(video.SetGuid(guid), 1);
    uint8_t back[16] = {};
    video.GetGuid(back);
    EXPECT_EQ(std::memcmp(back, guid, 16), 0);
    EXPECT_EQ(video.SetWnd(0, 0), 1);
    Recorder rec;
    video.RegisterDecCallback(&Recorder::OnDecoded, 0, &rec);
    // Start and stop repeatedly while another thread keeps feeding.
    std::atomic<bool> done{false};
    std::thread feeder([&] {
        size_t i = 0;
        while (!done) {
            const auto& f = stream[i++ % stream.size()];
            video.SendOneFrame(f.data.data(), static_cast<int>(f.data.size()));
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(video.StartVideo(320, 240, 1), 1);
        ASSERT_EQ(video.StartVideo(320, 240, 1), 1);  // again while running
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(video.StopVideo(), 1);
    }
    done = true;
    feeder.join();
    EXPECT_EQ(Stats(video).frames_dropped, 0u);
}

TEST(PlayVideo, DestroyedWithFramesQueuedAndACallbackRunning) {
    const auto& stream = rk_test::Stream320x240();
    Recorder rec;
    {
        CPlayVideo video;
        video.SetQueueLimits(kBurst, 0, 0);
        video.RegisterDecCallback(&Recorder::OnDecoded, 0, &rec);
        ASSERT_EQ(video.StartVideo(0, 0, 1), 1);
        Feed(video, stream, 0, 75);
    }  // the destructor stops the thread and frees the queue (ASan checks leaks)
    SUCCEED();
}

struct ReentrantUser {
    CPlayVideo* video = nullptr;
    std::atomic<int> stop_result{-1};
    std::atomic<int> calls{0};
    static void ZYNVS_CALL OnDecoded(const void*, uint16_t, int, void* user) {
        auto* self = static_cast<ReentrantUser*>(user);
        if (self->calls++ == 0) {
            self->stop_result = self->video->StopVideo();  // refused: own thread
            ZYNVS_RECT r{};
            self->video->GetSrcRect(&r);
            self->video->RegisterDecCallback(&ReentrantUser::OnDecoded, 0, user);  // no deadlock
        }
    }
};

TEST(PlayVideo, CallbacksMayCallBackButNotStop) {
    const auto& stream = rk_test::Stream320x240();
    CPlayVideo video;
    video.SetQueueLimits(kBurst, 0, 0);
    ReentrantUser user;
    user.video = &video;
    video.RegisterDecCallback(&ReentrantUser::OnDecoded, 0, &user);
    ASSERT_EQ(video.StartVideo(0, 0, 1), 1);
    Feed(video, stream, 0, 10);
    ASSERT_EQ(video.WaitIdle(kWait), 1);
    EXPECT_EQ(user.stop_result.load(), 0);
    EXPECT_EQ(user.calls.load(), 10);
}

TEST(PlayVideo, InvalidWindowIdDoesNotStopDecoding) {
    const auto& stream = rk_test::Stream320x240();
    CPlayVideo video;
    video.SetQueueLimits(kBurst, 0, 0);
    Recorder rec;
    video.RegisterDecCallback(&Recorder::OnDecoded, 0, &rec);
    // With a display this is a BadWindow for the server; without one there is
    // nothing to draw on. Either way decoding goes on.
    ASSERT_EQ(video.InitVideoWindow(0x7ffff1, 320, 240, 1), 1);
    Feed(video, stream, 0, 25);
    ASSERT_EQ(video.WaitIdle(kWait), 1);
    EXPECT_EQ(rec.count(), 25u);
    EXPECT_EQ(Stats(video).frames_drawn, 0u);
    EXPECT_EQ(video.ChangeDisplayWnd(0x7ffff2, 0), 1);
    Feed(video, stream, 25, 50);
    ASSERT_EQ(video.WaitIdle(kWait), 1);
    EXPECT_EQ(rec.count(), 50u);
}

}  // namespace
