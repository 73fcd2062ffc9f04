#include "configctrl/device/device_counts.h"

#include <cstring>

#include "configctrl/device/ants_device.h"
#include "configctrl/device/langchi_device.h"
#include "configctrl/device/qv_device.h"
#include "configctrl/device/zyn_device.h"
#include "zynvs/wire/param_fields.h"

namespace configctrl {

namespace {
int32_t I32At(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
}  // namespace

DeviceCounts QueryDeviceCounts(CDevice& device) {
    DeviceCounts c;
    switch (device.type()) {
        case kDeviceTypeZyn: {
            using zyn::wire::ParamGroup;
            uint8_t base[zyn::wire::GroupInfo(ParamGroup::kBase).record_bytes] = {};
            if (device.GetParam(0, kGroupBase, base) == 1) {
                auto count = [&](const char* name) {
                    return static_cast<int>(
                        zyn::wire::FieldValue(base, zyn::wire::Field(ParamGroup::kBase, name)));
                };
                c.channels = count("channels");
                c.alarm_inputs = count("alarm_inputs");
                c.alarm_outputs = count("alarm_outputs");
            }
            break;
        }
        case kDeviceTypeLangChi: {
            auto& d = static_cast<CLangChiDevice&>(device);
            int32_t n[3] = {0, 0, 0};
            if (d.LangChiConfig(0, 1, reinterpret_cast<intptr_t>(&n[0]),
                                reinterpret_cast<intptr_t>(&n[1]),
                                reinterpret_cast<intptr_t>(&n[2]), 0) != 0) {
                c.channels = n[0];
                c.alarm_inputs = n[1];
                c.alarm_outputs = n[2];
            }
            break;
        }
        case kDeviceTypeAnts: {
            auto& d = static_cast<CANTSDevice&>(device);
            uint8_t r[180] = {};
            int returned = 0;
            if (d.GetDVRConfig(101, 0, r, sizeof r, &returned) != 0) {
                c.channels = r[124];
                c.alarm_inputs = r[116];
                c.alarm_outputs = r[117];
            }
            break;
        }
        case kDeviceTypeQv: {
            auto& d = static_cast<CQVDevice&>(device);
            uint8_t info[372] = {};
            int returned = 0;
            if (d.GetQVConfig(0, 0x10000001, 0, info, sizeof info, &returned) == 0)
                c.channels = I32At(info + 368);
            uint8_t alarms[88] = {};
            const int32_t size = sizeof alarms;
            std::memcpy(alarms, &size, sizeof size);
            if (d.GetQVConfig(0, 0x10000002, 0, alarms, sizeof alarms, &returned) == 0) {
                c.alarm_inputs = I32At(alarms + 64);
                c.alarm_outputs = I32At(alarms + 68);
            }
            break;
        }
        default:
            break;
    }
    return c;
}

}  // namespace configctrl
