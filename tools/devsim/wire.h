// The device protocol's message framing, as the device side implements it:
// an 8-byte header (0x11 0x11, command, second word, payload length; all
// little-endian) followed by the payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "zynvs/wire/byte_order.h"
#include "zynvs/wire/layouts.h"

namespace devsim {

namespace wire = zyn::wire;

constexpr size_t kMaxPayload = 65535;

// Appends one framed message. The payload must be at most kMaxPayload bytes.
void AppendMessage(std::vector<uint8_t>* out, uint16_t command, uint16_t second_word,
                   const uint8_t* payload, size_t length);
std::vector<uint8_t> BuildMessage(uint16_t command, uint16_t second_word,
                                  const std::vector<uint8_t>& payload);

struct ParsedMessage {
    uint16_t command = 0;
    uint16_t second_word = 0;
    const uint8_t* payload = nullptr;  // valid during the callback only
    size_t length = 0;
    const uint8_t* raw = nullptr;  // header + payload, or the skipped bytes
    size_t raw_length = 0;
    bool malformed = false;  // bytes skipped while looking for a header
};

// Parses one datagram: a whole message, nothing more is needed. Returns false
// (and fills a malformed message with the raw bytes) when the datagram does not
// start with the sync bytes or is shorter than its header says. Bytes after the
// announced payload are ignored.
bool ParseDatagram(const uint8_t* data, size_t size, ParsedMessage* out);

// Reassembles messages from a byte stream. Bytes that do not start with the
// two sync bytes are skipped up to the next 0x11 0x11 and reported as one
// malformed message when that header is found (or once 4096 of them have
// piled up), however the bytes were split into reads. A header's length is
// honoured up to kMaxPayload, so the buffer never holds more than one message
// plus one read.
class StreamFramer {
public:
    using Sink = std::function<void(const ParsedMessage&)>;
    void Feed(const uint8_t* data, size_t size, const Sink& sink);
    size_t Buffered() const { return buffer_.size() - start_; }
    void Reset();

private:
    void FlushGarbage(const Sink& sink);
    std::vector<uint8_t> buffer_;
    std::vector<uint8_t> garbage_;  // skipped bytes not reported yet
    size_t start_ = 0;
};

}  // namespace devsim
