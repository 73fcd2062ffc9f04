// CVideoPltDevice: stream starts and stops on the per-channel connections,
// local display controls, sound, and the live path from fragments to the
// display, the callbacks and the recorder.
#include <cstring>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/live_delivery.h"
#include "decodekit/core/video_plt_device.h"
#include "decodekit/core/video_plt_device_channel.h"
#include "linkcore/linkcore.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"
#include "zynvs/wire/param_groups.h"

namespace wire = zyn::wire;

namespace {
void DisplaySize(int kind, int* w, int* h) {
    if (kind == wire::kSubVideo) {
        *w = 352;
        *h = 288;
    } else {
        *w = 1280;
        *h = 720;
    }
}
}  // namespace

// ---- stream starts and stops ---------------------------------------------------------

int CVideoPltDevice::RealPlay(const ClientInfo* info) {
    if (info == nullptr) return 0;
    const int c = info->channel;
    if (!CanRequest() || !ValidChannel(c) || VideoFlag(c)) return 0;
    RequestScope request(*this, true);
    if (!request) return 0;
    Channel& ch = *channels_[c];
    ch.reset_frame.store(true);  // nothing flows on a new connection yet
    if (!OpenStream(c, info->stream_transport)) return 0;
    // The mode decides how the first fragments are assembled: set it before
    // the platform can start sending.
    const int previous_mode = stream_mode_.exchange(info->stream_kind);
    if (!SendStreamStart(c, zyn::StreamRequestFrom(*info))) {
        stream_mode_.store(previous_mode);
        return 0;
    }
    {
        std::lock_guard<std::mutex> lock(ch.record_mutex);
        ch.record.info = *info;
        switch (info->stream_kind) {
            case wire::kMainVideo:
            case wire::kSubVideo:
                SetVideoFlag(c, 1);
                ch.record.video_open = 1;
                break;
            case wire::kAudio:
                SetSoundFlag(c, 1);
                ch.record.sound_open = 1;
                break;
            case wire::kTalk:
                SetTalkFlag(1);
                ch.record.talk_open = 1;
                break;
            default:
                break;
        }
    }
    ch.stall_ticks.store(0);
    int w = 0, h = 0;
    DisplaySize(info->stream_kind, &w, &h);
    ch.video.SetGuid(info->display_guid);
    ch.video.SetWnd(info->window, info->display_flag);
    if (ch.video.StartVideo(w, h, 1)) {
        show_flag_.store(1);
        RegisterDecode(c);
    }
    return 1;
}

int CVideoPltDevice::RealPlayData(const ClientInfo* info) {
    if (info == nullptr) return 0;
    const int c = info->channel;
    if (!CanRequest() || !ValidChannel(c) || VideoFlag(c)) return 0;
    RequestScope request(*this, true);
    if (!request) return 0;
    Channel& ch = *channels_[c];
    ch.reset_frame.store(true);
    auto stream = OpenStream(c, info->stream_transport);
    if (!stream) return 0;
    const StreamRequest req = zyn::StreamRequestFrom(*info);
    const int previous_mode = stream_mode_.exchange(info->stream_kind);
    if (stream->SendMessage(ZYN_CMD_STREAM_REQUEST, session_word_, &req, sizeof req) <= 0) {
        stream_mode_.store(previous_mode);
        return 0;
    }
    // Data-only channels are tracked like displayed ones (stalls,
    // reconnection, recording); they just have no window.
    std::lock_guard<std::mutex> lock(ch.record_mutex);
    ch.record.info = *info;
    ch.record.info.window = 0;
    if (info->stream_kind <= wire::kSubVideo) {
        SetVideoFlag(c, 1);
        ch.record.video_open = 1;
    } else if (info->stream_kind == wire::kAudio) {
        SetSoundFlag(c, 1);
        ch.record.sound_open = 1;
    }
    ch.stall_ticks.store(0);
    return 1;
}

int CVideoPltDevice::RequestAllStreams(int kind) {
    auto request = TryRequest();
    if (!request) return 0;
    for (int i = 0; i < channel_count_; ++i) {
        const zyn::PlatformChannelRecord rec = channels_[i]->Record();
        if (!rec.video_open) continue;
        StreamRequest req = zyn::StreamRequestFrom(rec.info);
        req.stream_kind = static_cast<uint8_t>(kind);
        if (auto stream = Stream(i))
            stream->SendMessage(ZYN_CMD_STREAM_REQUEST, session_word_, &req, sizeof req);
    }
    return 1;
}

