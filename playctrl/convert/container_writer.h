// CContainerWriter: a recording's H.264 video and G.711 mu-law audio in a
// standard container (MP4 or Matroska) through libavformat. The video is
// copied as it is; the audio is copied where the container takes G.711 and
// encoded to AAC (FFmpeg's native encoder) where it does not.
//
// Video time stamps: the frames come in decode order, each with its capture
// time in milliseconds counted from the first frame, rising. Those times are
// the slots the pictures are shown at: the picture shown k-th (by the picture
// order counts of the H.264 slice headers) gets the k-th time as its
// presentation time and lasts until the next slot; the last one lasts as
// long as the one before it. Decode times are the frames' own times moved
// back by the stream's reordering delay (measured on the first pictures), so
// they rise and never pass the presentation times. A stream without B-frames
// gets presentation = decode time + 0. Packets are held back until their
// place in display order is known (kReorderWindow frames).
// Audio time stamps count its samples (8 kHz).
//
// Belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "playctrl/convert/ff_codecs.h"

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
    // One whole H.264 frame (Annex B), in decode order, captured at `time_ms`
    // (rising from frame to frame).
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
    // Gives presentation times to the held pictures whose place in display
    // order is known (all of them when `all`), and writes the packets at the
    // head of the decode order that have one.
    bool FlushVideo(bool all);
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
    // Video packets held back until their presentation time is known.
    struct HeldVideo {
        std::vector<uint8_t> data;
        bool key = false;
        int64_t time_ms = 0;  // its own (decode-order) time
        H264PictureOrder::Order order;
        int64_t pts_ms = -1;  // -1 until its place in display order is known
        int64_t duration_ms = 0;
    };
    std::deque<HeldVideo> held_;  // decode order
    std::deque<int64_t> slots_;   // times not yet given to a picture, rising
    std::size_t unplaced_ = 0;    // held pictures without a presentation time
    H264PictureOrder order_;
    int64_t last_duration_ = 0;
    int64_t reorder_delay_ms_ = -1;  // -1 until the first packet is written
    int64_t last_dts_ = 0;
    bool wrote_video_ = false;
    std::string error_;
    int system_error_ = 0;
};

}  // namespace playctrl::convert
