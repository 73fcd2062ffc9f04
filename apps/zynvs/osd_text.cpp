#include "apps/zynvs/osd_text.h"

#include <cstdint>
#include <cstring>

#include "tools/devsim/tiny_font.h"

namespace zynvs_app {
namespace {
constexpr int kFormatBgra = 0;

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
    const int advance = (devsim::kGlyphWidth + 1) * scale;
    const int margin = scale * 2;
    const int box_w = static_cast<int>(text.size()) * advance + 2 * margin - scale;
    const int box_h = devsim::kGlyphHeight * scale + 2 * margin;
    const int top = bottom - box_h;
    Fill(s, x, top, box_w, box_h, 0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const uint8_t* rows = devsim::GlyphRows(text[i]);
        if (rows == nullptr) continue;
        const int gx = x + margin + static_cast<int>(i) * advance;
        for (int row = 0; row < devsim::kGlyphHeight; ++row)
            for (int col = 0; col < devsim::kGlyphWidth; ++col)
                if (rows[row] & (0x10 >> col))
                    Fill(s, gx + col * scale, top + margin + row * scale, scale, scale, 255);
    }
}

}  // namespace zynvs_app
