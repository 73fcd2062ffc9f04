// Command, reply and message numbers of the device protocol, for C++ code.
// The command codes themselves are the ZYN_CMD_* names of zynvs_commands.h
// (usable from C); this adds the reply codes, the codes only the emulated
// devices send, and the message numbers that reach MessageCallback.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zynvs/zynvs_commands.h"

namespace zyn::wire {

// A reply carries its request's code with bit 15 set.
constexpr uint16_t ReplyTo(uint16_t command) {
    return static_cast<uint16_t>(command | 0x8000);
}
constexpr bool IsReply(uint16_t command) {
    return (command & 0x8000) != 0;
}
constexpr uint16_t RequestOf(uint16_t reply) {
    return static_cast<uint16_t>(reply & 0x7FFF);
}

// Replies by name.
inline constexpr uint16_t kLoginReply = ZYN_CMD_LOGIN_REPLY;
inline constexpr uint16_t kLoginReplyEx = ZYN_CMD_LOGIN_REPLY_EX;
inline constexpr uint16_t kLogoutReply = ReplyTo(ZYN_CMD_LOGOUT);
inline constexpr uint16_t kKeepAliveReply = ReplyTo(ZYN_CMD_KEEPALIVE);
inline constexpr uint16_t kUpgradeRequestReply = ReplyTo(ZYN_CMD_UPGRADE_REQUEST);
inline constexpr uint16_t kUpgradeChunkReply = ReplyTo(ZYN_CMD_UPGRADE_CHUNK);
inline constexpr uint16_t kStreamReply = ReplyTo(ZYN_CMD_STREAM_REQUEST);
inline constexpr uint16_t kRecordListReply = ReplyTo(ZYN_CMD_RECORD_QUERY);
inline constexpr uint16_t kRecordFileReply = ReplyTo(ZYN_CMD_RECORD_FILE);
inline constexpr uint16_t kPtzReply = ReplyTo(ZYN_CMD_PTZ);
inline constexpr uint16_t kRebootReply = ReplyTo(ZYN_CMD_REBOOT);
inline constexpr uint16_t kRemoteRecordReply = ReplyTo(ZYN_CMD_REMOTE_RECORD);
inline constexpr uint16_t kSerialReply = ReplyTo(ZYN_CMD_SERIAL);
inline constexpr uint16_t kSetDefaultReply = ReplyTo(ZYN_CMD_SET_DEFAULT);
inline constexpr uint16_t kResetParamReply = ReplyTo(ZYN_CMD_RESET_PARAM);
inline constexpr uint16_t kClearAlarmReply = ReplyTo(ZYN_CMD_CLEAR_ALARM);
inline constexpr uint16_t kSearchReply = ReplyTo(ZYN_CMD_SEARCH);
inline constexpr uint16_t kSearchModifyReply = ReplyTo(ZYN_CMD_SEARCH_MODIFY);
inline constexpr uint16_t kDeviceListReply = ReplyTo(ZYN_CMD_DEVICE_LIST);
inline constexpr uint16_t kSearchRebootReply = ReplyTo(ZYN_CMD_SEARCH_REBOOT);

// Platform answers by name.
inline constexpr uint16_t kPltStreamStartReply = ReplyTo(ZYN_CMD_PLT_STREAM_START);
inline constexpr uint16_t kPltStreamStopReply = ReplyTo(ZYN_CMD_PLT_STREAM_STOP);
inline constexpr uint16_t kPltSoundReply = ReplyTo(ZYN_CMD_PLT_SOUND);
inline constexpr uint16_t kPltTalkReply = ReplyTo(ZYN_CMD_PLT_TALK);
// Platform answers that are stored like any reply although no request of this
// SDK asks for them, and one that is ignored.
inline constexpr uint16_t kPltOtherStoredReplies[] = {0x8555, 0x8558, 0x8559, 0x8560, 0x8561};
inline constexpr uint16_t kPltIgnoredReply = 0x8540;
// The header word of the platform device's token-carrying requests.
inline constexpr uint16_t kPlatformRequestWord = 1;
// The device id whose video is passed on unassembled.
inline constexpr int kPassThroughDeviceId = 9999;
// Stream mode of a platform channel shown without frame records.
inline constexpr int kBareStreamMode = 4;

// Unsolicited alarm report of the emulated devices (layouts.h: AlarmReport).
inline constexpr uint16_t kAlarmReport = 0x0601;

// Result word of a reply: 0 is success.
inline constexpr uint16_t kResultOk = 0;

// Messages of MessageCallback that the SDK makes itself. Any other number is
// the command code of an unsolicited device message.
enum Message : int {
    kMsgLoggedIn = 1,        // login succeeded
    kMsgControlLost = 2,     // the control connection is gone
    kMsgStreamRestored = 3,  // a channel's stream was requested again (channel as text)
    kMsgStreamLost = 4,      // the stream connection is gone, or a channel stalled
    kMsgDeviceInfo = 8,      // the 88-byte device information of a login
    kMsgExtendedInfo = 9,    // the 504-byte extended device information of a login
    // Platform role (the id is the party's):
    kMsgPartyOffline = 20,  // a logged-in party logged out, lost its connection or went silent
    kMsgRelayed = 21,       // a request relayed to this encoder; text "0xCODE REQUESTER"
    kMsgSubscribers = 22,   // an encoder channel's subscribers changed; text "CHANNEL COUNT"
};

// Stream kinds of a stream request.
enum StreamKind : uint8_t { kMainVideo = 0, kSubVideo = 1, kAudio = 2, kTalk = 3 };

// Stream transports.
enum Transport : uint8_t { kTcp = 0, kUdp = 1, kMulticast = 2 };

}  // namespace zyn::wire
