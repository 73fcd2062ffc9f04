#include "decodekit/core/video_server.h"

#include <algorithm>

CVideoServer::CVideoServer(CDeviceManage* registry, int channel_count)
    : CServedDevice(registry), channel_count_(std::clamp(channel_count, 0, zyn::kMaxChannels)) {}

CVideoServer::~CVideoServer() = default;

void CVideoServer::KeepAlive() {}
