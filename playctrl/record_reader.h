// Reading native recordings: the 512-byte "ZYNIPCFH" header, the time index
// behind the records, and the frame records themselves ("XCXB" prefix, kind
// byte, one more byte, 24-byte media packet header, optional 8-byte time
// extension, payload).
//
// Nothing here is shared between threads: a RecordReader belongs to the
// thread that reads with it (the port's playback thread).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace playctrl {

constexpr uint32_t kFrameBufferBytes = 1024000;  // frame and record buffers
constexpr std::size_t kFileHeaderBytes = 512;
constexpr std::size_t kPrefixBytes = 6;
constexpr std::size_t kMediaHeaderBytes = 24;
constexpr std::size_t kRecordHeadBytes = kPrefixBytes + kMediaHeaderBytes;  // 30
constexpr std::size_t kTimeExtensionBytes = 8;
constexpr uint8_t kKeyFrameType = 7;       // media header byte 4
constexpr uint8_t kTimeExtensionMark = 3;  // media header byte 5 (files only)
constexpr std::size_t kMapTimeBytes = 16;
// A header that claims an index from near the start of a large file would
// make every 16 bytes an entry; this bounds the memory such a file can take.
constexpr std::size_t kMaxIndexEntries = 1u << 20;

inline uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Payload length of a video packet: the 32-bit total frame length (offset 12)
// when the fragment count is 1, else the 16-bit fragment length (offset 22).
inline uint32_t VideoPayloadLength(const uint8_t* header) {
    return header[7] == 1 ? Le32(header + 12) : Le16(header + 22);
}
inline uint32_t AudioPayloadLength(const uint8_t* header) {
    return Le16(header + 22);
}

// What the player takes from the 512-byte header.
struct FileHeader {
    uint8_t audio_mode = 0;       // byte 11
    uint16_t width = 0;           // 12
    uint16_t height = 0;          // 14; 0: no size given
    uint32_t start_time = 0;      // 160, seconds since 1970
    uint32_t end_time = 0;        // 164; 0 while the file is being written
    uint32_t index_position = 0;  // 168: length of the record area
};

// False unless the data holds 512 bytes starting with "ZYNIPCFH" and a zero.
bool ParseFileHeader(const uint8_t* data, std::size_t size, FileHeader* out);

// The recording carries a time index when the header has a stop time that
// differs from its start time and a non-zero index position inside the file.
// (Files written by the SDK have 0 there: they have no index.)
bool HeaderHasTimeIndex(const FileHeader& header, uint64_t file_size);

// One time-index entry (16 bytes, little-endian).
struct _MapTime {
    uint64_t time = 0;      // seconds since 1970
    uint32_t offset = 0;    // file offset of the record to continue from
    uint32_t reserved = 0;  // not used
};

// Reads the entries from `from` to the end of the file (a trailing part
// shorter than 16 bytes is ignored), at most kMaxIndexEntries.
std::vector<_MapTime> ReadTimeIndex(std::FILE* file, uint64_t from, uint64_t file_size);

enum class RecordKind {
    kVideo,  // 'V'
    kAudio,  // 'A'
    kOther,  // a prefix with another kind byte: only the 6 prefix bytes are consumed
    kEnd,    // end of the file while looking for a prefix
    kStopped,
};

struct RecordInfo {
    uint64_t start = 0;  // file position of the prefix
    uint8_t kind = 0;
    uint8_t header[kMediaHeaderBytes] = {};
    bool has_extension = false;  // video record with header byte 5 == 3
    uint8_t extension[kTimeExtensionBytes] = {};
    uint32_t payload_length = 0;
    // The payload is in the reader's buffer, whole. False for a record cut
    // short by the end of the file and for an oversized video payload (which
    // is left unread, so the reader goes on looking for a prefix inside it).
    bool complete = false;
    bool oversized = false;  // video payload of kFrameBufferBytes or more
};

class RecordReader {
public:
    // Reads `file` (owned by the caller) from its current position. `buffer`
    // takes the payloads and must hold kFrameBufferBytes.
    RecordReader(std::FILE* file, uint8_t* buffer);

    void Seek(uint64_t position);
    uint64_t position() const { return position_; }
    const uint8_t* payload() const { return buffer_; }

    // Reads up to and including the next record. The prefix is searched byte
    // by byte; a byte that breaks a partial match is examined again as the
    // possible start of a prefix, so a record right after garbage ending in
    // "X", "XC" or "XCX" is found. `stop` (may be null) is polled before each
    // byte of the search and after the kind bytes.
    RecordKind Next(RecordInfo* info, const std::atomic<int>* stop);

    // Like Next, but payloads are skipped instead of read (used by the
    // step-back scan); `complete` is then true whenever the header was read.
    RecordKind NextHeaderOnly(RecordInfo* info);

private:
    RecordKind Read(RecordInfo* info, const std::atomic<int>* stop, bool read_payload);
    bool ReadExact(void* out, std::size_t n);
    bool Skip(uint64_t n);

    std::FILE* file_;
    uint8_t* buffer_;
    uint64_t position_ = 0;
};

// The step-back scan: walks the records from `from` while their start lies
// below `limit` and finds the last video record with fragment index 0 whose
// frame number is below n, stopping at the first one whose number is n or
// more. On return the reader's position is unspecified.
struct StepBackTarget {
    bool found = false;
    uint32_t frame_number = 0;  // the previous frame's number
    uint64_t position = 0;      // where its record starts
};
StepBackTarget ScanForPreviousFrame(RecordReader& reader, uint64_t from, uint64_t limit,
                                    uint32_t n);

}  // namespace playctrl
