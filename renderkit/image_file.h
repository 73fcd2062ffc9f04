// Writing a decoded picture to an image file: 24-bit BMP by default, PNG or
// JPEG when the path ends in .png, .jpg or .jpeg (any case).
#pragma once

#include <cstdint>
#include <string>

struct AVFrame;

namespace renderkit {

enum class ImageKind { kBmp, kPng, kJpeg };

ImageKind ImageKindForPath(const std::string& path);

// BGR rows, top row first, `stride` bytes apart. False when the file cannot be
// written (nothing is left behind on failure).
bool WriteBmp24(const std::string& path, const uint8_t* bgr, int width, int height, int stride);

// Converts and writes the picture. False on any failure.
bool SavePicture(const AVFrame* picture, const std::string& path);

}  // namespace renderkit
