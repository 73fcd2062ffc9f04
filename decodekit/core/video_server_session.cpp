// CVideoServer: connections, login, request/reply, keep-alive, reconnection
// and stream restoration, logout, and the control message dispatch.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "decodekit/core/byte_order.h"
#include "decodekit/core/device_manage.h"
#include "decodekit/core/video_server.h"
#include "decodekit/core/video_server_channel.h"
#include "linkcore/linkcore.h"
#include "renderkit/talk.h"
#include "zynvs/zynvs_commands.h"

CVideoServer::CVideoServer(CDeviceManage* registry, int channel_count)
    : CServedDevice(registry), channel_count_(std::clamp(channel_count, 0, zyn::kMaxChannels)) {
    for (int i = 0; i < zyn::kMaxChannels; ++i) {
        channels_[i] = std::make_unique<Channel>();
        if (i < channel_count_) {
            // Not value-initialised: pages are touched only when frames arrive.
            channels_[i]->frame_buffer.reset(new uint8_t[zyn::kFrameBufferBytes]);
            channels_[i]->switch_buffer.reset(new uint8_t[zyn::kFrameBufferBytes]);
            channels_[i]->scratch.reset(new uint8_t[6 + 24 + 8 + linkcore::kMaxPayload]);
        }
    }
}

CVideoServer::~CVideoServer() {
    // Connections first: after Close returns no handler runs any more.
    if (stream_) stream_->Close();
    if (control_) control_->Close();
    stream_.reset();
    control_.reset();
    for (auto& ch : channels_) {
        ch->video.StopVideo();
        ch->audio.StopAudio();
        std::lock_guard<std::mutex> lock(ch->recorder_mutex);
        ch->recorder.Close();
    }
    std::lock_guard<std::mutex> lock(talk_mutex_);
    if (talk_) talk_->StopTalk();
    talk_.reset();
}

const zyn::ChannelStats& CVideoServer::Stats(int channel) const {
    return channels_[std::clamp(channel, 0, zyn::kMaxChannels - 1)]->stats;
}

void CVideoServer::ExtendedInfo(uint8_t out[504]) {
    std::lock_guard<std::mutex> lock(info_mutex_);
    std::memcpy(out, ext_info_, sizeof(ext_info_));
}

// ---- connections --------------------------------------------------------------

int CVideoServer::OpenControl() {
    DeviceLoginInfo rec = LoginRecord();
    CClient* client = nullptr;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        if (!control_) {
            if (rec.control_transport == 0) control_ = std::make_unique<CTcpClient>();
            else if (rec.control_transport == 1) control_ = std::make_unique<CUdpClient>();
            else return 0;
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
            if (transport == 0) stream_ = std::make_unique<CTcpClient>();
            else if (transport == 1) stream_ = std::make_unique<CUdpClient>();
            else if (transport == 2) stream_ = std::make_unique<CMCastClient>();
            else return 0;
            stream_->RegisterCallback(GetDeviceId(), &CVideoServer::StreamThunk, this);
        }
        client = stream_.get();
    }
    if (client->IsConnected()) return 1;
    if (transport == 2 && ValidChannel(channel)) {
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
    CClient* client;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        client = stream_.get();
    }
    if (client) client->Close();
}

void CVideoServer::CloseControl() {
    CClient* client;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        client = control_.get();
    }
    if (client) client->Close();
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
bool IsStoredReply(uint16_t command) {
    switch (command) {
        case 0x8104: case 0x8105: case 0x8201: case 0x8401: case 0x8405: case 0x8406:
        case 0x8501: case 0x8585:
            return true;
        default:
            break;
    }
    if (command >= 0x8502 && command <= 0x8528) {
        // The replies of the getters and setters in that range.
        switch (command) {
            case 0x8502: case 0x8503: case 0x8504: case 0x8505: case 0x8506: case 0x8507:
            case 0x8508: case 0x8509: case 0x850A: case 0x850B: case 0x850C: case 0x850D:
            case 0x850E: case 0x850F: case 0x8510: case 0x8511: case 0x8512: case 0x8513:
            case 0x8514: case 0x8517: case 0x8518: case 0x8519: case 0x851A: case 0x851B:
            case 0x851E: case 0x851F: case 0x8522: case 0x8523: case 0x8524: case 0x8525:
            case 0x8526: case 0x8527: case 0x8528:
                return true;
            default:
                return false;
        }
    }
    return false;
}
}  // namespace

