// Reading and handing on the frames of a 10-minute 4 Mbit/s recording at the
// highest speed (no pacing), against a plain fread loop over the same file in
// the same run. The file (about 300 MB) is written first and deleted at the end;
// every measurement runs with the file in the page cache (a first fread warms it).
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <zynvs/ZynPlayCtrl.h>

#include "bench/playctrl/bench_util.h"
#include "playctrl/port_table.h"
#include "mediafile/record_reader.h"

using namespace std::chrono;

namespace {
// The whole player path: a file port without a window, the playback thread,
// reassembly and the video object's queue.
double PlayOnce(const std::string& path, uint32_t expected_frames, uint64_t* handed) {
    const int port = ZYNVS_PlAY_OpenFile(0, path.c_str());
    auto p = playctrl::PortTable::Instance().Find(port);
    if (!p) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }
    p->set_pacing(false);
    const auto t0 = steady_clock::now();
    ZYNVS_PlAY_Play(port, 0);
    p->WaitPlaybackEnded(600000);
    const double s = pc_bench::Seconds(t0);
    *handed = p->frames_handed_on();
    ZYNVS_PlAY_Destory(port);
    if (*handed != expected_frames) {
        std::fprintf(stderr, "handed on %llu of %u frames\n",
                     static_cast<unsigned long long>(*handed), expected_frames);
        std::exit(1);
    }
    return s;
}

// The record reader alone (prefix search, header, payload), nothing handed on.
double ReaderOnce(const std::string& path, uint32_t* frames) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::fseek(f, 512, SEEK_SET);
    mediafile::FileByteSource source(f);
    mediafile::RecordReader reader(source, 512);
    mediafile::MediaRecord info;
    *frames = 0;
    const auto t0 = steady_clock::now();
    while (reader.ReadRecord(&info) != mediafile::RecordKind::kEnd) {
        if (info.complete) ++*frames;
    }
    const double s = pc_bench::Seconds(t0);
    std::fclose(f);
    return s;
}
}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    const std::string path = pc_bench::TempPath("playctrl_read_bench.zyn");
    std::printf("writing %d s at 4 Mbit/s to %s ...\n", seconds, path.c_str());
    const auto rec = pc_bench::WriteRecording(path, seconds, 4e6);
    std::printf("recording: %.1f MB, %u frames\n", rec.bytes / 1e6, rec.frames);
    pc_bench::FreadAll(path);  // warm the page cache

    double fread_best = 1e9, reader_best = 1e9, play_best = 1e9;
    for (int run = 0; run < 3; ++run) {
        auto t0 = steady_clock::now();
        const uint64_t n = pc_bench::FreadAll(path);
        fread_best = std::min(fread_best, pc_bench::Seconds(t0));
        if (n != rec.bytes) std::fprintf(stderr, "fread read %llu bytes\n", (unsigned long long)n);
        uint32_t frames = 0;
        reader_best = std::min(reader_best, ReaderOnce(path, &frames));
        if (frames != rec.frames) std::fprintf(stderr, "reader found %u frames\n", frames);
        uint64_t handed = 0;
        play_best = std::min(play_best, PlayOnce(path, rec.frames, &handed));
    }
    std::remove(path.c_str());
    const double mb = rec.bytes / 1e6;
    std::printf("plain fread loop (64 KiB):   %7.3f s  %8.1f MB/s  (baseline)\n", fread_best,
                mb / fread_best);
    std::printf("record reader alone:         %7.3f s  %8.1f MB/s  ratio %.2f\n", reader_best,
                mb / reader_best, reader_best / fread_best);
    std::printf(
        "player, no pacing, headless: %7.3f s  %8.1f MB/s  ratio %.2f  (%.0f frames/s; "
        "the recording plays %d s)\n",
        play_best, mb / play_best, play_best / fread_best, rec.frames / play_best, seconds);
    return 0;
}
