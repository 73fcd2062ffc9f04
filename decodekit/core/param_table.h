// The parameter groups: command codes, channel prefixes and record sizes.
// One table drives every getter and setter.
#pragma once

#include <cstdint>

namespace zyn {
enum class ParamGroup : int {
    kBase,
    kVideo,
    kAudio,
    kRs,
    kMotion,
    kSensor,
    kMask,
    kVLoss,
    kRecord,
    kNetwork,
    kPan,
    kCapture,
    kWifi,
    k3G,
    kFtp,
    kMail,
    kCount
};

struct ParamGroupInfo {
    const char* name;        // short name, used by tools ("video", "record", ...)
    uint16_t get_command;
    bool get_has_channel;    // getter request carries the 4-byte channel prefix
    uint16_t set_command;
    bool set_has_channel;    // setter payload starts with the channel prefix
    uint16_t record_bytes;
};

inline constexpr ParamGroupInfo kParamGroups[static_cast<int>(ParamGroup::kCount)] = {
    {"base", 0x0501, false, 0x0502, false, 88},
    {"video", 0x0503, true, 0x0504, true, 92},
    {"audio", 0x0505, true, 0x0506, true, 4},
    {"rs", 0x0507, true, 0x0508, true, 8},
    {"motion", 0x0509, true, 0x050A, true, 304},
    {"sensor", 0x050B, true, 0x050C, true, 72},
    {"mask", 0x050D, true, 0x050E, true, 80},
    {"vloss", 0x050F, true, 0x0510, true, 8},
    {"record", 0x0511, true, 0x0512, true, 72},
    {"network", 0x0513, false, 0x0514, false, 328},
    {"pan", 0x0518, true, 0x0519, true, 4},
    {"capture", 0x051A, true, 0x051B, true, 84},
    {"wifi", 0x051E, false, 0x051F, false, 264},
    // 3G, FTP and mail: the setter has the lower code and no channel prefix.
    {"3g", 0x0523, true, 0x0522, false, 25},
    {"ftp", 0x0525, true, 0x0524, false, 200},
    {"mail", 0x0527, true, 0x0526, false, 516},
};

inline const ParamGroupInfo& GroupInfo(ParamGroup g) { return kParamGroups[static_cast<int>(g)]; }
}  // namespace zyn
