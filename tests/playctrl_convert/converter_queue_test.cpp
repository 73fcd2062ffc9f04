// The queue, the worker and the three calls behind the player's exports:
// the 9999 handle, job order, stop and re-creation, failures that must not
// take the worker (or the process) down.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "playctrl/convert/convert_api.h"
#include "playctrl/convert/file_converter.h"
#include "tests/playctrl_convert/convert_test_util.h"

using namespace playctrl::convert;
using namespace convert_test;
using Clock = std::chrono::steady_clock;

namespace {

// Polls `done` until it holds or the deadline passes.
template <typename F>
bool WaitFor(F done, int ms = 20000) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

ZynConvertProgress ApiProgress() {
    ZynConvertProgress p{};
    PlayGetConvertProgress(kConvertHandle, &p);
    return p;
}

Bytes Pattern(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
    return b;
}

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

class ConvertQueue : public testing::Test {
protected:
    void SetUp() override {
        setenv("ZYNVS_CONVERT_POLL_MS", "20", 1);
        PlayUnInit();
    }
    void TearDown() override {
        PlayUnInit();
        CFFEncoder::SetAudioContextAllocationFailsForTesting(false);
    }
    // A mode-4 job that runs for seconds.
    Recording LongRecording() {
        RecordingSpec spec;
        spec.frames = 25;
        spec.gop = 25;
        spec.repeat = 60;  // 1500 frames
        spec.audio = true;
        return WriteRecording(dir_.file("long.zyn"), spec);
    }
    TempFolder dir_;
};

}  // namespace

TEST_F(ConvertQueue, ConvertFileAnswers9999WhetherOrNotTheJobCanBeDone) {
    const std::string out = dir_.file("o");
    EXPECT_EQ(PlayConvertFile(nullptr, out.c_str(), kModeAvi, 0, 0), kConvertHandle);
    EXPECT_EQ(PlayConvertFile(out.c_str(), nullptr, kModeAvi, 0, 0), kConvertHandle);
    EXPECT_EQ(PlayConvertFile("", out.c_str(), kModeClip, 0, 100), kConvertHandle);
    const std::string long_path(200, 'p');
    EXPECT_EQ(PlayConvertFile(long_path.c_str(), out.c_str(), kModeClip, 0, 100), kConvertHandle);
    EXPECT_EQ(PlayConvertFile(dir_.file("none.zyn").c_str(), out.c_str(), kModeAvi, 0, 0),
              kConvertHandle);
    EXPECT_EQ(PlayConvertFile(dir_.file("none.zyn").c_str(), out.c_str(), 42, 0, 0), kConvertHandle);
    // Only the last two were queued; both end without writing anything.
    ASSERT_TRUE(WaitFor([] { return ApiProgress().jobs_finished == 2; }));
    EXPECT_EQ(ApiProgress().jobs_queued, 0u);
    EXPECT_FALSE(Exists(out));
    EXPECT_EQ(PlayUnInit(), 0);
}

TEST_F(ConvertQueue, StopConvertNeedsHandle9999AndAnEngine) {
    EXPECT_EQ(PlayStopConvert(kConvertHandle), 0);  // no engine yet
    EXPECT_EQ(PlayUnInit(), 0);
    ZynConvertProgress p{};
    EXPECT_EQ(PlayGetConvertProgress(kConvertHandle, &p), 0);

    const std::string in = dir_.file("in.bin");
    WriteFile(in, Pattern(5000));
    ASSERT_EQ(PlayConvertFile(in.c_str(), dir_.file("a").c_str(), kModeClip, 0, 100), kConvertHandle);
    ASSERT_TRUE(WaitFor([] { return ApiProgress().jobs_finished == 1; }));
    for (int handle : {0, 1, -1, 9998, 10000}) EXPECT_EQ(PlayStopConvert(handle), 0) << handle;
    EXPECT_EQ(PlayGetConvertProgress(1, &p), 0);
    EXPECT_EQ(PlayGetConvertProgress(kConvertHandle, nullptr), 0);
    // Nothing changed: the idle worker still takes the next job.
    ASSERT_EQ(PlayConvertFile(in.c_str(), dir_.file("b").c_str(), kModeClip, 0, 100), kConvertHandle);
    ASSERT_TRUE(WaitFor([] { return ApiProgress().jobs_finished == 2; }));
    EXPECT_EQ(ReadFile(dir_.file("b")), Pattern(5000));
    EXPECT_EQ(PlayStopConvert(kConvertHandle), 1);
    EXPECT_EQ(PlayStopConvert(kConvertHandle), 1);  // the engine still exists
}

