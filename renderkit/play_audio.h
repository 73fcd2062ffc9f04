// CPlayAudio: plays one audio stream (G.711 or 16-bit PCM, 8000 Hz mono)
// through SDL2 on the default output device.
//
// Format numbers (StartAudio's format, SendOneFrame's type): 0 or 1 G.711
// mu-law, 2 G.711 A-law, 3 16-bit little-endian PCM; other values mean 1.
// A block that begins with the 4-byte audio frame header (00 01, then the
// payload length in 16-bit words, little-endian) is played without it.
//
// Threads. SendOneFrame decodes on the caller's thread into a ring buffer of
// one second; SDL's audio thread takes samples from it (volume and mute are
// applied there, so they act at once). When the ring is full the oldest
// samples are dropped, keeping the delay bounded. Without an audio device
// (none present, or it disappeared) the player runs silently: blocks are
// accepted and counted but not played. All operations may be called from any
// thread; none blocks for long.
#pragma once

#include <cstdint>
#include <memory>

#include <zynvs/zynvs_platform.h>

// Addition of ours: counters of one player (since StartAudio).
struct RenderAudioStats {
    uint64_t blocks;           // blocks accepted by SendOneFrame
    uint64_t samples_in;       // samples decoded from them
    uint64_t samples_played;   // samples handed to the device
    uint64_t samples_dropped;  // samples dropped because the ring was full
    int32_t null_output;       // 1 when no device is open (silent)
};

class CPlayAudio {
public:
    CPlayAudio();
    ~CPlayAudio();
    CPlayAudio(const CPlayAudio&) = delete;
    CPlayAudio& operator=(const CPlayAudio&) = delete;

    // Opens the output for `format`. The window is kept, no effect. Returns 1
    // (also with null output); while started, only the format changes.
    int StartAudio(ZYNVS_WND wnd, int format);
    // Plays one block. type 0: the format given to StartAudio; 1, 2, 3: that
    // format for this block; other values: the started format. 1 accepted,
    // 0 not started or bad arguments (null, length <= 0 or above 65536).
    int SendOneFrame(const uint8_t* data, int length, int type);
    // Closes the output and drops buffered samples. Returns 1.
    int StopAudio();
    // 0 silent .. 0xFFFF unchanged (linear). Default 0xFFFF. Returns 1.
    int SetVolume(uint16_t volume);
    // Nonzero mutes. Returns 1.
    int SetMute(int mute);

    // ---- Additions of ours ----------------------------------------------
    void GetStats(RenderAudioStats* stats);
    // Waits until the ring buffer is empty (all samples handed to the device
    // or, with null output, at once). 1 when empty, 0 on time-out.
    int WaitPlayed(int timeout_ms);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
