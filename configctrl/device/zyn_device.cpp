#include "configctrl/device/zyn_device.h"

#include <chrono>
#include <cstring>

#include "zynvs/ZynDecodeKit.h"
#include "zynvs/wire/layouts.h"
#include "zynvs/zynvs_commands.h"

namespace configctrl {

namespace {
int Id(intptr_t handle) {
    return static_cast<int>(handle);
}
}  // namespace

// ---- CZynSDKApi: one ZYNVS_ call each ----------------------------------------

int CZynSDKApi::Login(void* info) {
    return ZYNVS_Login(static_cast<DeviceLoginInfo*>(info));
}
int CZynSDKApi::Logout(intptr_t h, int flag) {
    return ZYNVS_Logout(Id(h), flag);
}
int CZynSDKApi::ShowPlay(intptr_t h, int ch) {
    return ZYNVS_ShowPlay(Id(h), ch);
}
int CZynSDKApi::HidePlay(intptr_t h, int ch) {
    return ZYNVS_HidePlay(Id(h), ch);
}
int CZynSDKApi::RealPlay(intptr_t h, void* info) {
    return ZYNVS_RealPlay(Id(h), static_cast<ClientInfo*>(info));
}
int CZynSDKApi::StopRealPlay(intptr_t h, int ch) {
    return ZYNVS_StopRealPlay(Id(h), ch);
}
int CZynSDKApi::ChangeWindow(intptr_t h, int ch, uintptr_t window, int flag) {
    return ZYNVS_ChangeWindow(Id(h), ch, static_cast<ZYNVS_WND>(window), flag);
}
int CZynSDKApi::SetVolume(intptr_t h, int ch, int v) {
    return ZYNVS_SetVolume(Id(h), ch, v);
}
int CZynSDKApi::SetMute(intptr_t h, int ch, int m) {
    return ZYNVS_SetMute(Id(h), ch, m);
}
int CZynSDKApi::OpenSound(intptr_t h, int ch) {
    return ZYNVS_OpenSound(Id(h), ch);
}
int CZynSDKApi::CloseSound(intptr_t h, int ch) {
    return ZYNVS_CloseSound(Id(h), ch);
}
int CZynSDKApi::CapturePicture(intptr_t h, int ch, const char* path) {
    return ZYNVS_CapturePicture(Id(h), ch, path);
}

int CZynSDKApi::GetParam(intptr_t h, int ch, int group, void* b) {
    const int id = Id(h);
    switch (group) {
        case kGroupBase:
            return ZYNVS_GetBaseParam(id, b);
        case kGroupNetwork:
            return ZYNVS_GetNetworkParam(id, b);
        case kGroupRecord:
            return ZYNVS_GetRecordParam(id, ch, b);
        case kGroupAudio:
            return ZYNVS_GetAudioParam(id, ch, b);
        case kGroupMask:
            return ZYNVS_GetMaskParam(id, ch, b);
        case kGroupMotion:
            return ZYNVS_GetMotionParam(id, ch, b);
        case kGroupRs:
            return ZYNVS_GetRSParam(id, ch, b);
        case kGroupSensor:
            return ZYNVS_GetSensorParam(id, ch, b);
        case kGroupVideo:
            return ZYNVS_GetVideoParam(id, ch, b);
        case kGroupVLoss:
            return ZYNVS_GetVLossParam(id, ch, b);
        case kGroupPan:
            return ZYNVS_GetPanParam(id, ch, b);
        case kGroupCapture:
            return ZYNVS_GetCaptureParam(id, ch, b);
        case kGroupWifi:
            return ZYNVS_GetWifiParam(id, ch, b);
        case kGroup3G:
            return ZYNVS_Get3GParam(id, ch, b);
        case kGroupFtp:
            return ZYNVS_GetFtpParam(id, ch, b);
        case kGroupMail:
            return ZYNVS_GetMailParam(id, ch, b);
        // The extended groups take the channel and no record.
        case kGroupRsEx:
            return ZYNVS_GetRSParamEx(id, ch, 0);
        case kGroupMotionEx:
            return ZYNVS_GetMotionParamEx(id, ch, 0);
        default:
            return 0;  // group 12 (reset) has no read
    }
}

int CZynSDKApi::SetParam(intptr_t h, int ch, int group, void* b) {
    const int id = Id(h);
    switch (group) {
        case kGroupBase:
            return ZYNVS_SetBaseParam(id, b);
        case kGroupNetwork:
            return ZYNVS_SetNetworkParam(id, b);
        case kGroupRecord:
            return ZYNVS_SetRecordParam(id, ch, b);
        case kGroupAudio:
            return ZYNVS_SetAudioParam(id, ch, b);
        case kGroupMask:
            return ZYNVS_SetMaskParam(id, ch, b);
        case kGroupMotion:
            return ZYNVS_SetMotionParam(id, ch, b);
        case kGroupRs:
            return ZYNVS_SetRSParam(id, ch, b);
        case kGroupSensor:
            return ZYNVS_SetSensorParam(id, ch, b);
        case kGroupVideo:
            return ZYNVS_SetVideoParam(id, ch, b);
        case kGroupVLoss:
            return ZYNVS_SetVLossParam(id, ch, b);
        case kGroupPan:
            return ZYNVS_SetPanParam(id, ch, b);
        case kGroupCapture:
            return ZYNVS_SetCaptureParam(id, ch, b);
        case kGroupReset:
            return ZYNVS_ResetParam(id);
        case kGroupWifi:
            return ZYNVS_SetWifiParam(id, ch, b);
        case kGroup3G:
            return ZYNVS_Set3GParam(id, ch, b);
        case kGroupFtp:
            return ZYNVS_SetFtpParam(id, ch, b);
        case kGroupMail:
            return ZYNVS_SetMailParam(id, ch, b);
        case kGroupRsEx:
            return ZYNVS_SetRSParamEx(id, ch, 0);
        case kGroupMotionEx:
            return ZYNVS_SetMotionParamEx(id, ch, 0);
        default:
            return 0;
    }
}

int CZynSDKApi::RestoreDefault(intptr_t h, int word) {
    return ZYNVS_SetDefaultParam(Id(h), word);
}
int CZynSDKApi::PTZControl(intptr_t h, int ch, int command, int speed, int extra) {
    return ZYNVS_PTZControl(Id(h), ch, command, speed, extra);
}
int CZynSDKApi::StartTalk(intptr_t h) {
    return ZYNVS_StartTalk(Id(h));
}
int CZynSDKApi::SetTalkVolume(intptr_t h, int v) {
    return ZYNVS_SetTalkVolume(Id(h), v);
}
int CZynSDKApi::StopTalk(intptr_t h) {
    return ZYNVS_StopTalk(Id(h));
}
int CZynSDKApi::Reboot(intptr_t h) {
    return ZYNVS_RebootDevice(Id(h));
}
int CZynSDKApi::GetLog(int a, int b) {
    return ZYNVS_GetLog(a, b);
}
int CZynSDKApi::StopRealPlayEx(intptr_t h, int ch, int kind) {
    return ZYNVS_StopRealPlayEx(Id(h), ch, kind);
}
int CZynSDKApi::SetStreamType(intptr_t h, int ch, int sub) {
    return ZYNVS_SetStreamType(Id(h), ch, sub);
}
int CZynSDKApi::OpenSoundVoice(intptr_t h, int ch, int flag) {
    return ZYNVS_OpenSoundVoice(Id(h), ch, flag);
}
int CZynSDKApi::ResetParam(intptr_t h) {
    return ZYNVS_ResetParam(Id(h));
}
int CZynSDKApi::UpdateRequest(intptr_t h, int a, void* r) {
    return ZYNVS_UpdateRequest(Id(h), a, r);
}
int CZynSDKApi::UpdateFile(intptr_t h, int a, void* hdr, void* data) {
    return ZYNVS_UpdateFile(Id(h), a, hdr, data);
}
int CZynSDKApi::SetSrcRect(intptr_t h, int ch, void* rect) {
    return ZYNVS_SetSrcRect(Id(h), ch, static_cast<ZYNVS_RECT*>(rect));
}
int CZynSDKApi::GetSrcRect(intptr_t h, int ch, void* rect) {
    return ZYNVS_GetSrcRect(Id(h), ch, static_cast<ZYNVS_RECT*>(rect));
}
int CZynSDKApi::ClearAlarm(intptr_t h, int a, void* r) {
    return ZYNVS_ClearAlarm(Id(h), a, r);
}
int CZynSDKApi::StartRemoteManRecord(intptr_t h, int a, void* r) {
    return ZYNVS_StartRemoteManRecord(Id(h), a, r);
}
int CZynSDKApi::StopRemoteManRecord(intptr_t h, int a, void* r) {
    return ZYNVS_StopRemoteManRecord(Id(h), a, r);
}
// Sends without waiting: -1 when refused, else 0.
int CZynSDKApi::TransInfo(intptr_t h, int command, const void* data, int length) {
    return ZYNVS_TransInfo(Id(h), command, 0, const_cast<void*>(data), length, 0, nullptr, 0, 0);
}

// ---- CZynDevice ----------------------------------------------------------------

CZynDevice::CZynDevice() : CDevice(kDeviceTypeZyn) {
    record_.login.device_kind = (record_.login.device_kind & ~0xFF) | kDeviceTypeZyn;
}

CZynDevice::~CZynDevice() = default;

int CZynDevice::SetDeviceId(int id) {
    device_id_ = id;
    record_.login.device_id = id;
    return 1;
}

int CZynDevice::SetSessionBlock(const void* block) {
    if (block == nullptr) return 0;
    std::memcpy(session_block_, block, sizeof session_block_);
    return 1;
}

int CZynDevice::LoadRecord(std::FILE* file) {
    if (file == nullptr) return 0;
    DeviceLoginRecord loaded;
    const size_t n = std::fread(&loaded, 1, sizeof loaded, file);
    if (n != sizeof loaded) return static_cast<int>(n);  // a short file changes nothing
    record_ = loaded;
    record_.login.online = 0;
    std::memcpy(record_.login.stream_address, record_.login.control_address,
                sizeof record_.login.stream_address);
    std::memset(record_.channel_state, 0, sizeof record_.channel_state);
    device_id_ = record_.login.device_id;
    return static_cast<int>(n);
}

int CZynDevice::SaveRecord(std::FILE* file) {
    if (file == nullptr) return 0;
    record_.login.device_id = device_id_;
    const int32_t type = type_;
    size_t n = std::fwrite(&type, 1, sizeof type, file);
    n += std::fwrite(&record_, 1, sizeof record_, file);
    return static_cast<int>(n);
}

int CZynDevice::Login() {
    const int ok = api_.Login(&record_.login);
    set_logged_in(ok != 0);
    return ok;
}

int CZynDevice::Logout(int flag) {
    const int ok = api_.Logout(handle(), flag);
    if (ok != 0) set_logged_in(false);
    return ok;
}

int CZynDevice::ShowPlay(int ch) {
    return ChannelOk(ch) ? api_.ShowPlay(handle(), ch) : 0;
}
int CZynDevice::HidePlay(int ch) {
    return ChannelOk(ch) ? api_.HidePlay(handle(), ch) : 0;
}

int CZynDevice::RealPlay(int ch, uintptr_t window, int option, int substream) {
    if (!ChannelOk(ch)) return 0;
    ZynPlayRecord& r = play_records_[ch];
    std::memset(&r, 0, sizeof r);
    r.info.stream_kind = static_cast<uint8_t>(substream);
    r.info.channel = static_cast<uint8_t>(ch);
    r.info.request_flag = 1;
    r.info.kept_byte = 0;
    r.info.link_value = static_cast<uint32_t>(record_.login.device_id);
    r.info.stream_transport = 0;
    r.info.display_flag = static_cast<uint8_t>(option);
    r.info.stream_port = record_.login.stream_port;
    // The host name field is 32 bytes; the SDK reads 32 bytes from byte 14.
    std::memcpy(r.info.stream_address, record_.login.stream_address, sizeof r.info.stream_address);
    r.info.window = static_cast<uint32_t>(window);
    std::memcpy(r.info.display_guid, record_.stream_info, sizeof r.info.display_guid);
    return api_.RealPlay(handle(), &r.info);
}

int CZynDevice::StopRealPlayEx(int ch, int kind) {
    return ChannelOk(ch) ? api_.StopRealPlayEx(handle(), ch, kind) : 0;
}

int CZynDevice::StopRealPlay(int ch) {
    if (!ChannelOk(ch)) return 0;
    record_.channel_play_flag[ch] = 0;
    return api_.StopRealPlay(handle(), ch);
}

int CZynDevice::SetStreamType(int ch, int sub) {
    return ChannelOk(ch) ? api_.SetStreamType(handle(), ch, sub) : 0;
}
int CZynDevice::ChangeWindow(int ch, uintptr_t window, int flag) {
    return ChannelOk(ch) ? api_.ChangeWindow(handle(), ch, window, flag) : 0;
}
int CZynDevice::SetVolume(int ch, int v) {
    return ChannelOk(ch) ? api_.SetVolume(handle(), ch, v) : 0;
}
int CZynDevice::SetMute(int ch, int m) {
    return ChannelOk(ch) ? api_.SetMute(handle(), ch, m) : 0;
}
int CZynDevice::OpenSoundVoice(int ch, int flag) {
    return ChannelOk(ch) ? api_.OpenSoundVoice(handle(), ch, flag) : 0;
}
int CZynDevice::OpenSound(int ch) {
    return ChannelOk(ch) ? api_.OpenSound(handle(), ch) : 0;
}
int CZynDevice::CloseSound(int ch) {
    return ChannelOk(ch) ? api_.CloseSound(handle(), ch) : 0;
}
int CZynDevice::CapturePicture(int ch, const char* path) {
    return ChannelOk(ch) && path != nullptr ? api_.CapturePicture(handle(), ch, path) : 0;
}
int CZynDevice::GetParam(int ch, int group, void* buffer) {
    return ChannelOk(ch) ? api_.GetParam(handle(), ch, group, buffer) : 0;
}
int CZynDevice::SetParam(int ch, int group, void* buffer) {
    return ChannelOk(ch) ? api_.SetParam(handle(), ch, group, buffer) : 0;
}
int CZynDevice::RestoreDefault(int, int b) {
    if (b != 6 || !logged_in()) return 0;
    return api_.RestoreDefault(handle(), 6);
}
int CZynDevice::PTZControl(int ch, const uint8_t* command) {
    if (!ChannelOk(ch) || command == nullptr) return 0;
    return api_.PTZControl(handle(), ch, command[0], command[1], command[2]);
}
int CZynDevice::StartTalk() {
    return logged_in() ? api_.StartTalk(handle()) : 0;
}
int CZynDevice::SetTalkVolume(int v) {
    return logged_in() ? api_.SetTalkVolume(handle(), v) : 0;
}
int CZynDevice::StopTalk() {
    return logged_in() ? api_.StopTalk(handle()) : 0;
}
int CZynDevice::Reboot() {
    return logged_in() ? api_.Reboot(handle()) : 0;
}
int CZynDevice::GetLog(int a) {
    return api_.GetLog(Id(handle()), a);
}
int CZynDevice::ResetParam() {
    return logged_in() ? api_.ResetParam(handle()) : 0;
}

int CZynDevice::SetClock(int year, int month, int day, int hour, int minute, int second) {
    if (!logged_in()) return 0;
    uint8_t payload[zyn::wire::ClockSet::kBytes] = {};
    const zyn::wire::MutableClockSet t(payload);
    t.set_year(static_cast<uint16_t>(year));
    t.set_month(static_cast<uint16_t>(month));
    t.set_day(static_cast<uint8_t>(day));
    t.set_hour(static_cast<uint8_t>(hour));
    t.set_minute(static_cast<uint8_t>(minute));
    t.set_second(static_cast<uint8_t>(second));
    return api_.TransInfo(handle(), ZYN_CMD_CLOCK_SET, payload, sizeof payload) == 0 ? 1 : 0;
}

int CZynDevice::WaitReply() {
    std::unique_lock<std::mutex> lock(reply_mu_);
    const bool got = reply_cv_.wait_for(lock, std::chrono::milliseconds(kReplyWaitMs),
                                        [this] { return reply_signalled_; });
    reply_signalled_ = false;  // auto-reset
    return got ? 1 : 0;
}

int CZynDevice::SignalReply() {
    {
        std::lock_guard<std::mutex> lock(reply_mu_);
        reply_signalled_ = true;
    }
    reply_cv_.notify_one();
    return 1;
}

int CZynDevice::GetReplyValue() {
    return reply_value_.load();
}

int CZynDevice::UpdateRequest(int a, void* r) {
    return logged_in() ? api_.UpdateRequest(handle(), a, r) : 0;
}
int CZynDevice::UpdateFile(int a, void* hdr, void* data) {
    return logged_in() ? api_.UpdateFile(handle(), a, hdr, data) : 0;
}
// These pass their arguments through unchanged: a is the device, b the channel.
int CZynDevice::SetSrcRect(int a, int b, void* rect) {
    return api_.SetSrcRect(a, b, rect);
}
int CZynDevice::GetSrcRect(int a, int b, void* rect) {
    return api_.GetSrcRect(a, b, rect);
}
int CZynDevice::ClearAlarm(int a, int b, void* r) {
    return api_.ClearAlarm(a, b, r);
}
int CZynDevice::StartRemoteManRecord(int a, int b, void* r) {
    return api_.StartRemoteManRecord(a, b, r);
}
int CZynDevice::StopRemoteManRecord(int a, int b, void* r) {
    return api_.StopRemoteManRecord(a, b, r);
}
int CZynDevice::StartLocalRecord(int, const char*, int) {
    return 0;
}
int CZynDevice::StopLocalRecord(int) {
    return 1;
}

}  // namespace configctrl
