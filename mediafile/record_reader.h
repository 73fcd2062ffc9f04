// Reading native recordings, for playback and for conversion.
//
// A recording is an optional 512-byte "ZYNIPCFH" header, then frame records:
// "XCXB", a kind byte ('V' or 'A'), one more byte, the 24-byte media packet
// header, for video records whose header byte 5 is 3 an 8-byte time
// extension, then the payload. Bytes that do not start a record are skipped
// until the next "XCXB". A recording may carry a time index behind its
// records (16-byte entries).
//
// A reader belongs to one thread at a time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "zynvs/wire/byte_order.h"
#include "zynvs/wire/layouts.h"

namespace mediafile {

namespace wire = zyn::wire;

constexpr std::size_t kFrameBufferBytes = 1'024'000;  // video payloads are smaller
constexpr std::size_t kRecordingHeaderBytes = 512;
constexpr std::size_t kPrefixBytes = wire::kFramePrefixBytes;
constexpr std::size_t kMediaHeaderBytes = wire::kFragmentHeaderBytes;
constexpr std::size_t kRecordHeadBytes = wire::kFrameRecordHeaderBytes;  // 30
constexpr std::size_t kTimeExtensionBytes = wire::kTimeStampBytes;
constexpr uint8_t kKeyFrameType = wire::kKeyFrameType;
constexpr std::size_t kMapTimeBytes = 16;
// A header that claims an index from near the start of a large file would
// make every 16 bytes an entry; this bounds the memory such a file can take.
constexpr std::size_t kMaxIndexEntries = 1u << 20;

// Payload length: video, the 32-bit frame total when the fragment count is 1,
// else the 16-bit fragment length; audio, the 16-bit length.
inline std::size_t RecordPayloadLength(char kind, const uint8_t* header) {
    const wire::FragmentHeader h(header);
    if (kind == 'V' && h.fragment_count() == 1) return h.total_length();
    return h.fragment_length();
}
inline bool LastFragment(const uint8_t* header) {
    const wire::FragmentHeader h(header);
    return h.fragment_index() + 1 == h.fragment_count();
}

// What a recording header says; valid is false for a file without one.
struct RecordingHeader {
    bool valid = false;
    uint8_t audio_mode = 0;       // byte 11
    int picture_width = 0;        // 12
    int picture_height = 0;       // 14; 0: no size given
    uint32_t start_time = 0;      // 160, seconds since 1970
    uint32_t end_time = 0;        // 164; 0 while the file is being written
    uint32_t index_position = 0;  // 168: length of the record area
};

// Valid when the data holds 512 bytes starting with "ZYNIPCFH" and a zero.
RecordingHeader ParseRecordingHeader(const uint8_t* bytes, std::size_t size);

// The recording carries a time index when the header has a stop time that
// differs from its start time and a non-zero index position inside the file.
// (Files written by the SDK have 0 there: they have no index.)
bool HeaderHasTimeIndex(const RecordingHeader& header, uint64_t file_size);

// One time-index entry (16 bytes, little-endian).
struct _MapTime {
    uint64_t time = 0;      // seconds since 1970
    uint32_t offset = 0;    // file offset of the record to continue from
    uint32_t reserved = 0;  // not used
};

// Reads the entries from `from` to the end of the file (a trailing part
// shorter than 16 bytes is ignored), at most kMaxIndexEntries.
std::vector<_MapTime> ReadTimeIndex(std::FILE* file, uint64_t from, uint64_t file_size);

// Where the reader takes its bytes from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to `bytes` bytes; fewer only at the end of the source.
    virtual std::size_t Read(uint8_t* dst, std::size_t bytes) = 0;
    // Positions the next Read; a position past the end is allowed (the next
    // Read then returns 0). False when the source cannot seek (the default).
    virtual bool Seek(uint64_t /*position*/) { return false; }
};

class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(std::FILE* file) : file_(file) {}
    std::size_t Read(uint8_t* dst, std::size_t bytes) override;
    bool Seek(uint64_t position) override;

private:
    std::FILE* file_;
};

