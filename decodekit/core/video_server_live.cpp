// CVideoServer: live streams, local display controls, reassembly of video
// frames from fragments and the hand-off to players, callbacks and recorder.
#include <cstring>
#include <ctime>

#include "decodekit/core/byte_order.h"
#include "decodekit/core/device_manage.h"
#include "decodekit/core/param_table.h"
#include "decodekit/core/video_server.h"
#include "decodekit/core/video_server_channel.h"
#include "linkcore/linkcore.h"
#include "zynvs/zynvs_commands.h"

namespace {
constexpr std::size_t kPrefix = ZYNVS_FRAME_PREFIX_BYTES;          // "XCXBV" + 1
constexpr std::size_t kRecordHeader = ZYNVS_FRAME_RECORD_HEADER_BYTES;  // prefix + 24
constexpr std::size_t kFragHeader = 24;

void DisplaySizeForCode(int code, int* w, int* h) {
    if (code >= 1 && code <= 3) { *w = 704; *h = 576; }
    else if (code == 4) { *w = 1280; *h = 720; }
    else if (code == 5) { *w = 1920; *h = 1080; }
    else { *w = 1280; *h = 720; }
}
}  // namespace

bool CVideoServer::AnyStreamOpen() const {
    for (int i = 0; i < zyn::kMaxChannels; ++i)
        if (VideoFlag(i) || SoundFlag(i)) return true;
    return false;
}

void CVideoServer::SendStreamRequestNoWait(int channel, int kind, int open) {
    StreamRequest req{};
    req.stream_kind = static_cast<uint8_t>(kind);
    req.channel = static_cast<uint8_t>(channel);
    req.open_flag = static_cast<uint8_t>(open);
    req.link_value = channels_[channel]->LinkValue();
    SendControl(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req));
}

namespace {
// The stream request of a live-view open, from the caller's ClientInfo.
StreamRequest RequestFromClientInfo(const ClientInfo& info) {
    StreamRequest req{};
    req.stream_kind = info.stream_kind;
    req.channel = info.channel;
    req.open_flag = info.request_flag;
    req.stream_transport = info.stream_transport;
    req.link_value = info.link_value;
    req.stream_port = info.stream_port;
    char text[33] = {};
    std::memcpy(text, info.stream_address, 32);
    req.stream_address = zyn::AddressNumber(text);
    return req;
}

void SendKeyFrameRequest(CVideoServer*, CClient* control, uint16_t session, int channel_byte) {
    uint8_t payload[4] = {static_cast<uint8_t>(channel_byte), 0, 0, 0};
    if (control) control->SendMessage(ZYN_CMD_KEY_FRAME, session, payload, 4);
}
}  // namespace

int CVideoServer::RealPlay(const ClientInfo* info) {
    if (info == nullptr) return 0;
    const int c = info->channel;
    auto refused = [&] { return !CanRequest() || !ValidChannel(c) || VideoFlag(c); };
    if (refused()) return 0;

    // Display size from the device's video parameters of channel 0.
    int w = 1280, h = 720;
    uint8_t video[92];
    if (GetParam(static_cast<int>(zyn::ParamGroup::kVideo), 0, video)) DisplaySizeForCode(video[72], &w, &h);
    display_width_.store(w);
    display_height_.store(h);
    if (info->stream_kind == 1) { w = 704; h = 576; }

    if (refused() || !TryBeginRequest()) return 0;
    Channel& ch = *channels_[c];
    StreamRequest req = RequestFromClientInfo(*info);
    stream_transport_.store(info->stream_transport);
    // On a stream connection that is already up the device starts sending
    // as soon as it accepts the request, so the channel takes the kind
    // first. A clean buffer only when nothing can be flowing yet.
    ch.stream_kind.store(info->stream_kind == 1 ? 1 : 0);
    ch.switch_flag.store(0);
    if (!StreamConnected()) ch.reset_frame.store(true);
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, &reply);
    if (!got || reply.result != 0) {
        EndRequest();
        return 0;
    }
    auto mark = [&](int value) {
        switch (info->stream_kind) {
            case 0: case 1: SetVideoFlag(c, value); ch.video_open.store(value); break;
            case 2: SetSoundFlag(c, value); ch.audio_open.store(value); break;
            case 3: SetTalkFlag(value); ch.talk_open.store(value); break;
            default: break;
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
        ch.video.RegisterDecCallback(&CVideoServer::DecodeTrampoline, c, this);
        if (OpenStream(c) && StreamConnected()) {
            CClient* s;
            CClient* ctl;
            {
                std::lock_guard<std::mutex> lock(conn_mutex_);
                s = stream_.get();
                ctl = control_.get();
            }
            if (info->stream_transport != 2) {
                uint8_t key[4] = {};
                zyn::PutLe32(key, zyn::GetLe16(reply.payload + 2));
                if (s->SendMessage(ZYN_CMD_STREAM_BIND, session_word_, key, 4) == -1) s->Close();
            }
            SendKeyFrameRequest(this, ctl, session_word_, 0);
            EndRequest();
            return 1;
        }
    }
    ch.video.StopVideo();
    mark(0);
    EndRequest();
    return 0;
}

