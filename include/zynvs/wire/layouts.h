// Typed views over the byte layouts of the device protocol. A view holds a
// pointer to the first byte of a block and reads or writes its fields in
// little-endian order; it owns nothing and checks no length: the caller has
// made sure the block holds kBytes bytes (or what it touches).
//
//   wire::FragmentHeader h(payload);            // read-only
//   if (h.fragment_index() == 0) ...
//   wire::MutableFragmentHeader out(buffer);     // writable
//   out.set_total_length(n);
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "zynvs/wire/byte_order.h"
#include "zynvs/zynvs_records.h"

namespace zyn::wire {

// The common base: Byte is uint8_t (writable) or const uint8_t (read-only).
template <typename Byte>
class View {
    static_assert(std::is_same_v<std::remove_const_t<Byte>, uint8_t>, "a view is over bytes");

public:
    constexpr explicit View(Byte* data) : p_(data) {}
    Byte* data() const { return p_; }

protected:
    Byte* p_;
};

#define ZYN_WIRE_U8(name, offset)      \
    uint8_t name() const {             \
        return this->p_[offset];       \
    }                                  \
    void set_##name(uint8_t v) const { \
        this->p_[offset] = v;          \
    }
#define ZYN_WIRE_U16(name, offset)            \
    uint16_t name() const {                   \
        return LoadLe16(this->p_ + (offset)); \
    }                                         \
    void set_##name(uint16_t v) const {       \
        StoreLe16(this->p_ + (offset), v);    \
    }
#define ZYN_WIRE_U32(name, offset)            \
    uint32_t name() const {                   \
        return LoadLe32(this->p_ + (offset)); \
    }                                         \
    void set_##name(uint32_t v) const {       \
        StoreLe32(this->p_ + (offset), v);    \
    }
#define ZYN_WIRE_AREA(name, offset) \
    Byte* name() const {            \
        return this->p_ + (offset); \
    }
#define ZYN_WIRE_VIEW(Basic, Name)     \
    using Name = Basic<const uint8_t>; \
    using Mutable##Name = Basic<uint8_t>;

// ---- message framing ------------------------------------------------------

inline constexpr uint8_t kSync = ZYNVS_MESSAGE_SYNC;
inline constexpr std::size_t kMessageHeaderBytes = ZYNVS_MESSAGE_HEADER_BYTES;

// The 8-byte message header; the payload follows.
template <typename Byte>
class BasicMessageHeader : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = kMessageHeaderBytes;
    bool has_sync() const { return this->p_[0] == kSync && this->p_[1] == kSync; }
    ZYN_WIRE_U16(command, 2)
    ZYN_WIRE_U16(second_word, 4)
    ZYN_WIRE_U16(payload_length, 6)
    ZYN_WIRE_AREA(payload, kBytes)
    // Writes the whole header.
    void Set(uint16_t command, uint16_t second_word, uint16_t payload_length) const {
        this->p_[0] = kSync;
        this->p_[1] = kSync;
        set_command(command);
        set_second_word(second_word);
        set_payload_length(payload_length);
    }
};
ZYN_WIRE_VIEW(BasicMessageHeader, MessageHeader)

// ---- replies --------------------------------------------------------------

// A reply payload: result word (0 = success), a second word, then the record
// of replies that return one.
template <typename Byte>
class BasicReply : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kHeaderBytes = 4;
    ZYN_WIRE_U16(result, 0)
    ZYN_WIRE_U16(word, 2)
    ZYN_WIRE_AREA(record, kHeaderBytes)
};
ZYN_WIRE_VIEW(BasicReply, Reply)

// ---- live streams ---------------------------------------------------------

