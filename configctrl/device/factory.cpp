#include "configctrl/device/device.h"
#include "configctrl/device/zyn_device.h"

namespace configctrl {

std::unique_ptr<CDevice> CreateDevice(int type) {
    switch (type) {
        case kDeviceTypeZyn:
            return std::make_unique<CZynDevice>();
        default:
            return nullptr;
    }
}

}  // namespace configctrl
