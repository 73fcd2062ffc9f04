#include "playctrl/step_back.h"

namespace playctrl {

StepBackTarget ScanForPreviousFrame(mediafile::RecordReader& reader, uint64_t from, uint64_t limit,
                                    uint32_t n) {
    using mediafile::RecordKind;
    StepBackTarget result;
    reader.Seek(from);
    mediafile::MediaRecord rec;
    while (reader.position() < limit) {
        const RecordKind kind = reader.ReadHeaderOnly(&rec);
        if (kind == RecordKind::kEnd || rec.offset >= limit) break;
        if (kind != RecordKind::kVideo || !rec.complete ||
            mediafile::FragmentIndex(rec.header) != 0)
            continue;
        const uint32_t number = mediafile::FrameNumber(rec.header);
        if (number >= n) break;
        result.found = true;
        result.frame_number = number;
        result.position = rec.offset;
    }
    return result;
}

}  // namespace playctrl
