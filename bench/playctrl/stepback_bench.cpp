// The step-back scan: its cost grows with the distance from the start of the
// file. Measured on a 256 MB recording (4 Mbit/s, about 8.5 minutes) for a
// step back from the end, against a plain fread of the same file in the same
// run, and extrapolated to 1 GB. Warm page cache.
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <zynvs/ZynPlayCtrl.h>

#include "bench/playctrl/bench_util.h"
#include "playctrl/port_table.h"
#include "mediafile/record_reader.h"
#include "playctrl/step_back.h"

using namespace std::chrono;

int main(int argc, char** argv) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 256;
    const int seconds = static_cast<int>(megabytes * 1e6 * 8 / 4e6);
    const std::string path = pc_bench::TempPath("playctrl_stepback_bench.zyn");
    const auto rec = pc_bench::WriteRecording(path, seconds, 4e6);
    std::printf("recording: %.1f MB, %u frames (%d s at 4 Mbit/s)\n", rec.bytes / 1e6, rec.frames,
                seconds);
    pc_bench::FreadAll(path);

    double fread_best = 1e9, scan_best = 1e9, scan_mid = 1e9;
    std::vector<uint8_t> buffer(mediafile::kFrameBufferBytes);
    for (int run = 0; run < 3; ++run) {
        auto t0 = steady_clock::now();
        pc_bench::FreadAll(path);
        fread_best = std::min(fread_best, pc_bench::Seconds(t0));
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::setvbuf(f, nullptr, _IOFBF, 64 * 1024);  // as the player opens it
        mediafile::FileByteSource source(f);
        mediafile::RecordReader reader(source, 0, buffer.data());
        t0 = steady_clock::now();
        auto target = playctrl::ScanForPreviousFrame(reader, 512, rec.bytes, rec.frames - 1);
        scan_best = std::min(scan_best, pc_bench::Seconds(t0));
        if (!target.found || target.frame_number != rec.frames - 2) {
            std::fprintf(stderr, "scan landed on %u\n", target.frame_number);
            return 1;
        }
        t0 = steady_clock::now();
        playctrl::ScanForPreviousFrame(reader, 512, rec.bytes / 2, rec.frames / 2);
        scan_mid = std::min(scan_mid, pc_bench::Seconds(t0));
        std::fclose(f);
    }

    // The same from the disk (the file's pages dropped from the cache first).
    pc_bench::DropFromCache(path);
    auto c0 = steady_clock::now();
    pc_bench::FreadAll(path);
    const double fread_cold = pc_bench::Seconds(c0);
    pc_bench::DropFromCache(path);
    double scan_cold;
    {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::setvbuf(f, nullptr, _IOFBF, 64 * 1024);
        mediafile::FileByteSource source(f);
        mediafile::RecordReader reader(source, 0, buffer.data());
        c0 = steady_clock::now();
        playctrl::ScanForPreviousFrame(reader, 512, rec.bytes, rec.frames - 1);
        scan_cold = pc_bench::Seconds(c0);
        std::fclose(f);
    }

    // One step back through a port, from the last frames of the file.
    const int port = ZYNVS_PlAY_OpenFile(0, path.c_str());
    auto p = playctrl::PortTable::Instance().Find(port);
    p->set_pacing(false);
    ZYNVS_PlAY_SetPlayPos(port, 99);
    ZYNVS_PlAY_OneByOne(port);
    ZYNVS_PlAY_Play(port, 0);
    auto wait_held = [&](uint64_t handed) {
        while (!(p->frames_handed_on() >= handed && p->held() && p->idle_in_hold())) {
            std::this_thread::sleep_for(microseconds(200));
        }
    };
    wait_held(1);
    const auto t0 = steady_clock::now();
    ZYNVS_PlAY_OneByOneBack(port);
    wait_held(2);
    const double port_step = pc_bench::Seconds(t0);
    ZYNVS_PlAY_Destory(port);
    std::remove(path.c_str());

    const double scale = 1e9 / rec.bytes;
    std::printf("plain fread of the file:       %7.3f s  (baseline)\n", fread_best);
    std::printf("scan from the end:             %7.3f s  ratio %.2f\n", scan_best,
                scan_best / fread_best);
    std::printf("scan from the middle:          %7.3f s\n", scan_mid);
    std::printf("step back through a port (99%%): %7.3f s\n", port_step);
    std::printf("from disk: fread %.3f s, scan from the end %.3f s (ratio %.2f)\n", fread_cold,
                scan_cold, scan_cold / fread_cold);
    std::printf(
        "extrapolated to 1 GB (linear): scan %.2f s cached, %.2f s from disk; "
        "fread %.2f s cached, %.2f s from disk\n",
        scan_best * scale, scan_cold * scale, fread_best * scale, fread_cold * scale);
    return 0;
}