void CVideoServer::OnControlMessage(uint16_t command, const uint8_t* payload, uint16_t length) {
    switch (command) {
        case ZYN_CMD_CONNECTION_LOST: {
            FireMessage(2, nullptr, 0);
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
        case ZYN_CMD_LOGIN_REPLY:
        case ZYN_CMD_LOGIN_REPLY_EX:
            if (length >= 2 && payload && zyn::GetLe16(payload) == 0) logged_in_.store(1);
            StoreReply(command, payload, length);
            WakeRequest();
            return;
        case 0x8102:
            StoreReply(command, payload, length);
            logged_in_.store(0);
            WakeRequest();
            return;
        case 0x8103:
            keepalive_misses_.store(0);
            return;
        case 0x8204:
            OnRecordEntries(payload, length);
            return;
        case 0x8206:
            // Stored whole: its result word says whether the device has the
            // file (a bare answer only wakes the request).
            StoreReply(command, payload, length);
            WakeRequest();
            return;
        case 0x8404:
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
            FireMessage(4, nullptr, 0);
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

void CVideoServer::OnRecordEntries(const uint8_t* payload, uint16_t length) {
    if (payload == nullptr || length < 4) return;
    std::lock_guard<std::mutex> lock(record_query_mutex_);
    if (record_cb_ == nullptr) return;
    const int count = zyn::GetLe16(payload);
    const int total = zyn::GetLe16(payload + 2);
    constexpr int kEntryBytes = 144;
    bool last = false;
    for (int i = 0; i < count; ++i) {
        // Entries the message does not actually hold are not delivered.
        if (4 + (i + 1) * kEntryBytes > length) break;
        ++record_entries_;
        if (record_entries_ >= total) last = true;
        uint8_t entry[kEntryBytes];
        std::memcpy(entry, payload + 4 + i * kEntryBytes, kEntryBytes);
        record_cb_(entry, last ? 1 : 0, record_user_);
    }
}

// ---- request machinery ------------------------------------------------------------

bool CVideoServer::CanRequest() {
    if (!logged_in_.load() || busy_.load()) return false;
    std::lock_guard<std::mutex> lock(conn_mutex_);
    return control_ != nullptr;
}

int CVideoServer::SendControl(uint16_t command, const void* payload, std::size_t length) {
    CClient* client;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        client = control_.get();
    }
    if (!client || length > linkcore::kMaxPayload) return -1;
    return client->SendMessage(command, session_word_, payload, static_cast<uint16_t>(length));
}

bool CVideoServer::SendAndWait(uint16_t command, const void* payload, std::size_t length,
                               unsigned timeout_ms, zyn::ReplySnapshot* reply) {
    reply_event_.Reset();
    SendControl(command, payload, length);
    bool got = WaitReply(timeout_ms ? timeout_ms : reply_timeout_ms_);
    if (got && reply) *reply = TakeReply();
    return got;
}

int CVideoServer::Request(uint16_t command, const void* payload, std::size_t length,
                          zyn::ReplySnapshot* reply, unsigned timeout_ms) {
    if (!CanRequest() || !TryBeginRequest()) return 0;
    zyn::ReplySnapshot local;
    zyn::ReplySnapshot* out = reply ? reply : &local;
    bool got = SendAndWait(command, payload, length, timeout_ms, out);
    EndRequest();
    return (got && out->result == 0) ? 1 : 0;
}

void CVideoServer::FireMessage(int message, const void* data, int length) {
    if (registry_) registry_->FireMessage(GetDeviceId(), message, data, length);
}

void CVideoServer::FireChannelMessage(int message, int channel) {
    char text[4] = {};
    std::snprintf(text, sizeof(text), "%d", channel & 0xFF);
    FireMessage(message, text, 4);
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

    uint8_t payload[40] = {};
    zyn::PutLe32(payload, static_cast<uint32_t>(record.device_id));
    payload[4] = static_cast<uint8_t>(record.channel_count);
    payload[5] = 2;
    std::memcpy(payload + 8, record.user_name, 8);
    std::memcpy(payload + 16, record.password, 8);

    logged_in_.store(0);
    if (!TryBeginRequest()) return 0;
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_LOGIN, payload, sizeof(payload), reply_timeout_ms_, &reply);
    if (!got || !logged_in_.load()) {
        logged_in_.store(0);
        CloseControl();
        EndRequest();
        return 0;
    }
    closed_.store(0);
    FireMessage(1, nullptr, 0);
    // Device information: delivered when the answer holds the whole block.
    if (reply.command == ZYN_CMD_LOGIN_REPLY && reply.length >= 4 + 88) {
        FireMessage(8, reply.payload + 4, 88);
    } else if (reply.command == ZYN_CMD_LOGIN_REPLY_EX && reply.length >= 4 + 504) {
        {
            std::lock_guard<std::mutex> lock(info_mutex_);
            std::memcpy(ext_info_, reply.payload + 4, 504);
        }
        talk_format_[0].store(reply.payload[4 + 120]);
        talk_format_[1].store(reply.payload[4 + 121]);
        FireMessage(9, reply.payload + 4, 504);
    }
    EndRequest();
    talk_format_[0].store(1);
    keepalive_misses_.store(0);
    return 1;
}

int CVideoServer::Logout(int notify) {
    if (!CanRequest() || !TryBeginRequest()) return 0;
    SendControl(ZYN_CMD_LOGOUT, nullptr, 0);
    if (notify) {
        FireMessage(2, nullptr, 0);
        EndRequest();
        logged_in_.store(0);
        closed_.store(1);
        return 1;
    }
    EndRequest();
    return 0;
}

// ---- keep-alive ---------------------------------------------------------------------

void CVideoServer::SendClock() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    uint8_t payload[8];
    zyn::PutLe16(payload, static_cast<uint16_t>(local.tm_year + 1900));
    zyn::PutLe16(payload + 2, static_cast<uint16_t>(local.tm_mon + 1));
    payload[4] = static_cast<uint8_t>(local.tm_mday);
    payload[5] = static_cast<uint8_t>(local.tm_hour);
    payload[6] = static_cast<uint8_t>(local.tm_min);
    payload[7] = static_cast<uint8_t>(local.tm_sec);
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
    bool control_up;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        control_up = control_ && control_->IsConnected();
    }
    if (control_up) {
        SendControl(ZYN_CMD_KEEPALIVE, nullptr, 0);
        if (clock_counter_.load() >= zyn::kClockEveryTicks) SendClock();
        else clock_counter_.fetch_add(1);
    }
    const int misses = keepalive_misses_.fetch_add(1) + 1;
    auto declare_lost = [&] {
        if (StreamConnected()) {
            FireMessage(4, nullptr, 0);
            for (auto& c : channels_) c->stall_ticks.store(0);
            CloseStream();
        }
        FireMessage(2, nullptr, 0);
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
                FireChannelMessage(4, i);
                CloseStream();
            } else {
                ch.stall_ticks.store(0);
                RestoreStreams();
            }
        }
    }
}

