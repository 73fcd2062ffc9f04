// CPacket: builds and parses one device message (8-byte header + payload) in
// a 4096-byte buffer. The LAN search frames and parses its datagrams with it.
#pragma once

#include <cstddef>
#include <cstdint>

class CPacket {
public:
    static constexpr std::size_t kBufferBytes = 4096;
    static constexpr std::size_t kHeaderBytes = 8;
    static constexpr std::size_t kMaxPayload = kBufferBytes - kHeaderBytes;  // 4088
    // Reported length when the first two bytes are not the sync bytes.
    static constexpr uint16_t kBadSyncLength = 0xFFFF;

    CPacket();
    virtual ~CPacket() = default;

    // Zeroes the buffer, writes header and payload. Returns the buffer and
    // reports the message length 8 + length in *message_length. A payload
    // longer than 4088 bytes (or a null payload with a nonzero length) builds
    // nothing: returns nullptr and reports 0.
    const uint8_t* Build(uint16_t command, uint16_t second_word, const void* payload,
                         std::size_t length, std::size_t* message_length);

    // Parses received bytes. Bad sync (or null bytes): command 0, length
    // 0xFFFF, returns nullptr. Shorter than the header says: command 0,
    // length 0, returns nullptr. Otherwise reports command, second word and
    // length, copies the payload into the buffer (zeroed first) and returns it.
    const uint8_t* Parse(const void* bytes, std::size_t received, uint16_t* command,
                         uint16_t* second_word, uint16_t* length);

    const uint8_t* Buffer() const { return buffer_; }

private:
    uint8_t buffer_[kBufferBytes];
};
