// CVideoPltDevice: talk, PTZ, the parameter family with the token, record
// files and the control commands the platform passes on to the device.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "decodekit/core/video_plt_device.h"
#include "decodekit/core/video_plt_device_channel.h"
#include "linkcore/linkcore.h"
#include "renderkit/talk.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"
#include "zynvs/wire/param_groups.h"

namespace wire = zyn::wire;

namespace {
std::atomic<uint32_t> g_platform_talk_sequence{0};

uint32_t TickCountMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The largest parameter request: channel prefix, token and the largest record.
constexpr std::size_t kParamAreaBytes =
    wire::kChannelPrefixBytes + wire::kPlatformTokenBytes + 1024;
}  // namespace

// ---- talk ---------------------------------------------------------------------------

void ZYNVS_CALL CVideoPltDevice::TalkSender(const uint8_t* data, uint16_t length, void* user) {
    auto* self = static_cast<CVideoPltDevice*>(user);
    if (!self || !data || length > zyn::kTalkMaxBytes) return;
    uint8_t area[wire::kFragmentHeaderBytes + zyn::kTalkMaxBytes] = {};
    const wire::MutableAudioHeader header(area);
    header.set_frame_type(1);
    header.set_frame_number(g_platform_talk_sequence.fetch_add(1));
    header.set_total_length(length);
    header.set_time_sec(TickCountMs());
    header.set_fragment_length(length);
    std::memcpy(header.fragment_data(), data, length);
    // Talk audio goes where the talk was granted: the control connection.
    self->SendControl(ZYN_CMD_AUDIO_BLOCK, self->session_word_, area,
                      length + wire::kFragmentHeaderBytes);
}

int CVideoPltDevice::StartTalk() {
    if (TalkFlag()) return 0;
    auto request = TryRequest();
    if (!request) return 0;
    uint8_t payload[wire::PlatformTalk::kBytes] = {};
    const wire::MutablePlatformTalk talk(payload);
    talk.set_start(1);
    CopyToken(talk.token());
    talk_granted_.store(0);
    zyn::ReplySnapshot reply;
    if (!SendAndWait(ZYN_CMD_PLT_TALK, wire::kPlatformRequestWord, payload, sizeof payload,
                     zyn::kPlatformWaitMs, &reply) ||
        reply.command != wire::kPltTalkReply || !talk_granted_.load())
        return 0;
    std::lock_guard<std::mutex> lock(talk_mutex_);
    if (!talk_) talk_ = std::make_unique<CTalk>();
    if (!talk_->IsTalking()) {
        talk_->SetFormat(1, 1);
        talk_->RegisterTalkCallback(&CVideoPltDevice::TalkSender, this);
        talk_->StartTalk();
    }
    SetTalkFlag(1);
    return 1;
}

int CVideoPltDevice::StopTalk(int /*final_stop*/) {
    if (!TalkFlag()) return 0;
    {
        std::lock_guard<std::mutex> lock(talk_mutex_);
        if (talk_ && talk_->IsTalking()) {
            talk_->StopTalk();
            uint8_t payload[wire::PlatformTalk::kBytes] = {};
            const wire::MutablePlatformTalk talk(payload);
            talk.set_start(0);
            CopyToken(talk.token());
            SendControl(ZYN_CMD_PLT_TALK, wire::kPlatformRequestWord, payload, sizeof payload);
        }
    }
    SetTalkFlag(0);
    return 1;
}

// ---- PTZ and parameters -------------------------------------------------------------------

int CVideoPltDevice::PTZControl(int channel, int command, int speed, int extra) {
    auto request = TryRequest();
    if (!request) return 0;
    uint8_t payload[wire::kPlatformPtzBytes] = {};
    const wire::MutablePtzCommand ptz(payload);
    ptz.set_command(static_cast<uint8_t>(command));
    ptz.set_speed(static_cast<uint8_t>(speed));
    ptz.set_extra(static_cast<uint8_t>(extra));
    ptz.set_channel(static_cast<uint8_t>(channel));
    CopyToken(payload + wire::PtzCommand::kBytes);
    return SendControl(ZYN_CMD_PTZ, wire::kPlatformRequestWord, payload, sizeof payload) > 0 ? 1
                                                                                             : 0;
}

// Getters carry [channel prefix] token; setters [channel prefix] token record.
int CVideoPltDevice::GetParam(int group, int channel, void* record) {
    const wire::ParamGroupInfo* info = wire::GroupAt(group);
    if (info == nullptr || record == nullptr) return 0;
    const auto& g = *info;
    uint8_t area[kParamAreaBytes] = {};
    std::size_t length = 0;
    if (g.get_has_channel) {
        area[0] = static_cast<uint8_t>(channel);
        length = wire::kChannelPrefixBytes;
    }
    CopyToken(area + length);
    length += wire::kPlatformTokenBytes;
    zyn::ReplySnapshot reply;
    if (!Request(g.get_command, wire::kPlatformRequestWord, area, length, zyn::kPlatformWaitMs,
                 &reply))
        return 0;
    // A reply too short to hold the record leaves the caller's record alone.
    if (reply.length < wire::kReplyRecordOffset + g.record_bytes) return 0;
    std::memcpy(record, wire::Reply(reply.payload).record(), g.record_bytes);
    return 1;
}

