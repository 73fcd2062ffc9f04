#include "decodekit/platform/packet.h"

#include <cstring>

#include "zynvs/wire/layouts.h"

CPacket::CPacket() {
    std::memset(buffer_, 0, sizeof(buffer_));
}

const uint8_t* CPacket::Build(uint16_t command, uint16_t second_word, const void* payload,
                              std::size_t length, std::size_t* message_length) {
    if (message_length) *message_length = 0;
    if (length > kMaxPayload || (length > 0 && payload == nullptr)) return nullptr;
    std::memset(buffer_, 0, sizeof(buffer_));
    zyn::wire::MutableMessageHeader(buffer_).Set(command, second_word,
                                                 static_cast<uint16_t>(length));
    if (length > 0) std::memcpy(buffer_ + kHeaderBytes, payload, length);
    if (message_length) *message_length = kHeaderBytes + length;
    return buffer_;
}

const uint8_t* CPacket::Parse(const void* bytes, std::size_t received, uint16_t* command,
                              uint16_t* second_word, uint16_t* length) {
    uint16_t cmd = 0, second = 0, len = 0;
    const uint8_t* result = nullptr;
    const auto* in = static_cast<const uint8_t*>(bytes);
    const zyn::wire::MessageHeader header(in);
    if (in == nullptr || received < 2 || !header.has_sync()) {
        len = kBadSyncLength;
    } else if (received >= kHeaderBytes && kHeaderBytes + header.payload_length() <= received &&
               header.payload_length() <= kMaxPayload) {
        cmd = header.command();
        second = header.second_word();
        len = header.payload_length();
        std::memset(buffer_, 0, sizeof(buffer_));
        std::memcpy(buffer_, in + kHeaderBytes, len);
        result = buffer_;
    }
    // else: shorter than its header says (or a payload that cannot fit the
    // buffer): command 0, length 0.
    if (command) *command = cmd;
    if (second_word) *second_word = second;
    if (length) *length = len;
    return result;
}
