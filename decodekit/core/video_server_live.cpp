// CVideoServer: stream requests, local display controls and the live video
// path from fragments to the display (frames go on to callbacks and the
// recorder in video_server_record.cpp).
#include <arpa/inet.h>

#include <cstring>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/video_server.h"
#include "decodekit/core/video_server_channel.h"
#include "linkcore/linkcore.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"
#include "zynvs/wire/param_groups.h"

namespace wire = zyn::wire;

namespace {
// A dotted IPv4 text as the number whose most significant byte is the first
// octet (invalid text gives 0xFFFFFFFF, like inet_addr).
uint32_t AddressNumber(const char* text) {
    return ntohl(inet_addr(text));
}

void DisplaySizeForCode(int code, int* w, int* h) {
    if (code >= 1 && code <= 3) {
        *w = 704;
        *h = 576;
    } else if (code == 4) {
        *w = 1280;
        *h = 720;
    } else if (code == 5) {
        *w = 1920;
        *h = 1080;
    } else {
        *w = 1280;
        *h = 720;
    }
}

}  // namespace

// The stream request of a live-view open, from the caller's ClientInfo.
StreamRequest zyn::StreamRequestFrom(const ClientInfo& info) {
    StreamRequest req{};
    req.stream_kind = info.stream_kind;
    req.channel = info.channel;
    req.open_flag = info.request_flag;
    req.stream_transport = info.stream_transport;
    req.link_value = info.link_value;
    req.stream_port = info.stream_port;
    char text[sizeof(info.stream_address) + 1] = {};
    std::memcpy(text, info.stream_address, sizeof(info.stream_address));
    req.stream_address = AddressNumber(text);
    return req;
}

// ---- stream requests ------------------------------------------------------------------

StreamRequest CVideoServer::ChannelStreamRequest(int channel, int kind, int open,
                                                 bool routed) const {
    const ClientInfo stored = channels_[channel]->Stored();
    StreamRequest req{};
    if (routed) req = zyn::StreamRequestFrom(stored);
    req.stream_kind = static_cast<uint8_t>(kind);
    req.channel = static_cast<uint8_t>(channel);
    req.open_flag = static_cast<uint8_t>(open);
    req.link_value = stored.link_value;
    return req;
}

void CVideoServer::SendStreamRequestNoWait(int channel, int kind, int open) {
    const StreamRequest req = ChannelStreamRequest(channel, kind, open, false);
    SendControl(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req));
}

bool CVideoServer::AnyStreamOpen() const {
    for (int i = 0; i < zyn::kMaxChannels; ++i)
        if (VideoFlag(i) || SoundFlag(i)) return true;
    return false;
}

int CVideoServer::RealPlay(const ClientInfo* info) {
    if (info == nullptr) return 0;
    const int c = info->channel;
    auto refused = [&] { return !CanRequest() || !ValidChannel(c) || VideoFlag(c); };
    if (refused()) return 0;

    // Display size from the device's video parameters of channel 0.
    int w = 1280, h = 720;
    uint8_t video[wire::GroupInfo(wire::ParamGroup::kVideo).record_bytes];
    if (GetParam(static_cast<int>(wire::ParamGroup::kVideo), 0, video))
        DisplaySizeForCode(video[wire::kVideoRecordResolution], &w, &h);
    display_width_.store(w);
    display_height_.store(h);
    if (info->stream_kind == wire::kSubVideo) {
        w = 704;
        h = 576;
    }

    if (refused()) return 0;
    RequestScope request(*this, true);
    if (!request) return 0;
    Channel& ch = *channels_[c];
    const StreamRequest req = zyn::StreamRequestFrom(*info);
    stream_transport_.store(info->stream_transport);
    // On a stream connection that is already up the device starts sending
    // as soon as it accepts the request, so the channel takes the kind
    // first. A clean buffer only when nothing can be flowing yet.
    ch.stream_kind.store(info->stream_kind == wire::kSubVideo ? 1 : 0);
    ch.switch_flag.store(0);
    if (!StreamConnected()) ch.reset_frame.store(true);
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, &reply);
    if (!got || reply.result != wire::kResultOk) return 0;
    auto mark = [&](int value) {
        switch (info->stream_kind) {
            case wire::kMainVideo:
            case wire::kSubVideo:
                SetVideoFlag(c, value);
                ch.video_open.store(value);
                break;
            case wire::kAudio:
                SetSoundFlag(c, value);
                ch.audio_open.store(value);
                break;
            case wire::kTalk:
                SetTalkFlag(value);
                ch.talk_open.store(value);
                break;
            default:
                break;
        }
    };
    mark(1);
    {
        std::lock_guard<std::mutex> lock(ch.request_mutex);
        ch.stored = *info;
    }
    ch.video.SetGuid(info->display_guid);
    ch.video.SetWnd(info->window, info->display_flag);
    if (ch.video.StartVideo(w, h, 1)) {
        show_flag_.store(1);
        RegisterDecode(c);
        if (OpenStream(c) && StreamConnected()) {
            BindStream(reply);
            SendKeyFrameRequest(0);
            return 1;
        }
    }
    ch.video.StopVideo();
    mark(0);
    return 0;
}

