// CMediaDevice: what the direct device and the platform-attached device share
// once a channel's media has reached this host, whichever way it came: each
// channel's video and audio players, its local recorder and its counters, and
// the calls that touch only those.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "decodekit/core/video_device.h"
#include "decodekit/platform/avi_file.h"
#include "renderkit/play_audio.h"
#include "renderkit/play_video.h"
#include "zynvs/ZynDecodeKit.h"

struct RenderVideoStats;

namespace zyn {
// Counters of one channel's live stream.
struct ChannelStats {
    std::atomic<uint64_t> fragments{0};
    std::atomic<uint64_t> frames{0};
    std::atomic<uint64_t> frame_bytes{0};
    std::atomic<uint64_t> frames_dropped{0};  // overflow or fragments past the total
    std::atomic<uint64_t> audio_blocks{0};
};

// The media half of a channel; each device kind adds its request state.
struct ChannelMedia {
    virtual ~ChannelMedia() = default;
    // The link value of the channel's live request (handed to the decode
    // callback).
    virtual uint32_t LinkValue() = 0;
    // Stops both players and closes the recorder.
    void Stop();

    CPlayVideo video;
    CPlayAudio audio;
    ChannelStats stats;
    std::mutex recorder_mutex;  // guards recorder and recorder_mode
    CAviFile recorder;
    int recorder_mode = 0;
};
}  // namespace zyn

class CMediaDevice : public CServedDevice {
public:
    CMediaDevice(CDeviceManage* registry, int channel_count);

    int SetVolume(int channel, int volume) override;
    int SetMute(int channel, int mute) override;
    int CapturePicture(int channel, const char* path) override;
    int SetSrcRect(int channel, ZYNVS_RECT* rect) override;
    int GetSrcRect(int channel, ZYNVS_RECT* rect) override;
    int StartLoclRecord(int channel, const char* path, int mode) override;
    int StopLoclRecord(int channel) override;

    int ChannelCount() const { return channel_count_; }
    const zyn::ChannelStats& Stats(int channel) const;
    // Tests and tools: counters of a channel's video player.
    void VideoPlayerStats(int channel, RenderVideoStats* out);

protected:
    // The media of `channel`, 0 to zyn::kMaxChannels - 1.
    virtual zyn::ChannelMedia& Media(int channel) const = 0;
    // The audio format a local recording stores beside the video.
    virtual int RecordAudioFormat() const = 0;

    bool ValidChannel(int channel) const { return channel >= 0 && channel < channel_count_; }
    // Hands the channel's decoded pictures to the host's decode callback.
    void RegisterDecode(int channel);
    // Stops every channel's players and recorder; the destructors call it
    // after the connections are closed.
    void StopMedia();

    const int channel_count_;

private:
    static void ZYNVS_CALL DecodeTrampoline(const void* frame, uint16_t size, int channel,
                                            void* user);
};