// The 24-byte header of a video fragment (0x0301) or of an audio block
// (0x0302, where byte 0 is the audio frame type), followed by the data.
template <typename Byte>
class BasicFragmentHeader : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 24;
    ZYN_WIRE_U8(audio_type, 0)
    ZYN_WIRE_U8(channel, 1)
    ZYN_WIRE_U8(resolution, 2)
    ZYN_WIRE_U8(stream_kind, 3)
    ZYN_WIRE_U8(frame_type, 4)
    ZYN_WIRE_U8(time_mark, 5)
    ZYN_WIRE_U8(fragment_index, 6)
    ZYN_WIRE_U8(fragment_count, 7)
    ZYN_WIRE_U32(frame_number, 8)
    ZYN_WIRE_U32(total_length, 12)
    ZYN_WIRE_U32(time_sec, 16)
    ZYN_WIRE_U16(time_msec, 20)
    ZYN_WIRE_U16(fragment_length, 22)
    ZYN_WIRE_AREA(fragment_data, kBytes)
};
ZYN_WIRE_VIEW(BasicFragmentHeader, FragmentHeader)
ZYN_WIRE_VIEW(BasicFragmentHeader, AudioHeader)
inline constexpr std::size_t kFragmentHeaderBytes = 24;

inline constexpr uint8_t kKeyFrameType = 7;      // frame_type of a key frame
inline constexpr uint8_t kTimeStampedMark = 3;   // time_mark: an 8-byte time stamp follows
inline constexpr uint8_t kSubStreamChannel = 4;  // channel byte: channel 0's sub stream
// Audio of formats 1 and 2 begins with a 4-byte audio header of its own.
inline constexpr std::size_t kAudioSubHeaderBytes = 4;
constexpr bool HasAudioSubHeader(int audio_format) {
    return audio_format == 1 || audio_format == 2;
}

// Frame records handed to the application and written to recordings: a 6-byte
// prefix ("XCXBV" or "XCXBA" and a zero), the 24-byte header, the data.
inline constexpr std::size_t kFramePrefixBytes = ZYNVS_FRAME_PREFIX_BYTES;
inline constexpr std::size_t kFrameRecordHeaderBytes = ZYNVS_FRAME_RECORD_HEADER_BYTES;
inline constexpr std::size_t kTimeStampBytes = 8;
inline void WriteFramePrefix(uint8_t* out, bool audio) {
    std::memcpy(out, audio ? ZYNVS_AUDIO_PREFIX : ZYNVS_VIDEO_PREFIX, kFramePrefixBytes - 1);
    out[kFramePrefixBytes - 1] = 0;
}

// The 16-byte stream request (0x0201).
template <typename Byte>
class BasicStreamRequest : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 16;
    ZYN_WIRE_U8(stream_kind, 0)
    ZYN_WIRE_U8(channel, 1)
    ZYN_WIRE_U8(open_flag, 2)
    ZYN_WIRE_U8(stream_transport, 3)
    ZYN_WIRE_U32(link_value, 4)
    ZYN_WIRE_U16(stream_port, 10)
    ZYN_WIRE_U32(stream_address, 12)  // first octet in the most significant byte
};
ZYN_WIRE_VIEW(BasicStreamRequest, StreamRequestView)

// Its reply (0x8201): the result word, then the stream key. The key goes back,
// zero-extended to 32 bits, as the only payload of the bind (0x0202).
template <typename Byte>
class BasicStreamReply : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 4;
    ZYN_WIRE_U16(result, 0)
    ZYN_WIRE_U16(stream_key, 2)
};
ZYN_WIRE_VIEW(BasicStreamReply, StreamReply)
inline constexpr std::size_t kStreamBindBytes = 4;

// ---- session --------------------------------------------------------------

// The 40-byte login request (0x0101) of a directly connected client.
template <typename Byte>
class BasicLoginRequest : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 40;
    static constexpr uint8_t kDirectClient = 2;  // the byte at 5
    static constexpr std::size_t kAccountBytes = 16;
    ZYN_WIRE_U32(device_id, 0)
    ZYN_WIRE_U8(channel_count, 4)
    ZYN_WIRE_U8(client_kind, 5)
    ZYN_WIRE_AREA(account, 8)  // user name (8), password (8), as in the login record
};
ZYN_WIRE_VIEW(BasicLoginRequest, LoginRequest)

