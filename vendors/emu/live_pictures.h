// Live video of an emulated vendor library: small raw grey pictures (a
// moving bar and the channel number in the first row), one every 40 ms, on
// the object's own thread, until it is destroyed. Cheap on purpose.
//
// Picture bytes: 16-bit width, 16-bit height, 32-bit frame number, then
// width * height grey values.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vendors/emu/virtual_devices.h"

namespace vendor_emu {

class LivePictures {
public:
    static constexpr int kWidth = 64;
    static constexpr int kHeight = 48;
    static constexpr int kIntervalMs = 40;
    using Sink = std::function<void(const uint8_t* data, int length)>;

    LivePictures(int channel, Sink sink);
    ~LivePictures();
    LivePictures(const LivePictures&) = delete;
    LivePictures& operator=(const LivePictures&) = delete;

    // One picture of `channel` (frame `frame`) in the layout above.
    static std::vector<uint8_t> Picture(int channel, uint32_t frame);
    // The picture as an 8-bit grey BMP file image.
    static std::vector<uint8_t> Bmp(int channel, uint32_t frame);
    static bool WriteBmp(const std::string& path, int channel, uint32_t frame);

private:
    Worker worker_;
};

}  // namespace vendor_emu
