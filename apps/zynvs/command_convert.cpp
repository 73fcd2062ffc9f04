// zynvs convert: turns a native recording into an AVI file, a raw MPEG-2/MP2
// sequence, a byte-range clip or an MP4/Matroska file (H.264 copied, sound
// kept) through the player's conversion engine, shows
// progress from the bytes read and returns when the job has ended. The target
// is replaced only by a finished job; Ctrl-C leaves it as it was.
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "apps/zynvs/commands.h"
#include "apps/zynvs/console.h"
#include "apps/zynvs/options.h"
#include "apps/zynvs/recording_file.h"
#include "playctrl/convert/convert_job.h"
#include "playctrl/convert/file_converter.h"

namespace zynvs_app {
namespace {

namespace cv = playctrl::convert;

double Mb(uint64_t bytes) {
    return static_cast<double>(bytes) / 1e6;
}

// The container a target's extension names ("" for any other).
std::string ModeOfExtension(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == "mp4" || ext == "mkv" ? ext : "";
}

}  // namespace

int CommandConvert(const std::vector<std::string>& args) {
    std::string source, target, mode_name;
    int from = 0, to = 100;
    OptionParser p("convert", "SRC DST [--mode avi|mpeg|clip|mp4|mkv] [--from P --to P]",
                   "Converts a native recording in the background, showing progress.");
    p.Positional("SRC", &source, "a native recording");
    p.Positional("DST", &target, "the file to write (replaced only when the job succeeds)");
    p.Text(
        "--mode", &mode_name, "MODE",
        "avi: AVI with the H.264 video; mpeg: raw MPEG-2 video (704x576) and MP2\n"
        "                         audio, no container; clip: bytes from --from to --to % of SRC;\n"
        "                         mp4 (sound as AAC) / mkv (sound as G.711): the H.264 copied;\n"
        "                         default: mp4 or mkv from DST's extension");
    p.Int("--from", &from, 0, 100, "clip start, percent of SRC");
    p.Int("--to", &to, 0, 100, "clip end, percent of SRC");
    if (int rc = p.Parse(args); rc >= 0) return rc;
    if (mode_name.empty()) mode_name = ModeOfExtension(target);
    int mode = 0;
    if (mode_name == "avi")
        mode = cv::kModeAvi;
    else if (mode_name == "mpeg")
        mode = cv::kModeTranscode;
    else if (mode_name == "clip")
        mode = cv::kModeClip;
    else if (mode_name == "mp4")
        mode = cv::kModeMp4;
    else if (mode_name == "mkv")
        mode = cv::kModeMatroska;
    else if (mode_name.empty())
        return p.UsageError("--mode is missing (avi, mpeg, clip, mp4 or mkv)");
    else
        return p.UsageError("--mode wants avi, mpeg, clip, mp4 or mkv, not '" + mode_name + "'");
    const bool range = p.Given("--from") || p.Given("--to");
    if (range && mode != cv::kModeClip)
        return p.UsageError("--from and --to belong to --mode clip");
    if (from >= to)
        return p.UsageError("--from " + std::to_string(from) + " must be below --to " +
                            std::to_string(to));
    for (const std::string* path : {&source, &target})
        if (path->size() > cv::kPathChars)
            return p.UsageError("'" + *path + "' is longer than " + std::to_string(cv::kPathChars) +
                                " characters");
    const RecordingFacts facts = InspectRecording(source);
    if (!facts.opened) {
        std::fprintf(stderr, "zynvs convert: cannot read %s: %s\n", source.c_str(),
                     facts.error.c_str());
        return kExitFailed;
    }
    if (!IsRecording(facts)) {
        std::fprintf(stderr, "zynvs convert: %s: not a recording\n", source.c_str());
        return kExitFailed;
    }

    const auto started = std::chrono::steady_clock::now();
    cv::ConverterOptions options = cv::DefaultConverterOptions();
    options.discard_stopped = true;
    options.container_modes = true;
    cv::CFileConverter engine(options);
    engine.Queue(source.c_str(), target.c_str(), mode, from, to);
    engine.Start();
    // On a terminal the progress line rewrites itself; elsewhere one line a second.
    const bool tty = isatty(fileno(stderr));
    int ticks = 0;
    bool stopping = false, shown = false;
    for (;;) {
        const ZynConvertProgress progress = engine.Progress();
        if (progress.jobs_finished >= 1) break;
        if (StopRequested() && !stopping) {
            stopping = true;
            engine.Stop();
            continue;
        }
        if (progress.running && progress.total_bytes > 0 && (tty || ticks % 10 == 0)) {
            const double percent = 100.0 * static_cast<double>(progress.bytes_read) /
                                   static_cast<double>(progress.total_bytes);
            std::fprintf(stderr, "%sconvert: %5.1f %% (%.1f of %.1f MB)%s", tty ? "\r" : "",
                         percent, Mb(progress.bytes_read), Mb(progress.total_bytes),
                         tty ? "" : "\n");
            shown = true;
        }
        ++ticks;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (tty && shown) std::fprintf(stderr, "\n");
    const cv::JobReport report = engine.last_report();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (report.failed) {
        std::fprintf(stderr, "zynvs convert: failed: %s\n", report.error.c_str());
        return kExitFailed;
    }
    if (report.stopped) {
        std::fprintf(stderr, "zynvs convert: stopped at %.1f of %.1f MB; %s left as it was\n",
                     Mb(report.bytes_read), Mb(report.source_bytes), target.c_str());
        return kExitFailed;
    }
    std::printf("convert: %s -> %s (%s): %.1f MB read, ", source.c_str(), target.c_str(),
                mode_name.c_str(), Mb(report.bytes_read));
    if (mode == cv::kModeClip)
        std::printf("%.1f MB copied", Mb(report.clip_bytes));
    else
        std::printf("%llu frames", static_cast<unsigned long long>(report.frames));
    std::printf(" in %.1f s\n", seconds);
    return kExitOk;
}
}  // namespace zynvs_app
