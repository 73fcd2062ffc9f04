// CVideoServer: parameter groups and control commands (PTZ, serial, reboot,
// upgrade, remote recording, alarms, record files, talk, pass-through).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "decodekit/core/byte_order.h"
#include "decodekit/core/param_table.h"
#include "decodekit/core/video_server.h"
#include "decodekit/core/video_server_channel.h"
#include "linkcore/linkcore.h"
#include "renderkit/talk.h"
#include "zynvs/zynvs_commands.h"

namespace {
// Sequence number of talk blocks, shared by every device of the library.
std::atomic<uint32_t> g_talk_sequence{0};

uint32_t TickCountMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void ChannelPrefix(uint8_t* out, int channel) {
    out[0] = static_cast<uint8_t>(channel);
    out[1] = out[2] = out[3] = 0;
}
}  // namespace

// ---- parameter groups -----------------------------------------------------------

int CVideoServer::GetParam(int group, int channel, void* record) {
    if (group < 0 || group >= static_cast<int>(zyn::ParamGroup::kCount) || record == nullptr)
        return 0;
    const auto& g = zyn::kParamGroups[group];
    uint8_t prefix[4];
    ChannelPrefix(prefix, channel);
    zyn::ReplySnapshot reply;
    if (!Request(g.get_command, g.get_has_channel ? prefix : nullptr, g.get_has_channel ? 4 : 0,
                 &reply))
        return 0;
    // A reply too short to hold the record would hand back stale bytes of an
    // earlier reply: refuse it and leave the caller's record untouched.
    if (reply.length < 4 + g.record_bytes) return 0;
    std::memcpy(record, reply.payload + 4, g.record_bytes);
    return 1;
}

int CVideoServer::SetParam(int group, int channel, const void* record) {
    if (group < 0 || group >= static_cast<int>(zyn::ParamGroup::kCount) || record == nullptr)
        return 0;
    const auto& g = zyn::kParamGroups[group];
    uint8_t area[1024] = {};
    std::size_t length = 0;
    if (g.set_has_channel) {
        ChannelPrefix(area, channel);
        length = 4;
    }
    std::memcpy(area + length, record, g.record_bytes);
    length += g.record_bytes;
    return Request(g.set_command, area, length);
}

int CVideoServer::SetDefaultParam(int word) {
    uint8_t payload[4];
    zyn::PutLe32(payload, static_cast<uint32_t>(word));
    return Request(ZYN_CMD_SET_DEFAULT, payload, 4);
}

int CVideoServer::ResetParam() { return Request(ZYN_CMD_RESET_PARAM, nullptr, 0); }

// ---- control commands -----------------------------------------------------------

int CVideoServer::PTZControl(int channel, int command, int speed, int extra) {
    const uint8_t payload[4] = {static_cast<uint8_t>(command), static_cast<uint8_t>(speed),
                                static_cast<uint8_t>(extra), static_cast<uint8_t>(channel)};
    return Request(ZYN_CMD_PTZ, payload, 4);
}

int CVideoServer::RebootDevice() {
    // The answer carries no result word: any reply counts.
    if (!CanRequest() || !TryBeginRequest()) return 0;
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_REBOOT, nullptr, 0, 0, &reply);
    EndRequest();
    return got && reply.command == 0x8404 ? 1 : 0;
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
    uint8_t payload[8];
    ChannelPrefix(payload, channel);
    std::memcpy(payload + 4, record, 4);
    return Request(ZYN_CMD_CLEAR_ALARM, payload, 8);
}

int CVideoServer::SerialSend(int port, const void* data, int length) {
    if (length < 0 || static_cast<std::size_t>(length) > zyn::kSerialMaxBytes ||
        (data == nullptr && length > 0))
        return 0;
    if (!CanRequest() || !TryBeginRequest()) return 0;
    uint8_t area[1400] = {};
    zyn::PutLe16(area, static_cast<uint16_t>(length));
    area[2] = static_cast<uint8_t>(port);
    if (length > 0) std::memcpy(area + 4, data, static_cast<std::size_t>(length));
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_SERIAL, area, static_cast<std::size_t>(length) + 4, 0, &reply);
    EndRequest();
    return got && reply.command == 0x8406 ? reply.result : 0;
}

int CVideoServer::UpdateRequest(int, const void* record) {
    if (record == nullptr) return 0;
    uint8_t payload[72];
    std::memcpy(payload, record, 72);
    return Request(ZYN_CMD_UPGRADE_REQUEST, payload, 72);
}

int CVideoServer::UpdateFile(int, const void* header, const void* data) {
    if (header == nullptr) return 0;
    uint8_t area[1024] = {};
    std::memcpy(area, header, 4);
    const std::size_t chunk = zyn::GetLe16(area + 2);
    if (chunk > zyn::kUpgradeChunkMaxBytes || (chunk > 0 && data == nullptr)) return 0;
    if (chunk > 0) std::memcpy(area + 4, data, chunk);
    return Request(ZYN_CMD_UPGRADE_CHUNK, area, chunk + 4);
}

int CVideoServer::MakeKeyFrame(int channel) {
    if (!logged_in_.load()) return 0;
    uint8_t payload[4];
    zyn::PutLe32(payload, static_cast<uint32_t>(channel));
    CClient* ctl;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        ctl = control_.get();
    }
    if (!ctl) return 0;
    return ctl->SendMessage(ZYN_CMD_KEY_FRAME, session_word_, payload, 4);
}