// The 8-byte clock set (0x0586), local time.
template <typename Byte>
class BasicClockSet : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 8;
    ZYN_WIRE_U16(year, 0)
    ZYN_WIRE_U16(month, 2)
    ZYN_WIRE_U8(day, 4)
    ZYN_WIRE_U8(hour, 5)
    ZYN_WIRE_U8(minute, 6)
    ZYN_WIRE_U8(second, 7)
};
ZYN_WIRE_VIEW(BasicClockSet, ClockSet)

// The device information of a login answer: 88 bytes after 0x8101, 504
// after 0x8588 (whose first 88 bytes are the same block).
template <typename Byte>
class BasicDeviceInfo : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 88;
    static constexpr std::size_t kExtendedBytes = 504;
    static constexpr std::size_t kNameBytes = 32, kSerialBytes = 16, kMacBytes = 6;
    static constexpr std::size_t kTextBytes = 32;  // model, firmware and hardware texts
    ZYN_WIRE_AREA(name, 0)
    ZYN_WIRE_AREA(serial, 32)
    ZYN_WIRE_U32(device_id, 48)
    ZYN_WIRE_U8(channel_count, 52)
    ZYN_WIRE_U8(alarm_inputs, 53)
    ZYN_WIRE_U8(alarm_outputs, 54)
    ZYN_WIRE_U8(audio_format, 55)
    ZYN_WIRE_U32(firmware_version, 56)  // 0x00MMmmpp
    ZYN_WIRE_U32(build_date, 60)        // YYYYMMDD as a decimal number
    ZYN_WIRE_AREA(mac, 64)
    ZYN_WIRE_U16(control_port, 70)
    ZYN_WIRE_U16(stream_port, 72)
    ZYN_WIRE_U8(main_resolution, 74)
    ZYN_WIRE_U8(sub_resolution, 75)
    ZYN_WIRE_U32(address, 76)            // first octet in the most significant byte
    ZYN_WIRE_U8(control_transports, 80)  // bit 0 TCP, bit 1 UDP
    ZYN_WIRE_U8(sub_channel_four, 81)    // 1: channel 0's sub stream comes as channel 4
    // Extended block only.
    ZYN_WIRE_AREA(model, 88)
    ZYN_WIRE_U8(talk_format, 120)
    ZYN_WIRE_U8(talk_audio_format, 121)
    ZYN_WIRE_AREA(firmware_text, 124)
    ZYN_WIRE_AREA(hardware_text, 156)
    ZYN_WIRE_U16(main_width, 188)
    ZYN_WIRE_U16(main_height, 190)
    ZYN_WIRE_U16(sub_width, 192)
    ZYN_WIRE_U16(sub_height, 194)
    ZYN_WIRE_U16(frame_rate, 196)
};
ZYN_WIRE_VIEW(BasicDeviceInfo, DeviceInfo)

// ---- commands -------------------------------------------------------------

// The 4-byte PTZ command (0x0401).
template <typename Byte>
class BasicPtzCommand : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 4;
    ZYN_WIRE_U8(command, 0)
    ZYN_WIRE_U8(speed, 1)
    ZYN_WIRE_U8(extra, 2)
    ZYN_WIRE_U8(channel, 3)
};
ZYN_WIRE_VIEW(BasicPtzCommand, PtzCommand)

// Serial data (0x0406): data length, port, a zero byte, the data.
template <typename Byte>
class BasicSerialData : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kHeaderBytes = 4;
    ZYN_WIRE_U16(data_length, 0)
    ZYN_WIRE_U8(port, 2)
    ZYN_WIRE_AREA(serial_data, kHeaderBytes)
};
ZYN_WIRE_VIEW(BasicSerialData, SerialData)

// The 72-byte upgrade request (0x0104).
template <typename Byte>
class BasicUpgradeRequest : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 72;
    static constexpr std::size_t kFileNameBytes = 32, kVersionBytes = 16;
    ZYN_WIRE_U32(image_bytes, 0)  // length of the whole image
    ZYN_WIRE_U32(crc32, 4)        // CRC-32 of the image; 0 = not checked
    ZYN_WIRE_U32(chunk_bytes, 8)  // the sender's chunk size (informative)
    ZYN_WIRE_AREA(file_name, 12)
    ZYN_WIRE_AREA(version, 44)
};
ZYN_WIRE_VIEW(BasicUpgradeRequest, UpgradeRequest)

