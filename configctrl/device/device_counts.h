// How many channels, alarm inputs and alarm outputs a logged-in device has,
// read the way each vendor tells it. Counts that cannot be read stay 0.
#pragma once

#include "configctrl/device/device.h"

namespace configctrl {

struct DeviceCounts {
    int channels = 0;
    int alarm_inputs = 0;
    int alarm_outputs = 0;
};

// LangChi: configuration command 1. ANTS: the 180-byte device record
// (command 101): channels at 124, alarm inputs at 116, outputs at 117. QV:
// record 0x10000001 (372 bytes, channels at 368), then 0x10000002 (88 bytes,
// inputs at 64, outputs at 68). The own protocol: the base parameter group's
// fields "channels", "alarm_inputs" and "alarm_outputs".
DeviceCounts QueryDeviceCounts(CDevice& device);

}  // namespace configctrl
