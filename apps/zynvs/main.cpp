// zynvs: the command-line face of the suite. `zynvs demo` runs the whole
// live-view road against an emulated device on loopback; the other commands
// do one thing against any device.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "apps/zynvs/commands.h"

namespace {
void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: zynvs COMMAND [options]\n"
                 "\n"
                 "commands:\n"
                 "  demo                 start an emulated 4-channel device on loopback, watch,\n"
                 "                       record and snapshot every channel, print a summary\n"
                 "  live                 watch (and record) channels of a device\n"
                 "      --host H --port P --user U --password W --channel C (repeatable)\n"
                 "      [--channels N] [--record FILE] [--avi] [--snapshot FILE] [--seconds N]\n"
                 "      [--no-audio]\n"
                 "  play FILE            play a native recording in a window (keys and stdin\n"
                 "                       commands: pause, step, back, fast, slow, seek, time)\n"
                 "      [--no-window] [--benchmark] [--seek PERCENT] [--speed LEVEL]\n"
                 "      [--seconds N] [--screenshot FILE.bmp] [--quiet]\n"
                 "  help                 this text\n");
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage(stderr);
        return 2;
    }
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "help" || command == "--help" || command == "-h") {
        Usage(stdout);
        return 0;
    }
    if (command == "demo") return zynvs_app::CommandDemo(args);
    if (command == "live") return zynvs_app::CommandLive(args);
    if (command == "play") return zynvs_app::CommandPlay(args);
    std::fprintf(stderr, "zynvs: unknown command '%s'\n\n", command.c_str());
    Usage(stderr);
    return 2;
}
