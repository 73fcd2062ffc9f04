// Finishing an AVI file that was cut off while it was written (the recorder
// or the conversion killed): no index, and sizes that still say "unknown".
// The sample chunks of the "movi" list are walked up to the last whole one;
// what follows it is cut off, the "idx1" index is built from the chunks
// (video chunks that hold an H.264 key frame are flagged as key frames), and
// the RIFF and "movi" sizes and the frame counts of the main and stream
// headers are written. A file that is already complete is rewritten the same.
#pragma once

#include <cstdint>
#include <string>

namespace mediafile {

struct AviRepairReport {
    bool ok = false;
    std::string error;          // why not, when !ok
    uint32_t video_chunks = 0;  // in the repaired file
    uint32_t audio_chunks = 0;
    uint64_t cut_bytes = 0;  // bytes after the last whole chunk, removed
    uint64_t file_bytes = 0;
};

AviRepairReport RepairAvi(const std::string& path);

// True when an H.264 access unit (Annex B) holds an IDR slice or an SPS.
bool H264HasKeyFrame(const uint8_t* data, std::size_t length);

}  // namespace mediafile
