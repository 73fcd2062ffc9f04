// The moving test picture that the emulated cameras encode.
//
// Layout of a W x H picture (all rectangles are aligned to even pixels so the
// 4:2:0 chroma planes hold the same flat colours):
//   - background: one flat colour per channel (see ChannelColour);
//   - text box (black) at the top left: "CH<n> M" (main) or "CH<n> S" (sub)
//     on the first line, the four-digit frame counter on the second;
//   - white patch at the top right;
//   - a yellow square that moves from left to right once per loop;
//   - a noise band over the bottom quarter that changes with every frame, so
//     that the encoder has to spend its bit rate.
// The frame counter is the picture's index inside the loop: it starts again
// at 0 each time the loop is replayed.
#pragma once

#include <cstdint>
#include <vector>

namespace devsim {

struct Yuv {
    uint8_t y, u, v;
};

struct Rect {
    int x, y, w, h;
};

// BT.601 studio-range colours used by the picture.
constexpr Yuv kBlack{16, 128, 128};
constexpr Yuv kWhite{235, 128, 128};
constexpr Yuv kYellow{210, 16, 146};

// Background colour of channel 0..3 (blue, red, green, magenta); other
// numbers wrap around.
Yuv ChannelColour(int channel);

struct PatternLayout {
    int font_scale;         // pixels per font dot
    Rect text_box;          // black box with the two text lines
    Rect white_patch;       // flat white
    Rect background_probe;  // a part of the background nothing ever covers
    Rect noise_band;        // changes every frame
    int square_side;        // moving yellow square: side and row
    int square_y;
};

PatternLayout LayoutFor(int width, int height);

// x of the moving square in picture `index` of a loop of `loop_frames`.
int SquareX(int width, int height, int index, int loop_frames);

// A planar 4:2:0 picture.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> y, u, v;  // strides: width, width / 2, width / 2
};

// Draws picture `index` (0 <= index < loop_frames) of channel `channel`,
// stream kind `stream_kind` (0 main, 1 sub). Width and height must be even.
void RenderTestPattern(int width, int height, int channel, int stream_kind, int index,
                       int loop_frames, Picture* out);

// Draws `text` (digits, space, '-', and the letters C H M S) into a luma
// plane with the tiny bitmap font: each font dot is `scale` x `scale` pixels,
// glyphs are 5 x 7 dots on a 6 x 8 grid.
void DrawText(uint8_t* plane, int stride, int width, int height, int x, int y, int scale,
              const char* text, uint8_t value);

}  // namespace devsim
