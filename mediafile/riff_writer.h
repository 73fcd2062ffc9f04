// The RIFF core under both AVI writers (the SDK's recorder and the
// conversion engine): little-endian header building, chunks appended whole
// or not at all, the "idx1" index, and the final header written over the
// first one. Each writer lays out its own header on top.
//
// One writer is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace mediafile {

constexpr std::size_t kAviIndexEntryBytes = 16;
constexpr uint32_t kAviKeyFrameFlag = 0x10;
constexpr uint32_t kRiffUnknownSize = 0xFFFFFFFFu;  // a size not known until the file is finished

// Little-endian fields appended to a byte vector.
class RiffBytes {
public:
    void U16(uint32_t v);
    void U32(uint32_t v);
    void Tag(const char* tag);  // four characters
    void Raw(const void* data, std::size_t length);
    void Zeros(std::size_t count);
    void SetU32(std::size_t at, uint32_t v);
    std::size_t size() const { return bytes_.size(); }
    const uint8_t* data() const { return bytes_.data(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

class RiffChunkWriter {
public:
    // Appends from `position` of `file` (owned by the caller) on; forgets any
    // index entries of an earlier file.
    void Start(std::FILE* file, uint64_t position);

    // Writes the bytes at the end, whole or not at all: after a failed write
    // the file continues at the end of the last complete append. 0, or the
    // errno value of the failure.
    int Append(const void* data, std::size_t length);

    // One chunk (tag, 32-bit length, data, a pad byte for odd lengths) and its
    // index entry (tag, flags, offset from the start of the file, length).
    // ENOMEM when the entry cannot be stored (nothing is written then).
    int AppendChunk(const char* tag, const void* data, std::size_t length, uint32_t flags);

    // Writes "idx1" and the entries after the last complete chunk. 0 or errno;
    // end() is not moved, index_end() tells where the index ends.
    int WriteIndex();
    // Writes bytes at a position (the final header), then returns to the end.
    int WriteAt(uint64_t position, const void* data, std::size_t length);

    uint64_t end() const { return end_; }  // end of the last complete append
    uint64_t index_end() const { return end_ + 8 + index_.size(); }
    uint32_t entries() const { return static_cast<uint32_t>(index_.size() / kAviIndexEntryBytes); }
    // A failed write could not be undone: nothing more can be appended.
    bool broken() const { return broken_; }
    // Frees the index entries.
    void ReleaseIndex();

private:
    int Write(const void* data, std::size_t length);
    int Undo(int error);

    std::FILE* file_ = nullptr;
    uint64_t end_ = 0;
    bool broken_ = false;
    std::vector<uint8_t> index_;
};

}  // namespace mediafile
