// Helpers shared by the renderkit tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/h264_test_stream.h"

namespace rk_test {

// A file name inside the artefact folder (created if needed).
std::string ArtifactPath(const std::string& name);

// Polls `done` every 5 ms until it is true or the deadline passes.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms);

// An RGB image in memory.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<zyn_test::Rgb> pixels;
    zyn_test::Rgb At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Reads a 24-bit BMP (our writer's layout). Empty image on failure.
Image ReadBmp(const std::string& path);
// Decodes a PNG or JPEG file with FFmpeg. Empty image on failure.
Image ReadImageWithFfmpeg(const std::string& path);
// Writes an image as PNG (through renderkit's writer).
bool WritePng(const Image& image, const std::string& path);

std::vector<uint8_t> ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::vector<uint8_t>& data);

// Cached test streams (encoding takes a moment).
const std::vector<zyn_test::H264Frame>& Stream320x240();  // 75 frames, GOP 25

}  // namespace rk_test
