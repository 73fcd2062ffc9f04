// CVideoPltDevice: connections, login to the platform, request/reply,
// keep-alive, stall detection and stream reconnection, logout, and the
// control and stream message dispatch.
#include <algorithm>
#include <cstring>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/live_delivery.h"
#include "decodekit/core/video_plt_device.h"
#include "decodekit/core/video_plt_device_channel.h"
#include "linkcore/linkcore.h"
#include "renderkit/talk.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"
#include "zynvs/wire/param_groups.h"

namespace wire = zyn::wire;

CVideoPltDevice::CVideoPltDevice(CDeviceManage* registry, int channel_count,
                                 zyn::TransportFactory transports)
    : CMediaDevice(registry, channel_count),
      transports_(transports ? std::move(transports) : zyn::LinkcoreTransports()) {
    for (int i = 0; i < zyn::kMaxChannels; ++i) {
        channels_[i] = std::make_unique<Channel>();
        if (i < channel_count_) channels_[i]->scratch.reset(new uint8_t[zyn::LiveScratchBytes()]);
    }
}

CVideoPltDevice::~CVideoPltDevice() {
    // Connections first: after Close returns no handler runs any more.
    std::shared_ptr<CClient> control;
    std::array<std::shared_ptr<CClient>, zyn::kMaxChannels> streams;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        control = std::move(control_);
        for (int i = 0; i < zyn::kMaxChannels; ++i) streams[i] = std::move(channels_[i]->stream);
    }
    for (auto& s : streams)
        if (s) s->Close();
    if (control) control->Close();
    StopMedia();
    std::lock_guard<std::mutex> lock(talk_mutex_);
    if (talk_) talk_->StopTalk();
    talk_.reset();
}

void CVideoPltDevice::Token(uint8_t out[32]) {
    std::lock_guard<std::mutex> lock(token_mutex_);
    std::memcpy(out, token_, sizeof token_);
}

void CVideoPltDevice::CopyToken(uint8_t* out) {
    Token(out);
}

zyn::PlatformChannelRecord CVideoPltDevice::ChannelRecord(int channel) {
    if (channel < 0 || channel >= zyn::kMaxChannels) return {};
    return channels_[channel]->Record();
}

zyn::ChannelMedia& CVideoPltDevice::Media(int channel) const {
    return *channels_[channel];
}

// ---- connections --------------------------------------------------------------

std::shared_ptr<CClient> CVideoPltDevice::Control() {
    std::lock_guard<std::mutex> lock(conn_mutex_);
    return control_;
}

std::shared_ptr<CClient> CVideoPltDevice::Stream(int channel) {
    if (!ValidChannel(channel)) return nullptr;
    std::lock_guard<std::mutex> lock(conn_mutex_);
    return channels_[channel]->stream;
}

int CVideoPltDevice::OpenControl(const DeviceLoginInfo& record) {
    std::shared_ptr<CClient> client;
    std::shared_ptr<CClient> replaced;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        if (!control_ || control_transport_ != record.control_transport) {
            // Only TCP (0) and UDP (1) reach the platform.
            if (record.control_transport > wire::kUdp) return 0;
            std::shared_ptr<CClient> made =
                transports_(zyn::Link::kControl, record.control_transport);
            if (!made) return 0;
            made->RegisterCallback(GetDeviceId(), &CVideoPltDevice::ControlThunk, this);
            replaced = std::move(control_);
            control_ = std::move(made);
            control_transport_ = record.control_transport;
        }
        client = control_;
    }
    if (replaced) replaced->Close();
    client->Close();  // a lost connection may still be half open
    return client->Open(record.control_address, record.control_port) ? 1 : 0;
}

void CVideoPltDevice::CloseControl() {
    if (auto client = Control()) client->Close();
}

std::shared_ptr<CClient> CVideoPltDevice::OpenStream(int channel, int transport) {
    if (!ValidChannel(channel)) return nullptr;
    Channel& ch = *channels_[channel];
    std::shared_ptr<CClient> client;
    std::shared_ptr<CClient> replaced;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        if (!ch.stream || ch.stream_transport != transport) {
            std::shared_ptr<CClient> made = transports_(zyn::Link::kStream, transport);
            if (!made) return nullptr;
            made->RegisterCallback(GetDeviceId(), &CVideoPltDevice::StreamThunk, this);
            replaced = std::move(ch.stream);
            ch.stream = std::move(made);
            ch.stream_transport = transport;
        }
        client = ch.stream;
    }
    if (replaced) replaced->Close();
    client->Close();
    const DeviceLoginInfo rec = LoginRecord();
    if (!client->Open(rec.control_address, rec.stream_port)) return nullptr;
    client->SendMessage(ZYN_CMD_KEEPALIVE, session_word_, nullptr, 0);
    return client;
}

