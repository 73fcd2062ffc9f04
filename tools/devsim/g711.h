// G.711 encoders (mu-law and A-law) and the test tone of the emulated
// cameras' microphones.
#pragma once

#include <cstdint>
#include <vector>

namespace devsim {

uint8_t LinearToMuLaw(int16_t sample);
uint8_t LinearToALaw(int16_t sample);
// The decoders are only needed to check the encoders.
int16_t MuLawToLinear(uint8_t code);
int16_t ALawToLinear(uint8_t code);

// One second of a sine tone at `tone_hz` (8000 samples at 8 kHz, amplitude
// 8000), G.711-encoded; an integer frequency makes it loop without a click.
std::vector<uint8_t> EncodedToneSecond(int tone_hz, bool a_law);

}  // namespace devsim
