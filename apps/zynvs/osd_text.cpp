#include "apps/zynvs/osd_text.h"

#include <cstdint>
#include <cstring>

namespace zynvs_app {
namespace {
constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kFormatBgra = 0;

struct Glyph {
    char c;
    uint8_t rows[kGlyphHeight];  // bit 4 is the leftmost dot
};

const Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
    {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
};

const Glyph* Find(char c) {
    for (const auto& g : kFont)
        if (g.c == c) return &g;
    return nullptr;
}

void Fill(ZynDrawSurface* s, int x0, int y0, int w, int h, uint8_t value) {
    for (int y = y0 < 0 ? 0 : y0; y < y0 + h && y < s->height; ++y) {
        for (int x = x0 < 0 ? 0 : x0; x < x0 + w && x < s->width; ++x) {
            uint8_t* p = s->pixels + static_cast<std::size_t>(y) * s->stride + x * 4;
            p[0] = p[1] = p[2] = value;
            p[3] = 255;
        }
    }
}
}  // namespace

void DrawStatusText(ZynDrawSurface* s, int x, int bottom, int scale, const std::string& text) {
    if (s == nullptr || s->pixels == nullptr || s->format != kFormatBgra || scale < 1) return;
    const int advance = (kGlyphWidth + 1) * scale;
    const int margin = scale * 2;
    const int box_w = static_cast<int>(text.size()) * advance + 2 * margin - scale;
    const int box_h = kGlyphHeight * scale + 2 * margin;
    const int top = bottom - box_h;
    Fill(s, x, top, box_w, box_h, 0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph* g = Find(text[i]);
        if (g == nullptr) continue;
        const int gx = x + margin + static_cast<int>(i) * advance;
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int col = 0; col < kGlyphWidth; ++col)
                if (g->rows[row] & (0x10 >> col))
                    Fill(s, gx + col * scale, top + margin + row * scale, scale, scale, 255);
    }
}

}  // namespace zynvs_app
