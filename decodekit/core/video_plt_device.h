// CVideoPltDevice (type 4): a device reached through a platform server.
#pragma once

#include <algorithm>

#include "decodekit/core/video_device.h"

class CVideoPltDevice : public CServedDevice {
public:
    CVideoPltDevice(CDeviceManage* registry, int channel_count)
        : CServedDevice(registry),
          channel_count_(std::clamp(channel_count, 0, zyn::kMaxChannels)) {}

    int GetType() override { return zyn::kTypeVideoPltDevice; }
    void KeepAlive() override {}
    // A platform device does nothing for the set-default request.
    int SetDefaultParam(int /*word*/) override { return 1; }

    int ChannelCount() const { return channel_count_; }

private:
    const int channel_count_;
};
