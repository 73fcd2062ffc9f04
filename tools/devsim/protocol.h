// What the emulated devices put into the blocks whose layout is theirs to
// choose: device information (88 and 504 bytes), the LAN search answer, the
// upgrade request, record queries, record-file entries and descriptors, the
// alarm report, and the result codes of replies. README.md documents the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace devsim {

// Result words at payload offset 0 of replies.
enum Result : uint16_t {
    kResultOk = 0,
    kResultFailed = 1,        // generic failure (also the default injected code)
    kResultNotLoggedIn = 2,   // request before a successful login
    kResultBadLength = 3,     // payload length is not the one the command takes
    kResultBadArgument = 4,   // channel, stream kind, transport or address out of range
    kResultUnsupported = 5,   // unknown request code
    kResultBadAccount = 6,    // login: user or password wrong, or logins refused
    kResultBadSequence = 7,   // upgrade chunk without request, or past the image
    kResultBadChecksum = 8,   // upgrade image does not match the request's CRC-32
    kResultNoSuchFile = 9,    // 0x0206 for a file that is not in the list
    kResultTooLarge = 10,     // upgrade image larger than the device accepts
};

// Unsolicited alarm report: command and 12-byte payload
// (channel, alarm type, state 1 on / 0 off, 0, device time in seconds,
// sequence number).
constexpr uint16_t kCmdAlarmReport = 0x0601;
constexpr size_t kAlarmReportBytes = 12;

// LAN search answers carry the request's code with bit 15 set.
constexpr uint16_t kCmdSearchReply = 0x8F06;
constexpr uint16_t kCmdSearchModifyReply = 0x8F02;
constexpr uint16_t kCmdSearchRebootReply = 0x8F03;
constexpr const char* kSearchGroup = "224.0.1.10";
constexpr uint16_t kSearchRequestPort = 6022;
constexpr uint16_t kSearchReplyPort = 6011;

constexpr size_t kDeviceInfoBytes = 88;
constexpr size_t kExtendedInfoBytes = 504;
constexpr size_t kSearchReplyBytes = 128;
constexpr size_t kNetParaBlockBytes = 80;
constexpr size_t kUpgradeRequestBytes = 72;
constexpr size_t kRecordQueryBytes = 36;
constexpr size_t kRecordEntryBytes = 144;
constexpr size_t kRecordDescriptorBytes = 152;

// Stream kinds of the stream request.
enum StreamKind : uint8_t { kMainVideo = 0, kSubVideo = 1, kAudio = 2, kTalk = 3 };

// Offsets inside the 88-byte device information block (also the first 88
// bytes of the 504-byte extended block).
namespace info {
constexpr size_t kName = 0;            // 32 bytes, zero-padded text
constexpr size_t kSerial = 32;         // 16 bytes, zero-padded text
constexpr size_t kDeviceId = 48;       // u32
constexpr size_t kChannelCount = 52;   // u8
constexpr size_t kAlarmInputs = 53;    // u8
constexpr size_t kAlarmOutputs = 54;   // u8
constexpr size_t kAudioFormat = 55;    // u8: audio format number
constexpr size_t kFirmwareVersion = 56;  // u32: 0x00MMmmpp (major, minor, patch)
constexpr size_t kBuildDate = 60;      // u32: YYYYMMDD as a decimal number
constexpr size_t kMac = 64;            // 6 bytes
constexpr size_t kControlPort = 70;    // u16
constexpr size_t kStreamPort = 72;     // u16
constexpr size_t kMainResolution = 74;  // u8: resolution code of the main stream
constexpr size_t kSubResolution = 75;  // u8
constexpr size_t kAddress = 76;        // u32, first octet in the most significant byte
constexpr size_t kControlTransports = 80;  // u8: bit 0 TCP, bit 1 UDP
constexpr size_t kSubChannelFour = 81;  // u8: 1 when channel 0's sub stream is sent as channel 4
// 82..87 zero
// Extended block only:
constexpr size_t kModel = 88;          // 32 bytes text
constexpr size_t kTalkFormat = 120;    // u8: talk format (1 = G.711)
constexpr size_t kTalkAudioFormat = 121;  // u8: audio format number, as at 55
constexpr size_t kFirmwareText = 124;  // 32 bytes text, e.g. "1.2.3"
constexpr size_t kHardwareText = 156;  // 32 bytes text
constexpr size_t kMainWidth = 188;     // u16 each: main and sub stream sizes, frame rate
constexpr size_t kMainHeight = 190;
constexpr size_t kSubWidth = 192;
constexpr size_t kSubHeight = 194;
constexpr size_t kFrameRate = 196;
// 198..503 zero
}  // namespace info

