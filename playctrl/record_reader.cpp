#include "playctrl/record_reader.h"

#include <sys/types.h>

#include <cstring>

namespace playctrl {
namespace {
constexpr char kMagic[9] = {'Z', 'Y', 'N', 'I', 'P', 'C', 'F', 'H', '\0'};
}

bool ParseFileHeader(const uint8_t* data, std::size_t size, FileHeader* out) {
    if (data == nullptr || out == nullptr || size < kFileHeaderBytes) return false;
    if (std::memcmp(data, kMagic, sizeof kMagic) != 0) return false;
    out->audio_mode = data[11];
    out->width = Le16(data + 12);
    out->height = Le16(data + 14);
    out->start_time = Le32(data + 160);
    out->end_time = Le32(data + 164);
    out->index_position = Le32(data + 168);
    return true;
}

bool HeaderHasTimeIndex(const FileHeader& h, uint64_t file_size) {
    return h.end_time != 0 && h.end_time != h.start_time && h.index_position != 0 &&
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
        m.time =
            static_cast<uint64_t>(Le32(entry)) | (static_cast<uint64_t>(Le32(entry + 4)) << 32);
        m.offset = Le32(entry + 8);
        m.reserved = Le32(entry + 12);
        index.push_back(m);
    }
    return index;
}

RecordReader::RecordReader(std::FILE* file, uint8_t* buffer) : file_(file), buffer_(buffer) {
    const off_t at = file_ ? ftello(file_) : -1;
    position_ = at > 0 ? static_cast<uint64_t>(at) : 0;
}

void RecordReader::Seek(uint64_t position) {
    if (fseeko(file_, static_cast<off_t>(position), SEEK_SET) == 0) {
        position_ = position;
    } else {
        const off_t at = ftello(file_);
        position_ = at > 0 ? static_cast<uint64_t>(at) : 0;
    }
}

bool RecordReader::ReadExact(void* out, std::size_t n) {
    const std::size_t got = std::fread(out, 1, n, file_);
    position_ += got;
    return got == n;
}

bool RecordReader::Skip(uint64_t n) {
    // A seek past the end succeeds; the next read then meets the end.
    if (fseeko(file_, static_cast<off_t>(n), SEEK_CUR) != 0) return false;
    position_ += n;
    return true;
}

RecordKind RecordReader::Next(RecordInfo* info, const std::atomic<int>* stop) {
    return Read(info, stop, true);
}

RecordKind RecordReader::NextHeaderOnly(RecordInfo* info) {
    return Read(info, nullptr, false);
}

RecordKind RecordReader::Read(RecordInfo* info, const std::atomic<int>* stop, bool read_payload) {
    // Prefix search: `matched` bytes of "XCXB" are matched so far.
    int matched = 0;
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed)) return RecordKind::kStopped;
        const int c = getc_unlocked(file_);
        if (c == EOF) return RecordKind::kEnd;
        ++position_;
        switch (matched) {
            case 0:
                matched = c == 'X' ? 1 : 0;
                break;
            case 1:
                matched = c == 'C' ? 2 : (c == 'X' ? 1 : 0);
                break;
            case 2:
                matched = c == 'X' ? 3 : 0;
                break;
            case 3:
                matched = c == 'B' ? 4 : (c == 'C' ? 2 : (c == 'X' ? 1 : 0));
                break;
        }
        if (matched == 4) break;
    }
    *info = RecordInfo{};
    info->start = position_ - 4;
    uint8_t kind_bytes[2];
    if (!ReadExact(kind_bytes, 2)) return RecordKind::kEnd;
    if (stop && stop->load(std::memory_order_relaxed)) return RecordKind::kStopped;
    info->kind = kind_bytes[0];
    if (info->kind != 'V' && info->kind != 'A') return RecordKind::kOther;
    const RecordKind kind = info->kind == 'V' ? RecordKind::kVideo : RecordKind::kAudio;

    if (!ReadExact(info->header, kMediaHeaderBytes)) return kind;
    uint32_t length;
    if (kind == RecordKind::kVideo) {
        if (info->header[5] == kTimeExtensionMark) {
            info->has_extension = true;
            if (!ReadExact(info->extension, kTimeExtensionBytes)) {
                info->has_extension = false;
                return kind;
            }
        }
        length = VideoPayloadLength(info->header);
        info->payload_length = length;
        if (length >= kFrameBufferBytes) {
            info->oversized = true;
            return kind;
        }
    } else {
        length = AudioPayloadLength(info->header);
        info->payload_length = length;
    }
    info->complete = read_payload ? ReadExact(buffer_, length) : Skip(length);
    return kind;
}

StepBackTarget ScanForPreviousFrame(RecordReader& reader, uint64_t from, uint64_t limit,
                                    uint32_t n) {
    StepBackTarget result;
    reader.Seek(from);
    RecordInfo info;
    while (reader.position() < limit) {
        const RecordKind kind = reader.NextHeaderOnly(&info);
        if (kind == RecordKind::kEnd || info.start >= limit) break;
        if (kind != RecordKind::kVideo || !info.complete || info.header[6] != 0) continue;
        const uint32_t number = Le32(info.header + 8);
        if (number >= n) break;
        result.found = true;
        result.frame_number = number;
        result.position = info.start;
    }
    return result;
}

}  // namespace playctrl
