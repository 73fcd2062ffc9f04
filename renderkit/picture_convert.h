// Picture conversions with swscale: decoded YUV to BGRA (cropped and scaled),
// BGRA to BGRA (cropped and scaled), and decoded pictures to an I420 view.
// Each converter keeps its swscale context between calls and rebuilds it only
// when sizes or formats change. Not thread-safe: one converter per thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <zynvs/zynvs_platform.h>

struct AVFrame;
struct SwsContext;

namespace renderkit {

// A rectangle clipped to a picture: left/top inclusive, right/bottom exclusive.
// Returns the full picture when `rect` is null or clips to nothing.
ZYNVS_RECT ClipRect(const ZYNVS_RECT* rect, int width, int height);

class YuvToBgra {
public:
    YuvToBgra() = default;
    ~YuvToBgra();
    YuvToBgra(const YuvToBgra&) = delete;
    YuvToBgra& operator=(const YuvToBgra&) = delete;

    // Converts the `crop` part of `picture` into dst (dst_width x dst_height
    // BGRA pixels, dst_stride bytes per row). False on unsupported input.
    bool Convert(const AVFrame* picture, const ZYNVS_RECT& crop, uint8_t* dst, int dst_width,
                 int dst_height, int dst_stride);

private:
    SwsContext* sws_ = nullptr;
    int colour_key_ = -1;
};

class BgraScaler {
public:
    BgraScaler() = default;
    ~BgraScaler();
    BgraScaler(const BgraScaler&) = delete;
    BgraScaler& operator=(const BgraScaler&) = delete;

    bool Scale(const uint8_t* src, int src_stride, const ZYNVS_RECT& crop, uint8_t* dst,
               int dst_width, int dst_height, int dst_stride);

private:
    SwsContext* sws_ = nullptr;
};

// Fills `view` with I420 planes of `picture`: the picture's own planes when it
// is 8-bit 4:2:0 already, else a converted copy kept in `scratch`.
class I420View {
public:
    I420View() = default;
    ~I420View();
    I420View(const I420View&) = delete;
    I420View& operator=(const I420View&) = delete;

    bool Make(const AVFrame* picture, uint32_t frame_number, ZynDecodedPicture* view);

private:
    SwsContext* sws_ = nullptr;
    std::vector<uint8_t> scratch_;
};

}  // namespace renderkit
