// The 88-byte "qvnet01" header that starts every QV request and reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qvnet {

constexpr size_t kHeaderBytes = 88;
constexpr size_t kMaxMessageBytes = 4096;  // longest reply accepted, header included
constexpr size_t kMaxPayloadBytes = 4008;  // longest request payload
constexpr char kMagic[8] = {'q', 'v', 'n', 'e', 't', '0', '1', 0};

// Results of the client's calls; 0 is success.
constexpr int kOk = 0;
constexpr int kBadReply = -5;        // bad reply, or the connection closed before one
constexpr int kConnectFailed = -12;  // no connection within the time-out
constexpr int kLoginRefused = -49;   // login reply without payload
constexpr int kBadArgument = -1;     // payload too long, no address

constexpr uint32_t kCommandLogin = 0x1000001E;
constexpr uint32_t kCommandReboot = 257;
constexpr uint32_t kCommandRestore = 259;
constexpr size_t kLoginPayloadBytes = 151;

#pragma pack(push, 1)
struct Header {
    char magic[8];
    uint32_t total_bytes;  // header plus payload
    uint32_t command;
    uint32_t word16;
    uint32_t word20;  // 0 in every request; a reply with anything else is a failure
    char user[32];
    char password[32];
};
#pragma pack(pop)
static_assert(sizeof(Header) == 88);
static_assert(offsetof(Header, total_bytes) == 8);
static_assert(offsetof(Header, command) == 12);
static_assert(offsetof(Header, word16) == 16);
static_assert(offsetof(Header, word20) == 20);
static_assert(offsetof(Header, user) == 24);
static_assert(offsetof(Header, password) == 56);

// A whole request: header (user and password cut to 31 bytes, zero-padded)
// and payload. Empty when the payload is longer than kMaxPayloadBytes.
std::vector<uint8_t> BuildRequest(uint32_t command, const std::string& user,
                                  const std::string& password, const uint8_t* payload,
                                  size_t payload_bytes);

// Checks the first 12 bytes of a reply: magic and total length. Returns the
// total length (88..4096), or kBadReply.
int CheckReplyStart(const uint8_t* first12);

// Checks a whole reply (header and payload as announced): returns kOk or kBadReply.
int CheckReply(const uint8_t* data, size_t bytes);

// Little-endian helpers for the header words.
uint32_t ReadU32(const uint8_t* p);

}  // namespace qvnet
