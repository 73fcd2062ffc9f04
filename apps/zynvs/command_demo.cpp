// zynvs demo: an emulated 4-channel device on loopback, watched, recorded
// (channels 0 and 2 in the native format, 1 and 3 as AVI) and snapshotted
// through the SDK, with a summary at the end.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "apps/zynvs/commands.h"
#include "apps/zynvs/console.h"
#include "apps/zynvs/live_run.h"
#include "apps/zynvs/options.h"
#include "tools/devsim/devsim.h"

namespace zynvs_app {
int CommandDemo(const std::vector<std::string>& args) {
    int seconds = 5;
    std::string out_dir = "zynvs-demo";
    OptionParser p(
        "demo", "[--seconds N] [--out DIR]",
        "Starts an emulated 4-channel device on loopback, watches every channel through\n"
        "the SDK, records channels 0 and 2 natively and 1 and 3 as AVI, takes a snapshot\n"
        "of channel 0 and prints a summary. With a display it shows the channels in a\n"
        "window (keys: s snapshot, m mute, q quit).");
    p.Int("--seconds", &seconds, 1, 3600, "how long to watch (Ctrl-C ends it early)");
    p.Text("--out", &out_dir, "DIR", "folder for the recordings and the snapshot");
    bool no_window = false;
    p.Flag("--no-window", &no_window, "no window even when a display is available");
    if (int rc = p.Parse(args); rc >= 0) return rc;
    if (mkdir(out_dir.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "zynvs demo: cannot create %s: %s\n", out_dir.c_str(),
                     std::strerror(errno));
        return kExitFailed;
    }

    devsim::Config config;
    devsim::DeviceConfig dev;
    dev.device_id = 1;
    dev.channel_count = 4;
    dev.main = {1280, 720, 25, 2000, 25, 2};
    config.devices.push_back(dev);
    if (Verbose())
        config.event_log = [](const std::string& line) {
            std::fprintf(stderr, "device: %s\n", line.c_str());
        };
    std::fprintf(stderr, "zynvs demo: encoding the emulated device's H.264 test pattern ...\n");
    devsim::Emulator emulator(config);
    std::string error;
    if (!emulator.Start(&error)) {
        std::fprintf(stderr, "zynvs demo: the emulator did not start: %s\n", error.c_str());
        return kExitFailed;
    }
    auto& device = emulator.device(0);
    std::fprintf(stderr, "zynvs demo: device on 127.0.0.1 control port %u, stream port %u\n",
                 device.control_port(), device.stream_port());

    LiveOptions opt;
    opt.device.port = device.control_port();
    opt.device.stream_port = device.stream_port();
    opt.device.channels = {0, 1, 2, 3};
    for (int ch = 0; ch < 4; ++ch) {
        const bool avi = ch % 2 == 1;
        opt.record_paths.push_back(out_dir + "/channel" + std::to_string(ch) +
                                   (avi ? ".avi" : ".zyn"));
        opt.record_modes.push_back(avi ? 1 : 0);
    }
    opt.snapshot_path = out_dir + "/channel0.bmp";
    opt.seconds = seconds;
    opt.window = no_window ? LiveOptions::Window::kNo : LiveOptions::Window::kAuto;
    LiveSummary summary;
    const int rc = RunLive(opt, &summary);
    emulator.Stop();
    PrintSummary(summary);
    return rc;
}
}  // namespace zynvs_app
