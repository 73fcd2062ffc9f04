// zynvs: the command-line face of the suite. `zynvs demo` runs the whole
// live-view road against an emulated device on loopback; the other commands
// do one thing against any device.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "apps/zynvs/commands.h"
#include "apps/zynvs/console.h"
#include "apps/zynvs/options.h"

namespace {
struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>& args);
    bool long_running;  // Ctrl-C and SIGTERM finish the job instead of killing it
    const char* about;
};

const Command kCommands[] = {
    {"demo", zynvs_app::CommandDemo, true,
     "start an emulated 4-channel device on loopback, watch, record and\n"
     "                  snapshot every channel, print a summary"},
    {"live", zynvs_app::CommandLive, true, "watch, record and snapshot channels of a device"},
    {"get", zynvs_app::CommandGet, false, "read a parameter group (hex dump or file)"},
    {"set", zynvs_app::CommandSet, false, "write a parameter group (file or hex bytes)"},
    {"ptz", zynvs_app::CommandPtz, false, "send a pan/tilt/zoom command"},
    {"reboot", zynvs_app::CommandReboot, false, "restart the device"},
    {"upgrade", zynvs_app::CommandUpgrade, false, "send a firmware image"},
    {"records", zynvs_app::CommandRecords, false, "list the device's record files"},
    {"talk", zynvs_app::CommandTalk, true, "talk to the device (microphone or WAV file)"},
    {"search", zynvs_app::CommandSearch, true, "find devices on the LAN by multicast"},
    {"convert", zynvs_app::CommandConvert, true, "convert a recording (AVI, MPEG-2/MP2, clip)"},
    {"play", zynvs_app::CommandPlay, true, "play a recording in a window or headless"},
    {"repair", zynvs_app::CommandRepair, false,
     "rebuild the index and sizes of a cut-off AVI recording"},
    {"platform", zynvs_app::CommandPlatform, true,
     "run the SDK as a platform for the parties of a parties file"},
};

void Usage(FILE* out) {
    std::fprintf(out, "usage: zynvs COMMAND [options] [--verbose]\n\ncommands:\n");
    for (const auto& c : kCommands) std::fprintf(out, "  %-15s %s\n", c.name, c.about);
    std::fprintf(out,
                 "  help            this text\n\n"
                 "`zynvs COMMAND --help` lists a command's options with their defaults and\n"
                 "ranges. --verbose (any command) also shows the libraries' own messages.\n"
                 "Exit status: 0 done, 1 failed or ended degraded, 2 wrong command line.\n");
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const auto verbose = std::find(args.begin(), args.end(), "--verbose");
    zynvs_app::SetVerbose(verbose != args.end());
    if (verbose != args.end()) args.erase(verbose);
    if (args.empty()) {
        Usage(stderr);
        return zynvs_app::kExitUsage;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "help" || command == "--help" || command == "-h") {
        Usage(stdout);
        return zynvs_app::kExitOk;
    }
    for (const auto& c : kCommands) {
        if (command != c.name) continue;
        if (c.long_running) zynvs_app::CatchStopSignals();
        return c.run(args);
    }
    std::fprintf(stderr, "zynvs: unknown command '%s'\n\n", command.c_str());
    Usage(stderr);
    return zynvs_app::kExitUsage;
}
