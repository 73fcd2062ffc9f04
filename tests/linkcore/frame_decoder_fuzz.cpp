#include "frame_decoder_fuzz.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "linkcore/frame_decoder.h"

namespace {

struct Msg {
    uint16_t command;
    uint16_t second_word;
    std::vector<uint8_t> payload;
    bool operator==(const Msg& o) const {
        return command == o.command && second_word == o.second_word && payload == o.payload;
    }
};

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "frame decoder fuzz: %s\n", what);
        std::abort();
    }
}

// The obvious parse of a complete buffer.
struct Reference {
    std::vector<Msg> messages;
    bool sync_lost = false;
    std::size_t leftover = 0;  // bytes of an incomplete final message
};

Reference Parse(const uint8_t* data, std::size_t size, std::size_t max_payload) {
    Reference r;
    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t left = size - pos;
        if (data[pos] != linkcore::kSync || (left >= 2 && data[pos + 1] != linkcore::kSync)) {
            r.sync_lost = true;
            return r;
        }
        if (left < 8) {
            r.leftover = left;
            return r;
        }
        const std::size_t len = linkcore::LoadLe16(data + pos + 6);
        if (len > max_payload) {
            r.sync_lost = true;
            return r;
        }
        if (left < 8 + len) {
            r.leftover = left;
            return r;
        }
        r.messages.push_back({linkcore::LoadLe16(data + pos + 2), linkcore::LoadLe16(data + pos + 4),
                              std::vector<uint8_t>(data + pos + 8, data + pos + 8 + len)});
        pos += 8 + len;
    }
    return r;
}

}  // namespace

int FuzzFrameDecoder(const uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first two bytes steer the chunking and the payload limit.
    uint32_t state = data[0] * 257u + data[1] + 1;
    const std::size_t max_payload = (data[1] & 0x80) ? (data[0] * 16u) : linkcore::kMaxPayload;
    const uint8_t* body = data + 2;
    const std::size_t n = size - 2;

    const Reference ref = Parse(body, n, max_payload);

    linkcore::FrameDecoder decoder(max_payload);
    std::vector<Msg> got;
    bool lost = false;
    std::size_t pos = 0;
    while (pos < n && !lost) {
        state = state * 1103515245u + 12345u;
        std::size_t chunk = 1 + (state >> 16) % 97;
        if ((state & 7) == 0) chunk = n - pos;  // sometimes the whole rest
        chunk = std::min(chunk, n - pos);
        // Copy the chunk so an overread shows up under a sanitizer.
        std::vector<uint8_t> piece(body + pos, body + pos + chunk);
        const auto result = decoder.Feed(piece.data(), piece.size(), [&](const linkcore::FrameView& m) {
            Check(m.payload != nullptr, "null payload");
            Check(m.length <= max_payload, "length above limit");
            got.push_back({m.command, m.second_word,
                           std::vector<uint8_t>(m.payload, m.payload + m.length)});
            return true;
        });
        Check(result != linkcore::FrameDecoder::Result::kStopped, "stopped without request");
        lost = result == linkcore::FrameDecoder::Result::kSyncLost;
        pos += chunk;
    }
    Check(lost == ref.sync_lost, "sync loss differs from reference");
    Check(got == ref.messages, "messages differ from reference");
    if (!lost) {
        Check(decoder.buffered_bytes() == ref.leftover, "buffered bytes differ");
        Check(!decoder.failed(), "failed without sync loss");
    }

    // A sink that stops early is obeyed.
    if (ref.messages.size() >= 2) {
        linkcore::FrameDecoder stopper(max_payload);
        std::size_t calls = 0;
        const auto r = stopper.Feed(body, n, [&](const linkcore::FrameView&) { return ++calls < 2; });
        Check(r == linkcore::FrameDecoder::Result::kStopped && calls == 2, "stop not obeyed");
    }

    // As one datagram: valid exactly when it is one whole message.
    linkcore::FrameView view;
    std::vector<uint8_t> copy(body, body + n);
    const bool valid = linkcore::ParseDatagram(copy.data(), copy.size(), &view);
    const bool expect = n >= 8 && body[0] == linkcore::kSync && body[1] == linkcore::kSync &&
                        8u + linkcore::LoadLe16(body + 6) == n;
    Check(valid == expect, "datagram verdict");
    if (valid) Check(view.payload == copy.data() + 8 && view.length == n - 8, "datagram view");
    return 0;
}