int CVideoServer::RealPlayData(const ClientInfo* info) {
    if (info == nullptr) return 0;
    const int c = info->channel;
    if (!ValidChannel(c)) return 0;
    auto request = TryRequest();
    if (!request) return 0;
    Channel& ch = *channels_[c];
    const StreamRequest req = zyn::StreamRequestFrom(*info);
    stream_transport_.store(info->stream_transport);
    const bool video_kind = info->stream_kind <= wire::kSubVideo;
    const bool switching = video_kind && VideoFlag(c);
    if (video_kind && !switching) {
        // The device may start sending as soon as it accepts the request (at
        // once on a stream connection that is already up): the channel takes
        // the stream's kind first, and a clean buffer when nothing can be
        // flowing yet.
        ch.switch_flag.store(0);
        ch.stream_kind.store(info->stream_kind);
        if (!StreamConnected()) ch.reset_frame.store(true);
    }
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, &reply);
    if (switching) {
        // The channel's video is already open: this is a change of stream
        // kind, served by the switch path of OnVideoData, which starts with
        // an empty frame buffer.
        ch.reset_frame.store(true);
        ch.switch_flag.store(1);
        return 0;
    }
    if (!got || reply.result != wire::kResultOk) return 0;
    show_flag_.store(1);
    if (!OpenStream(c) || !StreamConnected()) return 0;
    BindStream(reply);
    SendKeyFrameRequest(0);
    ch.switch_flag.store(0);
    // Data-only channels are tracked like displayed ones (stall detection,
    // restoration after a reconnect, recording); they just have no window.
    {
        std::lock_guard<std::mutex> lock(ch.request_mutex);
        ch.stored = *info;
        ch.stored.window = 0;
    }
    if (video_kind) {
        SetVideoFlag(c, 1);
        ch.video_open.store(1);
    } else if (info->stream_kind == wire::kAudio) {
        SetSoundFlag(c, 1);
        ch.audio_open.store(1);
    }
    return 1;
}

int CVideoServer::StopRealPlay(int channel, int final_stop) {
    if (!logged_in_.load() || !ValidChannel(channel)) return 0;
    auto request = TryRequest();
    if (!request) return 0;
    SendStreamRequestNoWait(channel, wire::kMainVideo, 0);
    if (!final_stop) {
        Channel& ch = *channels_[channel];
        ch.video.StopVideo();
        SetVideoFlag(channel, 0);
        SetSoundFlag(channel, 0);
        ch.video_open.store(0);
        ch.switch_flag.store(0);
        {
            std::lock_guard<std::mutex> lock(ch.request_mutex);
            std::memset(ch.stored.stream_address, 0, sizeof(ch.stored.stream_address));
        }
        if (!AnyStreamOpen()) CloseStream();
    }
    return 1;
}

int CVideoServer::StopRealPlayEx(int channel, int kind, int final_stop) {
    if (!ValidChannel(channel) || !Control()) return 0;
    // Does not test the logged-in and busy flags, but takes the busy flag for
    // the send so that it never clears another request's flag.
    RequestScope request(*this, true);
    SendStreamRequestNoWait(channel, kind, 0);
    if (!final_stop) {
        Channel& ch = *channels_[channel];
        if (ch.switch_flag.exchange(0)) {
            ch.stream_kind.store(ch.stream_kind.load() ? 0 : 1);
            ch.reset_frame.store(true);
        }
    }
    return 1;
}

