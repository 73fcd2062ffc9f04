#include "mediafile/riff_writer.h"

#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "zynvs/wire/byte_order.h"

namespace mediafile {

void RiffBytes::U16(uint32_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void RiffBytes::U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void RiffBytes::Tag(const char* tag) {
    bytes_.insert(bytes_.end(), tag, tag + 4);
}

void RiffBytes::Raw(const void* data, std::size_t length) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + length);
}

void RiffBytes::Zeros(std::size_t count) {
    bytes_.insert(bytes_.end(), count, 0);
}

void RiffBytes::SetU32(std::size_t at, uint32_t v) {
    zyn::wire::StoreLe32(bytes_.data() + at, v);
}

void RiffChunkWriter::Start(std::FILE* file, uint64_t position) {
    file_ = file;
    end_ = position;
    broken_ = false;
    index_.clear();
}

void RiffChunkWriter::ReleaseIndex() {
    index_.clear();
    index_.shrink_to_fit();
}

int RiffChunkWriter::Write(const void* data, std::size_t length) {
    if (length == 0) return 0;
    errno = 0;
    if (std::fwrite(data, 1, length, file_) == length) return 0;
    return errno ? errno : EIO;
}

int RiffChunkWriter::Undo(int error) {
    std::clearerr(file_);
    if (fseeko(file_, static_cast<off_t>(end_), SEEK_SET) != 0) broken_ = true;
    return error;
}

int RiffChunkWriter::Append(const void* data, std::size_t length) {
    if (file_ == nullptr) return EBADF;
    if (broken_) return EIO;
    if (const int e = Write(data, length)) return Undo(e);
    end_ += length;
    return 0;
}

int RiffChunkWriter::AppendChunk(const char* tag, const void* data, std::size_t length,
                                 uint32_t flags) {
    if (file_ == nullptr) return EBADF;
    if (broken_) return EIO;
    try {
        index_.reserve(index_.size() + kAviIndexEntryBytes);
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
    uint8_t head[8];
    std::memcpy(head, tag, 4);
    zyn::wire::StoreLe32(head + 4, static_cast<uint32_t>(length));
    static const uint8_t kPad = 0;
    int e = Write(head, sizeof head);
    if (e == 0) e = Write(data, length);
    if (e == 0 && (length & 1)) e = Write(&kPad, 1);
    if (e != 0) return Undo(e);
    uint8_t entry[kAviIndexEntryBytes];
    std::memcpy(entry, tag, 4);
    zyn::wire::StoreLe32(entry + 4, flags);
    zyn::wire::StoreLe32(entry + 8, static_cast<uint32_t>(end_));
    zyn::wire::StoreLe32(entry + 12, static_cast<uint32_t>(length));
    index_.insert(index_.end(), entry, entry + sizeof entry);
    end_ += sizeof head + length + (length & 1);
    return 0;
}

int RiffChunkWriter::WriteIndex() {
    if (file_ == nullptr) return EBADF;
    std::clearerr(file_);
    if (fseeko(file_, static_cast<off_t>(end_), SEEK_SET) != 0) return errno ? errno : EIO;
    uint8_t head[8];
    std::memcpy(head, "idx1", 4);
    zyn::wire::StoreLe32(head + 4, static_cast<uint32_t>(index_.size()));
    int e = Write(head, sizeof head);
    if (e == 0) e = Write(index_.data(), index_.size());
    return e;
}

int RiffChunkWriter::WriteAt(uint64_t position, const void* data, std::size_t length) {
    if (file_ == nullptr) return EBADF;
    std::clearerr(file_);
    if (fseeko(file_, static_cast<off_t>(position), SEEK_SET) != 0) return errno ? errno : EIO;
    const int e = Write(data, length);
    std::clearerr(file_);
    if (fseeko(file_, static_cast<off_t>(end_), SEEK_SET) != 0) broken_ = true;
    return e;
}

}  // namespace mediafile
