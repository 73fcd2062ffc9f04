// CVideoServer: connections, login, request/reply, keep-alive, reconnection
// and stream restoration, logout, and the control message dispatch.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/live_delivery.h"
#include "decodekit/core/video_server.h"
#include "decodekit/core/video_server_channel.h"
#include "linkcore/linkcore.h"
#include "renderkit/talk.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"
#include "zynvs/wire/param_groups.h"

namespace wire = zyn::wire;

zyn::TransportFactory zyn::LinkcoreTransports() {
    return [](Link link, int transport) -> std::unique_ptr<CClient> {
        switch (transport) {
            case wire::kTcp:
                return std::make_unique<CTcpClient>();
            case wire::kUdp:
                return std::make_unique<CUdpClient>();
            case wire::kMulticast:
                if (link == Link::kStream) return std::make_unique<CMCastClient>();
                return nullptr;
            default:
                return nullptr;
        }
    };
}

CVideoServer::CVideoServer(CDeviceManage* registry, int channel_count,
                           zyn::TransportFactory transports)
    : CMediaDevice(registry, channel_count),
      transports_(transports ? std::move(transports) : zyn::LinkcoreTransports()) {
    for (int i = 0; i < zyn::kMaxChannels; ++i) {
        channels_[i] = std::make_unique<Channel>();
        if (i < channel_count_) channels_[i]->scratch.reset(new uint8_t[zyn::LiveScratchBytes()]);
    }
}

CVideoServer::~CVideoServer() {
    // Connections first: after Close returns no handler runs any more.
    if (stream_) stream_->Close();
    if (control_) control_->Close();
    stream_.reset();
    control_.reset();
    StopMedia();
    std::lock_guard<std::mutex> lock(talk_mutex_);
    if (talk_) talk_->StopTalk();
    talk_.reset();
}

void CVideoServer::ExtendedInfo(uint8_t out[504]) {
    std::lock_guard<std::mutex> lock(info_mutex_);
    std::memcpy(out, ext_info_, sizeof(ext_info_));
}

zyn::ChannelMedia& CVideoServer::Media(int channel) const {
    return *channels_[channel];
}

// ---- connections --------------------------------------------------------------

CClient* CVideoServer::Control() {
    std::lock_guard<std::mutex> lock(conn_mutex_);
    return control_.get();
}

CClient* CVideoServer::Stream() {
    std::lock_guard<std::mutex> lock(conn_mutex_);
    return stream_.get();
}

int CVideoServer::OpenControl() {
    DeviceLoginInfo rec = LoginRecord();
    CClient* client = nullptr;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        if (!control_) {
            control_ = transports_(zyn::Link::kControl, rec.control_transport);
            if (!control_) return 0;
            control_->RegisterCallback(GetDeviceId(), &CVideoServer::ControlThunk, this);
        }
        client = control_.get();
    }
    client->Close();  // a lost connection may still be half open
    return client->Open(rec.control_address, rec.control_port) ? 1 : 0;
}

int CVideoServer::OpenStream(int channel) {
    const int transport = stream_transport_.load();
    CClient* client = nullptr;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        if (!stream_) {
            stream_ = transports_(zyn::Link::kStream, transport);
            if (!stream_) return 0;
            stream_->RegisterCallback(GetDeviceId(), &CVideoServer::StreamThunk, this);
        }
        client = stream_.get();
    }
    if (client->IsConnected()) return 1;
    if (transport == wire::kMulticast && ValidChannel(channel)) {
        // Multicast: join the group the request named.
        ClientInfo req = channels_[channel]->Stored();
        char group[33] = {};
        std::memcpy(group, req.stream_address, 32);
        return client->Open(group, req.stream_port) ? 1 : 0;
    }
    DeviceLoginInfo rec = LoginRecord();
    return client->Open(rec.stream_address, rec.stream_port) ? 1 : 0;
}

bool CVideoServer::StreamConnected() {
    std::lock_guard<std::mutex> lock(conn_mutex_);
    return stream_ && stream_->IsConnected();
}

void CVideoServer::CloseStream() {
    if (CClient* client = Stream()) client->Close();
}

void CVideoServer::CloseControl() {
    if (CClient* client = Control()) client->Close();
}