// Offsets of the 128-byte search answer. Bytes 0..79 follow the layout of the
// change request's block (so a tool can send it back with changed fields).
namespace search {
constexpr size_t kName = 0;           // 20 bytes text (field D)
constexpr size_t kChannelCount = 21;  // u8 (field B)
constexpr size_t kDeviceKind = 22;    // u16 (field W): 1
constexpr size_t kAddress = 24;       // u32 each, first octet in the most significant byte
constexpr size_t kMask = 28;
constexpr size_t kGateway = 32;
constexpr size_t kControlPort = 36;   // u16, repeated at 38 and 46
constexpr size_t kMac = 40;           // 6 bytes
constexpr size_t kSerial = 48;        // 24 bytes text (field E)
// 72..79 zero
constexpr size_t kDeviceId = 80;      // u32
constexpr size_t kStreamPort = 84;    // u16
constexpr size_t kChannelCount2 = 86;  // u8
constexpr size_t kFlags = 87;         // u8: bit 0 control TCP, bit 1 control UDP, bit 2 newer login
constexpr size_t kFirmwareText = 88;  // 24 bytes text
// 112..127 zero
}  // namespace search

// The 72-byte upgrade request (0x0104).
namespace upgrade {
constexpr size_t kImageBytes = 0;     // u32: length of the whole image
constexpr size_t kCrc32 = 4;          // u32: CRC-32 (IEEE) of the image; 0 = not checked
constexpr size_t kChunkBytes = 8;     // u32: chunk size the sender uses (informative)
constexpr size_t kFileName = 12;      // 32 bytes text
constexpr size_t kVersion = 44;       // 16 bytes text
// 60..71 zero
}  // namespace upgrade

// The 36-byte record query (0x0204).
namespace query {
constexpr size_t kChannel = 0;        // u8: 0..3, 0xFF all channels
constexpr size_t kFileType = 1;       // u8: 0 any, 1 timer, 2 alarm, 3 manual
constexpr size_t kPerReply = 2;       // u16: entries per 0x8204; 0 = the device's default
constexpr size_t kStartTime = 4;      // u32 seconds since 1970; 0 = no lower bound
constexpr size_t kEndTime = 8;        // u32; 0 = no upper bound
}  // namespace query

// The 144-byte record-file entry of 0x8204, and the 152-byte descriptor of
// 0x0206 (an entry followed by 8 bytes).
namespace entry {
constexpr size_t kName = 0;           // 64 bytes text
constexpr size_t kChannel = 64;       // u8
constexpr size_t kFileType = 65;      // u8
constexpr size_t kStartTime = 68;     // u32 seconds since 1970
constexpr size_t kEndTime = 72;       // u32
constexpr size_t kSizeBytes = 76;     // u32
constexpr size_t kIndex = 80;         // u32: the file's number on the device
constexpr size_t kAction = 144;       // descriptor: u8 0 play, 1 fetch
constexpr size_t kOffset = 148;       // descriptor: u32 start offset in bytes
}  // namespace entry

// One parameter group: codes, record size and whether the requests carry the
// 4-byte channel prefix.
struct ParamGroup {
    const char* name;
    uint16_t get_command;
    uint16_t set_command;
    size_t record_bytes;
    bool per_channel;      // stored once per channel
    bool get_prefix;       // getter payload is the channel prefix
    bool set_prefix;       // setter payload is prefix + record
};

const std::vector<ParamGroup>& ParamGroups();
const ParamGroup* FindParamGroupByGet(uint16_t command);
const ParamGroup* FindParamGroupBySet(uint16_t command);
// Byte 72 of the video record holds the resolution code.
constexpr size_t kVideoRecordResolution = 72;

// The default contents of a record: deterministic, never all zero; the video
// record carries `resolution_code` at byte 72.
std::vector<uint8_t> DefaultParamRecord(const ParamGroup& group, int channel,
                                        uint8_t resolution_code);

// CRC-32 (IEEE 802.3, the zlib one).
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

// IPv4 as the protocol carries it: the number whose most significant byte is
// the first octet. False for text that is not an address.
bool ParseIpv4(const std::string& text, uint32_t* out);
std::string FormatIpv4(uint32_t address);

}  // namespace devsim
