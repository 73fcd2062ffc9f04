// In-memory H.264 test streams made with libavcodec's libx264 encoder, for the
// tests and benchmarks of every module. Nothing is read from or written to
// disk unless asked.
//
// The picture is a fixed pattern that survives compression well:
//   - the upper three quarters are four solid quadrants (red, green, blue,
//     yellow: kTopLeft, kTopRight, kBottomLeft, kBottomRight);
//   - the lower quarter is a bar code of 8 cells, bit 0 leftmost, white for a
//     set bit and black for a clear one, holding the frame index mod 256.
// With `noise` set the quadrants carry a moving texture instead (for
// benchmarks that need a realistic bit rate).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zyn_test {

struct Rgb {
    uint8_t r, g, b;
};

inline constexpr Rgb kTopLeft{220, 40, 40};
inline constexpr Rgb kTopRight{40, 200, 60};
inline constexpr Rgb kBottomLeft{40, 60, 220};
inline constexpr Rgb kBottomRight{230, 220, 40};
inline constexpr Rgb kBarOn{235, 235, 235};
inline constexpr Rgb kBarOff{16, 16, 16};

struct H264StreamOptions {
    int width = 320;
    int height = 240;
    int frames = 50;
    int gop = 25;         // an IDR frame (with SPS/PPS) every gop frames
    int first_index = 0;  // index in the bar code of the first frame
    int fps = 25;
    int qp = 20;           // constant quantiser, used when bitrate_kbps is 0
    int bitrate_kbps = 0;  // average bit rate instead of a constant quantiser
    bool noise = false;
    int b_frames = 0;  // B-frames between references (then frames come out reordered)
    std::string preset = "ultrafast";
};

struct H264Frame {
    std::vector<uint8_t> data;  // one access unit, Annex B
    bool key = false;
    int index = 0;  // frame index as in the bar code (display order)
};

// Encodes the stream. Throws std::runtime_error when libx264 is not available.
std::vector<H264Frame> MakeH264Stream(const H264StreamOptions& options);

// The colour the pattern has at pixel (x, y) of a frame with `index`.
Rgb PatternColour(int x, int y, int width, int height, int index);

// Centre of bar-code cell `bit` (0..7) and of a quadrant (0 TL, 1 TR, 2 BL, 3 BR).
void BarCellCentre(int bit, int width, int height, int* x, int* y);
void QuadrantCentre(int quadrant, int width, int height, int* x, int* y);

// Reads the bar code from a luma plane (threshold at mid grey).
int ReadBarCode(const uint8_t* luma, int stride, int width, int height);

// Writes the frames one after another (a raw .h264 file). False on error.
bool WriteAnnexB(const std::string& path, const std::vector<H264Frame>& frames);

// True when |a - b| <= tolerance in each channel.
bool Near(Rgb a, Rgb b, int tolerance);

}  // namespace zyn_test