int CVideoPltDevice::SetParam(int group, int channel, const void* record) {
    const wire::ParamGroupInfo* info = wire::GroupAt(group);
    if (info == nullptr || record == nullptr) return 0;
    const auto& g = *info;
    uint8_t area[kParamAreaBytes] = {};
    std::size_t length = 0;
    if (g.set_has_channel) {
        area[0] = static_cast<uint8_t>(channel);
        length = wire::kChannelPrefixBytes;
    }
    CopyToken(area + length);
    length += wire::kPlatformTokenBytes;
    std::memcpy(area + length, record, g.record_bytes);
    length += g.record_bytes;
    return Request(g.set_command, wire::kPlatformRequestWord, area, length, zyn::kPlatformWaitMs);
}

int CVideoPltDevice::ResetParam() {
    return Request(ZYN_CMD_RESET_PARAM, session_word_, nullptr, 0, 0);
}

// ---- control commands ---------------------------------------------------------------

int CVideoPltDevice::ClearAlarm(int channel, const void* record) {
    if (record == nullptr) return 0;
    uint8_t payload[wire::kChannelPrefixBytes + 4] = {};
    payload[0] = static_cast<uint8_t>(channel);
    std::memcpy(payload + wire::kChannelPrefixBytes, record, 4);
    return Request(ZYN_CMD_CLEAR_ALARM, session_word_, payload, sizeof payload, 0);
}

int CVideoPltDevice::StartRemoteManRecord(int, const void* record) {
    if (record == nullptr) return 0;
    uint8_t payload[4];
    std::memcpy(payload, record, sizeof payload);
    return Request(ZYN_CMD_REMOTE_RECORD, session_word_, payload, sizeof payload, 0);
}

int CVideoPltDevice::StopRemoteManRecord(int ignored, const void* record) {
    return StartRemoteManRecord(ignored, record);
}

int CVideoPltDevice::UpdateRequest(int, const void* record) {
    if (record == nullptr) return 0;
    uint8_t payload[wire::UpgradeRequest::kBytes];
    std::memcpy(payload, record, sizeof payload);
    return Request(ZYN_CMD_UPGRADE_REQUEST, session_word_, payload, sizeof payload, 0);
}

int CVideoPltDevice::UpdateFile(int, const void* header, const void* data) {
    if (header == nullptr) return 0;
    using Chunk = wire::MutableUpgradeChunk;
    uint8_t area[Chunk::kHeaderBytes + zyn::kUpgradeChunkMaxBytes] = {};
    const Chunk out(area);
    std::memcpy(area, header, Chunk::kHeaderBytes);
    const std::size_t chunk = out.chunk_length();
    if (chunk > zyn::kUpgradeChunkMaxBytes || (chunk > 0 && data == nullptr)) return 0;
    if (chunk > 0) std::memcpy(out.chunk_data(), data, chunk);
    return Request(ZYN_CMD_UPGRADE_CHUNK, session_word_, area, chunk + Chunk::kHeaderBytes, 0);
}

int CVideoPltDevice::TransInfo(int command, int expected_reply, const void* data, int length,
                               int wait, void* reply_buffer, int buffer_size, int timeout_ms) {
    if (length < 0 || static_cast<std::size_t>(length) > linkcore::kMaxPayload ||
        (data == nullptr && length > 0))
        return -1;
    auto request = TryRequest();
    if (!request) return -1;
    reply_event_.Reset();
    SendControl(static_cast<uint16_t>(command), session_word_, data,
                static_cast<std::size_t>(length));
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

// ---- record files ---------------------------------------------------------------------

int CVideoPltDevice::QueryRecInfo(const void* query, RecordInfoCallback cb, void* user) {
    if (query == nullptr) return 0;
    auto request = TryRequest();
    if (!request) return 0;
    record_listing_.Begin(cb, user);
    uint8_t payload[wire::RecordQuery::kBytes];
    std::memcpy(payload, query, sizeof payload);
    SendControl(ZYN_CMD_RECORD_QUERY, session_word_, payload, sizeof payload);
    return 1;
}

int CVideoPltDevice::PlayRecInfo(const void* descriptor) {
    if (descriptor == nullptr) return 0;
    uint8_t payload[wire::RecordEntry::kDescriptorBytes];
    std::memcpy(payload, descriptor, sizeof payload);
    auto request = TryRequest();
    if (!request) return 0;
    {
        std::lock_guard<std::mutex> lock(descriptor_mutex_);
        std::memcpy(last_descriptor_, payload, sizeof payload);
        has_descriptor_ = true;
    }
    zyn::ReplySnapshot reply;
    const bool got = SendAndWait(ZYN_CMD_RECORD_FILE, session_word_, payload, sizeof payload,
                                 zyn::kRecordFileWaitMs, &reply);
    return got && reply.command == wire::kRecordFileReply ? 1 : 0;
}

int CVideoPltDevice::DownRemoteFile(const void* descriptor) {
    if (descriptor == nullptr) return 0;
    auto request = TryRequest();
    if (!request) return 0;
    uint8_t payload[wire::RecordEntry::kDescriptorBytes];
    std::memcpy(payload, descriptor, sizeof payload);
    SendControl(ZYN_CMD_PLT_DOWNLOAD_FILE, session_word_, payload, sizeof payload);
    return 0;
}

int CVideoPltDevice::PlayContorl(int /*word*/) {
    // The word cannot carry a descriptor here: the file of the last
    // PlayRecInfo is the one controlled.
    uint8_t payload[wire::RecordEntry::kDescriptorBytes];
    {
        std::lock_guard<std::mutex> lock(descriptor_mutex_);
        if (!has_descriptor_) return 0;
        std::memcpy(payload, last_descriptor_, sizeof payload);
    }
    auto request = TryRequest();
    if (!request) return 0;
    SendControl(ZYN_CMD_PLT_PLAY_CONTROL, session_word_, payload, sizeof payload);
    return 0;
}