void CVideoPltDevice::CloseStream(int channel) {
    if (auto client = Stream(channel)) client->Close();
}

int CVideoPltDevice::ControlThunk(int, int id, uint16_t command, uint16_t, const uint8_t* payload,
                                  uint16_t length, void* user) {
    auto* self = static_cast<CVideoPltDevice*>(user);
    if (self && id == self->GetDeviceId()) self->OnControlMessage(command, payload, length);
    return 0;
}

int CVideoPltDevice::StreamThunk(int, int id, uint16_t command, uint16_t, const uint8_t* payload,
                                 uint16_t length, void* user) {
    auto* self = static_cast<CVideoPltDevice*>(user);
    if (self && id == self->GetDeviceId()) self->OnStreamMessage(command, payload, length);
    return 0;
}

// ---- message dispatch -----------------------------------------------------------

namespace {
// Replies that a waiting request takes whole: stored, then the request is woken.
bool IsStoredReply(uint16_t command) {
    for (uint16_t other : wire::kPltOtherStoredReplies)
        if (command == other) return true;
    if (command >= wire::ReplyTo(ZYN_CMD_GET_BASE) && command <= wire::ReplyTo(ZYN_CMD_SET_NETWORK))
        return true;
    switch (command) {
        case wire::ReplyTo(ZYN_CMD_GET_PAN):
        case wire::ReplyTo(ZYN_CMD_SET_PAN):
        case wire::ReplyTo(ZYN_CMD_GET_CAPTURE):
        case wire::ReplyTo(ZYN_CMD_SET_CAPTURE):
        case wire::ReplyTo(ZYN_CMD_GET_WIFI):
        case wire::ReplyTo(ZYN_CMD_SET_WIFI):
        case wire::ReplyTo(ZYN_CMD_SET_3G):
        case wire::ReplyTo(ZYN_CMD_GET_3G):
        case wire::ReplyTo(ZYN_CMD_SET_FTP):
        case wire::ReplyTo(ZYN_CMD_GET_FTP):
        case wire::ReplyTo(ZYN_CMD_SET_MAIL):
        case wire::ReplyTo(ZYN_CMD_GET_MAIL):
        case wire::kPltStreamStartReply:
        case wire::ReplyTo(ZYN_CMD_GET_RS_EX):
        case wire::ReplyTo(ZYN_CMD_SET_RS_EX):
        case wire::ReplyTo(ZYN_CMD_GET_MOTION_EX):
        case wire::ReplyTo(ZYN_CMD_SET_MOTION_EX):
        // The answers of the requests that wait for their result word.
        case wire::kUpgradeRequestReply:
        case wire::kUpgradeChunkReply:
        case wire::kRemoteRecordReply:
        case wire::kResetParamReply:
        case wire::kClearAlarmReply:
            return true;
        default:
            return false;
    }
}
}  // namespace

void CVideoPltDevice::EndSession() {
    FireMessage(wire::kMsgControlLost, nullptr, 0);
    logged_in_.store(0);
    // A request still waiting ends now, as failed, and clears the busy flag
    // itself (clearing it here would let the re-login start under it).
    const uint8_t lost[2] = {0xFF, 0xFF};
    StoreReply(0, lost, sizeof lost);
    WakeRequest();
    CloseControl();
}

