#include "decodekit/platform/avi_file.h"

#include <sys/types.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

using namespace decodekit;

namespace {

constexpr uint32_t kAviFlags = 0x910;  // has index, interleaved, trust chunk type
constexpr uint32_t kAviHasIndex = 0x10;
constexpr uint32_t kUnknownSize = 0xFFFFFFFFu;
constexpr std::size_t kNativeStartTimeAt = 160;
constexpr std::size_t kNativeStopTimeAt = 164;

void put_u16(uint8_t* at, uint16_t v) {
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
}

void put_u32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

void put_tag(uint8_t* at, const char* tag) {
    std::memcpy(at, tag, 4);
}

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

bool CAviFile::WriteAllLocked(const void* data, std::size_t length) {
    if (length == 0) return true;
    return std::fwrite(data, 1, length, stream_) == length;
}

bool CAviFile::SeekLocked(uint64_t position) {
    std::clearerr(stream_);
    return fseeko(stream_, static_cast<off_t>(position), SEEK_SET) == 0;
}

void CAviFile::WriteAviHeaderLocked(uint8_t (&h)[kAviHeaderBytes]) const {
    std::memset(h, 0, sizeof h);
    const AviState& a = avi_;
    const uint32_t riff_size = a.file_size ? a.file_size - 8 : kUnknownSize;
    const uint32_t movi_size = a.data_end ? a.data_end - a.data_start + 4 : kUnknownSize;
    const uint32_t picture_bytes = a.width * a.height;
    put_tag(h + 0, "RIFF");
    put_u32(h + 4, riff_size);
    put_tag(h + 8, "AVI ");
    put_tag(h + 12, "LIST");
    put_u32(h + 16, 192);
    put_tag(h + 20, "hdrl");
    put_tag(h + 24, "avih");
    put_u32(h + 28, 56);
    put_u32(h + 32, static_cast<uint32_t>(1000000.0f / a.frame_rate));
    put_u32(h + 36, 0xFFFFFFFFu);
    put_u32(h + 40, 0);
    // A file whose index could not be written says so, so readers scan it.
    put_u32(h + 44,
            (a.data_end && a.file_size == a.data_end) ? (kAviFlags & ~kAviHasIndex) : kAviFlags);
    put_u32(h + 48, a.frame_count);
    put_u32(h + 52, 0);
    put_u32(h + 56, 1);
    put_u32(h + 60, 1000000);
    put_u32(h + 64, a.width);
    put_u32(h + 68, a.height);
    put_tag(h + 88, "LIST");
    put_u32(h + 92, 116);
    put_tag(h + 96, "strl");
    put_tag(h + 100, "strh");
    put_u32(h + 104, 56);
    put_tag(h + 108, "vids");
    std::memcpy(h + 112, a.codec, 4);
    put_u32(h + 116, 0);
    put_u32(h + 120, 0);
    put_u32(h + 124, 0);
    put_u32(h + 128, 1000);
    put_u32(h + 132, static_cast<uint32_t>(a.frame_rate * 1000.0f));
    put_u32(h + 136, 0);
    put_u32(h + 140, a.frame_count);
    put_u32(h + 144, 0x100000);
    put_u32(h + 148, 0xFFFFFFFFu);
    put_u32(h + 152, picture_bytes);
    put_u16(h + 160, static_cast<uint16_t>(a.width));
    put_u16(h + 162, static_cast<uint16_t>(a.height));
    put_tag(h + 164, "strf");
    put_u32(h + 168, 40);
    put_u32(h + 172, 40);
    put_u32(h + 176, a.width);
    put_u32(h + 180, a.height);
    put_u16(h + 184, 1);
    put_u16(h + 186, 24);
    std::memcpy(h + 188, a.codec, 4);
    put_u32(h + 192, picture_bytes);
    put_tag(h + 212, "LIST");
    put_u32(h + 216, movi_size);
    put_tag(h + 220, "movi");
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
    broken_ = false;

    bool ok;
    if (mode_ == kRecordModeAvi) {
        if (audio_kind == 1 || audio_kind == 2) {
            audio_format_ = audio_kind == 1 ? 6 : 7;
            std::memcpy(audio_name_, "G711", 5);
        }
        avi_ = AviState{};
        uint8_t header[kAviHeaderBytes];
        WriteAviHeaderLocked(header);
        ok = WriteAllLocked(header, sizeof header);
        avi_.data_start = static_cast<uint32_t>(kAviHeaderBytes);
        end_ = kAviHeaderBytes;
    } else {
        std::memset(native_header_, 0, sizeof native_header_);
        std::memcpy(native_header_, "ZYNIPCFH", 8);
        native_header_[11] = header_byte_;
        put_u32(native_header_ + kNativeStartTimeAt, now_seconds());
        ok = WriteAllLocked(native_header_, sizeof native_header_);
        end_ = kNativeHeaderBytes;
    }
    if (!ok) {
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
    if (!stream_ || !buffer || broken_) return 0;

    if (mode_ != kRecordModeAvi) {
        if (!WriteAllLocked(buffer, length)) {
            write_failed_ = true;
            if (!SeekLocked(end_)) broken_ = true;
            return 0;
        }
        end_ += length;
        ++frames_written_;
        return 1;
    }

    if (kind != 0 && kind != 1) return 0;
    const uint64_t pad = length & 1u;
    const uint64_t chunk_bytes = 8 + static_cast<uint64_t>(length) + pad;
    AviState& a = avi_;
    const uint64_t final_size =
        end_ + chunk_bytes + 8 + kAviIndexEntryBytes * (static_cast<uint64_t>(a.frame_count) + 1);
    if (final_size > avi_max_file_bytes_) return 0;

    if (a.index_capacity <= a.frame_count) {
        try {
            a.index.resize(kAviIndexEntryBytes * (a.index_capacity + kAviIndexGrowEntries));
        } catch (const std::bad_alloc&) {
            return 0;
        }
        a.index_capacity += kAviIndexGrowEntries;
    }

    const uint64_t position = end_;
    uint8_t chunk_header[8];
    put_tag(chunk_header, "00dc");
    put_u32(chunk_header + 4, static_cast<uint32_t>(length));
    static const uint8_t zero = 0;
    if (!WriteAllLocked(chunk_header, sizeof chunk_header) || !WriteAllLocked(buffer, length) ||
        (pad && !WriteAllLocked(&zero, 1))) {
        write_failed_ = true;
        if (!SeekLocked(end_)) broken_ = true;
        return 0;
    }
    uint8_t* entry = a.index.data() + kAviIndexEntryBytes * a.frame_count;
    put_tag(entry, "00dc");
    put_u32(entry + 4, key_frame ? kAviKeyFrameFlag : 0);
    put_u32(entry + 8, static_cast<uint32_t>(position));
    put_u32(entry + 12, static_cast<uint32_t>(length));
    ++a.frame_count;
    end_ += chunk_bytes;
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
    bool ok = true;
    uint64_t file_size = end_;
    // After a dropped frame the stream may stand past the last good frame.
    if ((write_failed_ || broken_) && !SeekLocked(end_)) ok = false;

    if (mode_ == kRecordModeAvi) {
        AviState& a = avi_;
        a.data_end = static_cast<uint32_t>(end_);
        uint8_t index_header[8];
        put_tag(index_header, "idx1");
        const uint32_t index_bytes = static_cast<uint32_t>(kAviIndexEntryBytes * a.frame_count);
        put_u32(index_header + 4, index_bytes);
        if (ok && WriteAllLocked(index_header, sizeof index_header) &&
            WriteAllLocked(a.index.data(), index_bytes)) {
            file_size = end_ + sizeof index_header + index_bytes;
        } else {
            ok = false;  // the file ends after the last frame, without index
        }
        a.file_size = static_cast<uint32_t>(file_size);
        uint8_t header[kAviHeaderBytes];
        WriteAviHeaderLocked(header);
        if (!SeekLocked(0) || !WriteAllLocked(header, sizeof header)) ok = false;
        a.index.clear();
        a.index.shrink_to_fit();
        a.index_capacity = 0;
    } else {
        put_u32(native_header_ + kNativeStopTimeAt, now_seconds());
        if (!SeekLocked(0) || !WriteAllLocked(native_header_, sizeof native_header_)) ok = false;
    }
    if (std::fclose(stream_) != 0) ok = false;
    stream_ = nullptr;
    if (!ok || write_failed_ || broken_) {
        // Cut off what a failed write left behind the last complete frame.
        std::error_code ec;
        if (std::filesystem::is_regular_file(path_, ec) &&
            std::filesystem::file_size(path_, ec) > file_size && !ec) {
            std::filesystem::resize_file(path_, file_size, ec);
        }
    }
    if (clean) *clean = ok;
}
