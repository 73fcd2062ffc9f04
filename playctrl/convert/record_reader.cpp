#include "playctrl/convert/record_reader.h"

#include <algorithm>
#include <cstring>

#include "playctrl/convert/convert_job.h"

namespace playctrl::convert {
namespace {

constexpr std::size_t kReadChunkBytes = 256 * 1024;
constexpr char kPrefix[4] = {'X', 'C', 'X', 'B'};
constexpr char kMagic[9] = {'Z', 'Y', 'N', 'I', 'P', 'C', 'F', 'H', '\0'};
constexpr std::size_t kAudioPayloadMax = 0xFFFF;

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

std::size_t FileByteSource::Read(uint8_t* dst, std::size_t bytes) {
    return file_ ? std::fread(dst, 1, bytes, file_) : 0;
}

std::size_t MemoryByteSource::Read(uint8_t* dst, std::size_t bytes) {
    const std::size_t n = std::min(bytes, size_ - at_);
    if (n > 0) std::memcpy(dst, data_ + at_, n);
    at_ += n;
    return n;
}

RecordingHeader ParseRecordingHeader(const uint8_t* bytes, std::size_t size) {
    RecordingHeader h;
    if (bytes == nullptr || size < kRecordingHeaderBytes) return h;
    if (std::memcmp(bytes, kMagic, sizeof kMagic) != 0) return h;
    h.valid = true;
    h.picture_width = Le16(bytes + 12);
    h.picture_height = Le16(bytes + 14);
    return h;
}

std::size_t RecordPayloadLength(char kind, const uint8_t* header) {
    if (kind == 'V' && header[7] == 1) return Le32(header + 12);
    return Le16(header + 22);
}

RecordReader::RecordReader(ByteSource& source, uint64_t position)
    : source_(source),
      buffer_(std::make_unique_for_overwrite<uint8_t[]>(kReadChunkBytes)),
      position_(position),
      payload_(std::make_unique_for_overwrite<uint8_t[]>(kFrameBufferBytes)) {}

bool RecordReader::Refill() {
    if (source_end_) return false;
    buffer_at_ = 0;
    buffer_end_ = source_.Read(buffer_.get(), kReadChunkBytes);
    if (buffer_end_ == 0) source_end_ = true;
    return buffer_end_ > 0;
}

int RecordReader::GetByte() {
    if (buffer_at_ == buffer_end_ && !Refill()) return -1;
    ++position_;
    return buffer_[buffer_at_++];
}

std::size_t RecordReader::ReadBytes(uint8_t* dst, std::size_t bytes) {
    std::size_t done = 0;
    while (done < bytes) {
        if (buffer_at_ == buffer_end_) {
            // Large reads go straight to the destination.
            if (bytes - done >= kReadChunkBytes && !source_end_) {
                const std::size_t n = source_.Read(dst + done, bytes - done);
                if (n == 0) source_end_ = true;
                done += n;
                position_ += n;
                if (n == 0) break;
                continue;
            }
            if (!Refill()) break;
        }
        const std::size_t n = std::min(bytes - done, buffer_end_ - buffer_at_);
        std::memcpy(dst + done, buffer_.get() + buffer_at_, n);
        buffer_at_ += n;
        done += n;
        position_ += n;
    }
    return done;
}

bool RecordReader::Next(MediaRecord* record, const std::atomic<int>* stop) {
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed)) return false;
        // Find "XCXB". A byte that breaks a partial match is looked at again as
        // a possible start, so garbage ending in 'X' does not hide a record.
        const uint64_t scan_start = position_;
        int matched = 0;
        uint64_t steps = 0;
        while (matched < 4) {
            const int c = GetByte();
            if (c < 0) {
                stats_.skipped_bytes += position_ - scan_start;
                return false;
            }
            if (c == kPrefix[matched]) {
                ++matched;
            } else if (matched == 3 && c == 'C') {
                matched = 2;  // "XCX" + 'C': the second 'X' starts "XC"
            } else {
                matched = c == 'X' ? 1 : 0;
            }
            // A long run of garbage still sees a stop request.
            if ((++steps & 0xFFFF) == 0 && stop && stop->load(std::memory_order_relaxed))
                return false;
        }
        const uint64_t record_offset = position_ - 4;
        stats_.skipped_bytes += record_offset - scan_start;
        uint8_t kind_bytes[2];
        if (ReadBytes(kind_bytes, 2) != 2) {
            ++stats_.truncated;
            return false;
        }
        const char kind = static_cast<char>(kind_bytes[0]);
        if (kind != 'V' && kind != 'A') {
            ++stats_.other_kinds;
            continue;
        }
        if (ReadBytes(header_, kMediaHeaderBytes) != kMediaHeaderBytes) {
            ++stats_.truncated;
            return false;
        }
        const std::size_t length = RecordPayloadLength(kind, header_);
        bool extension = false;
        if (kind == 'V' && header_[5] == 3) {
            if (ReadBytes(extension_, kTimeExtensionBytes) != kTimeExtensionBytes) {
                ++stats_.truncated;
                return false;
            }
            extension = true;
        }
        const std::size_t limit = kind == 'V' ? kFrameBufferBytes - 1 : kAudioPayloadMax;
        if (length > limit) {
            // Not taken; whatever follows the header is searched for the next record.
            ++stats_.oversized;
            continue;
        }
        if (ReadBytes(payload_.get(), length) != length) {
            ++stats_.truncated;
            return false;
        }
        record->kind = kind;
        record->header = header_;
        record->payload = payload_.get();
        record->length = length;
        record->has_time_extension = extension;
        record->time_extension = extension ? extension_ : nullptr;
        record->offset = record_offset;
        ++stats_.records;
        return true;
    }
}

FrameAssembler::FrameAssembler()
    : buffer_(std::make_unique_for_overwrite<uint8_t[]>(kFrameBufferBytes)) {}

bool FrameAssembler::Add(const uint8_t* header, const uint8_t* payload, std::size_t length) {
    const int index = header[6];
    const int count = header[7];
    if (index == 0) fill_ = 0;
    if (fill_ + length > kFrameBufferBytes) fill_ = 0;
    if (length > kFrameBufferBytes) return false;
    if (length > 0) std::memcpy(buffer_.get() + fill_, payload, length);
    fill_ += length;
    if (count != index + 1) return false;
    frame_bytes_ = fill_;
    fill_ = 0;
    return true;
}

}  // namespace playctrl::convert
