// Reading native recordings record by record, and collecting video fragments
// into whole frames.
//
// A recording is an optional 512-byte "ZYNIPCFH" header and then frame
// records: "XCXB", a kind byte ('V' or 'A'), one more byte, the 24-byte media
// packet header, for video records whose header byte 5 is 3 an 8-byte time
// extension, then the payload. Bytes that do not start a record are skipped
// until the next "XCXB".
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace playctrl::convert {

constexpr std::size_t kMediaHeaderBytes = 24;
constexpr std::size_t kTimeExtensionBytes = 8;
constexpr std::size_t kRecordingHeaderBytes = 512;

// Where the reader takes its bytes from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to `bytes` bytes; fewer only at the end of the source.
    virtual std::size_t Read(uint8_t* dst, std::size_t bytes) = 0;
};

class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(std::FILE* file) : file_(file) {}
    std::size_t Read(uint8_t* dst, std::size_t bytes) override;

private:
    std::FILE* file_;
};

class MemoryByteSource final : public ByteSource {
public:
    MemoryByteSource(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t Read(uint8_t* dst, std::size_t bytes) override;

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// What a recording header says; valid is false for a file without one.
struct RecordingHeader {
    bool valid = false;
    int picture_width = 0;  // offsets 12 and 14
    int picture_height = 0;
};

// Parses the first 512 bytes of a file (fewer bytes: no header).
RecordingHeader ParseRecordingHeader(const uint8_t* bytes, std::size_t size);

// One record as read. The pointers stay valid until the next call of Next.
struct MediaRecord {
    char kind = 0;                    // 'V' or 'A'
    const uint8_t* header = nullptr;  // the 24-byte media packet header
    const uint8_t* payload = nullptr;
    std::size_t length = 0;           // payload bytes
    bool has_time_extension = false;  // video only: header byte 5 was 3
    const uint8_t* time_extension = nullptr;
    uint64_t offset = 0;  // source position of the record's "XCXB"
};

struct RecordReaderStats {
    uint64_t records = 0;         // records handed out
    uint64_t skipped_bytes = 0;   // bytes that did not start a record
    uint64_t oversized = 0;       // video records of kFrameBufferBytes or more, not taken
    uint64_t other_kinds = 0;     // prefixes with a kind other than 'V' and 'A'
    uint64_t truncated = 0;       // a record cut short by the end of the source
};

// Payload length of a record: video, the 32-bit total at header offset 12
// when the fragment count (byte 7) is 1, else the 16-bit fragment length at
// offset 22; audio, the 16-bit length at offset 22.
std::size_t RecordPayloadLength(char kind, const uint8_t* header);

class RecordReader {
public:
    // `position` is the source offset of the first byte the reader will see
    // (512 after a header, else 0); bytes_read() counts on from it.
    RecordReader(ByteSource& source, uint64_t position);

    // The next record read in full. False at the end of the source, or when
    // *stop is non-zero. Video records whose payload length is
    // kFrameBufferBytes or more are not taken: reading goes on right after
    // their header. Never reads past the end, never allocates per record.
    bool Next(MediaRecord* record, const std::atomic<int>* stop = nullptr);

    // Source position after the last byte consumed.
    uint64_t bytes_read() const { return position_; }
    const RecordReaderStats& stats() const { return stats_; }

private:
    int GetByte();  // -1 at the end
    std::size_t ReadBytes(uint8_t* dst, std::size_t bytes);
    bool Refill();

    ByteSource& source_;
    std::unique_ptr<uint8_t[]> buffer_;  // kReadChunkBytes
    std::size_t buffer_at_ = 0;
    std::size_t buffer_end_ = 0;
    bool source_end_ = false;
    uint64_t position_;
    uint8_t header_[kMediaHeaderBytes] = {};
    uint8_t extension_[kTimeExtensionBytes] = {};
    std::unique_ptr<uint8_t[]> payload_;  // kFrameBufferBytes
    RecordReaderStats stats_;
};

// Collects video fragments into whole frames: a fragment with index 0 starts
// a new frame; a fragment that would overflow the buffer starts it afresh; the
// frame is complete when index + 1 equals the fragment count. Fragment
// numbers, frame numbers and declared totals are not checked.
class FrameAssembler {
public:
    FrameAssembler();
    // True when this fragment completed a frame; frame()/frame_bytes() then
    // hold it until the next Add.
    bool Add(const uint8_t* header, const uint8_t* payload, std::size_t length);
    const uint8_t* frame() const { return buffer_.get(); }
    std::size_t frame_bytes() const { return frame_bytes_; }
    std::size_t fill() const { return fill_; }
    void Reset() { fill_ = frame_bytes_ = 0; }

private:
    std::unique_ptr<uint8_t[]> buffer_;  // kFrameBufferBytes
    std::size_t fill_ = 0;
    std::size_t frame_bytes_ = 0;
};

}  // namespace playctrl::convert