StreamRequest CVideoServer::BuildStreamRequest(int channel, int kind, int open) const {
    StreamRequest req{};
    ClientInfo stored = channels_[channel]->Stored();
    req.stream_kind = static_cast<uint8_t>(kind);
    req.channel = static_cast<uint8_t>(channel);
    req.open_flag = static_cast<uint8_t>(open);
    req.stream_transport = stored.stream_transport;
    req.link_value = stored.link_value;
    req.stream_port = stored.stream_port;
    char text[33] = {};
    std::memcpy(text, stored.stream_address, 32);
    req.stream_address = zyn::AddressNumber(text);
    return req;
}

void CVideoServer::RestoreStreams() {
    if (!logged_in_.load()) return;
    for (int i = 0; i < channel_count_; ++i) {
        Channel& ch = *channels_[i];
        if (!ch.HasAddress()) continue;
        if (!VideoFlag(i)) break;
        StreamRequest req = BuildStreamRequest(i, ch.stream_kind.load(), 1);
        ClientInfo stored = ch.Stored();
        req.channel = stored.channel;
        if (TryBeginRequest()) {
            zyn::ReplySnapshot reply;
            bool got = SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, &reply);
            EndRequest();
            if (got) {
                if (reply.command != 0x8201) break;
                if (reply.result == 0) {
                    if (!OpenStream(i) || !StreamConnected()) break;
                    if (stream_transport_.load() != 2) {
                        uint8_t key[4] = {};
                        zyn::PutLe32(key, zyn::GetLe16(reply.payload + 2));
                        CClient* s;
                        {
                            std::lock_guard<std::mutex> lock(conn_mutex_);
                            s = stream_.get();
                        }
                        if (s) s->SendMessage(ZYN_CMD_STREAM_BIND, session_word_, key, 4);
                    }
                    FireChannelMessage(3, i);
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
