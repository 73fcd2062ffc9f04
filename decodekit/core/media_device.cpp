#include "decodekit/core/media_device.h"

#include <algorithm>

#include "decodekit/core/device_manage.h"

void zyn::ChannelMedia::Stop() {
    video.StopVideo();
    audio.StopAudio();
    std::lock_guard<std::mutex> lock(recorder_mutex);
    recorder.Close();
}

CMediaDevice::CMediaDevice(CDeviceManage* registry, int channel_count)
    : CServedDevice(registry), channel_count_(std::clamp(channel_count, 0, zyn::kMaxChannels)) {}

int CMediaDevice::SetVolume(int channel, int volume) {
    if (!ValidChannel(channel)) return 0;
    return Media(channel).audio.SetVolume(static_cast<uint16_t>(volume));
}

int CMediaDevice::SetMute(int channel, int mute) {
    if (!ValidChannel(channel)) return 0;
    return Media(channel).audio.SetMute(mute);
}

int CMediaDevice::CapturePicture(int channel, const char* path) {
    if (!logged_in_.load() || !ValidChannel(channel) || path == nullptr) return 0;
    return Media(channel).video.CaptureBitmap(path);
}

int CMediaDevice::SetSrcRect(int channel, ZYNVS_RECT* rect) {
    if (!ValidChannel(channel) || rect == nullptr) return 0;
    return Media(channel).video.SetSrcRect(rect);
}

int CMediaDevice::GetSrcRect(int channel, ZYNVS_RECT* rect) {
    if (!ValidChannel(channel) || rect == nullptr) return 0;
    return Media(channel).video.GetSrcRect(rect);
}

int CMediaDevice::StartLoclRecord(int channel, const char* path, int mode) {
    if (!ValidChannel(channel) || path == nullptr) return 0;
    zyn::ChannelMedia& media = Media(channel);
    std::lock_guard<std::mutex> lock(media.recorder_mutex);
    media.recorder_mode = (mode == 1) ? 1 : 0;
    media.recorder.Open(path, mode, RecordAudioFormat());
    return 0;
}

int CMediaDevice::StopLoclRecord(int channel) {
    if (!ValidChannel(channel)) return 0;
    zyn::ChannelMedia& media = Media(channel);
    std::lock_guard<std::mutex> lock(media.recorder_mutex);
    media.recorder.Close();
    return 0;
}

const zyn::ChannelStats& CMediaDevice::Stats(int channel) const {
    return Media(std::clamp(channel, 0, zyn::kMaxChannels - 1)).stats;
}

void CMediaDevice::VideoPlayerStats(int channel, RenderVideoStats* out) {
    if (out && channel >= 0 && channel < zyn::kMaxChannels) Media(channel).video.GetStats(out);
}

void CMediaDevice::RegisterDecode(int channel) {
    Media(channel).video.RegisterDecCallback(&CMediaDevice::DecodeTrampoline, channel,
                                             static_cast<CMediaDevice*>(this));
}

void CMediaDevice::StopMedia() {
    for (int c = 0; c < zyn::kMaxChannels; ++c) Media(c).Stop();
}

void ZYNVS_CALL CMediaDevice::DecodeTrampoline(const void* frame, uint16_t size, int channel,
                                               void* user) {
    auto* self = static_cast<CMediaDevice*>(user);
    if (!self || !self->registry_ || channel < 0 || channel >= zyn::kMaxChannels) return;
    auto cb = self->registry_->DecRealDataCb();
    if (cb.fn)
        cb.fn(self->Media(channel).LinkValue(), channel, const_cast<void*>(frame), size, cb.user);
}
