// Stepping back near the end of a large recording (1 GB by default: 4 Mbit/s,
// about 33 minutes). The player finds the previous frame and its key frame
// from the frame starts it has seen, learning the ground before a seek point
// by scanning backwards in growing windows, so the cost does not grow with
// the position in the file. Baseline in the same run: a walk over every
// record header from the start of the file to the end, which is what finding
// the previous frame cost without the index. Warm page cache.
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <zynvs/ZynPlayCtrl.h>

#include "bench/playctrl/bench_util.h"
#include "mediafile/record_reader.h"
#include "playctrl/port_table.h"

using namespace std::chrono;

int main(int argc, char** argv) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 1000;
    const int seconds = static_cast<int>(megabytes * 1e6 * 8 / 4e6);
    const std::string path = pc_bench::TempPath("playctrl_stepback_bench.zyn");
    const auto rec = pc_bench::WriteRecording(path, seconds, 4e6);
    std::printf("recording: %.1f MB, %u frames (%d s at 4 Mbit/s)\n", rec.bytes / 1e6, rec.frames,
                seconds);

    // Baseline: every record header from the start to the end.
    double walk_best = 1e9;
    for (int run = 0; run < 3; ++run) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        mediafile::FileByteSource source(f);
        mediafile::RecordReader reader(source, 0);
        mediafile::MediaRecord r;
        uint32_t frames = 0;
        const auto t0 = steady_clock::now();
        while (reader.ReadHeaderOnly(&r) != mediafile::RecordKind::kEnd) ++frames;
        walk_best = std::min(walk_best, pc_bench::Seconds(t0));
        std::fclose(f);
        if (frames != rec.frames) {
            std::fprintf(stderr, "walk found %u frames of %u\n", frames, rec.frames);
            return 1;
        }
    }

    // Through a port: seek to 99 %, show one frame, step back (ground before
    // the seek point unknown), then step back ten times more (known ground).
    const int port = ZYNVS_PlAY_OpenFile(0, path.c_str());
    auto p = playctrl::PortTable::Instance().Find(port);
    p->set_pacing(false);
    ZYNVS_PlAY_SetPlayPos(port, 99);
    ZYNVS_PlAY_OneByOne(port);
    ZYNVS_PlAY_Play(port, 0);
    auto wait_held = [&](uint64_t handed) {
        while (!(p->frames_handed_on() >= handed && p->held() && p->idle_in_hold())) {
            std::this_thread::sleep_for(microseconds(100));
        }
    };
    wait_held(1);
    auto t0 = steady_clock::now();
    ZYNVS_PlAY_OneByOneBack(port);
    wait_held(2);
    const double first_step = pc_bench::Seconds(t0);
    constexpr int kSteps = 10;
    t0 = steady_clock::now();
    for (int i = 0; i < kSteps; ++i) {
        ZYNVS_PlAY_OneByOneBack(port);
        wait_held(3 + i);
    }
    const double known_step = pc_bench::Seconds(t0) / kSteps;
    ZYNVS_PlAY_Destory(port);
    std::remove(path.c_str());

    std::printf("walk over all record headers:      %8.4f s  (baseline)\n", walk_best);
    std::printf("step back after a seek to 99 %%:    %8.4f s  ratio %.4f\n", first_step,
                first_step / walk_best);
    std::printf("step back over known ground (mean): %8.4f s  ratio %.4f\n", known_step,
                known_step / walk_best);
    return 0;
}
