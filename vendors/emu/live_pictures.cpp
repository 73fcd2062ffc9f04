#include "vendors/emu/live_pictures.h"

#include <cstdio>

#include "vendors/emu/record_book.h"

namespace vendor_emu {

LivePictures::LivePictures(int channel, Sink sink) {
    worker_.Start([channel, sink = std::move(sink)](Worker& w) {
        for (uint32_t frame = 0; w.Wait(kIntervalMs); ++frame) {
            const std::vector<uint8_t> p = Picture(channel, frame);
            sink(p.data(), static_cast<int>(p.size()));
        }
    });
}

LivePictures::~LivePictures() {
    worker_.Stop();
}

std::vector<uint8_t> LivePictures::Picture(int channel, uint32_t frame) {
    std::vector<uint8_t> p(8 + kWidth * kHeight);
    PutU16(p.data(), 0, kWidth);
    PutU16(p.data(), 2, kHeight);
    PutU32(p.data(), 4, frame);
    uint8_t* px = p.data() + 8;
    const int bar = static_cast<int>(frame % kWidth);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            px[y * kWidth + x] = static_cast<uint8_t>(x == bar ? 255 : (x * 2 + y) & 0x7F);
    for (int x = 0; x < kWidth; ++x) px[x] = static_cast<uint8_t>(channel);
    return p;
}

std::vector<uint8_t> LivePictures::Bmp(int channel, uint32_t frame) {
    const std::vector<uint8_t> p = Picture(channel, frame);
    const uint32_t palette = 256 * 4, header = 14 + 40 + palette;
    const uint32_t size = header + kWidth * kHeight;
    std::vector<uint8_t> b(size, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutU32(b.data(), 2, size);
    PutU32(b.data(), 10, header);
    PutU32(b.data(), 14, 40);
    PutU32(b.data(), 18, kWidth);
    PutU32(b.data(), 22, kHeight);
    PutU16(b.data(), 26, 1);
    PutU16(b.data(), 28, 8);
    PutU32(b.data(), 34, kWidth * kHeight);
    PutU32(b.data(), 46, 256);
    for (uint32_t i = 0; i < 256; ++i) PutU32(b.data(), 54 + 4 * i, i | i << 8 | i << 16);
    for (int y = 0; y < kHeight; ++y)  // bottom-up rows
        std::copy_n(p.data() + 8 + (kHeight - 1 - y) * kWidth, kWidth,
                    b.data() + header + y * kWidth);
    return b;
}

bool LivePictures::WriteBmp(const std::string& path, int channel, uint32_t frame) {
    const std::vector<uint8_t> b = Bmp(channel, frame);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace vendor_emu
