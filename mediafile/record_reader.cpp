#include "mediafile/record_reader.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>

namespace mediafile {
namespace {

constexpr std::size_t kReadChunkBytes = 256 * 1024;
constexpr char kPrefix[4] = {'X', 'C', 'X', 'B'};
constexpr char kMagic[9] = {'Z', 'Y', 'N', 'I', 'P', 'C', 'F', 'H', '\0'};

bool Stopped(const std::atomic<int>* stop) {
    return stop != nullptr && stop->load(std::memory_order_relaxed) != 0;
}

}  // namespace

RecordingHeader ParseRecordingHeader(const uint8_t* bytes, std::size_t size) {
    RecordingHeader h;
    if (bytes == nullptr || size < kRecordingHeaderBytes) return h;
    if (std::memcmp(bytes, kMagic, sizeof kMagic) != 0) return h;
    h.valid = true;
    h.audio_mode = bytes[11];
    h.picture_width = wire::LoadLe16(bytes + 12);
    h.picture_height = wire::LoadLe16(bytes + 14);
    h.start_time = wire::LoadLe32(bytes + 160);
    h.end_time = wire::LoadLe32(bytes + 164);
    h.index_position = wire::LoadLe32(bytes + 168);
    return h;
}

bool HeaderHasTimeIndex(const RecordingHeader& h, uint64_t file_size) {
    return h.valid && h.end_time != 0 && h.end_time != h.start_time && h.index_position != 0 &&
           h.index_position <= file_size;
}

std::vector<_MapTime> ReadTimeIndex(std::FILE* file, uint64_t from, uint64_t file_size) {
    std::vector<_MapTime> index;
    if (file == nullptr || from >= file_size) return index;
    uint64_t count = (file_size - from) / kMapTimeBytes;
    if (count > kMaxIndexEntries) count = kMaxIndexEntries;
    if (fseeko(file, static_cast<off_t>(from), SEEK_SET) != 0) return index;
    index.reserve(static_cast<std::size_t>(count));
    uint8_t entry[kMapTimeBytes];
    for (uint64_t i = 0; i < count; ++i) {
        if (std::fread(entry, 1, sizeof entry, file) != sizeof entry) break;
        _MapTime m;
        m.time = static_cast<uint64_t>(wire::LoadLe32(entry)) |
                 (static_cast<uint64_t>(wire::LoadLe32(entry + 4)) << 32);
        m.offset = wire::LoadLe32(entry + 8);
        m.reserved = wire::LoadLe32(entry + 12);
        index.push_back(m);
    }
    return index;
}

std::size_t FileByteSource::Read(uint8_t* dst, std::size_t bytes) {
    return file_ ? std::fread(dst, 1, bytes, file_) : 0;
}

bool FileByteSource::Seek(uint64_t position) {
    if (file_ == nullptr) return false;
    std::clearerr(file_);
    return fseeko(file_, static_cast<off_t>(position), SEEK_SET) == 0;
}

std::size_t MemoryByteSource::Read(uint8_t* dst, std::size_t bytes) {
    if (at_ >= size_) return 0;
    const std::size_t n = std::min<uint64_t>(bytes, size_ - at_);
    if (n > 0) std::memcpy(dst, data_ + at_, n);
    at_ += n;
    return n;
}

bool MemoryByteSource::Seek(uint64_t position) {
    at_ = position;
    return true;
}

RecordReader::RecordReader(ByteSource& source, uint64_t position, uint8_t* payload_buffer)
    : source_(source),
      chunk_(std::make_unique_for_overwrite<uint8_t[]>(kReadChunkBytes)),
      position_(position),
      payload_(payload_buffer) {
    if (payload_ == nullptr) {
        own_payload_ = std::make_unique_for_overwrite<uint8_t[]>(kFrameBufferBytes);
        payload_ = own_payload_.get();
    }
}

RecordReader::RecordReader(std::unique_ptr<ByteSource> source, uint64_t position,
                           uint8_t* payload_buffer)
    : RecordReader(*source, position, payload_buffer) {
    owned_source_ = std::move(source);
}

void RecordReader::Seek(uint64_t position) {
    chunk_at_ = chunk_end_ = 0;
    if (source_.Seek(position)) {
        position_ = position;
        source_end_ = false;
    }
}

bool RecordReader::Refill() {
    if (source_end_) return false;
    chunk_at_ = 0;
    chunk_end_ = source_.Read(chunk_.get(), kReadChunkBytes);
    if (chunk_end_ == 0) source_end_ = true;
    return chunk_end_ > 0;
}

int RecordReader::GetByte() {
    if (chunk_at_ == chunk_end_ && !Refill()) return -1;
    ++position_;
    return chunk_[chunk_at_++];
}

std::size_t RecordReader::ReadBytes(uint8_t* dst, std::size_t bytes) {
    std::size_t done = 0;
    while (done < bytes) {
        if (chunk_at_ == chunk_end_) {
            // Large reads go straight to the destination.
            if (bytes - done >= kReadChunkBytes && !source_end_) {
                const std::size_t n = source_.Read(dst + done, bytes - done);
                done += n;
                position_ += n;
                if (n == 0) {
                    source_end_ = true;
                    break;
                }
                continue;
            }
            if (!Refill()) break;
        }
        const std::size_t n = std::min(bytes - done, chunk_end_ - chunk_at_);
        std::memcpy(dst + done, chunk_.get() + chunk_at_, n);
        chunk_at_ += n;
        done += n;
        position_ += n;
    }
    return done;
}

bool RecordReader::Skip(uint64_t bytes) {
    const std::size_t buffered = chunk_end_ - chunk_at_;
    if (bytes <= buffered) {
        chunk_at_ += bytes;
        position_ += bytes;
        return true;
    }
    // A seek past the end succeeds; the next read then meets the end.
    const uint64_t target = position_ + bytes;
    chunk_at_ = chunk_end_ = 0;
    if (!source_.Seek(target)) return false;
    position_ = target;
    return true;
}

bool MediaReader::Next(MediaRecord* record, const std::atomic<int>* stop) {
    for (;;) {
        switch (ReadRecord(record, stop)) {
            case RecordKind::kEnd:
            case RecordKind::kStopped:
                return false;
            case RecordKind::kOther:
                ++stats_.other_kinds;
                continue;
            case RecordKind::kVideo:
            case RecordKind::kAudio:
                if (record->oversized) {
                    ++stats_.oversized;
                    continue;
                }
                if (!record->complete) {
                    ++stats_.truncated;
                    return false;
                }
                ++stats_.records;
                return true;
        }
    }
}

RecordKind RecordReader::ReadRecord(MediaRecord* record, const std::atomic<int>* stop) {
    return Read(record, stop, true);
}

RecordKind RecordReader::ReadHeaderOnly(MediaRecord* record) {
    return Read(record, nullptr, false);
}

RecordKind RecordReader::Read(MediaRecord* record, const std::atomic<int>* stop,
                              bool read_payload) {
    if (Stopped(stop)) return RecordKind::kStopped;
    // Find "XCXB". A byte that breaks a partial match is looked at again as
    // a possible start, so garbage ending in 'X' does not hide a record.
    const uint64_t scan_start = position_;
    int matched = 0;
    uint64_t steps = 0;
    while (matched < 4) {
        const int c = GetByte();
        if (c < 0) {
            stats_.skipped_bytes += position_ - scan_start;
            return RecordKind::kEnd;
        }
        if (c == kPrefix[matched]) {
            ++matched;
        } else if (matched == 3 && c == 'C') {
            matched = 2;  // "XCX" + 'C': the second 'X' starts "XC"
        } else {
            matched = c == 'X' ? 1 : 0;
        }
        // A long run of garbage still sees a stop request.
        if ((++steps & 0xFFFF) == 0 && Stopped(stop)) return RecordKind::kStopped;
    }
    *record = MediaRecord{};
    record->offset = position_ - 4;
    stats_.skipped_bytes += record->offset - scan_start;
    uint8_t kind_bytes[2];
    if (ReadBytes(kind_bytes, 2) != 2) return RecordKind::kEnd;
    if (Stopped(stop)) return RecordKind::kStopped;
    record->kind = static_cast<char>(kind_bytes[0]);
    if (record->kind != 'V' && record->kind != 'A') return RecordKind::kOther;
    const bool video = record->kind == 'V';
    const RecordKind kind = video ? RecordKind::kVideo : RecordKind::kAudio;

    if (ReadBytes(record->header, kMediaHeaderBytes) != kMediaHeaderBytes) return kind;
    if (video && wire::FragmentHeader(record->header).time_mark() == wire::kTimeStampedMark) {
        if (ReadBytes(record->time_extension, kTimeExtensionBytes) != kTimeExtensionBytes)
            return kind;
        record->has_time_extension = true;
    }
    record->length = RecordPayloadLength(record->kind, record->header);
    if (video && record->length >= kFrameBufferBytes) {
        record->oversized = true;
        return kind;
    }
    record->payload = payload_;
    record->complete =
        read_payload ? ReadBytes(payload_, record->length) == record->length : Skip(record->length);
    return kind;
}

}  // namespace mediafile
