// CVideoServer: live sound (opening, closing, playing audio blocks) and talk
// (the device's talk stream fed by the media library's capture).
#include <atomic>
#include <chrono>
#include <cstring>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/live_delivery.h"
#include "decodekit/core/video_server.h"
#include "decodekit/core/video_server_channel.h"
#include "linkcore/linkcore.h"
#include "renderkit/talk.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"

namespace wire = zyn::wire;

namespace {
// Sequence number of talk blocks, shared by every device of the library.
std::atomic<uint32_t> g_talk_sequence{0};

uint32_t TickCountMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

// ---- sound ----------------------------------------------------------------------------

void CVideoServer::AudioPlayerStats(int channel, RenderAudioStats* out) {
    if (out && channel >= 0 && channel < zyn::kMaxChannels) channels_[channel]->audio.GetStats(out);
}

bool CVideoServer::RequestSound(int channel, zyn::ReplySnapshot* reply) {
    StreamRequest req = ChannelStreamRequest(channel, wire::kAudio, 1, true);
    req.stream_transport = wire::kTcp;
    bool got = SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, reply);
    if (!got || reply->command != wire::kStreamReply || reply->result != wire::kResultOk)
        return false;
    SetSoundFlag(channel, 1);
    channels_[channel]->audio_open.store(1);
    return true;
}

int CVideoServer::OpenSoundVoice(int channel, int /*flag*/) {
    if (!ValidChannel(channel)) return 0;
    auto request = TryRequest();
    if (!request) return 0;
    zyn::ReplySnapshot reply;
    return RequestSound(channel, &reply) ? 1 : 0;
}

int CVideoServer::OpenSound(int channel) {
    if (!ValidChannel(channel)) return 0;
    auto request = TryRequest();
    if (!request) return 0;
    Channel& ch = *channels_[channel];
    zyn::ReplySnapshot reply;
    if (!RequestSound(channel, &reply) || !ch.audio.StartAudio(ch.Window(), talk_format_[1].load()))
        return 0;
    if (!StreamConnected() && OpenStream(channel) && StreamConnected()) BindStream(reply);
    return 1;
}

int CVideoServer::CloseSound(int channel, int final_stop) {
    if (!ValidChannel(channel)) return 0;
    auto request = TryRequest();
    if (!request) return 0;
    const StreamRequest req = ChannelStreamRequest(channel, wire::kAudio, 0, false);
    if (final_stop) {
        SendControl(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req));
        return 1;
    }
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, &reply);
    if (!got || reply.result != wire::kResultOk) return 0;
    Channel& ch = *channels_[channel];
    ch.audio.StopAudio();
    SetSoundFlag(channel, 0);
    ch.audio_open.store(0);
    if (!AnyStreamOpen()) CloseStream();
    return 1;
}

void CVideoServer::OnAudioData(const uint8_t* payload, int length) {
    if (!logged_in_.load() || payload == nullptr ||
        length < static_cast<int>(wire::kFragmentHeaderBytes))
        return;
    const std::size_t size = static_cast<std::size_t>(length);
    const wire::AudioHeader header(payload);
    const int c = header.channel();
    if (!ValidChannel(c)) return;
    Channel& ch = *channels_[c];
    ch.stats.audio_blocks.fetch_add(1);
    if (ch.Window() != 0 && show_flag_.load()) {
        // The data of formats 1 and 2 begin with their own audio header.
        const bool sub_header = wire::HasAudioSubHeader(talk_format_[1].load());
        const std::size_t skip = sub_header ? wire::kAudioSubHeaderBytes : 0;
        const std::size_t offset = wire::kFragmentHeaderBytes + skip;
        std::size_t n = header.fragment_length();
        n = n >= skip ? n - skip : 0;
        // Never read past the message.
        if (offset + n > size) n = size > offset ? size - offset : 0;
        if (n > 0) ch.audio.SendOneFrame(payload + offset, static_cast<int>(n), 0);
    }
    zyn::DeliverAudioBlock(registry_, GetDeviceId(), c, ch.scratch.get(), payload, size,
                           header.audio_type());
}

// ---- talk -------------------------------------------------------------------------

void ZYNVS_CALL CVideoServer::TalkSender(const uint8_t* data, uint16_t length, void* user) {
    auto* self = static_cast<CVideoServer*>(user);
    if (!self || !data || length > zyn::kTalkMaxBytes) return;
    uint8_t area[wire::kFragmentHeaderBytes + zyn::kTalkMaxBytes] = {};
    const wire::MutableAudioHeader header(area);
    header.set_frame_type(1);
    header.set_frame_number(g_talk_sequence.fetch_add(1));
    header.set_total_length(length);
    header.set_time_sec(TickCountMs());  // the talk header carries milliseconds here
    header.set_fragment_length(length);
    std::memcpy(header.fragment_data(), data, length);
    CClient* stream = self->Stream();
    if (stream && stream->IsConnected())
        stream->SendMessage(ZYN_CMD_AUDIO_BLOCK, self->session_word_, area,
                            static_cast<uint16_t>(length + wire::kFragmentHeaderBytes));
}

int CVideoServer::StartTalkPlain() {
    if (!CanRequest()) return 0;
    {
        std::lock_guard<std::mutex> lock(talk_mutex_);
        if (!talk_) talk_ = std::make_unique<CTalk>();
    }
    RequestScope request(*this, true);
    if (!request) return 0;
    StreamRequest req = ChannelStreamRequest(0, wire::kTalk, 1, true);
    req.stream_transport = wire::kTcp;
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, &reply);
    if (got && reply.command == wire::kStreamReply && reply.result == wire::kResultOk) {
        channels_[0]->talk_open.store(1);
        std::lock_guard<std::mutex> lock(talk_mutex_);
        talk_->RegisterTalkCallback(&CVideoServer::TalkSender, this);
        SetTalkFlag(talk_->StartTalk());
    }
    request.Release();
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
    RequestScope request(*this, true);
    if (!request) return 0;
    const StreamRequest req = ChannelStreamRequest(0, wire::kTalk, 0, false);
    int result = 0;
    if (final_stop) {
        SendControl(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req));
        std::lock_guard<std::mutex> lock(talk_mutex_);
        result = talk_->StopTalk();
        channels_[0]->talk_open.store(0);
        return result;
    }
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, &reply);
    if (got && reply.result == wire::kResultOk) {
        std::lock_guard<std::mutex> lock(talk_mutex_);
        result = talk_->StopTalk();
        channels_[0]->talk_open.store(0);
    }
    request.Release();
    if (result) SetTalkFlag(0);
    return result;
}
