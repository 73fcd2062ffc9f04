// H.264 GOP loops of the test picture, encoded once and replayed.
//
// A loop is `loop_frames` pictures (a whole number of GOPs) encoded with
// libx264 (repeat-headers, fixed GOP, no B-frames, zerolatency). Every GOP
// starts with an IDR picture that carries SPS and PPS, so a stream can start
// or jump to any GOP start and the replay wraps around without a glitch.
// Loops are kept in a process-wide cache: each (size, rate, bit rate, GOP,
// channel, stream kind) is encoded once per process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace devsim {

struct VideoLoopKey {
    int width = 352;
    int height = 288;
    int fps = 25;
    int bitrate_kbps = 512;
    int gop = 25;
    int loop_frames = 25;  // rounded up to a multiple of gop
    int channel = 0;       // burnt into the picture (0..3)
    int stream_kind = 0;   // 0 main, 1 sub

    auto operator<=>(const VideoLoopKey&) const = default;
};

struct EncodedFrame {
    std::vector<uint8_t> data;  // Annex B access unit
    bool key = false;           // IDR (with SPS and PPS in front)
};

struct VideoLoop {
    VideoLoopKey key;
    std::vector<EncodedFrame> frames;
    std::string encoder;        // name of the FFmpeg encoder used
    double encode_seconds = 0;  // wall time the encoding took
    uint64_t total_bytes = 0;

    // Average bit rate of the loop when played at key.fps.
    double BitrateKbps() const;
    // Index of the key frame that starts the GOP holding `index`.
    int GopStart(int index) const;
};

// Encodes the loop, or returns the cached one. Thread-safe; concurrent
// callers of the same key wait for one encoding. Null with *error set when no
// H.264 encoder is available or the encoder fails.
std::shared_ptr<const VideoLoop> GetVideoLoop(const VideoLoopKey& key, std::string* error);

// Encodes without the cache (the benchmark uses it to time one encoding).
std::shared_ptr<const VideoLoop> EncodeVideoLoop(const VideoLoopKey& key, std::string* error);

// Keeps the encoder's statistics lines off stderr (FFmpeg's log level is
// process-wide: only programs and tests call this).
void QuietCodecLogs();

// The resolution code carried in fragment header byte 2 and at byte 72 of the
// video parameter record: 1 = 176x144, 2 = 352x288, 3 = 704x576,
// 4 = 1280x720, 5 = 1920x1080, 0 = any other size.
uint8_t ResolutionCode(int width, int height);
// The size of a code 1..5; false for other codes.
bool SizeOfResolutionCode(uint8_t code, int* width, int* height);

}  // namespace devsim