int CVideoServer::RealPlayData(const ClientInfo* info) {
    if (info == nullptr) return 0;
    const int c = info->channel;
    if (!CanRequest() || !ValidChannel(c) || !TryBeginRequest()) return 0;
    Channel& ch = *channels_[c];
    StreamRequest req = RequestFromClientInfo(*info);
    stream_transport_.store(info->stream_transport);
    const bool video_kind = info->stream_kind <= 1;
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
        EndRequest();
        return 0;
    }
    if (!got || reply.result != 0) {
        EndRequest();
        return 0;
    }
    show_flag_.store(1);
    if (!OpenStream(c) || !StreamConnected()) {
        EndRequest();
        return 0;
    }
    CClient* s;
    CClient* ctl;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        s = stream_.get();
        ctl = control_.get();
    }
    if (info->stream_transport != 2) {
        uint8_t key[4] = {};
        zyn::PutLe32(key, zyn::GetLe16(reply.payload + 2));
        s->SendMessage(ZYN_CMD_STREAM_BIND, session_word_, key, 4);
    }
    SendKeyFrameRequest(this, ctl, session_word_, 0);
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
    } else if (info->stream_kind == 2) {
        SetSoundFlag(c, 1);
        ch.audio_open.store(1);
    }
    EndRequest();
    return 1;
}

int CVideoServer::StopRealPlay(int channel, int final_stop) {
    if (!logged_in_.load() || !ValidChannel(channel) || !CanRequest() || !TryBeginRequest())
        return 0;
    SendStreamRequestNoWait(channel, 0, 0);
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
    EndRequest();
    return 1;
}

int CVideoServer::StopRealPlayEx(int channel, int kind, int final_stop) {
    bool has_control;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        has_control = control_ != nullptr;
    }
    if (!ValidChannel(channel) || !has_control) return 0;
    // Does not test the logged-in and busy flags, but takes the busy flag for
    // the send so that it never clears another request's flag.
    const bool took = TryBeginRequest();
    SendStreamRequestNoWait(channel, kind, 0);
    if (!final_stop) {
        Channel& ch = *channels_[channel];
        if (ch.switch_flag.exchange(0)) {
            ch.stream_kind.store(ch.stream_kind.load() ? 0 : 1);
            ch.reset_frame.store(true);
        }
    }
    if (took) EndRequest();
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
    CClient* ctl;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        ctl = control_.get();
    }
    if (ctl && ctl->IsConnected()) SendKeyFrameRequest(this, ctl, session_word_, channel);
    return 0;
}

int CVideoServer::RequestAllStreams(int kind) {
    if (!CanRequest() || !TryBeginRequest()) return 0;
    for (int i = 0; i < channel_count_; ++i) {
        Channel& ch = *channels_[i];
        if (!ch.HasAddress()) continue;
        StreamRequest req = BuildStreamRequest(i, kind, 1);
        req.channel = ch.Stored().channel;
        zyn::ReplySnapshot reply;
        if (SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, &reply) &&
            reply.command != 0x8201)
            break;
    }
    EndRequest();
    return 1;
}

