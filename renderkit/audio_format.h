// Audio format numbers shared by CPlayAudio and CTalk, and the 4-byte audio
// frame header that devices of formats 1 and 2 put in front of each block.
//
//   0  G.711 mu-law (same as 1; the value a recording or host gives when unset)
//   1  G.711 mu-law, blocks carry the 4-byte audio frame header (device default)
//   2  G.711 A-law,  blocks carry the 4-byte audio frame header
//   3  16-bit linear PCM, little-endian, no header
//   anything else: treated as 1
//
// All formats are 8000 samples per second, mono.
//
// Audio frame header: bytes 00 01, then the payload length in 16-bit words as a
// little-endian 16-bit number (a 320-byte G.711 block: 00 01 A0 00).
#pragma once

#include <cstddef>
#include <cstdint>

namespace renderkit {

enum AudioFormat : int {
    kAudioFormatUnset = 0,
    kAudioFormatMulaw = 1,
    kAudioFormatAlaw = 2,
    kAudioFormatPcm16 = 3,
};

constexpr int kAudioSampleRate = 8000;
constexpr size_t kAudioFrameHeaderBytes = 4;

// Maps any number to one of kAudioFormatMulaw, kAudioFormatAlaw, kAudioFormatPcm16.
int NormaliseAudioFormat(int format);

// True for the formats whose blocks carry the audio frame header.
bool AudioFormatHasFrameHeader(int format);

// Number of bytes to skip at the start of a block: 4 when the block begins with
// an audio frame header whose length matches the rest of the block, else 0.
size_t AudioFrameHeaderLength(const uint8_t* data, size_t length);

// Writes the audio frame header for a payload of payload_bytes into out[4].
void WriteAudioFrameHeader(size_t payload_bytes, uint8_t* out);

// Decodes one block (header already removed) into 16-bit samples. Returns the
// number of samples written (at most out_capacity).
size_t DecodeAudioBlock(int format, const uint8_t* data, size_t length, int16_t* out,
                        size_t out_capacity);

}  // namespace renderkit