int CVideoPltDevice::StopRealPlay(int channel, int /*final_stop*/) {
    if (!ValidChannel(channel)) return 0;
    auto control = Control();
    if (busy_.load() || !control || !control->IsConnected()) return 0;
    RequestScope request(*this, true);
    if (!request) return 0;
    Channel& ch = *channels_[channel];
    ch.video.StopVideo();
    SetVideoFlag(channel, 0);
    {
        std::lock_guard<std::mutex> lock(ch.record_mutex);
        ch.record = {};
    }
    uint8_t payload[wire::PlatformStreamStop::kBytes] = {};
    const wire::MutablePlatformStreamStop stop(payload);
    CopyToken(stop.token());
    stop.set_stream_mode(static_cast<uint16_t>(stream_mode_.load()));
    stop.set_channel(static_cast<uint16_t>(channel));
    if (auto stream = Stream(channel))
        stream->SendMessage(ZYN_CMD_PLT_STREAM_STOP, wire::kPlatformRequestWord, payload,
                            sizeof payload);
    return 1;
}

int CVideoPltDevice::StopRealPlayEx(int channel, int /*kind*/, int final_stop) {
    return StopRealPlay(channel, final_stop);
}

// ---- sound --------------------------------------------------------------------------

bool CVideoPltDevice::SendSound(int channel) {
    auto stream = Stream(channel);
    if (!stream) return false;
    uint8_t payload[wire::PlatformSound::kBytes] = {};
    const wire::MutablePlatformSound sound(payload);
    sound.set_stream_kind(wire::kAudio);
    sound.set_open_flag(1);
    sound.set_marker(wire::PlatformSound::kMarker);
    CopyToken(sound.token());
    if (stream->SendMessage(ZYN_CMD_PLT_SOUND, wire::kPlatformRequestWord, payload,
                            sizeof payload) <= 0)
        return false;
    SetSoundFlag(channel, 1);
    std::lock_guard<std::mutex> lock(channels_[channel]->record_mutex);
    channels_[channel]->record.sound_open = 1;
    return true;
}

int CVideoPltDevice::OpenSoundVoice(int channel, int /*flag*/) {
    if (!logged_in_.load() || !ValidChannel(channel)) return 0;
    return SendSound(channel) ? 1 : 0;
}

int CVideoPltDevice::OpenSound(int channel) {
    if (!logged_in_.load() || !ValidChannel(channel) || SoundFlag(channel)) return 0;
    Channel& ch = *channels_[channel];
    if (ch.audio.StartAudio(ch.Window(), zyn::kPlatformAudioFormat)) ch.audio_started.store(1);
    return SendSound(channel) ? 1 : 0;
}

int CVideoPltDevice::CloseSound(int channel, int /*final_stop*/) {
    if (!ValidChannel(channel) || !SoundFlag(channel)) return 0;
    Channel& ch = *channels_[channel];
    ch.audio.StopAudio();
    ch.audio_started.store(0);
    SetSoundFlag(channel, 0);
    {
        std::lock_guard<std::mutex> lock(ch.record_mutex);
        ch.record.sound_open = 0;
    }
    uint8_t payload[wire::PlatformStreamStop::kBytes] = {};
    const wire::MutablePlatformStreamStop stop(payload);
    CopyToken(stop.token());
    stop.set_stream_mode(wire::kAudio);
    stop.set_channel(static_cast<uint16_t>(channel));
    if (auto stream = Stream(channel))
        stream->SendMessage(ZYN_CMD_PLT_STREAM_STOP, wire::kPlatformRequestWord, payload,
                            sizeof payload);
    return 1;
}

// ---- display ----------------------------------------------------------------------------

int CVideoPltDevice::ShowPlay(int channel) {
    if (!ValidChannel(channel)) return 0;
    int w = 0, h = 0;
    DisplaySize(stream_mode_.load(), &w, &h);
    if (!channels_[channel]->video.StartVideo(w, h, 1)) return 0;
    show_flag_.store(1);
    MakeKeyFrame(channel);
    return 1;
}

int CVideoPltDevice::HidePlay(int channel) {
    if (!ValidChannel(channel)) return 0;
    channels_[channel]->video.StopVideo();
    show_flag_.store(0);
    return 1;
}

int CVideoPltDevice::MakeKeyFrame(int channel) {
    if (!logged_in_.load()) return 0;
    uint8_t payload[wire::kChannelPrefixBytes];
    wire::StoreLe32(payload, static_cast<uint32_t>(channel));
    return SendControl(ZYN_CMD_KEY_FRAME, session_word_, payload, sizeof payload) > 0 ? 1 : 0;
}

int CVideoPltDevice::ChangeWindow(int channel, ZYNVS_WND window, int flag) {
    if (!ValidChannel(channel)) return 0;
    Channel& ch = *channels_[channel];
    {
        std::lock_guard<std::mutex> lock(ch.record_mutex);
        ch.record.info.window = static_cast<uint32_t>(window);
    }
    return ch.video.ChangeDisplayWnd(window, flag);
}

