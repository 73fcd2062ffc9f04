// CTalk: captures the default input device with SDL2 (8000 Hz mono, 16-bit),
// encodes it and hands it to the talk callback block by block.
//
// A block is 320 samples (40 ms). Its bytes by the audio format of SetFormat
// (the numbers of CPlayAudio): 1 (and 0 and unknown values) the 4-byte audio
// frame header 00 01 A0 00 and 320 bytes of G.711 mu-law (324 bytes); 2 the
// same header and 320 bytes of G.711 A-law (324 bytes); 3 640 bytes of 16-bit
// little-endian PCM without header. Every block is at most 1376 bytes.
//
// Threads. SDL's capture thread only copies samples into a ring buffer; our
// own capture thread encodes them and calls the talk callback, which may block
// briefly (a network send) without losing input. The callback must not call
// StopTalk or destroy the object. After RegisterTalkCallback returns, the
// previous callback is not running and will not be called again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <zynvs/zynvs_platform.h>

typedef void(ZYNVS_CALL* TalkCallback)(const uint8_t* data, uint16_t length, void* user);

constexpr size_t kTalkBlockSamples = 320;
constexpr size_t kTalkMaxBlockBytes = 1376;

// Addition of ours: counters of one talk session (since StartTalk).
struct RenderTalkStats {
    uint64_t blocks;           // blocks handed to the callback
    uint64_t samples_captured; // samples SDL delivered
    uint64_t samples_dropped;  // samples lost because the ring was full
};

class CTalk {
public:
    CTalk();
    ~CTalk();
    CTalk(const CTalk&) = delete;
    CTalk& operator=(const CTalk&) = delete;

    // talk_format is kept (the SDK always gives 1); audio_format selects the
    // encoding as above. Takes effect at the next block.
    void SetFormat(uint8_t talk_format, uint8_t audio_format);
    // NULL unregisters. Returns 1.
    int RegisterTalkCallback(TalkCallback cb, void* user);
    // Opens the capture device and starts the capture thread. 1 capturing
    // (also when already capturing), 0 when no capture device opens.
    int StartTalk();
    // Stops capturing; blocks not yet full are dropped. Returns 1 (0 when called
    // from inside the talk callback).
    int StopTalk();
    // Nonzero while capturing (0 once the capture device went away).
    int IsTalking();

    // ---- Additions of ours ----------------------------------------------
    void GetStats(RenderTalkStats* stats);
    // Bytes of one block in the current format.
    int BlockBytes();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
