// Decode-and-draw of a 1080p25 H.264 stream through CPlayVideo, against
// `ffmpeg -f null` decoding the same stream in the same run.
//
//   renderkit_bench [frames] [preset] [kbps]     (defaults 250 veryfast 6000)
//
// Prints the CPU time per frame of both, their ratio (target: at most 1.3),
// and what happens when the feeder is faster than real time: frames dropped,
// and a check that no group of pictures is decoded with a hole in it. With
// DISPLAY set, pictures are drawn into a 1280x720 window (scaled); without,
// they are decoded and converted for the drawing callback only.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "renderkit/play_video.h"
#include "tests/support/h264_test_stream.h"

#include <X11/Xlib.h>

namespace {

double CpuSeconds(const rusage& r) {
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double SelfCpu() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return CpuSeconds(r);
}

// Runs ffmpeg on the file and returns the child's CPU seconds (-1 on failure).
double FfmpegCpu(const std::string& path) {
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        execlp("ffmpeg", "ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-f", "h264", "-i",
               path.c_str(), "-f", "null", "-", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage r{};
    if (wait4(pid, &status, 0, &r) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return CpuSeconds(r);
}

// Without a window, a drawing callback makes the player convert every
// picture to BGRA, so the benchmark still measures more than decoding.
void ZYNVS_CALL NoOverlay(ZYNVS_HDC, ZYNVS_SIZE*, int, void*) {}

struct Numbers {
    std::mutex mutex;
    std::vector<uint32_t> decoded;
    static void ZYNVS_CALL OnDecoded(const void* frame, uint16_t, int, void* user) {
        auto* self = static_cast<Numbers*>(user);
        std::lock_guard lock(self->mutex);
        self->decoded.push_back(static_cast<const ZynDecodedPicture*>(frame)->frame_number);
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 250;
    const std::string preset = argc > 2 ? argv[2] : "veryfast";
    const int kbps = argc > 3 ? std::atoi(argv[3]) : 6000;
    const int gop = 50;

    zyn_test::H264StreamOptions o;
    o.width = 1920;
    o.height = 1080;
    o.frames = frames;
    o.gop = gop;
    o.noise = true;
    o.bitrate_kbps = kbps;
    o.preset = preset;
    std::printf("encoding %d frames of 1920x1080 (%s, %d kbit/s)...\n", frames, preset.c_str(), kbps);
    const auto stream = zyn_test::MakeH264Stream(o);
    size_t bytes = 0;
    for (const auto& f : stream) bytes += f.data.size();
    char path[] = "/tmp/renderkit_bench_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return 1;
    close(fd);
    zyn_test::WriteAnnexB(path, stream);
    std::printf("stream: %zu frames, %.1f MB\n", stream.size(), bytes / 1e6);

    // Baseline: ffmpeg decoding to the null muxer.
    const double ffmpeg_cpu = FfmpegCpu(path);
    std::remove(path);
    if (ffmpeg_cpu < 0) {
        std::printf("ffmpeg failed\n");
        return 1;
    }

    // Ours: decode and draw everything (queue large enough to drop nothing).
    Display* display = nullptr;
    Window window = 0;
    if (const char* name = std::getenv("DISPLAY"); name != nullptr && *name != '\0') {
        display = XOpenDisplay(name);
    }
    if (display != nullptr) {
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1280, 720, 0, 0, 0);
        XMapWindow(display, window);
        XSync(display, 0);
    }
    double ours_cpu = 0;
    RenderVideoStats full{};
    {
        CPlayVideo video;
        video.SetQueueLimits(frames + 16, 0, 0);
        if (window != 0) video.SetWnd(window, 1);
        else video.RegisterCallback(&NoOverlay, nullptr);
        video.StartVideo(1920, 1080, 1);
        const double before = SelfCpu();
        for (const auto& f : stream) {
            video.SendOneFrame1(f.data.data(), static_cast<int>(f.data.size()), static_cast<uint32_t>(f.index));
        }
        video.WaitIdle(600000);
        ours_cpu = SelfCpu() - before;
        video.GetStats(&full);
        video.StopVideo();
    }
    const double per_ffmpeg = ffmpeg_cpu * 1000 / stream.size();
    const double per_ours = ours_cpu * 1000 / stream.size();
    std::printf("ffmpeg -f null decode:      %.2f ms CPU per frame\n", per_ffmpeg);
    std::printf("CPlayVideo decode+%s: %.2f ms CPU per frame (decoded %llu, drawn %llu)\n",
                window != 0 ? "draw   " : "convert", per_ours,
                static_cast<unsigned long long>(full.frames_decoded),
                static_cast<unsigned long long>(full.frames_drawn));
    std::printf("ratio: %.2f (target <= 1.30)\n", per_ours / per_ffmpeg);

    // Faster than real time with the default queue: count the drops and
    // check that every group is decoded from its key frame without holes.
    Numbers numbers;
    RenderVideoStats burst{};
    {
        CPlayVideo video;
        video.RegisterDecCallback(&Numbers::OnDecoded, 0, &numbers);
        if (window != 0) video.SetWnd(window, 1);
        video.StartVideo(1920, 1080, 1);
        const auto start = std::chrono::steady_clock::now();
        for (size_t i = 0; i < stream.size(); ++i) {
            // Four times real time.
            std::this_thread::sleep_until(start + std::chrono::microseconds(10000 * i));
            const auto& f = stream[i];
            video.SendOneFrame1(f.data.data(), static_cast<int>(f.data.size()), static_cast<uint32_t>(f.index));
        }
        video.WaitIdle(600000);
        video.GetStats(&burst);
        video.StopVideo();
    }
    bool holes = false;
    {
        std::lock_guard lock(numbers.mutex);
        std::vector<bool> seen(stream.size(), false);
        for (uint32_t n : numbers.decoded) {
            if (n < seen.size()) seen[n] = true;
        }
        for (size_t g = 0; g < seen.size(); g += gop) {
            bool gap = false;
            for (size_t i = g; i < g + gop && i < seen.size(); ++i) {
                if (!seen[i]) gap = true;
                else if (gap) holes = true;  // decoded after a missing frame of its group
            }
        }
    }
    std::printf("fed at 4x real time: received %llu, decoded %llu, dropped %llu, skipped %llu; "
                "sum %s; groups with holes: %s\n",
                static_cast<unsigned long long>(burst.frames_received),
                static_cast<unsigned long long>(burst.frames_decoded),
                static_cast<unsigned long long>(burst.frames_dropped),
                static_cast<unsigned long long>(burst.frames_skipped),
                burst.frames_decoded + burst.frames_dropped + burst.frames_skipped == burst.frames_received
                    ? "adds up"
                    : "DOES NOT ADD UP",
                holes ? "YES" : "none");
    if (display != nullptr) XCloseDisplay(display);
    return holes ? 2 : 0;
}
