// Fixtures of the conversion tests: native recordings written by the SDK's
// recorder (CAviFile) from real libx264 frames, wrapped as the live path wraps
// them, with G.711 audio records, time extensions and garbage mixed in on
// request; temporary folders; running ffprobe/ffmpeg.
#pragma once

#include "tests/support/run_tool.h"
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/h264_test_stream.h"

namespace convert_test {

using Bytes = std::vector<uint8_t>;

// A fresh folder under the test temp dir, removed at scope end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);
bool Exists(const std::string& path);

uint32_t Le32(const Bytes& b, std::size_t at);
uint16_t Le16(const Bytes& b, std::size_t at);
std::string TagAt(const Bytes& b, std::size_t at);

// "XCXBV", 0, the 24-byte header of a complete frame (fragment index 0, count
// 1, total length, capture time frame_number * frame_ms), an 8-byte time
// extension when asked (header byte 5 = 3), then the data.
Bytes VideoRecord(const Bytes& data, bool key, uint32_t frame_number, bool time_extension = false,
                  uint32_t frame_ms = 40);
// "XCXBA", 0, the 24-byte header (length at offset 22), the 4-byte audio
// header and the G.711 bytes.
Bytes AudioRecord(const Bytes& g711, uint32_t frame_number);
// Mu-law of a 440 Hz tone at 8 kHz, samples [first, first + count).
Bytes ToneMulaw(std::size_t first, std::size_t count);

struct RecordingSpec {
    int width = 352;
    int height = 288;
    int frames = 40;  // video frames encoded
    int repeat = 1;   // the encoded frames are written this many times (cheap long files)
    int gop = 10;
    int leading_skip = 0;  // frames dropped from the encoded stream's start (a mid-GOP start)
    bool audio = false;    // one audio record of 320 samples after every video record
    bool time_extensions = false;  // every third video record carries one
    bool garbage = false;          // junk (with partial prefixes) between some records
    bool native_header = true;     // written by CAviFile (else records only)
    bool noise = false;
    int qp = 24;
    int frame_ms = 40;  // capture times advance by this much a frame
    int b_frames = 0;   // B-frames between references (frames then stored in decode order)
};

struct Recording {
    std::string path;
    std::vector<zyn_test::H264Frame> frames;  // in file order (repeats included)
    std::size_t first_key = 0;                // index of the first key frame
    std::size_t audio_records = 0;
    std::size_t audio_samples = 0;  // G.711 samples in all audio records
    uint64_t size = 0;
    std::size_t key_onward() const { return frames.size() - first_key; }
};

// Writes the recording; fails the test (and returns path "") when libx264 is
// missing.
Recording WriteRecording(const std::string& path, const RecordingSpec& spec);

using zyn_test::RunResult;
using zyn_test::RunTool;
using zyn_test::Which;  // full path of a tool, "" when not installed
int CountOf(const std::string& text, const std::string& what);
// Value of "key=value" in ffprobe's default output, "" when absent.
std::string ProbeValue(const std::string& text, const std::string& key);

}  // namespace convert_test
