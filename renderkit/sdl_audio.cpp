#include "renderkit/sdl_audio.h"

#include <SDL.h>

#include <mutex>

namespace renderkit {
namespace {
std::mutex g_sdl_mutex;  // guards every SDL audio call below
}

uint32_t OpenSdlAudio(bool capture, int rate, int samples, SdlAudioFn fn, void* user) {
    std::lock_guard lock(g_sdl_mutex);
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
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
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }
    SDL_PauseAudioDevice(device, 0);
    return device;
}

void CloseSdlAudio(uint32_t device) {
    if (device == 0) return;
    std::lock_guard lock(g_sdl_mutex);
    SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool SdlAudioAlive(uint32_t device) {
    if (device == 0) return false;
    std::lock_guard lock(g_sdl_mutex);
    return SDL_GetAudioDeviceStatus(device) != SDL_AUDIO_STOPPED;
}

}  // namespace renderkit
