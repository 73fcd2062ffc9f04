#include "renderkit/sdl_audio.h"

#include <SDL.h>

#include <mutex>

namespace renderkit {
namespace {
std::mutex g_sdl_mutex;  // guards every SDL audio call below

// Drops our hold on the audio subsystem. When nothing of SDL is left
// initialised (the host does not use SDL itself), SDL_Quit also releases what
// SDL set up on the side (its D-Bus connection).
void ReleaseSubsystem() {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
}
}  // namespace

uint32_t OpenSdlAudio(bool capture, int rate, int samples, SdlAudioFn fn, void* user) {
    std::lock_guard lock(g_sdl_mutex);
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
        return 0;
    }
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    want.samples = static_cast<Uint16>(samples);
    want.callback = fn;
    want.userdata = user;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to the device's format itself.
    const SDL_AudioDeviceID device =
        SDL_OpenAudioDevice(nullptr, capture ? 1 : 0, &want, &have, 0);
    if (device == 0) {
        ReleaseSubsystem();
        return 0;
    }
    SDL_PauseAudioDevice(device, 0);
    return device;
}

void CloseSdlAudio(uint32_t device) {
    if (device == 0) return;
    std::lock_guard lock(g_sdl_mutex);
    SDL_CloseAudioDevice(device);
    ReleaseSubsystem();
}

bool SdlAudioAlive(uint32_t device) {
    if (device == 0) return false;
    std::lock_guard lock(g_sdl_mutex);
    return SDL_GetAudioDeviceStatus(device) != SDL_AUDIO_STOPPED;
}

}  // namespace renderkit