int CVideoServer::ShowPlay(int channel) {
    if (!ValidChannel(channel)) return 0;
    Channel& ch = *channels_[channel];
    if (!ch.video.StartVideo(current_width_.load(), current_height_.load(), 1)) {
        ch.video.StopVideo();
        SetVideoFlag(channel, 0);
        return 0;
    }
    show_flag_.store(1);
    CClient* ctl;
    {
        std::lock_guard<std::mutex> lock(conn_mutex_);
        ctl = control_.get();
    }
    if (ctl && ctl->IsConnected()) SendKeyFrameRequest(this, ctl, session_word_, channel);
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

int CVideoServer::SetVolume(int channel, int volume) {
    if (!ValidChannel(channel)) return 0;
    return channels_[channel]->audio.SetVolume(static_cast<uint16_t>(volume));
}

int CVideoServer::SetMute(int channel, int mute) {
    if (!ValidChannel(channel)) return 0;
    return channels_[channel]->audio.SetMute(mute);
}

int CVideoServer::CapturePicture(int channel, const char* path) {
    if (!logged_in_.load() || !ValidChannel(channel) || path == nullptr) return 0;
    return channels_[channel]->video.CaptureBitmap(path);
}

int CVideoServer::SetSrcRect(int channel, ZYNVS_RECT* rect) {
    if (!ValidChannel(channel) || rect == nullptr) return 0;
    return channels_[channel]->video.SetSrcRect(rect);
}

int CVideoServer::GetSrcRect(int channel, ZYNVS_RECT* rect) {
    if (!ValidChannel(channel) || rect == nullptr) return 0;
    return channels_[channel]->video.GetSrcRect(rect);
}

void CVideoServer::VideoPlayerStats(int channel, RenderVideoStats* out) {
    if (out && channel >= 0 && channel < zyn::kMaxChannels) channels_[channel]->video.GetStats(out);
}

void CVideoServer::AudioPlayerStats(int channel, RenderAudioStats* out) {
    if (out && channel >= 0 && channel < zyn::kMaxChannels) channels_[channel]->audio.GetStats(out);
}

int CVideoServer::RegisterDrawOSD(DrawOSDCallback callback, void* user) {
    return channels_[0]->video.RegisterCallback(callback, user);
}

// ---- sound ----------------------------------------------------------------------------

bool CVideoServer::RequestSound(int channel, zyn::ReplySnapshot* reply) {
    StreamRequest req = BuildStreamRequest(channel, 2, 1);
    req.stream_transport = 0;
    bool got = SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, reply);
    if (!got || reply->command != 0x8201 || reply->result != 0) return false;
    SetSoundFlag(channel, 1);
    channels_[channel]->audio_open.store(1);
    return true;
}

int CVideoServer::OpenSoundVoice(int channel, int /*flag*/) {
    if (!ValidChannel(channel) || !CanRequest() || !TryBeginRequest()) return 0;
    zyn::ReplySnapshot reply;
    const bool ok = RequestSound(channel, &reply);
    EndRequest();
    return ok ? 1 : 0;
}

int CVideoServer::OpenSound(int channel) {
    if (!ValidChannel(channel) || !CanRequest() || !TryBeginRequest()) return 0;
    Channel& ch = *channels_[channel];
    zyn::ReplySnapshot reply;
    if (!RequestSound(channel, &reply) || !ch.audio.StartAudio(ch.Window(), talk_format_[1].load())) {
        EndRequest();
        return 0;
    }
    if (!StreamConnected()) {
        if (OpenStream(channel) && StreamConnected() && stream_transport_.load() != 2) {
            uint8_t key[4] = {};
            zyn::PutLe32(key, zyn::GetLe16(reply.payload + 2));
            CClient* s;
            {
                std::lock_guard<std::mutex> lock(conn_mutex_);
                s = stream_.get();
            }
            if (s) s->SendMessage(ZYN_CMD_STREAM_BIND, session_word_, key, 4);
        }
    }
    EndRequest();
    return 1;
}