class MemoryByteSource final : public ByteSource {
public:
    MemoryByteSource(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t Read(uint8_t* dst, std::size_t bytes) override;
    bool Seek(uint64_t position) override;

private:
    const uint8_t* data_;
    std::size_t size_;
    uint64_t at_ = 0;
};

enum class RecordKind {
    kVideo,    // 'V'
    kAudio,    // 'A'
    kOther,    // a prefix with another kind byte: only the 6 prefix bytes are consumed
    kEnd,      // end of the source while looking for a prefix
    kStopped,  // the stop flag was set
};

// One record as read. `payload` stays valid until the next read.
struct MediaRecord {
    char kind = 0;                           // the kind byte
    uint64_t offset = 0;                     // source position of the record's "XCXB"
    uint8_t header[kMediaHeaderBytes] = {};  // the media packet header
    bool has_time_extension = false;         // video only: header byte 5 was 3
    uint8_t time_extension[kTimeExtensionBytes] = {};
    const uint8_t* payload = nullptr;
    std::size_t length = 0;  // payload bytes the header declares
    // The payload was read (or, header-only, skipped) whole. False for a
    // record cut short by the end of the source and for an oversized video
    // payload (left unread: reading goes on right after its header).
    bool complete = false;
    bool oversized = false;  // video payload of kFrameBufferBytes or more
};

struct RecordReaderStats {
    uint64_t records = 0;        // whole records handed out by Next
    uint64_t skipped_bytes = 0;  // bytes that did not start a record
    uint64_t oversized = 0;      // video records of kFrameBufferBytes or more, not taken
    uint64_t other_kinds = 0;    // prefixes with a kind other than 'V' and 'A'
    uint64_t truncated = 0;      // a record cut short by the end of the source
};

// Reads a recording record by record; RecordReader for native recordings,
// and an AVI file's chunks made to look like records (media_reader.h).
class MediaReader {
public:
    virtual ~MediaReader() = default;
    // The next record of any kind, as it is (see RecordReader::ReadRecord).
    virtual RecordKind ReadRecord(MediaRecord* record, const std::atomic<int>* stop = nullptr) = 0;
    // The same with the payload passed over; `complete` is then true
    // whenever the header was read.
    virtual RecordKind ReadHeaderOnly(MediaRecord* record) = 0;
    // Continues at the first record at or after an absolute source position.
    virtual void Seek(uint64_t position) = 0;
    // Source position after the last byte consumed.
    virtual uint64_t position() const = 0;

    // The next whole media record. False at the end of the source (a record
    // cut short ends it too), or when *stop is non-zero. Oversized video and
    // other kinds are counted and passed over. Never reads past the end,
    // never allocates per record.
    bool Next(MediaRecord* record, const std::atomic<int>* stop = nullptr);
    const RecordReaderStats& stats() const { return stats_; }

protected:
    RecordReaderStats stats_;
};

class RecordReader final : public MediaReader {
public:
    // `position` is the source offset of the first byte the reader will see
    // (512 after a header, else 0); positions count on from it. `payload_buffer`
    // (kFrameBufferBytes) may be given; else the reader allocates its own.
    RecordReader(ByteSource& source, uint64_t position, uint8_t* payload_buffer = nullptr);
    // The same, owning its source.
    RecordReader(std::unique_ptr<ByteSource> source, uint64_t position,
                 uint8_t* payload_buffer = nullptr);

    // The next record of any kind, as it is: incomplete and oversized ones
    // included. The prefix search looks again at a byte that breaks a partial
    // match, so a record right after garbage ending in "X", "XC" or "XCX" is
    // found. `stop` is polled before the search, every 64 KiB of it, and
    // after the kind byte.
    RecordKind ReadRecord(MediaRecord* record, const std::atomic<int>* stop = nullptr) override;

    // Like ReadRecord, but payloads are skipped instead of read; `complete`
    // is then true whenever the header was read.
    RecordKind ReadHeaderOnly(MediaRecord* record) override;

    // Continues at an absolute source position.
    void Seek(uint64_t position) override;
    // Source position after the last byte consumed.
    uint64_t position() const override { return position_; }
    uint64_t bytes_read() const { return position_; }
    const uint8_t* payload() const { return payload_; }

private:
    RecordKind Read(MediaRecord* record, const std::atomic<int>* stop, bool read_payload);
    int GetByte();  // -1 at the end
    std::size_t ReadBytes(uint8_t* dst, std::size_t bytes);
    bool Skip(uint64_t bytes);
    bool Refill();

    std::unique_ptr<ByteSource> owned_source_;
    ByteSource& source_;
    std::unique_ptr<uint8_t[]> chunk_;  // kReadChunkBytes of read-ahead
    std::size_t chunk_at_ = 0;
    std::size_t chunk_end_ = 0;
    bool source_end_ = false;
    uint64_t position_;
    std::unique_ptr<uint8_t[]> own_payload_;
    uint8_t* payload_;  // kFrameBufferBytes
};

}  // namespace mediafile
