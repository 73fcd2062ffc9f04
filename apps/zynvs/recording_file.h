// What a recording file holds, read by the programs themselves: to refuse a
// file that is not a recording, to find a recording's start time and to
// check that a recording holds every frame the device sent.
#pragma once

#include <cstdint>
#include <string>

namespace zynvs_app {

struct RecordingFacts {
    bool opened = false;
    std::string error;          // the system's reason when not opened
    uint64_t video_frames = 0;  // native: video records (one frame each)
    uint64_t audio_blocks = 0;
    uint32_t start_time = 0;  // seconds since 1970: header, else the first time stamp
};

// Reads a native recording through.
RecordingFacts InspectRecording(const std::string& path);
bool IsRecording(const RecordingFacts& facts);

// Why a file cannot be written at path (the system's reason, or "is not a
// regular file"); empty when it can. Leaves an existing file as it was and
// creates nothing.
std::string WriteProblem(const std::string& path);

// Snapshots are BMP, PNG or JPEG, chosen by the extension.
bool ImagePathSupported(const std::string& path);

// Frames an AVI file's main header announces; -1 when it is not an AVI file.
long long AviFrameCount(const std::string& path);

}  // namespace zynvs_app