int CVideoServer::CloseSound(int channel, int final_stop) {
    if (!ValidChannel(channel) || !CanRequest() || !TryBeginRequest()) return 0;
    Channel& ch = *channels_[channel];
    StreamRequest req{};
    req.stream_kind = 2;
    req.channel = static_cast<uint8_t>(channel);
    req.link_value = ch.LinkValue();
    if (final_stop) {
        SendControl(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req));
        EndRequest();
        return 1;
    }
    zyn::ReplySnapshot reply;
    bool got = SendAndWait(ZYN_CMD_STREAM_REQUEST, &req, sizeof(req), 0, &reply);
    if (!got || reply.result != 0) {
        EndRequest();
        return 0;
    }
    ch.audio.StopAudio();
    SetSoundFlag(channel, 0);
    ch.audio_open.store(0);
    if (!AnyStreamOpen()) CloseStream();
    EndRequest();
    return 1;
}

// ---- local recording ------------------------------------------------------------------

int CVideoServer::StartLoclRecord(int channel, const char* path, int mode) {
    if (!ValidChannel(channel) || path == nullptr) return 0;
    Channel& ch = *channels_[channel];
    std::lock_guard<std::mutex> lock(ch.recorder_mutex);
    ch.recorder_mode = (mode == 1) ? 1 : 0;
    ch.recorder.Open(path, mode, talk_format_[1].load());
    return 0;
}

int CVideoServer::StopLoclRecord(int channel) {
    if (!ValidChannel(channel)) return 0;
    Channel& ch = *channels_[channel];
    std::lock_guard<std::mutex> lock(ch.recorder_mutex);
    ch.recorder.Close();
    return 0;
}

// ---- stream data ----------------------------------------------------------------------

void CVideoServer::DeliverRealData(int channel, const uint8_t* data, std::size_t length) {
    auto cb = registry_ ? registry_->RealDataCb() : zyn::CallbackSlot<RealDataCallback>{};
    if (cb.fn) cb.fn(GetDeviceId(), channel, const_cast<uint8_t*>(data), static_cast<int>(length),
                     cb.user);
}

void CVideoServer::DeliverFullFrame(int channel, const uint8_t* data, std::size_t length,
                                    int kind, int frame_type) {
    auto cb = registry_ ? registry_->FullFrameCb() : zyn::CallbackSlot<FullFrameDataCallback>{};
    if (cb.fn)
        cb.fn(GetDeviceId(), channel, const_cast<uint8_t*>(data), static_cast<int>(length), kind,
              frame_type, cb.user);
}

void CVideoServer::CompleteFrame(Channel& ch, int channel) {
    uint8_t* buf = ch.frame_buffer.get();
    const uint32_t total = zyn::GetLe32(buf + kPrefix + 12);
    const int frame_type = buf[kPrefix + 4];
    if (ch.Window() != 0 && !ScreenSaverFlag())
        ch.video.SendOneFrame1(buf + kRecordHeader, static_cast<int>(total), 0);
    buf[kPrefix + 7] = 1;
    DeliverFullFrame(channel, buf, kRecordHeader + total, 0, frame_type);
    {
        std::lock_guard<std::mutex> lock(ch.recorder_mutex);
        if (ch.recorder.is_recording()) {
            if (ch.recorder_mode == 0)
                ch.recorder.WriteFrame(buf, kRecordHeader + total, 0, frame_type == 7);
            else
                ch.recorder.WriteFrame(buf + kRecordHeader, total, 0, frame_type == 7);
        }
    }
    ch.stats.frames.fetch_add(1);
    ch.stats.frame_bytes.fetch_add(total);
}

