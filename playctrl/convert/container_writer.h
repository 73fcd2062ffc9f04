// CContainerWriter: a recording's H.264 video and G.711 mu-law audio in a
// standard container (MP4 or Matroska) through libavformat. The video is
// copied as it is; the audio is copied where the container takes G.711 and
// encoded to AAC (FFmpeg's native encoder) where it does not.
//
// Video time stamps are the frames' capture times in milliseconds, counted
// from the first frame; audio time stamps count its samples (8 kHz). Each
// video packet is held until the next one so it carries its real duration;
// the last one lasts as long as the one before it.
//
// Belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;

namespace playctrl::convert {

enum class Container { kMp4, kMatroska };

class CContainerWriter {
public:
    CContainerWriter() = default;
    ~CContainerWriter();
    CContainerWriter(const CContainerWriter&) = delete;
    CContainerWriter& operator=(const CContainerWriter&) = delete;

    // Opens `path` for writing (the container is named, not guessed from the
    // name). False with error() set when it cannot be opened.
    bool Open(const std::string& path, Container container);
    // Declares the streams and writes the container header: the video from
    // its first key frame (parameter sets and picture size), the audio only
    // when `audio`. Called once, before the first Write.
    bool Begin(const uint8_t* key_frame, std::size_t bytes, int width, int height, bool audio);
    // One whole H.264 frame (Annex B) captured at `time_ms`.
    bool WriteVideo(const uint8_t* frame, std::size_t bytes, bool key, int64_t time_ms);
    // G.711 mu-law bytes, one sample a byte, 8 kHz mono.
    bool WriteAudio(const uint8_t* g711, std::size_t bytes);
    // Writes what is held back and the container's trailer, closes the file.
    bool Close();

    bool begun() const { return begun_; }
    bool audio_copied() const { return audio_copied_; }
    const std::string& error() const { return error_; }
    // errno of a failed write, 0 when none failed or the failure had no errno.
    int system_error() const { return system_error_; }

private:
    bool Fail(int av_result, const char* what);
    bool WritePacket(AVPacket* packet, AVStream* stream, int64_t time_base_den);
    bool FlushHeldVideo(int64_t duration_ms);
    bool EncodeAudio(bool flush);
    void Free();

    AVFormatContext* format_ = nullptr;
    AVStream* video_ = nullptr;
    AVStream* audio_ = nullptr;
    AVCodecContext* aac_ = nullptr;
    AVFrame* aac_frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    bool begun_ = false;
    bool audio_copied_ = false;
    bool closed_ = false;
    std::vector<float> pending_samples_;  // AAC input not yet a whole frame
    int64_t audio_samples_in_ = 0;
    // The video packet held back until its duration is known.
    std::vector<uint8_t> held_;
    bool held_key_ = false;
    bool have_held_ = false;
    int64_t held_time_ = 0;
    int64_t last_duration_ = 0;
    std::string error_;
    int system_error_ = 0;
};

}  // namespace playctrl::convert
