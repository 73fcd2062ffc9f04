#include "tools/devsim/wire.h"

namespace devsim {

void AppendMessage(std::vector<uint8_t>* out, uint16_t command, uint16_t second_word,
                   const uint8_t* payload, size_t length) {
    size_t at = out->size();
    out->resize(at + wire::kMessageHeaderBytes + length);
    const wire::MutableMessageHeader header(out->data() + at);
    header.Set(command, second_word, static_cast<uint16_t>(length));
    if (length > 0) std::copy(payload, payload + length, header.payload());
}

std::vector<uint8_t> BuildMessage(uint16_t command, uint16_t second_word,
                                  const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out;
    AppendMessage(&out, command, second_word, payload.data(), payload.size());
    return out;
}

bool ParseDatagram(const uint8_t* data, size_t size, ParsedMessage* out) {
    *out = ParsedMessage{};
    out->raw = data;
    out->raw_length = size;
    const wire::MessageHeader header(data);
    if (size < wire::kMessageHeaderBytes || !header.has_sync()) {
        out->malformed = true;
        return false;
    }
    size_t length = header.payload_length();
    if (wire::kMessageHeaderBytes + length > size) {
        out->malformed = true;
        out->command = header.command();
        return false;
    }
    out->command = header.command();
    out->second_word = header.second_word();
    out->payload = data + wire::kMessageHeaderBytes;
    out->length = length;
    out->raw_length = wire::kMessageHeaderBytes + length;
    return true;
}

void StreamFramer::Reset() {
    buffer_.clear();
    garbage_.clear();
    start_ = 0;
}

void StreamFramer::FlushGarbage(const Sink& sink) {
    if (garbage_.empty()) return;
    std::vector<uint8_t> bytes;
    bytes.swap(garbage_);
    ParsedMessage bad;
    bad.malformed = true;
    bad.raw = bytes.data();
    bad.raw_length = bytes.size();
    sink(bad);
}

void StreamFramer::Feed(const uint8_t* data, size_t size, const Sink& sink) {
    buffer_.insert(buffer_.end(), data, data + size);
    for (;;) {
        size_t avail = buffer_.size() - start_;
        const uint8_t* p = buffer_.data() + start_;
        if (avail == 0) break;
        // Skip to the next sync pair.
        size_t skip = 0;
        while (skip < avail &&
               !(p[skip] == wire::kSync && (skip + 1 >= avail || p[skip + 1] == wire::kSync)))
            ++skip;
        if (skip > 0) {
            garbage_.insert(garbage_.end(), p, p + skip);
            start_ += skip;
            if (garbage_.size() >= 4096) FlushGarbage(sink);
            continue;
        }
        if (avail >= 2) FlushGarbage(sink);  // a header starts here
        if (avail < wire::kMessageHeaderBytes) break;
        const wire::MessageHeader header(p);
        size_t length = header.payload_length();
        if (avail < wire::kMessageHeaderBytes + length) break;
        ParsedMessage m;
        m.command = header.command();
        m.second_word = header.second_word();
        m.payload = p + wire::kMessageHeaderBytes;
        m.length = length;
        m.raw = p;
        m.raw_length = wire::kMessageHeaderBytes + length;
        start_ += wire::kMessageHeaderBytes + length;
        sink(m);
    }
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    } else if (start_ > 65536) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(start_));
        start_ = 0;
    }
}

}  // namespace devsim