void CVideoPltDevice::OnControlMessage(uint16_t command, const uint8_t* payload, uint16_t length) {
    switch (command) {
        case ZYN_CMD_CONNECTION_LOST:
        case ZYN_CMD_PLT_SESSION_END:
            EndSession();
            return;
        case ZYN_CMD_VIDEO_FRAGMENT:
            OnVideoData(payload, length);
            return;
        case ZYN_CMD_AUDIO_BLOCK:
            OnAudioData(payload, length);
            return;
        case ZYN_CMD_PLT_NOTICE:
        case wire::kPltIgnoredReply:
            return;
        case wire::kLoginReply:
            StoreReply(command, payload, length);
            WakeRequest();
            return;
        case wire::kKeepAliveReply:
            keepalive_misses_.store(0);
            return;
        case wire::kRecordListReply:
            record_listing_.OnEntries(payload, length);
            return;
        case wire::kRecordFileReply:
            StoreReplyCommand(command);
            WakeRequest();
            return;
        case wire::kPltTalkReply:
            talk_granted_.store(
                length >= 2 && payload && wire::Reply(payload).result() == wire::kResultOk ? 1 : 0);
            StoreReply(command, payload, length);
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

void CVideoPltDevice::OnStreamMessage(uint16_t command, const uint8_t* payload, uint16_t length) {
    switch (command) {
        case ZYN_CMD_CONNECTION_LOST:
            FireMessage(wire::kMsgStreamLost, nullptr, 0);
            return;
        case ZYN_CMD_VIDEO_FRAGMENT:
            OnVideoData(payload, length);
            return;
        case ZYN_CMD_AUDIO_BLOCK:
            OnAudioData(payload, length);
            return;
        default:
            return;
    }
}

// ---- request machinery ------------------------------------------------------------

bool CVideoPltDevice::CanRequest() {
    if (!logged_in_.load() || busy_.load()) return false;
    std::lock_guard<std::mutex> lock(conn_mutex_);
    return control_ != nullptr;
}

int CVideoPltDevice::SendControl(uint16_t command, uint16_t word, const void* payload,
                                 std::size_t length) {
    auto client = Control();
    if (!client || length > linkcore::kMaxPayload) return -1;
    return client->SendMessage(command, word, payload, static_cast<uint16_t>(length));
}

bool CVideoPltDevice::SendAndWait(uint16_t command, uint16_t word, const void* payload,
                                  std::size_t length, unsigned timeout_ms,
                                  zyn::ReplySnapshot* reply) {
    reply_event_.Reset();
    if (SendControl(command, word, payload, length) < 0) return false;
    const bool got = WaitReply(timeout_ms ? timeout_ms : ReplyTimeoutMs());
    if (got && reply) *reply = TakeReply();
    return got;
}

int CVideoPltDevice::Request(uint16_t command, uint16_t word, const void* payload,
                             std::size_t length, unsigned timeout_ms, zyn::ReplySnapshot* reply) {
    auto request = TryRequest();
    if (!request) return 0;
    zyn::ReplySnapshot local;
    zyn::ReplySnapshot* out = reply ? reply : &local;
    const bool got = SendAndWait(command, word, payload, length, timeout_ms, out);
    // The answer must be the one asked for: a late answer of an earlier
    // request, or the failure a lost connection leaves, does not count.
    return (got && out->command == wire::ReplyTo(command) && out->result == wire::kResultOk) ? 1
                                                                                             : 0;
}

// ---- login and logout ---------------------------------------------------------------

int CVideoPltDevice::Login(const DeviceLoginInfo* record) {
    if (record == nullptr || busy_.load()) return 0;
    return DoLogin(*record);
}

int CVideoPltDevice::DoLogin(const DeviceLoginInfo& record_in) {
    DeviceLoginInfo record = record_in;
    std::memcpy(record.stream_address, record.control_address, sizeof(record.stream_address));
    SetLoginRecord(record);
    if (!OpenControl(record)) return 0;

    SendControl(ZYN_CMD_KEEPALIVE, session_word_, nullptr, 0);
    session_word_ = static_cast<uint16_t>(record.device_id & 0xFFFF);
    RequestScope request(*this, true);
    if (!request) return 0;
    {
        std::lock_guard<std::mutex> lock(token_mutex_);
        std::memcpy(token_, record.platform_data, sizeof token_);
    }

    using Login = wire::MutablePlatformLogin;
    uint8_t payload[Login::kLongBytes] = {};
    const Login login(payload);
    login.set_client_kind(Login::kUserClient);
    const bool long_form = session_word_ == Login::kLongSessionWord;
    if (long_form) {
        // No user name and no token head; the password stays, the whole
        // token follows the 40 bytes.
        std::memcpy(login.account() + sizeof(record.user_name), record.password,
                    sizeof(record.password));
        CopyToken(login.long_token());
    } else {
        static_assert(sizeof(record.user_name) + sizeof(record.password) == Login::kAccountBytes);
        std::memcpy(login.account(), record.user_name, sizeof(record.user_name));
        std::memcpy(login.account() + sizeof(record.user_name), record.password,
                    sizeof(record.password));
        uint8_t token[wire::kPlatformTokenBytes];
        CopyToken(token);
        std::memcpy(login.token_head(), token, wire::kPlatformTokenHeadBytes);
    }

    logged_in_.store(0);
    zyn::ReplySnapshot reply;
    const bool got =
        SendAndWait(ZYN_CMD_LOGIN, session_word_, payload,
                    long_form ? Login::kLongBytes : Login::kBytes, zyn::kPlatformWaitMs, &reply);
    using Answer = wire::PlatformLoginReply;
    // An answer too short for its result is no answer.
    if (!got || reply.command != wire::kLoginReply || reply.length < 4) {
        CloseControl();
        return 0;
    }
    const Answer answer(reply.payload);
    if (answer.result() != 0) return static_cast<int>(answer.result());
    logged_in_.store(1);
    // Only what the answer holds is taken: the token head when all of its 16
    // bytes came, the session information when more than the short answer did.
    if (reply.length >= Answer::kTokenOffset + wire::kPlatformTokenHeadBytes) {
        std::lock_guard<std::mutex> lock(token_mutex_);
        std::memcpy(token_, answer.token_head(), wire::kPlatformTokenHeadBytes);
    }
    if (reply.length > Answer::kShortBytes) {
        const int info_bytes =
            std::min<int>(reply.length - Answer::kInfoOffset, Answer::kInfoBytes);
        FireMessage(wire::kLoginReply, answer.info(), info_bytes);
    }
    FireMessage(wire::kMsgLoggedIn, nullptr, 0);
    keepalive_misses_.store(0);
    return 1;
}

int CVideoPltDevice::Logout(int notify) {
    auto request = TryRequest();
    if (!request) return 0;
    SendControl(ZYN_CMD_LOGOUT, session_word_, nullptr, 0);
    if (!notify) return 1;
    for (int i = 0; i < channel_count_; ++i) CloseStream(i);
    CloseControl();
    logged_in_.store(0);
    FireMessage(wire::kMsgControlLost, nullptr, 0);
    return 1;
}

// ---- keep-alive, stalls and reconnection ---------------------------------------------

void CVideoPltDevice::KeepAlive() {
    bool relogged = false;
    if (!logged_in_.load()) {
        if (busy_.load() || DoLogin(LoginRecord()) != 1) {
            FireMessage(wire::kMsgControlLost, nullptr, 0);
            return;
        }
        relogged = true;
    }
    SendControl(ZYN_CMD_KEEPALIVE, session_word_, nullptr, 0);
    if (keepalive_misses_.fetch_add(1) + 1 > zyn::kMissLimitTicks) {
        FireMessage(wire::kMsgControlLost, nullptr, 0);
        keepalive_misses_.store(0);
        CloseControl();
        logged_in_.store(0);
    }
    for (int i = 0; i < channel_count_; ++i) {
        if (!VideoFlag(i)) continue;
        Channel& ch = *channels_[i];
        if (ch.stall_ticks.fetch_add(1) + 1 > zyn::kPlatformStallLimitTicks) {
            FireChannelMessage(wire::kMsgStreamLost, i);
            CloseStream(i);
        }
    }
    if (!logged_in_.load()) return;
    // Stalled channels are asked for again; after a new login every open
    // channel is, since the streams of the old session ended with it. A
    // channel that fails is left for the next tick.
    for (int i = 0; i < channel_count_; ++i) {
        if (!VideoFlag(i)) continue;
        if (relogged || channels_[i]->stall_ticks.load() > zyn::kPlatformStallLimitTicks)
            ReconnectChannel(i);
    }
}

bool CVideoPltDevice::ReconnectChannel(int channel) {
    Channel& ch = *channels_[channel];
    const zyn::PlatformChannelRecord rec = ch.Record();
    StreamRequest req = zyn::StreamRequestFrom(rec.info);
    req.stream_kind = static_cast<uint8_t>(stream_mode_.load());
    req.channel = static_cast<uint8_t>(channel);
    if (!OpenStream(channel, rec.info.stream_transport)) return false;
    if (!SendStreamStart(channel, req)) return false;
    FireChannelMessage(wire::kMsgStreamRestored, channel);
    if (rec.sound_open == 1) OpenSoundVoice(channel, 0);
    ch.stall_ticks.store(0);
    return true;
}

bool CVideoPltDevice::SendStreamStart(int channel, const StreamRequest& request) {
    auto stream = Stream(channel);
    if (!stream) return false;
    uint8_t payload[wire::PlatformStreamStart::kBytes];
    const wire::MutablePlatformStreamStart start(payload);
    std::memcpy(start.request(), &request, sizeof request);
    CopyToken(start.token());
    return stream->SendMessage(ZYN_CMD_PLT_STREAM_START, wire::kPlatformRequestWord, payload,
                               sizeof payload) > 0;
}
