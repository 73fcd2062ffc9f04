// The conversion job record and the engine's fixed values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mediafile/record_reader.h"

namespace playctrl::convert {

// The one handle ZYNVS_PlAY_ConvertFile hands out; it names the engine, not a job.
constexpr int kConvertHandle = 9999;

// Job modes.
constexpr int kModeAvi = 1;        // AVI with one H.264 video stream
constexpr int kModeTranscode = 4;  // raw MPEG-2 video and MP2 audio, no container
constexpr int kModeClip = 5;       // byte range of the source, percent to percent
// This engine's own modes, for C++ hosts that ask for them
// (ConverterOptions::container_modes); to the C interface they stay unknown.
constexpr int kModeMp4 = 101;       // MP4: the H.264 copied, the G.711 as AAC
constexpr int kModeMatroska = 102;  // Matroska: the H.264 and the G.711 copied

constexpr int kIdlePollMs = 5000;  // the worker's sleep while the queue is empty
constexpr int kStopWaitMs = 3000;  // how long a stop waits for the worker
constexpr std::size_t kPathChars = 128;
using mediafile::kFrameBufferBytes;  // largest frame (exclusive)
constexpr std::size_t kEncodeBufferBytes = 192'000;
constexpr std::size_t kClipBlockBytes = 10'240;
constexpr int kDefaultPictureWidth = 1280;  // until a recording header gives a size
constexpr int kDefaultPictureHeight = 720;
using mediafile::kKeyFrameType;
using mediafile::kRecordingHeaderBytes;

#pragma pack(push, 1)
// One queued job, as the host's arguments are stored.
struct _stConvertFile {
    int32_t first_value;           // 0: clip start, percent (mode 5)
    int32_t second_value;          // 4: clip end, percent (mode 5)
    char source_path[kPathChars];  // 8: not terminated when all 128 characters are used
    char target_path[kPathChars];  // 136
    int32_t mode;                  // 264
};
#pragma pack(pop)

static_assert(sizeof(_stConvertFile) == 268, "_stConvertFile is 268 bytes");
static_assert(offsetof(_stConvertFile, second_value) == 4);
static_assert(offsetof(_stConvertFile, source_path) == 8);
static_assert(offsetof(_stConvertFile, target_path) == 136);
static_assert(offsetof(_stConvertFile, mode) == 264);

}  // namespace playctrl::convert