void CVideoServer::BindStream(const zyn::ReplySnapshot& stream_reply) {
    if (stream_transport_.load() == wire::kMulticast) return;
    CClient* stream = Stream();
    if (!stream) return;
    uint8_t key[wire::kStreamBindBytes] = {};
    wire::StoreLe32(key, wire::StreamReply(stream_reply.payload).stream_key());
    if (stream->SendMessage(ZYN_CMD_STREAM_BIND, session_word_, key, sizeof key) == -1)
        stream->Close();
}

void CVideoServer::SendKeyFrameRequest(int channel) {
    const uint8_t payload[wire::kChannelPrefixBytes] = {static_cast<uint8_t>(channel), 0, 0, 0};
    if (CClient* control = Control())
        control->SendMessage(ZYN_CMD_KEY_FRAME, session_word_, payload, sizeof payload);
}

int CVideoServer::ControlThunk(int, int id, uint16_t command, uint16_t, const uint8_t* payload,
                               uint16_t length, void* user) {
    auto* self = static_cast<CVideoServer*>(user);
    if (self && id == self->GetDeviceId()) self->OnControlMessage(command, payload, length);
    return 0;
}

int CVideoServer::StreamThunk(int, int id, uint16_t command, uint16_t, const uint8_t* payload,
                              uint16_t length, void* user) {
    auto* self = static_cast<CVideoServer*>(user);
    // The stream handlers rewrite a few header bytes in place; the payload
    // buffer is Linkcore's receive buffer, valid for this call.
    if (self && id == self->GetDeviceId())
        self->OnStreamMessage(command, const_cast<uint8_t*>(payload), length);
    return 0;
}

// ---- message dispatch -----------------------------------------------------------

namespace {
// Replies that a waiting request takes: stored, then the request is woken.
bool IsStoredReply(uint16_t command) {
    switch (command) {
        case wire::kUpgradeRequestReply:
        case wire::kUpgradeChunkReply:
        case wire::kStreamReply:
        case wire::kPtzReply:
        case wire::kRemoteRecordReply:
        case wire::kSerialReply:
        case wire::kResetParamReply:
        case wire::kClearAlarmReply:
        case wire::kSetDefaultReply:
            return true;
        default:
            // The replies of the parameter getters and setters.
            return wire::IsReply(command) && (wire::GroupByGet(wire::RequestOf(command)) ||
                                              wire::GroupBySet(wire::RequestOf(command)));
    }
}
}  // namespace

void CVideoServer::OnControlMessage(uint16_t command, const uint8_t* payload, uint16_t length) {
    switch (command) {
        case ZYN_CMD_CONNECTION_LOST: {
            FireMessage(wire::kMsgControlLost, nullptr, 0);
            logged_in_.store(0);
            // A request still waiting ends now, as failed (command 0, result
            // 0xFFFF), and clears the busy flag itself. Clearing it here would
            // let the next request (the re-login) start while the first still
            // waits, and the first would take the second's answer as its own.
            const uint8_t lost[2] = {0xFF, 0xFF};
            StoreReply(0, lost, sizeof lost);
            WakeRequest();
            CloseControl();
            return;
        }
        case wire::kLoginReply:
        case wire::kLoginReplyEx:
            if (length >= 2 && payload && wire::Reply(payload).result() == wire::kResultOk)
                logged_in_.store(1);
            StoreReply(command, payload, length);
            WakeRequest();
            return;
        case wire::kLogoutReply:
            StoreReply(command, payload, length);
            logged_in_.store(0);
            WakeRequest();
            return;
        case wire::kKeepAliveReply:
            keepalive_misses_.store(0);
            return;
        case wire::kRecordListReply:
            record_listing_.OnEntries(payload, length);
            return;
        case wire::kRecordFileReply:
            // Stored whole: its result word says whether the device has the
            // file (a bare answer only wakes the request).
            StoreReply(command, payload, length);
            WakeRequest();
            return;
        case wire::kRebootReply:
            StoreReplyCommand(command);
            WakeRequest();
            return;
        default:
            break;
    }
    if (IsStoredReply(command)) {
        StoreReply(command, payload, length);
        WakeRequest();
        return;
    }
    // Unsolicited: the command code is the message.
    FireMessage(command, payload, length);
}