void CVideoServer::OnVideoData(uint8_t* payload, int length) {
    if (!logged_in_.load() || payload == nullptr || length < static_cast<int>(kFragHeader)) return;
    if (payload[1] == 4) {
        // Channel 4 is channel 0's sub stream.
        payload[1] = 0;
        payload[3] = 1;
        channels_[0]->stream_kind.store(1);
    }
    const int c = payload[1];
    if (!ValidChannel(c)) return;
    Channel& ch = *channels_[c];
    if (ch.reset_frame.exchange(false)) {
        ch.frame_fill = 0;
        ch.frame_valid = false;
    }
    const int kind = payload[3];
    const int index = payload[6];
    const uint32_t total = zyn::GetLe32(payload + 12);
    const std::size_t data_len = static_cast<std::size_t>(length) - kFragHeader;
    const uint8_t* data = payload + kFragHeader;
    ch.stats.fragments.fetch_add(1);

    auto deliver_fragment = [&] {
        auto cb = registry_ ? registry_->RealDataCb() : zyn::CallbackSlot<RealDataCallback>{};
        if (!cb.fn) return;
        uint8_t* out = ch.scratch.get();
        std::memcpy(out, ZYNVS_VIDEO_PREFIX, 5);
        out[5] = 0;
        if (index == 0) {
            // Time-stamped copy: header with byte 5 = 3, then 8 bytes of time.
            std::memcpy(out + kPrefix, payload, kFragHeader);
            out[kPrefix + 5] = 3;
            zyn::PutLe32(out + kRecordHeader, static_cast<uint32_t>(std::time(nullptr)));
            zyn::PutLe32(out + kRecordHeader + 4, 0);
            std::memcpy(out + kRecordHeader + 8, data, data_len);
            cb.fn(GetDeviceId(), c, out, length + 14, cb.user);
        } else {
            std::memcpy(out + kPrefix, payload, static_cast<std::size_t>(length));
            cb.fn(GetDeviceId(), c, out, length + 6, cb.user);
        }
    };

    if (!ch.switch_flag.load()) {
        if (kind != ch.stream_kind.load()) return;
        ch.stall_ticks.store(0);
        uint8_t* buf = ch.frame_buffer.get();
        if (index == 0) {
            // A frame still open here lost its last fragments.
            if (ch.frame_valid) ch.stats.frames_dropped.fetch_add(1);
            ch.frame_valid = kRecordHeader + static_cast<std::size_t>(total) <= zyn::kFrameBufferBytes;
            ch.frame_fill = 0;
            ch.frame_next_index = 0;
            if (!ch.frame_valid) {
                ch.stats.frames_dropped.fetch_add(1);
            } else {
                std::memcpy(buf, ZYNVS_VIDEO_PREFIX, 5);
                buf[5] = 0;
                std::memcpy(buf + kPrefix, payload, kFragHeader);
                ch.frame_fill = kRecordHeader;
            }
        }
        if (ch.frame_valid && index != ch.frame_next_index) {
            // A fragment missing, repeated or out of order: the data would
            // not be the frame the device sent.
            ch.frame_valid = false;
            ch.frame_fill = 0;
            ch.stats.frames_dropped.fetch_add(1);
        }
        if (ch.frame_valid) {
            ++ch.frame_next_index;
            const uint32_t frame_total = zyn::GetLe32(buf + kPrefix + 12);
            if (ch.frame_fill + data_len > kRecordHeader + frame_total) {
                // Runs past the announced total: drop the frame, resync at index 0.
                ch.frame_valid = false;
                ch.frame_fill = 0;
                ch.stats.frames_dropped.fetch_add(1);
            } else {
                std::memcpy(buf + ch.frame_fill, data, data_len);
                ch.frame_fill += data_len;
            }
        }
        deliver_fragment();
        if (ch.frame_valid && ch.frame_fill == kRecordHeader + zyn::GetLe32(buf + kPrefix + 12)) {
            if (show_flag_.load()) CompleteFrame(ch, c);
            ch.frame_fill = 0;
            ch.frame_valid = false;
        }
        return;
    }

    // Switch path: the shown stream and the recorded main stream differ.
    if (kind == ch.stream_kind.load()) {
        ch.stall_ticks.store(0);
        std::size_t frag_len = zyn::GetLe16(payload + 22);
        if (frag_len > data_len) frag_len = data_len;
        if (ch.Window() != 0) {
            uint8_t* buf = ch.frame_buffer.get();
            if (index == 0) {
                ch.frame_fill = 0;
                ch.frame_valid = total <= zyn::kFrameBufferBytes;
                ch.frame_next_index = 0;
            }
            if (ch.frame_valid && index == ch.frame_next_index &&
                ch.frame_fill + frag_len <= total) {
                ++ch.frame_next_index;
                std::memcpy(buf + ch.frame_fill, data, frag_len);
                ch.frame_fill += frag_len;
                if (ch.frame_fill == total) {
                    if (show_flag_.load() && !ScreenSaverFlag())
                        ch.video.SendOneFrame1(buf, static_cast<int>(total), 0);
                    ch.frame_fill = 0;
                    ch.frame_valid = false;
                }
            } else if (ch.frame_valid) {
                ch.frame_valid = false;
                ch.stats.frames_dropped.fetch_add(1);
            }
        }
    }
    if (kind != 0) return;
    std::unique_lock<std::mutex> rec_lock(ch.recorder_mutex);
    const bool recording = ch.recorder.is_recording();
    uint8_t* sw = ch.switch_buffer.get();
    if (recording) {
        if (index == 0) {
            ch.switch_valid = kRecordHeader + static_cast<std::size_t>(total) <= zyn::kFrameBufferBytes;
            ch.switch_fill = 0;
            ch.switch_next_index = 0;
            if (ch.switch_valid) {
                std::memcpy(sw, ZYNVS_VIDEO_PREFIX, 5);
                sw[5] = 0;
                std::memcpy(sw + kPrefix, payload, kFragHeader);
                ch.switch_fill = kRecordHeader;
            }
        }
        if (ch.switch_valid) {
            const uint32_t sw_total = zyn::GetLe32(sw + kPrefix + 12);
            if (index != ch.switch_next_index++ ||
                ch.switch_fill + data_len > kRecordHeader + sw_total) {
                ch.switch_valid = false;
                ch.stats.frames_dropped.fetch_add(1);
            } else {
                std::memcpy(sw + ch.switch_fill, data, data_len);
                ch.switch_fill += data_len;
            }
        }
    }
    rec_lock.unlock();
    deliver_fragment();
    rec_lock.lock();
    if (recording && ch.switch_valid &&
        ch.switch_fill == kRecordHeader + zyn::GetLe32(sw + kPrefix + 12)) {
        const bool has_cb = registry_ && registry_->RealDataCb().fn;
        if (has_cb && ch.recorder.is_recording()) {
            const uint32_t sw_total = zyn::GetLe32(sw + kPrefix + 12);
            const bool key = sw[kPrefix + 4] == 7;
            if (ch.recorder_mode == 0) {
                sw[kPrefix + 7] = 1;
                ch.recorder.WriteFrame(sw, kRecordHeader + sw_total, 0, key);
            } else {
                ch.recorder.WriteFrame(sw + kRecordHeader, sw_total, 0, key);
            }
        }
        ch.switch_fill = 0;
        ch.switch_valid = false;
    }
}