// An upgrade chunk (0x0105): a 16-bit word, the chunk length, the chunk.
template <typename Byte>
class BasicUpgradeChunk : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kHeaderBytes = 4;
    ZYN_WIRE_U16(chunk_word, 0)
    ZYN_WIRE_U16(chunk_length, 2)
    ZYN_WIRE_AREA(chunk_data, kHeaderBytes)
};
ZYN_WIRE_VIEW(BasicUpgradeChunk, UpgradeChunk)

// ---- record files ---------------------------------------------------------

// The 36-byte record query (0x0204).
template <typename Byte>
class BasicRecordQuery : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 36;
    static constexpr uint8_t kAllChannels = 0xFF;
    ZYN_WIRE_U8(channel, 0)
    ZYN_WIRE_U8(file_type, 1)    // 0 any, 1 timer, 2 alarm, 3 manual
    ZYN_WIRE_U16(per_reply, 2)   // entries per answer; 0 = the device's default
    ZYN_WIRE_U32(start_time, 4)  // seconds since 1970; 0 = no lower bound
    ZYN_WIRE_U32(end_time, 8)    // 0 = no upper bound
};
ZYN_WIRE_VIEW(BasicRecordQuery, RecordQuery)

// An answer to the query (0x8204): count, total, count entries.
template <typename Byte>
class BasicRecordList : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kHeaderBytes = 4;
    ZYN_WIRE_U16(count, 0)
    ZYN_WIRE_U16(total, 2)
    ZYN_WIRE_AREA(entries, kHeaderBytes)
};
ZYN_WIRE_VIEW(BasicRecordList, RecordList)

// The 144-byte record-file entry, and the 152-byte descriptor of 0x0206 (an
// entry followed by the action and a start offset).
template <typename Byte>
class BasicRecordEntry : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 144;
    static constexpr std::size_t kDescriptorBytes = 152;
    static constexpr std::size_t kNameBytes = 64;
    ZYN_WIRE_AREA(name, 0)
    ZYN_WIRE_U8(channel, 64)
    ZYN_WIRE_U8(file_type, 65)
    ZYN_WIRE_U32(start_time, 68)
    ZYN_WIRE_U32(end_time, 72)
    ZYN_WIRE_U32(size_bytes, 76)
    ZYN_WIRE_U32(index, 80)  // the file's number on the device
    // Descriptor only.
    ZYN_WIRE_U8(action, 144)   // 0 play, 1 fetch
    ZYN_WIRE_U32(offset, 148)  // start offset in bytes
};
ZYN_WIRE_VIEW(BasicRecordEntry, RecordEntry)

// ---- LAN search -----------------------------------------------------------

// The 128-byte search answer (0x8F06). Its first 80 bytes are the block that a
// change of network parameters (0x0F02) or a reboot (0x0F03) carries.
template <typename Byte>
class BasicSearchAnswer : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 128;
    static constexpr std::size_t kNetParaBytes = 80;
    static constexpr std::size_t kNameBytes = 20, kSerialBytes = 24, kFirmwareBytes = 24;
    static constexpr std::size_t kMacBytes = 6;
    ZYN_WIRE_AREA(name, 0)
    ZYN_WIRE_U8(channel_count, 21)
    ZYN_WIRE_U16(device_kind, 22)
    ZYN_WIRE_U32(address, 24)  // first octet in the most significant byte
    ZYN_WIRE_U32(mask, 28)
    ZYN_WIRE_U32(gateway, 32)
    ZYN_WIRE_U16(control_port, 36)
    ZYN_WIRE_U16(control_port_2, 38)
    ZYN_WIRE_AREA(mac, 40)
    ZYN_WIRE_U16(control_port_3, 46)
    ZYN_WIRE_AREA(serial, 48)
    // Search answer only.
    ZYN_WIRE_U32(device_id, 80)
    ZYN_WIRE_U16(stream_port, 84)
    ZYN_WIRE_U8(channel_count_2, 86)
    ZYN_WIRE_U8(flags, 87)  // bit 0 control TCP, bit 1 control UDP, bit 2 newer login
    ZYN_WIRE_AREA(firmware_text, 88)
};
ZYN_WIRE_VIEW(BasicSearchAnswer, SearchAnswer)

