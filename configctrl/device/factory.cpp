#include "configctrl/device/ants_device.h"
#include "configctrl/device/device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/qv_device.h"
#include "configctrl/device/zyn_device.h"

namespace configctrl {

std::unique_ptr<CDevice> CreateDevice(int type) {
    switch (type) {
        case kDeviceTypeZyn:
            return std::make_unique<CZynDevice>();
        case kDeviceTypeLangChi:
            return std::make_unique<CLangChiDevice>();
        case kDeviceTypeAnts:
            return std::make_unique<CANTSDevice>();
        case kDeviceTypeQv:
            return std::make_unique<CQVDevice>();
        default:
            return nullptr;
    }
}

}  // namespace configctrl
