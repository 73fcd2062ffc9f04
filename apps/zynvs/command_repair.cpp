// zynvs repair: finishes an AVI recording that was cut off (the recorder or
// the conversion killed before it wrote the index and the sizes), in place.
#include <cstdio>
#include <string>
#include <vector>

#include "apps/zynvs/commands.h"
#include "mediafile/avi_repair.h"

namespace zynvs_app {

int CommandRepair(const std::vector<std::string>& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::printf(
            "usage: zynvs repair FILE.avi\n"
            "  rebuilds the index and the sizes of an AVI recording that was cut off,\n"
            "  in place; bytes after the last whole frame are removed\n");
        return 0;
    }
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
        std::fprintf(stderr, "usage: zynvs repair FILE.avi\n");
        return 2;
    }
    const mediafile::AviRepairReport r = mediafile::RepairAvi(args[0]);
    if (!r.ok) {
        std::fprintf(stderr, "zynvs repair: %s: %s\n", args[0].c_str(), r.error.c_str());
        return 1;
    }
    std::printf("%s: %u video frames, %u audio blocks, %llu bytes", args[0].c_str(), r.video_chunks,
                r.audio_chunks, static_cast<unsigned long long>(r.file_bytes));
    if (r.cut_bytes > 0) {
        std::printf(" (%llu bytes of a cut-off frame removed)",
                    static_cast<unsigned long long>(r.cut_bytes));
    }
    std::printf("\n");
    return 0;
}

}  // namespace zynvs_app