int CVideoServer::QueryRecInfo(const void* query, RecordInfoCallback cb, void* user) {
    if (query == nullptr || !CanRequest() || !TryBeginRequest()) return 0;
    {
        std::lock_guard<std::mutex> lock(record_query_mutex_);
        record_cb_ = cb;
        record_user_ = user;
        record_entries_ = 0;
    }
    uint8_t payload[36];
    std::memcpy(payload, query, 36);
    SendControl(ZYN_CMD_RECORD_QUERY, payload, 36);
    EndRequest();
    return 1;
}

int CVideoServer::PlayRecInfo(const void* descriptor) {
    if (descriptor == nullptr) return 0;
    uint8_t payload[152];
    std::memcpy(payload, descriptor, 152);
    // The answer's own result word decides (an answer without one counts as
    // success); the result word of an earlier reply must not.
    if (!CanRequest() || !TryBeginRequest()) return 0;
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_RECORD_FILE, payload, 152, zyn::kRecordFileWaitMs, &reply);
    EndRequest();
    return got && reply.command == 0x8206 && (reply.length < 2 || reply.result == 0) ? 1 : 0;
}

int CVideoServer::TransInfo(int command, int expected_reply, const void* data, int length,
                            int wait, void* reply_buffer, int buffer_size, int timeout_ms) {
    if (length < 0 || static_cast<std::size_t>(length) > linkcore::kMaxPayload ||
        (data == nullptr && length > 0))
        return -1;
    if (!CanRequest() || !TryBeginRequest()) return -1;
    reply_event_.Reset();
    SendControl(static_cast<uint16_t>(command), data, static_cast<std::size_t>(length));
    if (!wait) {
        EndRequest();
        return 0;
    }
    int copied = 0;
    if (WaitReply(timeout_ms > 0 ? static_cast<unsigned>(timeout_ms) : 0)) {
        zyn::ReplySnapshot reply = TakeReply();
        if (reply.command == static_cast<uint16_t>(expected_reply) && reply_buffer != nullptr &&
            buffer_size > 0) {
            copied = std::min<int>(reply.length, buffer_size);
            std::memcpy(reply_buffer, reply.payload, static_cast<std::size_t>(copied));
        }
    }
    EndRequest();
    return copied;
}

// ---- talk -------------------------------------------------------------------------

void ZYNVS_CALL CVideoServer::TalkSender(const uint8_t* data, uint16_t length, void* user) {
    auto* self = static_cast<CVideoServer*>(user);
    if (!self || !data || length > zyn::kTalkMaxBytes) return;
    uint8_t area[1400] = {};
    area[4] = 1;
    zyn::PutLe32(area + 8, g_talk_sequence.fetch_add(1));
    zyn::PutLe32(area + 12, length);
    zyn::PutLe32(area + 16, TickCountMs());
    zyn::PutLe16(area + 22, length);
    std::memcpy(area + 24, data, length);
    CClient* s;
    {
        std::lock_guard<std::mutex> lock(self->conn_mutex_);
        s = self->stream_.get();
    }
    if (s && s->IsConnected())
        s->SendMessage(ZYN_CMD_AUDIO_BLOCK, self->session_word_, area,
                       static_cast<uint16_t>(length + 24));
}

int CVideoServer::StartTalkPlain() {
    if (!CanRequest()) return 0;
    {
        std::lock_guard<std::mutex> lock(talk_mutex_);
        if (!talk_) talk_ = std::make_unique<CTalk>();
    }
    if (!TryBeginRequest()) return 0;
    Channel& ch0 = *channels_[0];
    StreamRequest req = BuildStreamRequest(0, 3, 1);
    req.stream_transport = 0;
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, &reply);
    if (got && reply.command == 0x8201 && reply.result == 0) {
        ch0.talk_open.store(1);
        std::lock_guard<std::mutex> lock(talk_mutex_);
        talk_->RegisterTalkCallback(&CVideoServer::TalkSender, this);
        SetTalkFlag(talk_->StartTalk());
    }
    EndRequest();
    return TalkFlag();
}

int CVideoServer::StartTalk() {
    if (TalkFlag() || !CanRequest()) return 0;
    {
        std::lock_guard<std::mutex> lock(talk_mutex_);
        if (!talk_) talk_ = std::make_unique<CTalk>();
        talk_->SetFormat(talk_format_[0].load(), talk_format_[1].load());
    }
    return StartTalkPlain();
}

int CVideoServer::StopTalk(int final_stop) {
    if (!TalkFlag() || !CanRequest()) return 0;
    {
        std::lock_guard<std::mutex> lock(talk_mutex_);
        if (!talk_) return 0;
    }
    if (!TryBeginRequest()) return 0;
    StreamRequest req{};
    req.stream_kind = 3;
    req.channel = 0;
    req.open_flag = 0;
    req.link_value = channels_[0]->LinkValue();
    int result = 0;
    if (final_stop) {
        SendControl(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req));
        std::lock_guard<std::mutex> lock(talk_mutex_);
        result = talk_->StopTalk();
        channels_[0]->talk_open.store(0);
        EndRequest();
        return result;
    }
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, &reply);
    if (got && reply.result == 0) {
        std::lock_guard<std::mutex> lock(talk_mutex_);
        result = talk_->StopTalk();
        channels_[0]->talk_open.store(0);
    }
    EndRequest();
    if (result) SetTalkFlag(0);
    return result;
}
