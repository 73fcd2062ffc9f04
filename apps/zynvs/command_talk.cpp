// zynvs talk: two-way audio towards the device, from the microphone or a WAV
// file (8000 Hz mono 16-bit PCM), for a few seconds.
#include <cerrno>
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
#include "apps/zynvs/console.h"
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
    if (wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) ||
        std::memcmp(wav.data() + 8, "WAVE", 4)) {
        *why = "not a WAV file";
        return false;
    }
    bool fmt_ok = false;
    for (std::size_t o = 12; o + 8 <= wav.size();) {
        uint32_t size = u32(o + 4);
        if (o + 8 + size > wav.size()) size = static_cast<uint32_t>(wav.size() - o - 8);
        if (!std::memcmp(wav.data() + o, "fmt ", 4) && size >= 16) {
            fmt_ok =
                u16(o + 8) == 1 && u16(o + 10) == 1 && u32(o + 12) == 8000 && u16(o + 22) == 16;
            if (!fmt_ok) {
                *why =
                    "the WAV file must be PCM, mono, 8000 Hz, 16 bit (sox in.wav -r 8000 -c 1 -b "
                    "16 out.wav)";
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

int CommandTalk(const std::vector<std::string>& args) {
    DeviceOptions dev;
    std::string wav;
    int seconds = 5;
    OptionParser p("talk", "[--wav FILE] [--seconds N] [device options]",
                   "Talks to the device: sends the microphone, or a WAV file, as its audio input.");
    p.Text("--wav", &wav, "FILE",
           "send this file (PCM, mono, 8000 Hz, 16 bit) instead of the microphone");
    p.Int("--seconds", &seconds, 1, 3600,
          "how long to talk; with --wav the default is the whole file");
    AddDeviceOptions(&p, &dev, ChannelUse::kOne);
    if (int rc = p.Parse(args); rc >= 0) return rc;
    std::string feed;
    double wav_seconds = 0;
    if (!wav.empty()) {
        // SDL's disk driver reads raw capture samples from a file: hand it the
        // WAV file's samples.
        std::vector<uint8_t> bytes, pcm;
        std::string why;
        if (!ReadFile(wav, &bytes))
            return p.UsageError("cannot read " + wav + ": " + std::strerror(errno));
        if (!WavSamples(bytes, &pcm, &why)) return p.UsageError(wav + ": " + why);
        constexpr double kBytesPerSecond = 8000 * 2;
        wav_seconds = pcm.size() / kBytesPerSecond;
        if (p.Given("--seconds")) wav_seconds = std::min<double>(wav_seconds, seconds);
        feed = "/tmp/zynvs-talk-" + std::to_string(getpid()) + ".raw";
        if (!WriteFile(feed, pcm.data(), pcm.size(), &why)) {
            std::fprintf(stderr, "zynvs talk: cannot write %s: %s\n", feed.c_str(), why.c_str());
            return kExitFailed;
        }
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILEIN", feed.c_str(), 1);
        setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    }
    const double talk_seconds = wav.empty() ? seconds : wav_seconds;
    int rc = kExitFailed;
    {
        DeviceSession session(dev, "talk");
        if (session.ok() && session.CheckChannels(dev.channels)) {
            if (!session.OpenStream(dev.channel())) {
                std::fprintf(stderr, "zynvs talk: the stream connection did not open\n");
            } else if (ZYNVS_StartTalk(session.id()) != 1) {
                std::fprintf(stderr, "zynvs talk: the device or the audio input refused talk\n");
            } else {
                std::fprintf(stderr, "talking for %.1f s ...\n", talk_seconds);
                // The capture runs in real time; the wait ends early on Ctrl-C.
                const auto start = std::chrono::steady_clock::now();
                const auto end =
                    start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                std::chrono::duration<double>(talk_seconds));
                while (std::chrono::steady_clock::now() < end && !StopRequested())
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                ZYNVS_StopTalk(session.id());
                ZYNVS_StopRealPlay(session.id(), dev.channel());
                const double sent = std::chrono::duration<double>(
                                        std::min(std::chrono::steady_clock::now(), end) - start)
                                        .count();
                if (wav.empty())
                    std::printf("talk: %.1f s of audio sent\n", sent);
                else
                    std::printf("talk: %.1f s of %s sent (the file holds %.1f s)\n", sent,
                                wav.c_str(), wav_seconds);
                rc = StopRequested() ? kExitFailed : kExitOk;
            }
        }
    }
    if (!feed.empty()) std::remove(feed.c_str());
    return rc;
}
}  // namespace zynvs_app