void CVideoServer::OnStreamMessage(uint16_t command, uint8_t* payload, uint16_t length) {
    switch (command) {
        case ZYN_CMD_CONNECTION_LOST:
            FireMessage(wire::kMsgStreamLost, nullptr, 0);
            stream_lost_.store(1);
            CloseStream();
            return;
        case ZYN_CMD_VIDEO_FRAGMENT:
            if (payload) OnVideoData(payload, length);
            return;
        case ZYN_CMD_AUDIO_BLOCK:
            if (payload) OnAudioData(payload, length);
            return;
        default:
            return;
    }
}

// ---- request machinery ------------------------------------------------------------

bool CVideoServer::CanRequest() {
    if (!logged_in_.load() || busy_.load()) return false;
    std::lock_guard<std::mutex> lock(conn_mutex_);
    return control_ != nullptr;
}

int CVideoServer::SendControl(uint16_t command, const void* payload, std::size_t length) {
    CClient* client = Control();
    if (!client || length > linkcore::kMaxPayload) return -1;
    return client->SendMessage(command, session_word_, payload, static_cast<uint16_t>(length));
}

bool CVideoServer::SendAndWait(uint16_t command, const void* payload, std::size_t length,
                               unsigned timeout_ms, zyn::ReplySnapshot* reply) {
    reply_event_.Reset();
    SendControl(command, payload, length);
    bool got = WaitReply(timeout_ms ? timeout_ms : ReplyTimeoutMs());
    if (got && reply) *reply = TakeReply();
    return got;
}

int CVideoServer::Request(uint16_t command, const void* payload, std::size_t length,
                          zyn::ReplySnapshot* reply, unsigned timeout_ms) {
    auto request = TryRequest();
    if (!request) return 0;
    zyn::ReplySnapshot local;
    zyn::ReplySnapshot* out = reply ? reply : &local;
    bool got = SendAndWait(command, payload, length, timeout_ms, out);
    return (got && out->result == wire::kResultOk) ? 1 : 0;
}

// ---- login and logout ---------------------------------------------------------------

int CVideoServer::Login(const DeviceLoginInfo* record) {
    if (record == nullptr || busy_.load()) return 0;
    return DoLogin(*record);
}

int CVideoServer::DoLogin(const DeviceLoginInfo& record_in) {
    DeviceLoginInfo record = record_in;
    std::memcpy(record.stream_address, record.control_address, sizeof(record.stream_address));
    SetLoginRecord(record);
    if (!OpenControl()) return 0;

    uint8_t payload[wire::LoginRequest::kBytes] = {};
    const wire::MutableLoginRequest login(payload);
    login.set_device_id(static_cast<uint32_t>(record.device_id));
    login.set_channel_count(static_cast<uint8_t>(record.channel_count));
    login.set_client_kind(wire::LoginRequest::kDirectClient);
    static_assert(sizeof(record.user_name) + sizeof(record.password) ==
                  wire::LoginRequest::kAccountBytes);
    std::memcpy(login.account(), record.user_name, sizeof(record.user_name));
    std::memcpy(login.account() + sizeof(record.user_name), record.password,
                sizeof(record.password));

    logged_in_.store(0);
    RequestScope request(*this, true);
    if (!request) return 0;
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_LOGIN, payload, sizeof(payload), ReplyTimeoutMs(), &reply);
    if (!got || !logged_in_.load()) {
        logged_in_.store(0);
        CloseControl();
        return 0;
    }
    closed_.store(0);
    FireMessage(wire::kMsgLoggedIn, nullptr, 0);
    // Device information: delivered when the answer holds the whole block.
    const wire::DeviceInfo info(wire::Reply(reply.payload).record());
    const std::size_t info_at = wire::Reply::kHeaderBytes;
    if (reply.command == wire::kLoginReply && reply.length >= info_at + info.kBytes) {
        FireMessage(wire::kMsgDeviceInfo, info.data(), info.kBytes);
    } else if (reply.command == wire::kLoginReplyEx &&
               reply.length >= info_at + info.kExtendedBytes) {
        {
            std::lock_guard<std::mutex> lock(info_mutex_);
            std::memcpy(ext_info_, info.data(), info.kExtendedBytes);
        }
        talk_format_[0].store(info.talk_format());
        talk_format_[1].store(info.talk_audio_format());
        FireMessage(wire::kMsgExtendedInfo, info.data(), info.kExtendedBytes);
    }
    request.Release();
    talk_format_[0].store(1);
    keepalive_misses_.store(0);
    return 1;
}

