// CVideoServer (type 1): a device reached directly over the network.
#pragma once

#include "decodekit/core/video_device.h"

class CVideoServer : public CServedDevice {
public:
    CVideoServer(CDeviceManage* registry, int channel_count);
    ~CVideoServer() override;

    int GetType() override { return zyn::kTypeVideoServer; }
    void KeepAlive() override;

    int ChannelCount() const { return channel_count_; }

private:
    const int channel_count_;  // from the login record; channels 0..3 are tracked
};