// The answer to a change of network parameters or a reboot (0x8F02, 0x8F03):
// the device's MAC at 4.
template <typename Byte>
class BasicSearchAck : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 12;
    ZYN_WIRE_AREA(mac, 4)
};
ZYN_WIRE_VIEW(BasicSearchAck, SearchAck)

// ---- unsolicited messages -------------------------------------------------

// The 12-byte alarm report of the emulated devices.
template <typename Byte>
class BasicAlarmReport : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 12;
    ZYN_WIRE_U8(channel, 0)
    ZYN_WIRE_U8(alarm_type, 1)
    ZYN_WIRE_U8(state, 2)         // 1 on, 0 off
    ZYN_WIRE_U32(device_time, 4)  // seconds
    ZYN_WIRE_U32(sequence, 8)
};
ZYN_WIRE_VIEW(BasicAlarmReport, AlarmReport)

// ---- platform services ---------------------------------------------------

// Login kinds of the parties that log into the control service (the byte at 5
// of the login request, and the kind of their registration record).
enum PartyKind : uint8_t {
    kPartyEncoder = 0,  // 1 is an encoder too
    kPartyEncoderAlt = 1,
    kPartyUserClient = 2,
    kPartyStreamServer = 3,
    kPartyRecordServer = 4,
};
// Login results (0x8101): 0 ok, 2 refused, 3 unknown id.
enum PartyLoginResult : uint16_t { kLoginOk = 0, kLoginRefused = 2, kLoginUnknown = 3 };

// The device-list reply (0x8701): total, entries in this message, then the
// entries; one message stays within kDeviceListLimit bytes.
template <typename Byte>
class BasicDeviceListHeader : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 4;
    ZYN_WIRE_U16(total, 0)
    ZYN_WIRE_U16(entry_count, 2)
};
ZYN_WIRE_VIEW(BasicDeviceListHeader, DeviceListHeader)
inline constexpr std::size_t kDeviceListLimit = 1024;

// One 120-byte device-list entry; an encoder's is followed by one channel
// block per channel. The same bytes form the state report (0x0702).
template <typename Byte>
class BasicDeviceListEntry : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 120;
    static constexpr std::size_t kNameBytes = 64;
    ZYN_WIRE_U32(device_id, 0)
    ZYN_WIRE_U8(channel_count, 4)
    ZYN_WIRE_U8(kind, 5)
    ZYN_WIRE_U8(online, 6)
    ZYN_WIRE_AREA(name, 8)
};
ZYN_WIRE_VIEW(BasicDeviceListEntry, DeviceListEntry)

// The 68-byte channel block of an encoder's entry.
template <typename Byte>
class BasicChannelBlock : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 68;
    static constexpr std::size_t kNameBytes = 64;
    ZYN_WIRE_AREA(name, 0)
    ZYN_WIRE_U8(video_flag, 64)
    ZYN_WIRE_U8(sound_flag, 65)
    ZYN_WIRE_U8(talk_flag, 66)
};
ZYN_WIRE_VIEW(BasicChannelBlock, ChannelBlock)

// The key-frame type of a pushed recorded stream (the playback service).
inline constexpr uint8_t kPushedKeyFrameType = 5;

// ---- platform-attached devices ------------------------------------------------

// The session token a platform hands out: 32 bytes of text.
inline constexpr std::size_t kPlatformTokenBytes = 32;
// The part of the token that a login sends and that a login answer renews.
inline constexpr std::size_t kPlatformTokenHeadBytes = 16;

