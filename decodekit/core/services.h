// The exports of the platform role: starting and stopping the listening
// services, and the registry operations that only the parties serve.
#pragma once

#include <cstdint>

#include "zynvs/ZynDecodeKit.h"

class CDeviceManage;

namespace zyn::platform {
int StartCtrlService(CDeviceManage& registry, uint16_t port, uint16_t second, int kind);
int StopCtrlService(CDeviceManage& registry);
int StartMediaService(CDeviceManage& registry, uint16_t port, uint16_t second, int kind);
int StopMediaService(CDeviceManage& registry);
int StartPlayBackService(CDeviceManage& registry, uint16_t port, ZYNVS_WND window);
int StopPlayBackService(CDeviceManage& registry);

// Subscribes (or unsubscribes) the party `other` to a channel of the encoder
// `encoder`: 1 when both ids are registered and the first is an encoder.
int AddTransDevice(CDeviceManage& registry, int encoder, int channel, int other);
int DeleteTransDevice(CDeviceManage& registry, int encoder, int channel, int other);
int SetDevChanName(CDeviceManage& registry, int encoder, int channel, const char* name);
}  // namespace zyn::platform
