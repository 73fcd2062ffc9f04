#include "decodekit/platform/avi_file.h"

#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "zynvs/wire/byte_order.h"

using namespace decodekit;

using mediafile::kAviIndexEntryBytes;
using mediafile::kAviKeyFrameFlag;
using mediafile::kRiffUnknownSize;

namespace {

constexpr uint32_t kAviFlags = 0x910;  // has index, interleaved, trust chunk type
constexpr uint32_t kAviHasIndex = 0x10;
constexpr std::size_t kNativeStartTimeAt = 160;
constexpr std::size_t kNativeStopTimeAt = 164;

uint32_t now_seconds() {
    return static_cast<uint32_t>(static_cast<uint64_t>(std::time(nullptr)));
}

}  // namespace

CAviFile::CAviFile() = default;

CAviFile::~CAviFile() {
    Close();
}

int CAviFile::mode() const {
    std::lock_guard lock(mutex_);
    return mode_;
}

uint32_t CAviFile::frames_written() const {
    std::lock_guard lock(mutex_);
    return frames_written_;
}

int CAviFile::write_failed() const {
    std::lock_guard lock(mutex_);
    return write_failed_ ? 1 : 0;
}

void CAviFile::set_avi_max_file_bytes(uint64_t bytes) {
    std::lock_guard lock(mutex_);
    avi_max_file_bytes_ = bytes < kAviMaxFileBytes ? bytes : kAviMaxFileBytes;
}

void CAviFile::WriteAviHeaderLocked(uint8_t (&out)[kAviHeaderBytes]) const {
    const AviState& a = avi_;
    const uint32_t riff_size = a.file_size ? a.file_size - 8 : kRiffUnknownSize;
    const uint32_t movi_size = a.data_end ? a.data_end - a.data_start + 4 : kRiffUnknownSize;
    const uint32_t picture_bytes = a.width * a.height;
    // A file whose index could not be written says so, so readers scan it.
    const bool no_index = a.data_end && a.file_size == a.data_end;
    mediafile::RiffBytes h;
    h.Tag("RIFF");
    h.U32(riff_size);
    h.Tag("AVI ");
    h.Tag("LIST");
    h.U32(192);
    h.Tag("hdrl");
    h.Tag("avih");
    h.U32(56);
    h.U32(static_cast<uint32_t>(1000000.0f / a.frame_rate));
    h.U32(0xFFFFFFFFu);  // maximum bytes per second
    h.U32(0);            // padding granularity
    h.U32(no_index ? (kAviFlags & ~kAviHasIndex) : kAviFlags);
    h.U32(a.frame_count);
    h.U32(0);  // initial frames
    h.U32(1);  // streams
    h.U32(1000000);
    h.U32(a.width);
    h.U32(a.height);
    h.Zeros(16);
    h.Tag("LIST");
    h.U32(116);
    h.Tag("strl");
    h.Tag("strh");
    h.U32(56);
    h.Tag("vids");
    h.Raw(a.codec, 4);
    h.Zeros(12);  // flags, priority and language, initial frames
    h.U32(1000);  // scale
    h.U32(static_cast<uint32_t>(a.frame_rate * 1000.0f));
    h.U32(0);  // start
    h.U32(a.frame_count);
    h.U32(0x100000);
    h.U32(0xFFFFFFFFu);  // quality
    h.U32(picture_bytes);
    h.U16(0);  // frame rectangle
    h.U16(0);
    h.U16(a.width);
    h.U16(a.height);
    h.Tag("strf");
    h.U32(40);
    h.U32(40);
    h.U32(a.width);
    h.U32(a.height);
    h.U16(1);
    h.U16(24);
    h.Raw(a.codec, 4);
    h.U32(picture_bytes);
    h.Zeros(16);
    h.Tag("LIST");
    h.U32(movi_size);
    h.Tag("movi");
    std::memcpy(out, h.data(), sizeof out);
}