void CVideoServer::OnAudioData(const uint8_t* payload, int length) {
    if (!logged_in_.load() || payload == nullptr || length < static_cast<int>(kFragHeader)) return;
    const int c = payload[1];
    if (!ValidChannel(c)) return;
    Channel& ch = *channels_[c];
    ch.stats.audio_blocks.fetch_add(1);
    if (ch.Window() != 0 && show_flag_.load()) {
        const int fmt = talk_format_[1].load();
        std::size_t offset = (fmt == 1 || fmt == 2) ? 28 : 24;
        std::size_t n = zyn::GetLe16(payload + 22);
        if (offset == 28) n = n >= 4 ? n - 4 : 0;
        // Never read past the message.
        if (offset + n > static_cast<std::size_t>(length))
            n = static_cast<std::size_t>(length) > offset ? length - offset : 0;
        if (n > 0) ch.audio.SendOneFrame(payload + offset, static_cast<int>(n), 0);
    }
    uint8_t* out = ch.scratch.get();
    if (!out) return;
    std::memcpy(out, ZYNVS_AUDIO_PREFIX, 5);
    out[5] = 0;
    std::memcpy(out + kPrefix, payload, static_cast<std::size_t>(length));
    DeliverRealData(c, out, static_cast<std::size_t>(length) + kPrefix);
    DeliverFullFrame(c, out, static_cast<std::size_t>(length) + kPrefix, 1, payload[0]);
}

void ZYNVS_CALL CVideoServer::DecodeTrampoline(const void* frame, uint16_t size, int channel,
                                               void* user) {
    auto* self = static_cast<CVideoServer*>(user);
    if (!self || !self->registry_ || channel < 0 || channel >= zyn::kMaxChannels) return;
    auto cb = self->registry_->DecRealDataCb();
    if (cb.fn)
        cb.fn(self->channels_[channel]->LinkValue(), channel, const_cast<void*>(frame), size,
              cb.user);
}
