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
                 "  get GROUP            read a parameter group (hex dump, or --out FILE)\n"
                 "  set GROUP            write a parameter group (--in FILE or --hex BYTES)\n"
                 "  ptz --command N      pan/tilt/zoom command [--speed S] [--extra E]\n"
                 "  reboot               restart the device\n"
                 "  upgrade FILE         send a firmware image in chunks [--chunk N]\n"
                 "  records              list the device's record files [--type T]\n"
                 "  talk                 talk to the device [--wav FILE] [--seconds N]\n"
                 "  search               find devices on the LAN by multicast [--seconds N]\n"
                 "  convert SRC DST      convert a recording: --mode avi|mpeg|clip\n"
                 "                       [--from P --to P] (clip, percent of SRC)\n"
                 "  play FILE            play a native recording in a window (keys and stdin\n"
                 "                       commands: pause, step, back, fast, slow, seek, time)\n"
                 "      [--no-window] [--benchmark] [--seek PERCENT] [--speed LEVEL]\n"
                 "      [--seconds N] [--screenshot FILE.bmp] [--quiet]\n"
                 "  help                 this text\n"
                 "\n"
                 "device options (get, set, ptz, reboot, upgrade, records, talk):\n"
                 "  --host H (127.0.0.1) --port P (7000) --stream-port P (port+1)\n"
                 "  --user U (admin) --password W (admin) --channels N (4) --channel C (0)\n");
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
    if (command == "get") return zynvs_app::CommandGet(args);
    if (command == "set") return zynvs_app::CommandSet(args);
    if (command == "ptz") return zynvs_app::CommandPtz(args);
    if (command == "reboot") return zynvs_app::CommandReboot(args);
    if (command == "upgrade") return zynvs_app::CommandUpgrade(args);
    if (command == "records") return zynvs_app::CommandRecords(args);
    if (command == "talk") return zynvs_app::CommandTalk(args);
    if (command == "search") return zynvs_app::CommandSearch(args);
    if (command == "convert") return zynvs_app::CommandConvert(args);
    if (command == "play") return zynvs_app::CommandPlay(args);
    if (command == "repair") return zynvs_app::CommandRepair(args);
    std::fprintf(stderr, "zynvs: unknown command '%s'\n\n", command.c_str());
    Usage(stderr);
    return 2;
}