// The platform login (0x0101): 40 bytes (client kind at 5, account at 8, the
// token's first 16 bytes at 24) or, for the session word 3000, 128 bytes
// (no account and no token head; the whole token at 40).
template <typename Byte>
class BasicPlatformLogin : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 40;
    static constexpr std::size_t kLongBytes = 128;
    static constexpr uint16_t kLongSessionWord = 3000;
    static constexpr uint8_t kUserClient = 2;
    static constexpr std::size_t kAccountBytes = 16;
    ZYN_WIRE_U8(client_kind, 5)
    ZYN_WIRE_AREA(account, 8)
    ZYN_WIRE_AREA(token_head, 24)
    ZYN_WIRE_AREA(long_token, 40)
};
ZYN_WIRE_VIEW(BasicPlatformLogin, PlatformLogin)

// The platform's login answer (0x8101): the result in the first 32 bits; a
// longer answer carries 120 bytes of session information after them, with
// the renewed token head at offset 68.
template <typename Byte>
class BasicPlatformLoginReply : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kShortBytes = 32;
    static constexpr std::size_t kInfoOffset = 4;
    static constexpr std::size_t kInfoBytes = 120;
    static constexpr std::size_t kTokenOffset = 68;
    static constexpr std::size_t kLongBytes = kInfoOffset + kInfoBytes;
    ZYN_WIRE_U32(result, 0)
    ZYN_WIRE_AREA(info, kInfoOffset)
    ZYN_WIRE_AREA(token_head, kTokenOffset)
};
ZYN_WIRE_VIEW(BasicPlatformLoginReply, PlatformLoginReply)

// Stream start (0x0541): the 16-byte stream request, then the token.
template <typename Byte>
class BasicPlatformStreamStart : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 48;
    ZYN_WIRE_AREA(request, 0)
    ZYN_WIRE_AREA(token, 16)
};
ZYN_WIRE_VIEW(BasicPlatformStreamStart, PlatformStreamStart)

// Stream stop (0x0542): 8 zero bytes, the token, stream mode, channel.
template <typename Byte>
class BasicPlatformStreamStop : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 44;
    ZYN_WIRE_AREA(token, 8)
    ZYN_WIRE_U16(stream_mode, 40)
    ZYN_WIRE_U16(channel, 42)
};
ZYN_WIRE_VIEW(BasicPlatformStreamStop, PlatformStreamStop)

// Sound open (0x0543): an audio stream request of fixed bytes (kind 2,
// open, the constant 123 in the port field), then the token at 16. It names
// no channel: the stream connection it is sent on does.
template <typename Byte>
class BasicPlatformSound : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 48;
    static constexpr uint16_t kMarker = 123;
    ZYN_WIRE_U8(stream_kind, 0)
    ZYN_WIRE_U8(open_flag, 2)
    ZYN_WIRE_U16(marker, 10)
    ZYN_WIRE_AREA(token, 16)
};
ZYN_WIRE_VIEW(BasicPlatformSound, PlatformSound)

// Talk (0x0544): byte 0 is 1 to start and 0 to stop, the token at 12.
template <typename Byte>
class BasicPlatformTalk : public View<Byte> {
public:
    using View<Byte>::View;
    static constexpr std::size_t kBytes = 44;
    ZYN_WIRE_U8(start, 0)
    ZYN_WIRE_AREA(token, 12)
};
ZYN_WIRE_VIEW(BasicPlatformTalk, PlatformTalk)

// PTZ through the platform (0x0401): the 4-byte command, then the token.
inline constexpr std::size_t kPlatformPtzBytes = 4 + kPlatformTokenBytes;

#undef ZYN_WIRE_U8
#undef ZYN_WIRE_U16
#undef ZYN_WIRE_U32
#undef ZYN_WIRE_AREA
#undef ZYN_WIRE_VIEW

// The C records agree with the views.
static_assert(sizeof(::StreamRequest) == BasicStreamRequest<uint8_t>::kBytes);
static_assert(sizeof(::FrameFragmentHeader) == kFragmentHeaderBytes);
static_assert(sizeof(::MessageHeader) == kMessageHeaderBytes);
static_assert(kFrameRecordHeaderBytes == kFramePrefixBytes + kFragmentHeaderBytes);

}  // namespace zyn::wire
