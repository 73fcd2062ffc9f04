// Opening and closing SDL audio devices from several players at once. SDL's
// audio subsystem is initialised while at least one device is open (so that a
// later open reads SDL_AUDIODRIVER again), all calls are serialised by one
// process-wide lock, and SDL is told not to install signal handlers.
#pragma once

#include <cstdint>

namespace renderkit {

// Same shape as SDL_AudioCallback: fill or read `length` bytes.
using SdlAudioFn = void (*)(void* user, uint8_t* stream, int length);

// Opens the default playback (capture = false) or capture device for 16-bit
// mono at `rate` Hz with `samples` frames per callback, unpaused. Returns the
// device id, or 0 when no device could be opened.
uint32_t OpenSdlAudio(bool capture, int rate, int samples, SdlAudioFn fn, void* user);

// Closes the device (waits for its callback thread to end). 0 is ignored.
void CloseSdlAudio(uint32_t device);

// False once SDL reports the device gone (unplugged, server died).
bool SdlAudioAlive(uint32_t device);

}  // namespace renderkit
