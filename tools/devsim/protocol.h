// What the emulated devices choose themselves: the result codes of replies,
// the LAN search group and ports, the default parameter records. The layouts
// of the blocks (device information, search answer, upgrade request, record
// queries and entries, alarm report) are zynvs/wire/layouts.h's; README.md
// documents them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zynvs/wire/codes.h"
#include "zynvs/wire/crc32.h"
#include "zynvs/wire/layouts.h"
#include "zynvs/wire/param_groups.h"

namespace devsim {

namespace wire = zyn::wire;

// Result words at payload offset 0 of replies.
enum Result : uint16_t {
    kResultOk = 0,
    kResultFailed = 1,       // generic failure (also the default injected code)
    kResultNotLoggedIn = 2,  // request before a successful login
    kResultBadLength = 3,    // payload length is not the one the command takes
    kResultBadArgument = 4,  // channel, stream kind, transport or address out of range
    kResultUnsupported = 5,  // unknown request code
    kResultBadAccount = 6,   // login: user or password wrong, or logins refused
    kResultBadSequence = 7,  // upgrade chunk without request, or past the image
    kResultBadChecksum = 8,  // upgrade image does not match the request's CRC-32
    kResultNoSuchFile = 9,   // 0x0206 for a file that is not in the list
    kResultTooLarge = 10,    // upgrade image larger than the device accepts
    kResultBadToken = 11,    // platform role: the token is not the session's
};

constexpr const char* kSearchGroup = "224.0.1.10";
constexpr uint16_t kSearchRequestPort = 6022;
constexpr uint16_t kSearchReplyPort = 6011;

using wire::kAudio;
using wire::kMainVideo;
using wire::kSubVideo;
using wire::kTalk;
using wire::ParamGroupInfo;

// The default contents of a record: deterministic, never all zero; the video
// record carries `resolution_code` at byte 72.
std::vector<uint8_t> DefaultParamRecord(const ParamGroupInfo& group, int channel,
                                        uint8_t resolution_code);

// IPv4 as the protocol carries it: the number whose most significant byte is
// the first octet. False for text that is not an address.
bool ParseIpv4(const std::string& text, uint32_t* out);
std::string FormatIpv4(uint32_t address);

}  // namespace devsim
