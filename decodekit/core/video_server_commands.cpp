// CVideoServer: parameter groups and control commands (PTZ, serial, reboot,
// upgrade, remote recording, alarms, record files, pass-through).
#include <algorithm>
#include <cstring>

#include "decodekit/core/video_server.h"
#include "decodekit/core/video_server_channel.h"
#include "linkcore/linkcore.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"
#include "zynvs/wire/param_groups.h"

namespace wire = zyn::wire;

namespace {
void ChannelPrefix(uint8_t* out, int channel) {
    out[0] = static_cast<uint8_t>(channel);
    out[1] = out[2] = out[3] = 0;
}
}  // namespace

// ---- parameter groups -----------------------------------------------------------

int CVideoServer::GetParam(int group, int channel, void* record) {
    const wire::ParamGroupInfo* info = wire::GroupAt(group);
    if (info == nullptr || record == nullptr) return 0;
    const auto& g = *info;
    uint8_t prefix[wire::kChannelPrefixBytes];
    ChannelPrefix(prefix, channel);
    zyn::ReplySnapshot reply;
    if (!Request(g.get_command, g.get_has_channel ? prefix : nullptr,
                 g.get_has_channel ? sizeof prefix : 0, &reply))
        return 0;
    // A reply too short to hold the record would hand back stale bytes of an
    // earlier reply: refuse it and leave the caller's record untouched.
    if (reply.length < wire::kReplyRecordOffset + g.record_bytes) return 0;
    std::memcpy(record, wire::Reply(reply.payload).record(), g.record_bytes);
    return 1;
}

int CVideoServer::SetParam(int group, int channel, const void* record) {
    const wire::ParamGroupInfo* info = wire::GroupAt(group);
    if (info == nullptr || record == nullptr) return 0;
    const auto& g = *info;
    uint8_t area[1024] = {};
    std::size_t length = 0;
    if (g.set_has_channel) {
        ChannelPrefix(area, channel);
        length = wire::kChannelPrefixBytes;
    }
    std::memcpy(area + length, record, g.record_bytes);
    length += g.record_bytes;
    return Request(g.set_command, area, length);
}

int CVideoServer::SetDefaultParam(int word) {
    uint8_t payload[4];
    wire::StoreLe32(payload, static_cast<uint32_t>(word));
    return Request(ZYN_CMD_SET_DEFAULT, payload, sizeof payload);
}

int CVideoServer::ResetParam() {
    return Request(ZYN_CMD_RESET_PARAM, nullptr, 0);
}

// ---- control commands -----------------------------------------------------------

int CVideoServer::PTZControl(int channel, int command, int speed, int extra) {
    uint8_t payload[wire::PtzCommand::kBytes];
    const wire::MutablePtzCommand ptz(payload);
    ptz.set_command(static_cast<uint8_t>(command));
    ptz.set_speed(static_cast<uint8_t>(speed));
    ptz.set_extra(static_cast<uint8_t>(extra));
    ptz.set_channel(static_cast<uint8_t>(channel));
    return Request(ZYN_CMD_PTZ, payload, sizeof payload);
}

int CVideoServer::RebootDevice() {
    // The answer carries no result word: any reply counts.
    auto request = TryRequest();
    if (!request) return 0;
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_REBOOT, nullptr, 0, 0, &reply);
    return got && reply.command == wire::kRebootReply ? 1 : 0;
}

int CVideoServer::StartRemoteManRecord(int, const void* record) {
    if (record == nullptr) return 0;
    uint8_t payload[4];
    std::memcpy(payload, record, 4);
    return Request(ZYN_CMD_REMOTE_RECORD, payload, 4);
}

int CVideoServer::StopRemoteManRecord(int ignored, const void* record) {
    return StartRemoteManRecord(ignored, record);
}

int CVideoServer::ClearAlarm(int channel, const void* record) {
    if (record == nullptr) return 0;
    uint8_t payload[wire::kChannelPrefixBytes + 4];
    ChannelPrefix(payload, channel);
    std::memcpy(payload + wire::kChannelPrefixBytes, record, 4);
    return Request(ZYN_CMD_CLEAR_ALARM, payload, sizeof payload);
}

