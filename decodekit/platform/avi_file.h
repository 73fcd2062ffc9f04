// Local recording writer: native "ZYNIPCFH" files (512-byte header, then the
// frame records as the live path assembles them) or AVI files (one H.264
// video stream at 25 frames per second with an idx1 index). Layouts in
// decodekit/platform/README.md.
//
// Threads: WriteFrame runs on the thread that delivers the device's media
// (a transport thread); Open and Close run on an application thread. One
// internal mutex serialises them, so a Close never interleaves with a frame
// in flight; a frame that arrives after Close is dropped.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "mediafile/riff_writer.h"

namespace decodekit {

constexpr int kRecordModeAvi = 1;  // any other mode value selects the native format
constexpr std::size_t kNativeHeaderBytes = 512;
constexpr std::size_t kAviHeaderBytes = 224;
constexpr uint8_t kKeyFrameType = 7;  // fragment header byte 4
// AVI positions and sizes are 32-bit: frames that would take the file (with
// its index) past this are refused, so the file stays readable.
constexpr uint64_t kAviMaxFileBytes = 0xFFFFFFFFull;

}  // namespace decodekit

class CAviFile {
public:
    // AVI bookkeeping; meaningful in AVI mode only.
    struct AviState {
        float frame_rate = 25.0f;
        char codec[4] = {'h', '2', '6', '4'};
        uint32_t width = 0;  // the writer is not told the picture size
        uint32_t height = 0;
        uint32_t data_start = 0;  // position just after the "movi" tag
        uint32_t data_end = 0;    // where the index begins; 0 until close
        uint32_t file_size = 0;   // 0 until close
        uint32_t frame_count = 0;
    };

    CAviFile();
    // Closes an open recording properly.
    ~CAviFile();
    CAviFile(const CAviFile&) = delete;
    CAviFile& operator=(const CAviFile&) = delete;

    // Creates (truncates) path for mode 1 = AVI or any other value = native,
    // after finishing a file that is still open. audio_kind 1 or 2 records
    // G.711 (format 6 or 7) on the object; it goes into neither format.
    // 1 when the file was created and its header written, else 0.
    int Open(const char* path, int mode, int audio_kind);

    // Appends one frame. Native mode: buffer is the whole frame record
    // (30-byte prefix and data), written as it is. AVI mode: buffer is the
    // frame data; kinds 0 and 1 give "00dc" chunks, other kinds are ignored;
    // key_frame marks the index entry. 1 when the frame is in the file; 0 when
    // nothing is open, buffer is null, the kind is ignored, the AVI would pass
    // 4 GiB, or the write failed (the frame is then left out whole: the file
    // continues at the end of the previous frame).
    int WriteFrame(const void* buffer, std::size_t length, int kind, int key_frame);

    // Finishes the file (native: stop time; AVI: idx1 index and final header)
    // and closes it. 1 when a file was finished cleanly; 0 when none was open
    // or finishing it failed (the file is then as complete as could be made).
    // Safe to call again.
    int Close();

    // The recording flag: 1 from a successful Open until Close. Lock-free, for
    // the live path's test before each frame.
    int is_recording() const { return recording_.load(); }
    int mode() const;
    // Frames written since Open (both modes).
    uint32_t frames_written() const;
    // 1 after a failed write since Open (the frame was dropped).
    int write_failed() const;
    // Tests: lowers the AVI size limit.
    void set_avi_max_file_bytes(uint64_t bytes);

    const char* audio_name() const { return audio_name_; }
    int audio_format() const { return audio_format_; }

private:
    void CloseLocked(bool* clean);
    void WriteAviHeaderLocked(uint8_t (&out)[decodekit::kAviHeaderBytes]) const;

    mutable std::mutex mutex_;       // guards everything below but recording_
    int mode_ = -1;                  // -1 before the first open
    const uint8_t header_byte_ = 1;  // byte 11 of the native header
    AviState avi_;
    char audio_name_[5] = {};  // "G711" after an open with audio kind 1 or 2
    int audio_format_ = 0;     // 6 or 7 with audio kind 1 or 2
    std::FILE* stream_ = nullptr;
    std::atomic<int> recording_{0};  // written under mutex_, read anywhere
    uint8_t native_header_[decodekit::kNativeHeaderBytes] = {};
    std::string path_;
    mediafile::RiffChunkWriter chunks_;  // the file's bytes, the AVI index
    uint32_t frames_written_ = 0;
    bool write_failed_ = false;
    uint64_t avi_max_file_bytes_ = decodekit::kAviMaxFileBytes;
};
