#include "tools/devsim/test_pattern.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/devsim/tiny_font.h"

namespace devsim {
namespace {

constexpr int kGlyphCellW = 6;  // dots, with one dot of spacing
constexpr int kGlyphCellH = 8;
constexpr int kTextColumns = 6;  // "CH0 M" and "0000" fit

int Even(int v) { return v & ~1; }

void FillRect(Picture* p, const Rect& r, Yuv c) {
    int x0 = std::clamp(r.x, 0, p->width), x1 = std::clamp(r.x + r.w, 0, p->width);
    int y0 = std::clamp(r.y, 0, p->height), y1 = std::clamp(r.y + r.h, 0, p->height);
    if (x1 <= x0 || y1 <= y0) return;
    for (int y = y0; y < y1; ++y) std::memset(&p->y[y * p->width + x0], c.y, x1 - x0);
    int cw = p->width / 2;
    for (int y = y0 / 2; y < (y1 + 1) / 2; ++y) {
        std::memset(&p->u[y * cw + x0 / 2], c.u, (x1 + 1) / 2 - x0 / 2);
        std::memset(&p->v[y * cw + x0 / 2], c.v, (x1 + 1) / 2 - x0 / 2);
    }
}

}  // namespace

Yuv ChannelColour(int channel) {
    static constexpr Yuv kColours[4] = {
        {41, 240, 110},   // blue
        {81, 90, 240},    // red
        {145, 54, 34},    // green
        {106, 202, 222},  // magenta
    };
    return kColours[((channel % 4) + 4) % 4];
}

PatternLayout LayoutFor(int width, int height) {
    PatternLayout l{};
    l.font_scale = std::max(1, height / 120);
    int s = l.font_scale;
    int margin_x = Even(width / 32), margin_y = Even(height / 18);
    l.text_box = {margin_x, margin_y, Even(kTextColumns * kGlyphCellW * s + 2 * s + 1),
                  Even(2 * kGlyphCellH * s + 2 * s + 1)};
    int side = std::max(2, Even(height / 6));
    l.white_patch = {Even(width - margin_x - side), margin_y, side, side};
    l.background_probe = {Even(width * 3 / 8), Even(height / 3 - height / 24), Even(width / 4),
                          std::max(2, Even(height / 12))};
    l.noise_band = {0, Even(height * 3 / 4), width, height - Even(height * 3 / 4)};
    l.square_side = side;
    l.square_y = Even(height / 2 - side / 2);
    return l;
}

int SquareX(int width, int height, int index, int loop_frames) {
    PatternLayout l = LayoutFor(width, height);
    if (loop_frames <= 0) return 0;
    return Even(static_cast<int>(static_cast<long long>(width - l.square_side) * index /
                                 loop_frames));
}

void DrawText(uint8_t* plane, int stride, int width, int height, int x, int y, int scale,
              const char* text, uint8_t value) {
    for (int i = 0; text[i] != 0; ++i) {
        const uint8_t* rows = GlyphRows(text[i]);
        if (rows == nullptr) continue;
        int gx = x + i * kGlyphCellW * scale;
        for (int row = 0; row < kGlyphHeight; ++row) {
            for (int col = 0; col < kGlyphWidth; ++col) {
                if ((rows[row] & (0x10 >> col)) == 0) continue;
                for (int dy = 0; dy < scale; ++dy) {
                    int py = y + row * scale + dy;
                    if (py < 0 || py >= height) continue;
                    for (int dx = 0; dx < scale; ++dx) {
                        int px = gx + col * scale + dx;
                        if (px >= 0 && px < width) plane[py * stride + px] = value;
                    }
                }
            }
        }
    }
}

void RenderTestPattern(int width, int height, int channel, int stream_kind, int index,
                       int loop_frames, Picture* out) {
    out->width = width;
    out->height = height;
    out->y.assign(static_cast<size_t>(width) * height, 0);
    out->u.assign(static_cast<size_t>(width / 2) * (height / 2), 0);
    out->v.assign(static_cast<size_t>(width / 2) * (height / 2), 0);
    PatternLayout l = LayoutFor(width, height);

    FillRect(out, {0, 0, width, height}, ChannelColour(channel));

    // Noise band: 2 x 2 luma blocks around mid grey, new for every frame.
    uint32_t state = 0x9E3779B9u ^ (static_cast<uint32_t>(index) * 2654435761u) ^
                     (static_cast<uint32_t>(channel) << 24) ^ (stream_kind ? 0x5A5A5A5Au : 0);
    for (int y = l.noise_band.y; y + 1 < height; y += 2) {
        for (int x = 0; x + 1 < width; x += 2) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            uint8_t v = static_cast<uint8_t>(96 + (state & 63));
            out->y[y * width + x] = v;
            out->y[y * width + x + 1] = v;
            out->y[(y + 1) * width + x] = v;
            out->y[(y + 1) * width + x + 1] = v;
        }
    }
    int cw = width / 2;
    for (int y = l.noise_band.y / 2; y < height / 2; ++y) {
        std::memset(&out->u[y * cw], 128, cw);
        std::memset(&out->v[y * cw], 128, cw);
    }

    FillRect(out, l.white_patch, kWhite);
    FillRect(out, {SquareX(width, height, index, loop_frames), l.square_y, l.square_side,
                   l.square_side},
             kYellow);
    FillRect(out, l.text_box, kBlack);

    char line1[16], line2[16];
    std::snprintf(line1, sizeof line1, "CH%d %c", channel % 10, stream_kind == 0 ? 'M' : 'S');
    std::snprintf(line2, sizeof line2, "%04d", index % 10000);
    int s = l.font_scale;
    DrawText(out->y.data(), width, width, height, l.text_box.x + s, l.text_box.y + s, s, line1,
             kWhite.y);
    DrawText(out->y.data(), width, width, height, l.text_box.x + s,
             l.text_box.y + s + kGlyphCellH * s, s, line2, kWhite.y);
}

}  // namespace devsim