int CVideoPltDevice::RegisterDrawOSD(DrawOSDCallback callback, void* user) {
    return channels_[0]->video.RegisterCallback(callback, user);
}

// ---- recording ------------------------------------------------------------------------

// ---- live data ------------------------------------------------------------------------

void CVideoPltDevice::OnVideoData(const uint8_t* payload, int length) {
    if (payload == nullptr || length < static_cast<int>(wire::kFragmentHeaderBytes)) return;
    const std::size_t size = static_cast<std::size_t>(length);
    const wire::FragmentHeader header(payload);
    int c = header.channel();
    if (c == wire::kSubStreamChannel) c = 0;  // channel 0's sub stream
    if (GetDeviceId() == wire::kPassThroughDeviceId) {
        // Pass-through: every payload goes on as it came, as channel 0.
        if (ValidChannel(c)) channels_[c]->stall_ticks.store(0);
        zyn::DeliverRealData(registry_, wire::kPassThroughDeviceId, 0, payload, size);
        return;
    }
    if (!logged_in_.load() || !ValidChannel(c)) return;
    Channel& ch = *channels_[c];
    ch.stall_ticks.store(0);
    ch.stats.fragments.fetch_add(1);
    std::lock_guard<std::mutex> lock(ch.assembly_mutex);
    if (ch.reset_frame.exchange(false)) {
        ch.frame.Reset();
        ch.bare.Reset();
    }
    if (stream_mode_.load() == wire::kBareStreamMode) {
        // Frames without records, for the display only.
        if (ch.bare.Add(payload, size) == zyn::FrameAssembler::Result::kComplete) {
            ch.stats.frames.fetch_add(1);
            ch.stats.frame_bytes.fetch_add(ch.bare.frame_bytes());
            if (show_flag_.load() && ch.Window() != 0 && !ScreenSaverFlag())
                ch.video.SendOneFrame1(ch.bare.frame(), static_cast<int>(ch.bare.frame_bytes()), 0);
        }
        return;
    }
    const auto result = ch.frame.Add(payload, size);
    zyn::DeliverVideoFragment(registry_, GetDeviceId(), c, ch.scratch.get(), payload, size);
    if (result == zyn::FrameAssembler::Result::kComplete) CompleteFrame(ch, c);
}

void CVideoPltDevice::CompleteFrame(Channel& ch, int channel) {
    uint8_t* record = ch.frame.frame();
    const std::size_t total = ch.frame.data_bytes();
    const wire::MutableFragmentHeader header(record + wire::kFramePrefixBytes);
    const int frame_type = header.frame_type();
    const bool key = frame_type == wire::kKeyFrameType;
    if (show_flag_.load() && ch.Window() != 0 && !ScreenSaverFlag())
        ch.video.SendOneFrame1(record + wire::kFrameRecordHeaderBytes, static_cast<int>(total), 0);
    header.set_fragment_count(1);
    zyn::DeliverFullFrame(registry_, GetDeviceId(), channel, record, ch.frame.frame_bytes(), 0,
                          frame_type);
    {
        std::lock_guard<std::mutex> lock(ch.recorder_mutex);
        zyn::RecordFrame(ch.recorder, ch.recorder_mode, record, ch.frame.frame_bytes(), total, key);
    }
    ch.stats.frames.fetch_add(1);
    ch.stats.frame_bytes.fetch_add(total);
}

void CVideoPltDevice::OnAudioData(const uint8_t* payload, int length) {
    if (!logged_in_.load() || payload == nullptr ||
        length < static_cast<int>(wire::kFragmentHeaderBytes))
        return;
    const std::size_t size = static_cast<std::size_t>(length);
    const wire::AudioHeader header(payload);
    const int c = header.channel();
    if (!ValidChannel(c)) return;
    Channel& ch = *channels_[c];
    ch.stall_ticks.store(0);
    ch.stats.audio_blocks.fetch_add(1);
    if (ch.audio_started.load() && show_flag_.load()) {
        const std::size_t skip =
            wire::HasAudioSubHeader(zyn::kPlatformAudioFormat) ? wire::kAudioSubHeaderBytes : 0;
        const std::size_t offset = wire::kFragmentHeaderBytes + skip;
        std::size_t n = header.fragment_length();
        n = n >= skip ? n - skip : 0;
        if (offset + n > size) n = size > offset ? size - offset : 0;  // never past the message
        if (n > 0) ch.audio.SendOneFrame(payload + offset, static_cast<int>(n), 0);
    }
    std::lock_guard<std::mutex> lock(ch.assembly_mutex);
    zyn::DeliverAudioBlock(registry_, GetDeviceId(), c, ch.scratch.get(), payload, size,
                           header.audio_type());
}
