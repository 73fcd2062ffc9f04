// G.711 mu-law and A-law, table driven (8-bit code <-> 16-bit linear PCM).
// Encoders follow the classic segment/quantiser rule of the ITU recommendation
// (truncation inside a segment); decoders give the segment midpoints.
#pragma once

#include <cstddef>
#include <cstdint>

namespace renderkit {

uint8_t MulawEncode(int16_t pcm);
int16_t MulawDecode(uint8_t code);
uint8_t AlawEncode(int16_t pcm);
int16_t AlawDecode(uint8_t code);

// Block helpers; out must hold count elements.
void MulawEncodeBlock(const int16_t* pcm, size_t count, uint8_t* out);
void MulawDecodeBlock(const uint8_t* codes, size_t count, int16_t* out);
void AlawEncodeBlock(const int16_t* pcm, size_t count, uint8_t* out);
void AlawDecodeBlock(const uint8_t* codes, size_t count, int16_t* out);

}  // namespace renderkit