int CVideoServer::Logout(int notify) {
    auto request = TryRequest();
    if (!request) return 0;
    SendControl(ZYN_CMD_LOGOUT, nullptr, 0);
    if (!notify) return 0;
    FireMessage(wire::kMsgControlLost, nullptr, 0);
    request.Release();
    logged_in_.store(0);
    closed_.store(1);
    return 1;
}

// ---- keep-alive ---------------------------------------------------------------------

void CVideoServer::SendClock() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    uint8_t payload[wire::ClockSet::kBytes];
    const wire::MutableClockSet clock(payload);
    clock.set_year(static_cast<uint16_t>(local.tm_year + 1900));
    clock.set_month(static_cast<uint16_t>(local.tm_mon + 1));
    clock.set_day(static_cast<uint8_t>(local.tm_mday));
    clock.set_hour(static_cast<uint8_t>(local.tm_hour));
    clock.set_minute(static_cast<uint8_t>(local.tm_min));
    clock.set_second(static_cast<uint8_t>(local.tm_sec));
    if (SendControl(ZYN_CMD_CLOCK_SET, payload, sizeof(payload)) > 0) clock_counter_.store(0);
}

void CVideoServer::KeepAlive() {
    if (closed_.load()) return;
    if (!logged_in_.load()) {
        if (busy_.load() || !DoLogin(LoginRecord())) {
            CloseControl();
            CloseStream();
            return;
        }
        RestoreStreams();
    }
    CClient* control = Control();
    if (control && control->IsConnected()) {
        SendControl(ZYN_CMD_KEEPALIVE, nullptr, 0);
        if (clock_counter_.load() >= zyn::kClockEveryTicks)
            SendClock();
        else
            clock_counter_.fetch_add(1);
    }
    const int misses = keepalive_misses_.fetch_add(1) + 1;
    auto declare_lost = [&] {
        if (StreamConnected()) {
            FireMessage(wire::kMsgStreamLost, nullptr, 0);
            for (auto& c : channels_) c->stall_ticks.store(0);
            CloseStream();
        }
        FireMessage(wire::kMsgControlLost, nullptr, 0);
        keepalive_misses_.store(0);
        CloseControl();
        logged_in_.store(0);
    };
    // A device without channels is lost just the same.
    if (channel_count_ == 0 && misses > zyn::kMissLimitTicks) {
        declare_lost();
        return;
    }
    for (int i = 0; i < channel_count_; ++i) {
        Channel& ch = *channels_[i];
        if (VideoFlag(i)) ch.stall_ticks.fetch_add(1);
        if (misses > zyn::kMissLimitTicks) {
            declare_lost();
            return;
        }
        if (VideoFlag(i) && ch.stall_ticks.load() > zyn::kStallLimitTicks) {
            if (StreamConnected()) {
                FireChannelMessage(wire::kMsgStreamLost, i);
                CloseStream();
            } else {
                ch.stall_ticks.store(0);
                RestoreStreams();
            }
        }
    }
}

void CVideoServer::RestoreStreams() {
    if (!logged_in_.load()) return;
    for (int i = 0; i < channel_count_; ++i) {
        Channel& ch = *channels_[i];
        if (!ch.HasAddress()) continue;
        if (!VideoFlag(i)) break;
        const StreamRequest req = ChannelStreamRequest(i, ch.stream_kind.load(), 1, true);
        if (RequestScope request(*this, true); request) {
            zyn::ReplySnapshot reply;
            bool got = SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, &reply);
            request.Release();
            if (got) {
                if (reply.command != wire::kStreamReply) break;
                if (reply.result == wire::kResultOk) {
                    if (!OpenStream(i) || !StreamConnected()) break;
                    BindStream(reply);
                    FireChannelMessage(wire::kMsgStreamRestored, i);
                    stream_lost_.store(0);
                }
            }
        }
        if (SoundFlag(i)) OpenSoundVoice(i, 0);
        if (ch.talk_open.load()) {
            std::lock_guard<std::mutex> lock(talk_mutex_);
            if (talk_) talk_->StopTalk();
            ch.talk_open.store(0);
            SetTalkFlag(0);
        }
        if (ch.switch_flag.load()) RequestAllStreams(ch.stream_kind.load() ? 0 : 1);
    }
}