int CVideoServer::SerialSend(int port, const void* data, int length) {
    if (length < 0 || static_cast<std::size_t>(length) > zyn::kSerialMaxBytes ||
        (data == nullptr && length > 0))
        return 0;
    auto request = TryRequest();
    if (!request) return 0;
    uint8_t area[wire::SerialData::kHeaderBytes + zyn::kSerialMaxBytes] = {};
    const wire::MutableSerialData serial(area);
    serial.set_data_length(static_cast<uint16_t>(length));
    serial.set_port(static_cast<uint8_t>(port));
    if (length > 0) std::memcpy(serial.serial_data(), data, static_cast<std::size_t>(length));
    zyn::ReplySnapshot reply;
    bool got =
        SendAndWait(ZYN_CMD_SERIAL, area,
                    static_cast<std::size_t>(length) + wire::SerialData::kHeaderBytes, 0, &reply);
    return got && reply.command == wire::kSerialReply ? reply.result : 0;
}

int CVideoServer::UpdateRequest(int, const void* record) {
    if (record == nullptr) return 0;
    uint8_t payload[wire::UpgradeRequest::kBytes];
    std::memcpy(payload, record, sizeof payload);
    return Request(ZYN_CMD_UPGRADE_REQUEST, payload, sizeof payload);
}

int CVideoServer::UpdateFile(int, const void* header, const void* data) {
    if (header == nullptr) return 0;
    using Chunk = wire::MutableUpgradeChunk;
    uint8_t area[Chunk::kHeaderBytes + zyn::kUpgradeChunkMaxBytes] = {};
    const Chunk out(area);
    std::memcpy(area, header, Chunk::kHeaderBytes);
    const std::size_t chunk = out.chunk_length();
    if (chunk > zyn::kUpgradeChunkMaxBytes || (chunk > 0 && data == nullptr)) return 0;
    if (chunk > 0) std::memcpy(out.chunk_data(), data, chunk);
    return Request(ZYN_CMD_UPGRADE_CHUNK, area, chunk + Chunk::kHeaderBytes);
}

int CVideoServer::MakeKeyFrame(int channel) {
    if (!logged_in_.load()) return 0;
    uint8_t payload[wire::kChannelPrefixBytes];
    wire::StoreLe32(payload, static_cast<uint32_t>(channel));
    CClient* control = Control();
    if (!control) return 0;
    return control->SendMessage(ZYN_CMD_KEY_FRAME, session_word_, payload, sizeof payload);
}

int CVideoServer::QueryRecInfo(const void* query, RecordInfoCallback cb, void* user) {
    if (query == nullptr) return 0;
    auto request = TryRequest();
    if (!request) return 0;
    record_listing_.Begin(cb, user);
    uint8_t payload[wire::RecordQuery::kBytes];
    std::memcpy(payload, query, sizeof payload);
    SendControl(ZYN_CMD_RECORD_QUERY, payload, sizeof payload);
    return 1;
}

int CVideoServer::PlayRecInfo(const void* descriptor) {
    if (descriptor == nullptr) return 0;
    uint8_t payload[wire::RecordEntry::kDescriptorBytes];
    std::memcpy(payload, descriptor, sizeof payload);
    // The answer's own result word decides (an answer without one counts as
    // success); the result word of an earlier reply must not.
    auto request = TryRequest();
    if (!request) return 0;
    zyn::ReplySnapshot reply;
    bool got =
        SendAndWait(ZYN_CMD_RECORD_FILE, payload, sizeof payload, zyn::kRecordFileWaitMs, &reply);
    return got && reply.command == wire::kRecordFileReply &&
                   (reply.length < 2 || reply.result == wire::kResultOk)
               ? 1
               : 0;
}

int CVideoServer::TransInfo(int command, int expected_reply, const void* data, int length, int wait,
                            void* reply_buffer, int buffer_size, int timeout_ms) {
    if (length < 0 || static_cast<std::size_t>(length) > linkcore::kMaxPayload ||
        (data == nullptr && length > 0))
        return -1;
    auto request = TryRequest();
    if (!request) return -1;
    reply_event_.Reset();
    SendControl(static_cast<uint16_t>(command), data, static_cast<std::size_t>(length));
    if (!wait) return 0;
    int copied = 0;
    if (WaitReply(timeout_ms > 0 ? static_cast<unsigned>(timeout_ms) : 0)) {
        zyn::ReplySnapshot reply = TakeReply();
        if (reply.command == static_cast<uint16_t>(expected_reply) && reply_buffer != nullptr &&
            buffer_size > 0) {
            copied = std::min<int>(reply.length, buffer_size);
            std::memcpy(reply_buffer, reply.payload, static_cast<std::size_t>(copied));
        }
    }
    return copied;
}