int CAviFile::Open(const char* path, int mode, int audio_kind) {
    std::lock_guard lock(mutex_);
    // The old file is finished in its own format before the new mode applies.
    if (stream_) CloseLocked(nullptr);
    mode_ = mode;
    if (!path) return 0;
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return 0;
    // Unbuffered: a failed write is seen at once and can be taken back whole.
    std::setvbuf(f, nullptr, _IONBF, 0);
    stream_ = f;
    path_ = path;
    frames_written_ = 0;
    write_failed_ = false;

    chunks_.Start(stream_, 0);
    int error;
    if (mode_ == kRecordModeAvi) {
        if (audio_kind == 1 || audio_kind == 2) {
            audio_format_ = audio_kind == 1 ? 6 : 7;
            std::memcpy(audio_name_, "G711", 5);
        }
        avi_ = AviState{};
        uint8_t header[kAviHeaderBytes];
        WriteAviHeaderLocked(header);
        error = chunks_.Append(header, sizeof header);
        avi_.data_start = static_cast<uint32_t>(kAviHeaderBytes);
    } else {
        std::memset(native_header_, 0, sizeof native_header_);
        std::memcpy(native_header_, "ZYNIPCFH", 8);
        native_header_[11] = header_byte_;
        zyn::wire::StoreLe32(native_header_ + kNativeStartTimeAt, now_seconds());
        error = chunks_.Append(native_header_, sizeof native_header_);
    }
    if (error != 0) {
        // No room even for the header: no recording, and no useless file.
        std::fclose(stream_);
        stream_ = nullptr;
        std::error_code ec;
        if (std::filesystem::is_regular_file(path_, ec)) std::filesystem::remove(path_, ec);
        return 0;
    }
    recording_.store(1);
    return 1;
}

int CAviFile::WriteFrame(const void* buffer, std::size_t length, int kind, int key_frame) {
    std::lock_guard lock(mutex_);
    if (!stream_ || !buffer || chunks_.broken()) return 0;

    if (mode_ != kRecordModeAvi) {
        if (chunks_.Append(buffer, length) != 0) {
            write_failed_ = true;
            return 0;
        }
        ++frames_written_;
        return 1;
    }

    if (kind != 0 && kind != 1) return 0;
    const uint64_t chunk_bytes = 8 + static_cast<uint64_t>(length) + (length & 1u);
    AviState& a = avi_;
    const uint64_t final_size = chunks_.end() + chunk_bytes + 8 +
                                kAviIndexEntryBytes * (static_cast<uint64_t>(a.frame_count) + 1);
    if (final_size > avi_max_file_bytes_) return 0;
    const int error = chunks_.AppendChunk("00dc", buffer, length, key_frame ? kAviKeyFrameFlag : 0);
    if (error != 0) {
        if (error != ENOMEM) write_failed_ = true;
        return 0;
    }
    ++a.frame_count;
    ++frames_written_;
    return 1;
}

int CAviFile::Close() {
    recording_.store(0);  // the live path stops offering frames at once
    std::lock_guard lock(mutex_);
    if (!stream_) return 0;
    bool clean = false;
    CloseLocked(&clean);
    return clean ? 1 : 0;
}

void CAviFile::CloseLocked(bool* clean) {
    recording_.store(0);
    bool ok = !chunks_.broken();
    const uint64_t end = chunks_.end();
    uint64_t file_size = end;

    if (mode_ == kRecordModeAvi) {
        AviState& a = avi_;
        a.data_end = static_cast<uint32_t>(end);
        if (ok && chunks_.WriteIndex() == 0) {
            file_size = chunks_.index_end();
        } else {
            ok = false;  // the file ends after the last frame, without index
        }
        a.file_size = static_cast<uint32_t>(file_size);
        uint8_t header[kAviHeaderBytes];
        WriteAviHeaderLocked(header);
        if (chunks_.WriteAt(0, header, sizeof header) != 0) ok = false;
        chunks_.ReleaseIndex();
    } else {
        zyn::wire::StoreLe32(native_header_ + kNativeStopTimeAt, now_seconds());
        if (chunks_.WriteAt(0, native_header_, sizeof native_header_) != 0) ok = false;
    }
    if (std::fclose(stream_) != 0) ok = false;
    stream_ = nullptr;
    if (!ok || write_failed_) {
        // Cut off what a failed write left behind the last complete frame.
        std::error_code ec;
        if (std::filesystem::is_regular_file(path_, ec) &&
            std::filesystem::file_size(path_, ec) > file_size && !ec) {
            std::filesystem::resize_file(path_, file_size, ec);
        }
    }
    if (clean) *clean = ok;
}
