#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "apps/zynvs/commands.h"
#include "apps/zynvs/live_run.h"

namespace zynvs_app {
int CommandLive(const std::vector<std::string>& args) {
    LiveOptions opt;
    opt.channels.clear();
    std::string record;
    bool avi = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name) -> std::string {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "zynvs live: %s needs a value\n", name);
                std::exit(2);
            }
            return args[++i];
        };
        if (a == "--host") opt.host = value("--host");
        else if (a == "--port") opt.port = std::atoi(value("--port").c_str());
        else if (a == "--stream-port") opt.stream_port = std::atoi(value("--stream-port").c_str());
        else if (a == "--user") opt.user = value("--user");
        else if (a == "--password") opt.password = value("--password");
        else if (a == "--channel") opt.channels.push_back(std::atoi(value("--channel").c_str()));
        else if (a == "--channels") opt.channel_count = std::atoi(value("--channels").c_str());
        else if (a == "--record") record = value("--record");
        else if (a == "--avi") avi = true;
        else if (a == "--snapshot") opt.snapshot_path = value("--snapshot");
        else if (a == "--seconds") opt.seconds = std::atoi(value("--seconds").c_str());
        else if (a == "--no-audio") opt.audio = false;
        else {
            std::fprintf(stderr, "zynvs live: unknown option '%s'\n", a.c_str());
            return 2;
        }
    }
    if (opt.channels.empty()) opt.channels.push_back(0);
    for (int ch : opt.channels) {
        if (ch < 0 || ch > 3) {
            std::fprintf(stderr, "zynvs live: channel %d is not 0..3\n", ch);
            return 2;
        }
    }
    if (!record.empty()) {
        // One file per channel: FILE for the first, FILE.chN.ext for others.
        for (std::size_t i = 0; i < opt.channels.size(); ++i) {
            std::string path = record;
            if (i > 0) path += ".ch" + std::to_string(opt.channels[i]) + (avi ? ".avi" : ".zyn");
            opt.record_paths.push_back(path);
            opt.record_modes.push_back(avi ? 1 : 0);
        }
    }
    LiveSummary summary;
    int rc = RunLive(opt, &summary);
    PrintSummary(summary);
    return rc;
}
}  // namespace zynvs_app