int CVideoServer::SetStreamType(int channel, int sub) {
    if (!ValidChannel(channel)) return 0;
    Channel& ch = *channels_[channel];
    int w = sub ? 352 : display_width_.load();
    int h = sub ? 288 : display_height_.load();
    if (ch.switch_flag.load()) {
        ch.video.StopVideo();
        if (!sub) {
            current_width_.store(w);
            current_height_.store(h);
        }
    }
    if (!ch.video.StartVideo(w, h, 1)) {
        ch.video.StopVideo();
        return 0;
    }
    ch.stream_kind.store(sub ? 1 : 0);
    ch.reset_frame.store(true);
    CClient* control = Control();
    if (control && control->IsConnected()) SendKeyFrameRequest(channel);
    return 0;
}

int CVideoServer::RequestAllStreams(int kind) {
    auto request = TryRequest();
    if (!request) return 0;
    for (int i = 0; i < channel_count_; ++i) {
        if (!channels_[i]->HasAddress()) continue;
        const StreamRequest req = ChannelStreamRequest(i, kind, 1, true);
        zyn::ReplySnapshot reply;
        if (SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, &reply) &&
            reply.command != wire::kStreamReply)
            break;
    }
    return 1;
}

// ---- display ----------------------------------------------------------------------------

int CVideoServer::ShowPlay(int channel) {
    if (!ValidChannel(channel)) return 0;
    Channel& ch = *channels_[channel];
    if (!ch.video.StartVideo(current_width_.load(), current_height_.load(), 1)) {
        ch.video.StopVideo();
        SetVideoFlag(channel, 0);
        return 0;
    }
    show_flag_.store(1);
    CClient* control = Control();
    if (control && control->IsConnected()) SendKeyFrameRequest(channel);
    return 1;
}

int CVideoServer::HidePlay(int channel) {
    if (!ValidChannel(channel)) return 0;
    channels_[channel]->video.StopVideo();
    show_flag_.store(0);
    return 1;
}

int CVideoServer::ChangeWindow(int channel, ZYNVS_WND window, int flag) {
    if (!ValidChannel(channel)) return 0;
    Channel& ch = *channels_[channel];
    {
        std::lock_guard<std::mutex> lock(ch.request_mutex);
        ch.stored.window = static_cast<uint32_t>(window);
    }
    return ch.video.ChangeDisplayWnd(window, flag);
}

int CVideoServer::RegisterDrawOSD(DrawOSDCallback callback, void* user) {
    return channels_[0]->video.RegisterCallback(callback, user);
}

// ---- live video ---------------------------------------------------------------------------

void CVideoServer::OnVideoData(uint8_t* payload, int length) {
    if (!logged_in_.load() || payload == nullptr ||
        length < static_cast<int>(wire::kFragmentHeaderBytes))
        return;
    const std::size_t size = static_cast<std::size_t>(length);
    const wire::MutableFragmentHeader header(payload);
    if (header.channel() == wire::kSubStreamChannel) {
        // Channel 4 is channel 0's sub stream.
        header.set_channel(0);
        header.set_stream_kind(wire::kSubVideo);
        channels_[0]->stream_kind.store(1);
    }
    const int c = header.channel();
    if (!ValidChannel(c)) return;
    Channel& ch = *channels_[c];
    if (ch.reset_frame.exchange(false)) {
        ch.frame.Reset();
        ch.shown.Reset();
    }
    const int kind = header.stream_kind();
    ch.stats.fragments.fetch_add(1);

    if (!ch.switch_flag.load()) {
        if (kind != ch.stream_kind.load()) return;
        ch.stall_ticks.store(0);
        const auto result = ch.frame.Add(payload, size);
        DeliverFragment(ch, c, payload, size);
        if (result == zyn::FrameAssembler::Result::kComplete && show_flag_.load())
            CompleteFrame(ch, c);
        return;
    }

    // Switch path: the shown stream and the recorded main stream differ.
    if (kind == ch.stream_kind.load()) {
        ch.stall_ticks.store(0);
        if (ch.Window() != 0 &&
            ch.shown.Add(payload, size) == zyn::FrameAssembler::Result::kComplete &&
            show_flag_.load() && !ScreenSaverFlag())
            ch.video.SendOneFrame1(ch.shown.frame(), static_cast<int>(ch.shown.frame_bytes()), 0);
    }
    if (kind != wire::kMainVideo) return;
    RecordSwitchedFragment(ch, c, payload, size);
}
