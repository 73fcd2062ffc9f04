// zynvs convert: turns a native recording into an AVI file, a raw MPEG-2/MP2
// sequence or a byte-range clip through the player's conversion engine, shows
// progress from the bytes read and returns when the job has ended.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "apps/zynvs/commands.h"
#include "playctrl/convert/convert_api.h"
#include "playctrl/convert/convert_job.h"

namespace zynvs_app {
namespace {

namespace cv = playctrl::convert;

int Usage() {
    std::fprintf(stderr,
                 "usage: zynvs convert SRC DST --mode avi|mpeg|clip [--from P --to P]\n"
                 "  avi   AVI file with the recording's H.264 video\n"
                 "  mpeg  raw MPEG-2 video (704x576) and MP2 audio, no container\n"
                 "  clip  bytes from P1 %% to P2 %% of SRC (--from, --to: 0..100)\n");
    return 2;
}

bool ParsePercent(const std::string& text, int* out) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < 0 || v > 100) return false;
    *out = static_cast<int>(v);
    return true;
}

double Mb(uint64_t bytes) { return static_cast<double>(bytes) / 1e6; }

}  // namespace

int CommandConvert(const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    std::string mode_name;
    int from = 0, to = 100;
    bool have_from = false, have_to = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string { return i + 1 < args.size() ? args[++i] : std::string(); };
        if (a == "--mode") {
            mode_name = value();
        } else if (a == "--from") {
            have_from = true;
            if (!ParsePercent(value(), &from)) return Usage();
        } else if (a == "--to") {
            have_to = true;
            if (!ParsePercent(value(), &to)) return Usage();
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            std::fprintf(stderr, "zynvs convert: unknown option '%s'\n", a.c_str());
            return Usage();
        } else {
            paths.push_back(a);
        }
    }
    int mode = 0;
    if (mode_name == "avi") mode = cv::kModeAvi;
    else if (mode_name == "mpeg") mode = cv::kModeTranscode;
    else if (mode_name == "clip") mode = cv::kModeClip;
    if (paths.size() != 2 || mode == 0) return Usage();
    if ((have_from || have_to) && mode != cv::kModeClip) {
        std::fprintf(stderr, "zynvs convert: --from and --to belong to --mode clip\n");
        return 2;
    }
    const std::string& source = paths[0];
    const std::string& target = paths[1];
    for (const std::string* p : {&source, &target}) {
        if (p->size() > cv::kPathChars) {
            std::fprintf(stderr, "zynvs convert: '%s' is longer than %zu characters\n", p->c_str(),
                         cv::kPathChars);
            return 2;
        }
    }
    struct stat st{};
    if (stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "zynvs convert: cannot read '%s'\n", source.c_str());
        return 1;
    }

    const auto started = std::chrono::steady_clock::now();
    if (cv::PlayConvertFile(source.c_str(), target.c_str(), mode, from, to) != cv::kConvertHandle) {
        std::fprintf(stderr, "zynvs convert: the conversion engine could not be started\n");
        return 1;
    }
    // On a terminal the progress line rewrites itself; elsewhere one line a second.
    const bool tty = isatty(fileno(stderr));
    ZynConvertProgress p{};
    int ticks = 0;
    for (;;) {
        if (!cv::PlayGetConvertProgress(cv::kConvertHandle, &p)) break;
        if (p.jobs_finished >= 1) break;
        if (p.running && p.total_bytes > 0 && (tty || ticks % 10 == 0)) {
            const double percent = 100.0 * static_cast<double>(p.bytes_read) /
                                   static_cast<double>(p.total_bytes);
            std::fprintf(stderr, "%sconvert: %5.1f %% (%.1f of %.1f MB)%s", tty ? "\r" : "",
                         percent, Mb(p.bytes_read), Mb(p.total_bytes), tty ? "" : "\n");
        }
        ++ticks;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (tty) std::fprintf(stderr, "\n");
    cv::PlayUnInit();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    struct stat out{};
    if (stat(target.c_str(), &out) != 0) {
        std::fprintf(stderr, "zynvs convert: '%s' was not written\n", target.c_str());
        return 1;
    }
    std::printf("convert: %s -> %s (%s): %.1f MB read, %.1f MB written in %.1f s\n",
                source.c_str(), target.c_str(), mode_name.c_str(), Mb(p.bytes_read),
                Mb(static_cast<uint64_t>(out.st_size)), seconds);
    return 0;
}
}  // namespace zynvs_app