TEST_F(ConvertQueue, JobsRunOneAfterAnotherInTheOrderQueued) {
    // Each job reads what the one before wrote.
    const std::string in = dir_.file("in.bin"), a = dir_.file("a.bin"), b = dir_.file("b.bin"),
                      c = dir_.file("c.bin");
    WriteFile(in, Pattern(300'000));
    ASSERT_EQ(PlayConvertFile(in.c_str(), a.c_str(), kModeClip, 0, 100), kConvertHandle);
    ASSERT_EQ(PlayConvertFile(a.c_str(), b.c_str(), kModeClip, 0, 100), kConvertHandle);
    ASSERT_EQ(PlayConvertFile(b.c_str(), c.c_str(), kModeClip, 50, 100), kConvertHandle);
    ASSERT_TRUE(WaitFor([] { return ApiProgress().jobs_finished == 3; }));
    const Bytes src = Pattern(300'000);
    EXPECT_EQ(ReadFile(c), Bytes(src.begin() + 150'000, src.end()));
}

TEST_F(ConvertQueue, StopEndsALongJobPromptlyDropsTheQueueAndTheEngineStaysStopped) {
    const Recording rec = LongRecording();
    ASSERT_FALSE(rec.path.empty());
    const std::string small = dir_.file("small.bin");
    WriteFile(small, Pattern(1000));
    const std::string long_out = dir_.file("long.mpg"), next_out = dir_.file("next.bin");
    ASSERT_EQ(PlayConvertFile(rec.path.c_str(), long_out.c_str(), kModeTranscode, 0, 0),
              kConvertHandle);
    ASSERT_EQ(PlayConvertFile(small.c_str(), next_out.c_str(), kModeClip, 0, 100), kConvertHandle);
    ASSERT_TRUE(WaitFor([] {
        const ZynConvertProgress p = ApiProgress();
        return p.running == 1 && p.mode == kModeTranscode && p.bytes_read > 512;
    }));
    const auto t0 = Clock::now();
    EXPECT_EQ(PlayStopConvert(kConvertHandle), 1);
    EXPECT_LT(MsSince(t0), 1500);
    ZynConvertProgress p = ApiProgress();
    EXPECT_EQ(p.running, 0);
    EXPECT_EQ(p.jobs_finished, 1u);
    EXPECT_EQ(p.jobs_queued, 0u);
    EXPECT_LT(p.bytes_read, rec.size);  // ended before the end of its source
    EXPECT_TRUE(Exists(long_out));
    EXPECT_FALSE(Exists(next_out));  // the queued job was dropped

    // Queued after the stop: stays in the queue, nobody runs it.
    ASSERT_EQ(PlayConvertFile(small.c_str(), next_out.c_str(), kModeClip, 0, 100), kConvertHandle);
    p = ApiProgress();
    EXPECT_EQ(p.jobs_queued, 1u);
    EXPECT_EQ(p.running, 0);
    EXPECT_EQ(p.jobs_finished, 1u);
    EXPECT_FALSE(Exists(next_out));

    // UnInit destroys the engine; the next call makes a fresh one that works.
    EXPECT_EQ(PlayUnInit(), 0);
    EXPECT_EQ(PlayGetConvertProgress(kConvertHandle, &p), 0);
    ASSERT_EQ(PlayConvertFile(small.c_str(), next_out.c_str(), kModeClip, 0, 100), kConvertHandle);
    ASSERT_TRUE(WaitFor([] { return ApiProgress().jobs_finished == 1; }));
    EXPECT_EQ(ReadFile(next_out), Pattern(1000));
}

TEST_F(ConvertQueue, AStoppedTranscodeStillEndsWithWholePictures) {
    const Recording rec = LongRecording();
    ASSERT_FALSE(rec.path.empty());
    ConverterOptions o;
    o.idle_poll_ms = 20;
    CFileConverter engine(o);
    const std::string out = dir_.file("stopped.mpg");
    ASSERT_TRUE(engine.Queue(rec.path.c_str(), out.c_str(), kModeTranscode, 0, 0));
    engine.Start();
    ASSERT_TRUE(WaitFor([&] { return engine.Progress().bytes_read > rec.size / 10; }));
    engine.Stop();
    EXPECT_FALSE(engine.worker_running());
    const JobReport r = engine.last_report();
    EXPECT_TRUE(r.stopped);
    EXPECT_FALSE(r.failed);
    EXPECT_GT(r.pictures_decoded, 0u);
    EXPECT_LT(r.frames, rec.frames.size());
    if (Which("ffprobe").empty()) GTEST_SKIP() << "ffprobe not installed";
    const RunResult probe =
        RunTool("ffprobe -v quiet -f mpegvideo -count_frames -show_streams '" + out + "'");
    EXPECT_EQ(ProbeValue(probe.output, "nb_read_frames"), std::to_string(r.pictures_decoded));
}

TEST_F(ConvertQueue, StopWakesAnIdleWorkerAtOnce) {
    CFileConverter engine;  // the real 5000 ms idle poll
    engine.Start();
    ASSERT_TRUE(engine.worker_running());
    const auto t0 = Clock::now();
    engine.Stop();
    EXPECT_LT(MsSince(t0), 1000);
    EXPECT_FALSE(engine.worker_running());
    // Queued after the stop: kept, not run.
    ASSERT_TRUE(engine.Queue("a", "b", kModeClip, 0, 100));
    EXPECT_EQ(engine.queued_jobs(), 1u);
}

TEST_F(ConvertQueue, AnIdleWorkerTakesAJobQueuedLater) {
    ConverterOptions o;
    o.idle_poll_ms = 50;
    CFileConverter engine(o);
    engine.Start();
    const std::string in = dir_.file("in.bin"), out = dir_.file("out.bin");
    WriteFile(in, Pattern(777));
    ASSERT_TRUE(engine.Queue(in.c_str(), out.c_str(), kModeClip, 0, 100));
    ASSERT_TRUE(WaitFor([&] { return engine.Progress().jobs_finished == 1; }, 5000));
    EXPECT_EQ(ReadFile(out), Pattern(777));
}

TEST_F(ConvertQueue, AFailedAudioEncoderContextFailsTheJobButNotTheWorker) {
    RecordingSpec spec;
    spec.frames = 10;
    spec.audio = true;
    const Recording rec = WriteRecording(dir_.file("a.zyn"), spec);
    ASSERT_FALSE(rec.path.empty());
    const std::string mpg = dir_.file("a.mpg"), in = dir_.file("in.bin"), clip = dir_.file("c.bin");
    WriteFile(in, Pattern(2000));
    CFFEncoder::SetAudioContextAllocationFailsForTesting(true);
    ConverterOptions o;
    o.idle_poll_ms = 20;
    CFileConverter engine(o);
    ASSERT_TRUE(engine.Queue(rec.path.c_str(), mpg.c_str(), kModeTranscode, 0, 0));
    ASSERT_TRUE(engine.Queue(in.c_str(), clip.c_str(), kModeClip, 0, 100));
    testing::internal::CaptureStderr();
    engine.Start();
    const bool done = WaitFor([&] { return engine.Progress().jobs_finished == 2; });
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(done);
    EXPECT_NE(err.find("Could not allocate audio codec context\n"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(mpg).size(), 0u);  // nothing was converted
    EXPECT_EQ(ReadFile(clip), Pattern(2000));  // the worker went on
    EXPECT_TRUE(engine.worker_running());
}

TEST_F(ConvertQueue, PathsOfUpTo128CharactersAreTakenLongerOnesAreRefused) {
    const std::string in = dir_.file("in.bin");
    WriteFile(in, Pattern(900));
    const std::string base = dir_.path().string() + "/";
    ASSERT_LT(base.size(), 100u);
    const std::string exact = base + std::string(kPathChars - base.size(), 'n');
    ASSERT_EQ(exact.size(), kPathChars);
    ConverterOptions o;
    o.idle_poll_ms = 20;
    CFileConverter engine(o);
    EXPECT_FALSE(engine.Queue(in.c_str(), (exact + "x").c_str(), kModeClip, 0, 100));
    EXPECT_FALSE(engine.Queue(nullptr, exact.c_str(), kModeClip, 0, 100));
    EXPECT_FALSE(engine.Queue(in.c_str(), "", kModeClip, 0, 100));
    EXPECT_EQ(engine.queued_jobs(), 0u);
    ASSERT_TRUE(engine.Queue(in.c_str(), exact.c_str(), kModeClip, 0, 100));
    engine.Start();
    ASSERT_TRUE(WaitFor([&] { return engine.Progress().jobs_finished == 1; }));
    EXPECT_EQ(ReadFile(exact), Pattern(900));
    EXPECT_FALSE(Exists(exact.substr(0, exact.size() - 1)));
}
