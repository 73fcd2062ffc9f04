// zynvs demo: an emulated 4-channel device on loopback, watched, recorded
// (channels 0 and 2 in the native format, 1 and 3 as AVI) and snapshotted
// through the SDK, with a summary at the end.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "apps/zynvs/commands.h"
#include "apps/zynvs/live_run.h"
#include "tools/devsim/devsim.h"

namespace zynvs_app {
int CommandDemo(const std::vector<std::string>& args) {
    int seconds = 5;
    std::string out_dir = "zynvs-demo";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--seconds" && i + 1 < args.size()) seconds = std::atoi(args[++i].c_str());
        else if (args[i] == "--out" && i + 1 < args.size()) out_dir = args[++i];
        else {
            std::fprintf(stderr, "zynvs demo: unknown option '%s' (--seconds N, --out DIR)\n",
                         args[i].c_str());
            return 2;
        }
    }
    mkdir(out_dir.c_str(), 0755);

    devsim::Config config;
    devsim::DeviceConfig dev;
    dev.device_id = 1;
    dev.channel_count = 4;
    dev.main = {1280, 720, 25, 2000, 25, 2};
    config.devices.push_back(dev);
    config.event_log = [](const std::string& line) { std::fprintf(stderr, "device: %s\n", line.c_str()); };
    std::fprintf(stderr, "zynvs demo: encoding the emulated device's H.264 test pattern ...\n");
    devsim::Emulator emulator(config);
    std::string error;
    if (!emulator.Start(&error)) {
        std::fprintf(stderr, "zynvs demo: the emulator did not start: %s\n", error.c_str());
        return 1;
    }
    auto& device = emulator.device(0);
    std::fprintf(stderr, "zynvs demo: device on 127.0.0.1 control port %u, stream port %u\n",
                 device.control_port(), device.stream_port());

    LiveOptions opt;
    opt.host = "127.0.0.1";
    opt.port = device.control_port();
    opt.stream_port = device.stream_port();
    opt.channel_count = 4;
    opt.channels = {0, 1, 2, 3};
    for (int ch = 0; ch < 4; ++ch) {
        const bool avi = ch % 2 == 1;
        opt.record_paths.push_back(out_dir + "/channel" + std::to_string(ch) + (avi ? ".avi" : ".zyn"));
        opt.record_modes.push_back(avi ? 1 : 0);
    }
    opt.snapshot_path = out_dir + "/channel0.bmp";
    opt.seconds = seconds;
    LiveSummary summary;
    int rc = RunLive(opt, &summary);
    emulator.Stop();
    PrintSummary(summary);
    return rc;
}
}  // namespace zynvs_app
