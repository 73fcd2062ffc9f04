// zynvs live: watch, record and snapshot channels of any device.
#include <cstdio>
#include <string>
#include <vector>

#include "apps/zynvs/commands.h"
#include "apps/zynvs/live_run.h"
#include "apps/zynvs/options.h"
#include "apps/zynvs/recording_file.h"

namespace zynvs_app {
namespace {
// FILE for the first channel; FILE with ".chN" before its extension for the
// others (cam.zyn, cam.ch1.zyn, ...).
std::string ChannelRecordPath(const std::string& path, int channel, bool first) {
    if (first) return path;
    const auto slash = path.find_last_of('/');
    auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1))
        dot = path.size();
    return path.substr(0, dot) + ".ch" + std::to_string(channel) + path.substr(dot);
}
}  // namespace

int CommandLive(const std::vector<std::string>& args) {
    LiveOptions opt;
    std::string record;
    bool avi = false, no_audio = false;
    OptionParser p("live",
                   "[--channel C]... [--record FILE [--avi]] [--snapshot FILE] "
                   "[--seconds N] [device options]",
                   "Watches live video and audio of channels of a device, records them and takes\n"
                   "a snapshot; prints every connection loss, reconnect and restored stream.");
    AddDeviceOptions(&p, &opt.device, ChannelUse::kMany);
    p.Text("--record", &record, "FILE",
           "record the first channel to FILE, channel N of the others to FILE.chN.ext");
    p.Flag("--avi", &avi, "record as AVI instead of the native format");
    p.Text("--snapshot", &opt.snapshot_path, "FILE",
           "picture of the first channel at the end (.bmp, .png, .jpg)");
    p.Int("--seconds", &opt.seconds, 1, 86400, "how long to watch (Ctrl-C ends it early)");
    p.Flag("--no-audio", &no_audio, "video only");
    bool windowed = false;
    p.Flag("--window", &windowed,
           "show the channels in a window (keys: s snapshot, m mute, q quit)");
    p.Note(
        "Exit status 1 when something failed or the run ended degraded (a stream lost\n"
        "and not restored, the device not back).");
    if (int rc = p.Parse(args); rc >= 0) return rc;
    opt.audio = !no_audio;
    if (windowed) opt.window = LiveOptions::Window::kYes;
    if (avi && record.empty()) return p.UsageError("--avi needs --record FILE");
    if (!opt.snapshot_path.empty() && !ImagePathSupported(opt.snapshot_path))
        return p.UsageError("--snapshot wants a .bmp, .png or .jpg file, not '" +
                            opt.snapshot_path + "'");
    for (std::size_t i = 0; i < opt.device.channels.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (opt.device.channels[i] == opt.device.channels[j])
                return p.UsageError("--channel " + std::to_string(opt.device.channels[i]) +
                                    " is given twice");
    if (!record.empty()) {
        for (std::size_t i = 0; i < opt.device.channels.size(); ++i) {
            opt.record_paths.push_back(ChannelRecordPath(record, opt.device.channels[i], i == 0));
            opt.record_modes.push_back(avi ? 1 : 0);
        }
    }
    LiveSummary summary;
    const int rc = RunLive(opt, &summary);
    if (rc == kExitUsage) return rc;
    PrintSummary(summary);
    return rc;
}
}  // namespace zynvs_app
