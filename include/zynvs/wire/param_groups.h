// The parameter groups: getter and setter codes, record sizes and where the
// 4-byte channel prefix goes. One table serves the SDK, the emulator and the
// command-line tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "zynvs/zynvs_commands.h"

namespace zyn::wire {

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
inline constexpr int kParamGroupCount = static_cast<int>(ParamGroup::kCount);

struct ParamGroupInfo {
    ParamGroup group;
    const char* name;  // short name, used by tools ("video", "record", ...)
    uint16_t get_command;
    uint16_t set_command;
    uint16_t record_bytes;
    bool get_has_channel;  // the getter's payload is the channel prefix
    bool set_has_channel;  // the setter's payload is the channel prefix + record; the
                           // device keeps one record per channel exactly then
};

inline constexpr ParamGroupInfo kParamGroups[kParamGroupCount] = {
    {ParamGroup::kBase, "base", ZYN_CMD_GET_BASE, ZYN_CMD_SET_BASE, 88, false, false},
    {ParamGroup::kVideo, "video", ZYN_CMD_GET_VIDEO, ZYN_CMD_SET_VIDEO, 92, true, true},
    {ParamGroup::kAudio, "audio", ZYN_CMD_GET_AUDIO, ZYN_CMD_SET_AUDIO, 4, true, true},
    {ParamGroup::kRs, "rs", ZYN_CMD_GET_RS, ZYN_CMD_SET_RS, 8, true, true},
    {ParamGroup::kMotion, "motion", ZYN_CMD_GET_MOTION, ZYN_CMD_SET_MOTION, 304, true, true},
    {ParamGroup::kSensor, "sensor", ZYN_CMD_GET_SENSOR, ZYN_CMD_SET_SENSOR, 72, true, true},
    {ParamGroup::kMask, "mask", ZYN_CMD_GET_MASK, ZYN_CMD_SET_MASK, 80, true, true},
    {ParamGroup::kVLoss, "vloss", ZYN_CMD_GET_VLOSS, ZYN_CMD_SET_VLOSS, 8, true, true},
    {ParamGroup::kRecord, "record", ZYN_CMD_GET_RECORD, ZYN_CMD_SET_RECORD, 72, true, true},
    {ParamGroup::kNetwork, "network", ZYN_CMD_GET_NETWORK, ZYN_CMD_SET_NETWORK, 328, false, false},
    {ParamGroup::kPan, "pan", ZYN_CMD_GET_PAN, ZYN_CMD_SET_PAN, 4, true, true},
    {ParamGroup::kCapture, "capture", ZYN_CMD_GET_CAPTURE, ZYN_CMD_SET_CAPTURE, 84, true, true},
    {ParamGroup::kWifi, "wifi", ZYN_CMD_GET_WIFI, ZYN_CMD_SET_WIFI, 264, false, false},
    // 3G, FTP and mail: one record per device; the setter has the lower code
    // and no channel prefix, the getter still carries one.
    {ParamGroup::k3G, "3g", ZYN_CMD_GET_3G, ZYN_CMD_SET_3G, 25, true, false},
    {ParamGroup::kFtp, "ftp", ZYN_CMD_GET_FTP, ZYN_CMD_SET_FTP, 200, true, false},
    {ParamGroup::kMail, "mail", ZYN_CMD_GET_MAIL, ZYN_CMD_SET_MAIL, 516, true, false},
};

constexpr bool ParamTableInOrder() {
    for (int i = 0; i < kParamGroupCount; ++i)
        if (static_cast<int>(kParamGroups[i].group) != i) return false;
    return true;
}
static_assert(ParamTableInOrder(), "kParamGroups is indexed by ParamGroup");

// Byte 72 of the video record holds the resolution code.
inline constexpr std::size_t kVideoRecordResolution = 72;

// Length of the channel prefix: the channel in byte 0, then three zero bytes.
inline constexpr std::size_t kChannelPrefixBytes = 4;
// A reply that returns a record has it after the result word and a second word.
inline constexpr std::size_t kReplyRecordOffset = 4;

constexpr const ParamGroupInfo& GroupInfo(ParamGroup g) {
    return kParamGroups[static_cast<int>(g)];
}

// Null when the index, code or name belongs to no group.
constexpr const ParamGroupInfo* GroupAt(int index) {
    return index >= 0 && index < kParamGroupCount ? &kParamGroups[index] : nullptr;
}
constexpr const ParamGroupInfo* GroupByGet(uint16_t command) {
    for (const auto& g : kParamGroups)
        if (g.get_command == command) return &g;
    return nullptr;
}
constexpr const ParamGroupInfo* GroupBySet(uint16_t command) {
    for (const auto& g : kParamGroups)
        if (g.set_command == command) return &g;
    return nullptr;
}
constexpr const ParamGroupInfo* GroupByName(std::string_view name) {
    for (const auto& g : kParamGroups)
        if (name == g.name) return &g;
    return nullptr;
}

}  // namespace zyn::wire
