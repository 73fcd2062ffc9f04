// Framing of device messages: the 8-byte header (0x11 0x11, command, second
// word, payload length; little-endian) followed by the payload.
//
// FrameDecoder turns a TCP byte stream, delivered in chunks of any size, into
// whole messages. Messages that lie entirely inside one chunk are handed out
// in place (no copy); only a message split across chunks is gathered in the
// decoder's own buffer, which grows to the largest split message and is then
// reused. The sync bytes are checked as soon as they arrive and the length
// before anything is copied; a bad header puts the decoder into the failed
// state, in which it accepts nothing until Reset().
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "linkcore/linkcore.h"

namespace linkcore {

// One decoded message. `payload` is valid only until the sink returns.
struct FrameView {
    uint16_t command = 0;
    uint16_t second_word = 0;
    uint16_t length = 0;
    const uint8_t* payload = nullptr;  // never null, even for length 0
};

inline uint16_t LoadLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline void StoreLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// Writes the header of one message into out[0..7].
inline void EncodeHeader(uint8_t* out, uint16_t command, uint16_t second_word, uint16_t length) {
    out[0] = kSync;
    out[1] = kSync;
    StoreLe16(out + 2, command);
    StoreLe16(out + 4, second_word);
    StoreLe16(out + 6, length);
}

// A datagram carries exactly one message: true only if `size` is at least a
// header, the sync bytes are right and 8 + the header's length equals `size`.
bool ParseDatagram(const uint8_t* data, std::size_t size, FrameView* out);

class FrameDecoder {
public:
    enum class Result {
        kOk,        // every byte consumed (an incomplete message may be buffered)
        kStopped,   // the sink returned false; the rest of the chunk was not looked at
        kSyncLost,  // bad sync bytes or a length above the limit; decoder failed
    };

    explicit FrameDecoder(std::size_t max_payload = kMaxPayload) : max_payload_(max_payload) {}

    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // Consumes `size` bytes. For every complete message calls
    // `bool sink(const FrameView&)`; a false result stops decoding.
    template <typename Sink>
    Result Feed(const uint8_t* data, std::size_t size, Sink&& sink);

    // Forgets buffered bytes and the failed state.
    void Reset() {
        header_have_ = 0;
        payload_have_ = 0;
        payload_need_ = 0;
        failed_ = false;
    }

    bool failed() const { return failed_; }
    // Bytes of an incomplete message currently held.
    std::size_t buffered_bytes() const {
        return header_have_ < kHeaderBytes ? header_have_ : kHeaderBytes + payload_have_;
    }
    // Size of the gathering buffer (for memory checks).
    std::size_t buffer_capacity() const { return payload_capacity_; }

private:
    Result Fail() {
        failed_ = true;
        return Result::kSyncLost;
    }
    bool ReserveSplitPayload(std::size_t length);

    static const uint8_t kEmptyPayload[1];

    const std::size_t max_payload_;
    uint8_t header_[kHeaderBytes] = {};
    std::size_t header_have_ = 0;  // bytes of header_ filled; 8 = header complete
    std::unique_ptr<uint8_t[]> payload_;
    std::size_t payload_capacity_ = 0;
    std::size_t payload_need_ = 0;  // payload length of the message being gathered
    std::size_t payload_have_ = 0;
    bool failed_ = false;
};

template <typename Sink>
FrameDecoder::Result FrameDecoder::Feed(const uint8_t* data, std::size_t size, Sink&& sink) {
    if (failed_) return Result::kSyncLost;
    const uint8_t* p = data;
    const uint8_t* const end = data + size;
    while (p < end) {
        if (header_have_ == 0) {
            // Nothing buffered: take whole messages straight from the chunk.
            const std::size_t avail = static_cast<std::size_t>(end - p);
            if (avail >= kHeaderBytes) {
                if (p[0] != kSync || p[1] != kSync) return Fail();
                const uint16_t length = LoadLe16(p + 6);
                if (length > max_payload_) return Fail();
                if (avail >= kHeaderBytes + length) {
                    FrameView view{LoadLe16(p + 2), LoadLe16(p + 4), length, p + kHeaderBytes};
                    p += kHeaderBytes + length;
                    if (!sink(static_cast<const FrameView&>(view))) return Result::kStopped;
                    continue;
                }
            }
        }
        if (header_have_ < kHeaderBytes) {
            // Gather the header byte by byte so a bad sync byte is seen at once.
            while (header_have_ < kHeaderBytes && p < end) {
                const uint8_t b = *p++;
                if (header_have_ < 2 && b != kSync) return Fail();
                header_[header_have_++] = b;
            }
            if (header_have_ < kHeaderBytes) break;
            const uint16_t length = LoadLe16(header_ + 6);
            if (length > max_payload_ || !ReserveSplitPayload(length)) return Fail();
            payload_need_ = length;
            payload_have_ = 0;
        }
        const std::size_t take =
            std::min(payload_need_ - payload_have_, static_cast<std::size_t>(end - p));
        if (take > 0) {
            std::memcpy(payload_.get() + payload_have_, p, take);
            payload_have_ += take;
            p += take;
        }
        if (payload_have_ == payload_need_) {
            FrameView view{LoadLe16(header_ + 2), LoadLe16(header_ + 4),
                           static_cast<uint16_t>(payload_need_),
                           payload_need_ ? payload_.get() : kEmptyPayload};
            header_have_ = 0;
            payload_have_ = 0;
            payload_need_ = 0;
            if (!sink(static_cast<const FrameView&>(view))) return Result::kStopped;
        }
    }
    return Result::kOk;
}

}  // namespace linkcore
