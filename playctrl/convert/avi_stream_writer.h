// AVI (RIFF) writer of the conversion engine's mode 1.
//
// File layout, little-endian: "RIFF" size "AVI ", the "hdrl" list (avih, then
// one "strl" list with strh and strf per stream, in the order the streams were
// added), the "movi" list of sample chunks ("00dc" video, "NNwb" audio, each
// padded to an even length), and an "idx1" index with one 16-byte entry per
// chunk whose offsets count from the start of the file. With one video stream
// the header is 224 bytes and "movi" data starts at 224, as in the SDK's own
// AVI recordings; the stream header values differ (handler "H264", rate 25 /
// scale 1, suggested buffer width x height x 3).
//
// Streams must be added before the first sample is written. One writer is
// used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "mediafile/riff_writer.h"

namespace playctrl::convert {

// Samples are refused once the sample bytes written would pass this.
constexpr uint64_t kAviMaxTotalBytes = 0x7EC00000;

class CAviStreamWriter {
public:
    CAviStreamWriter() = default;
    ~CAviStreamWriter();  // closes
    CAviStreamWriter(const CAviStreamWriter&) = delete;
    CAviStreamWriter& operator=(const CAviStreamWriter&) = delete;

    // Deletes an existing file of that name, creates the missing folders of
    // the path and creates the file. 0, or the errno value of the failure;
    // after a failure every later call fails and nothing is written.
    int Open(const char* path);

    // Codec type 1 or 11 "XVID", 3 "H263", 4 "H264"; others are refused with
    // -1, as is a second video stream or a stream added after the first
    // sample. 0 on success, an errno value when no file is open.
    int AddVideoStream(int width, int height, int rate, int scale, int codec_type);

    // Codec type 1 gives wave format tag 1 (PCM), 2 and 3 tag 0x55, 21, 22, 23
    // and 29 tag 0xA280; others are refused with -1 (same rules as video).
    int AddAudioStream(int sample_rate, int bits_per_sample, int channels, int codec_type);

    // Appends one sample, flagged as a key frame (0x10) when key is set. -1
    // when the sample bytes would pass kAviMaxTotalBytes or there is no video
    // stream; an errno value when the write fails (the sample is then left out
    // whole); else 0.
    int WriteVideo(const void* data, std::size_t length, bool key);

    // Appends one audio sample, always flagged 0x10. Does nothing and returns 0
    // when there is no audio stream.
    int WriteAudio(const void* data, std::size_t length);

    // Writes the index and the final header and closes the file. 0, or the
    // errno value of a write that failed on the way (also an earlier one that
    // left the file broken). Safe to call again; the destructor calls it.
    int Close();

    bool is_open() const { return file_ != nullptr; }
    bool has_video_stream() const { return video_ >= 0; }
    bool has_audio_stream() const { return audio_ >= 0; }
    uint32_t video_samples() const { return video_samples_; }
    uint32_t audio_samples() const { return audio_samples_; }
    uint64_t total_bytes() const { return total_bytes_; }
    int video_width() const { return width_; }
    int video_height() const { return height_; }

    // Tests: lowers the sample byte limit.
    void set_max_total_bytes(uint64_t bytes) { max_total_bytes_ = bytes; }

private:
    struct Stream {
        bool video = false;
        char handler[4] = {};
        uint32_t scale = 0, rate = 0, suggested_buffer = 0, sample_size = 0;
        mediafile::RiffBytes format;  // strf contents
    };

    int CanAddStream() const;
    mediafile::RiffBytes BuildHeader(bool final_sizes) const;
    int EnsureHeader();
    int WriteChunk(const char* tag, const void* data, std::size_t length, bool key);

    std::FILE* file_ = nullptr;
    int open_error_ = 0;  // errno of a failed Open
    std::string path_;
    std::vector<Stream> streams_;
    int video_ = -1;  // stream numbers, -1 when absent
    int audio_ = -1;
    int width_ = 0, height_ = 0;
    bool header_written_ = false;
    uint64_t data_start_ = 0;  // just after the "movi" tag
    uint32_t video_samples_ = 0;
    uint32_t audio_samples_ = 0;
    uint64_t audio_bytes_ = 0;
    uint64_t total_bytes_ = 0;  // sample bytes written, all streams
    uint64_t max_total_bytes_ = kAviMaxTotalBytes;
    uint64_t final_file_size_ = 0;
    uint64_t final_data_end_ = 0;
    mediafile::RiffChunkWriter chunks_;  // chunks and their index
};

}  // namespace playctrl::convert
