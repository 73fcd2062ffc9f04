// zynvs talk: two-way audio towards the device, from the microphone or a WAV
// file (8000 Hz mono 16-bit PCM), for a few seconds.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "apps/zynvs/commands.h"
#include "apps/zynvs/device_session.h"
#include "zynvs/ZynDecodeKit.h"

namespace zynvs_app {
namespace {
// The samples of a canonical PCM WAV file, or false.
bool WavSamples(const std::vector<uint8_t>& wav, std::vector<uint8_t>* pcm, std::string* why) {
    auto u16 = [&](std::size_t o) { return wav[o] | (wav[o + 1] << 8); };
    auto u32 = [&](std::size_t o) {
        return static_cast<uint32_t>(u16(o)) | (static_cast<uint32_t>(u16(o + 2)) << 16);
    };
    if (wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) || std::memcmp(wav.data() + 8, "WAVE", 4)) {
        *why = "not a WAV file";
        return false;
    }
    bool fmt_ok = false;
    for (std::size_t o = 12; o + 8 <= wav.size();) {
        uint32_t size = u32(o + 4);
        if (o + 8 + size > wav.size()) size = static_cast<uint32_t>(wav.size() - o - 8);
        if (!std::memcmp(wav.data() + o, "fmt ", 4) && size >= 16) {
            fmt_ok = u16(o + 8) == 1 && u16(o + 10) == 1 && u32(o + 12) == 8000 && u16(o + 22) == 16;
            if (!fmt_ok) {
                *why = "the WAV file must be PCM, mono, 8000 Hz, 16 bit (sox in.wav -r 8000 -c 1 -b 16 out.wav)";
                return false;
            }
        } else if (!std::memcmp(wav.data() + o, "data", 4) && fmt_ok) {
            pcm->assign(wav.begin() + static_cast<long>(o) + 8,
                        wav.begin() + static_cast<long>(o) + 8 + size);
            return true;
        }
        o += 8 + size + (size & 1);
    }
    *why = "no PCM data in the WAV file";
    return false;
}
}  // namespace

int CommandTalk(const std::vector<std::string>& in) {
    auto args = in;
    DeviceOptions dev;
    if (!TakeDeviceOptions(&args, &dev, "talk")) return 2;
    std::string wav;
    int seconds = 5;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--wav" && i + 1 < args.size()) wav = args[++i];
        else if (args[i] == "--seconds" && i + 1 < args.size()) seconds = std::atoi(args[++i].c_str());
        else {
            std::fprintf(stderr, "usage: zynvs talk [--wav FILE] [--seconds N] [device options]\n");
            return 2;
        }
    }
    std::string feed;
    if (!wav.empty()) {
        // SDL's disk driver reads raw capture samples from a file: hand it the
        // WAV file's samples.
        std::vector<uint8_t> bytes, pcm;
        std::string why;
        if (!ReadFile(wav, &bytes) || !WavSamples(bytes, &pcm, &why)) {
            std::fprintf(stderr, "zynvs talk: %s: %s\n", wav.c_str(), why.empty() ? "unreadable" : why.c_str());
            return 2;
        }
        feed = "/tmp/zynvs-talk-" + std::to_string(getpid()) + ".raw";
        if (!WriteFile(feed, pcm.data(), pcm.size())) return 1;
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILEIN", feed.c_str(), 1);
        setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
        seconds = std::min<int>(seconds, static_cast<int>(pcm.size() / 16000) + 1);
    }
    int rc = 1;
    {
        DeviceSession session(dev);
        if (session.ok()) {
            if (!session.OpenStream(dev.channel)) {
                std::fprintf(stderr, "zynvs talk: the stream connection did not open\n");
            } else if (ZYNVS_StartTalk(session.id()) != 1) {
                std::fprintf(stderr, "zynvs talk: the device or the audio input refused talk\n");
            } else {
                std::fprintf(stderr, "talking for %d s ...\n", seconds);
                std::this_thread::sleep_for(std::chrono::seconds(seconds));
                ZYNVS_StopTalk(session.id());
                ZYNVS_StopRealPlay(session.id(), dev.channel);
                std::printf("talk: %d s of audio sent\n", seconds);
                rc = 0;
            }
        }
    }
    if (!feed.empty()) std::remove(feed.c_str());
    return rc;
}
}  // namespace zynvs_app
