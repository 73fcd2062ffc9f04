#include "configctrl/device/ants_device.h"

#include <cstring>
#include <ctime>
#include <string>

#include "configctrl/device/vendor_registry.h"
#include "vendors/ants_net_sdk.h"

namespace configctrl {

namespace {

LiveRegistry<CANTSDevice>& Registry() {
    static LiveRegistry<CANTSDevice> registry;
    return registry;
}

constexpr int kExceptionWindowMessage = 1025;
constexpr int kMaxAlarmMessageBytes = 10240;

void MessageTrampoline(int command, int login, const char* data, int length, void* user) {
    Registry().With(user, [&](CANTSDevice& d) { d.OnMessage(login, command, data, length); });
}
void ExceptionTrampoline(int, int exception, int handle, void* user) {
    Registry().With(user, [&](CANTSDevice& d) { d.OnException(handle, exception); });
}
void DataTrampoline(int play, int type, const uint8_t* data, int length, void* user) {
    Registry().With(user, [&](CANTSDevice& d) {
        if (type == 2) d.OnPicture(play, data, length);
    });
}

// Vendor alarm type -> event kind of the alarm record.
int AlarmKind(int vendor_type) {
    switch (vendor_type) {
        case 0:
            return 2;
        case 2:
        case 9:
            return 1;
        case 3:
        case 6:
            return 3;
        default:
            return 0;
    }
}

}  // namespace

CANTSDevice::CANTSDevice()
    : CDevice(kDeviceTypeAnts), sdk_(vendors::AntsNetSdk::Load()), api_(sdk_), work_(1 << 20) {
    for (int& h : play_handles_) h = -1;
    Registry().Add(this);
}

CANTSDevice::~CANTSDevice() {
    Registry().Remove(this);
    if (!sdk_) return;
    for (int ch = 0; ch < kMaxChannels; ++ch)
        if (play_handles_[ch] != -1 && sdk_->ANTS_NET_DVR_StopRealPlay)
            sdk_->ANTS_NET_DVR_StopRealPlay(play_handles_[ch]);
}

#define ANTS_CALL(name, ...) (sdk_ && sdk_->name ? sdk_->name(__VA_ARGS__) : 0)

int CANTSDevice::Login() {
    if (!sdk_ || !sdk_->ANTS_NET_DVR_Login) return 0;
    ANTS_DEVICEINFO info{};
    const int handle = sdk_->ANTS_NET_DVR_Login(GetAddress(), static_cast<uint16_t>(GetPort()),
                                                GetUserName(), GetPassword(), &info);
    if (handle <= 0) return 0;
    login_handle_ = handle;
    ANTS_CALL(ANTS_NET_DVR_SetReconnect, 30, 0);
    set_logged_in(true);
    return 1;
}

int CANTSDevice::Logout(int) {
    if (!logged_in()) return 0;
    const int ok = api_.Logout(login_handle_, 0);
    if (ok != 0) {  // the library ends the session's plays
        set_logged_in(false);
        login_handle_ = 0;
        std::lock_guard<std::mutex> lock(play_mu_);
        for (int& h : play_handles_) h = -1;
    }
    return ok;
}

int CANTSDevice::RealPlay(int ch, uintptr_t window, int, int substream) {
    if (!ChannelOk(ch) || !sdk_) return 0;
    ANTS_CALL(ANTS_NET_DVR_SetDVRMessageCallBack, MessageTrampoline, this);
    ANTS_CALL(ANTS_NET_DVR_SetExceptionCallBack, kExceptionWindowMessage, uint64_t{0},
              ExceptionTrampoline, this);
    ANTS_CLIENTINFO info{};
    info.channel = ch + 1;
    info.link_mode = static_cast<uint32_t>(substream != 0) << 31;
    info.window = window;
    StopRealPlay(ch);
    const int handle = ANTS_CALL(ANTS_NET_DVR_RealPlay, login_handle_, &info, nullptr, this);
    if (handle == 0) return 0;
    {
        std::lock_guard<std::mutex> lock(play_mu_);
        play_handles_[ch] = handle;
    }
    ANTS_CALL(ANTS_NET_DVR_SetStandardDataCallBack, handle, DataTrampoline, this);
    api_.MakeKeyFrame(login_handle_, ch + 1, substream != 0);
    return 1;
}

int CANTSDevice::StopRealPlay(int ch) {
    if (ch < 0 || ch >= kMaxChannels) return 0;
    int handle;
    {
        std::lock_guard<std::mutex> lock(play_mu_);
        handle = play_handles_[ch];
        play_handles_[ch] = -1;
    }
    record_.channel_play_flag[ch] = 0;
    return handle == -1 ? 0 : api_.StopRealPlay(handle, ch);
}

int CANTSDevice::StopRealPlayEx(int ch, int) {
    return StopRealPlay(ch);
}

int CANTSDevice::RealPlayHandle(int ch) {
    if (ch < 0 || ch >= kMaxChannels) return -1;
    std::lock_guard<std::mutex> lock(play_mu_);
    return play_handles_[ch];
}

void CANTSDevice::OnPicture(int play, const uint8_t* data, int length) {
    ++pictures_;
    int ch = -1;
    {
        std::lock_guard<std::mutex> lock(play_mu_);
        for (int c = 0; c < kMaxChannels && ch < 0; ++c)
            if (play_handles_[c] == play) ch = c;
    }
    if (ch >= 0) EmitPicture(ch, data, length);
}

int CANTSDevice::LoginHandle() {
    return login_handle_;
}

int CANTSDevice::SetVolume(int ch, int volume) {
    const int h = logged_in() ? RealPlayHandle(ch) : -1;
    return h == -1 ? 0 : api_.SetVolume(h, ch, volume);
}
int CANTSDevice::OpenSoundVoice(int ch, int) {
    return OpenSound(ch);
}
int CANTSDevice::OpenSound(int ch) {
    const int h = logged_in() ? RealPlayHandle(ch) : -1;
    return h == -1 ? 0 : api_.OpenSound(h, ch);
}
int CANTSDevice::CloseSound(int ch) {
    const int h = logged_in() ? RealPlayHandle(ch) : -1;
    return h == -1 ? 0 : api_.CloseSound(h, ch);
}
int CANTSDevice::CapturePicture(int ch, const char* path) {
    const int h = logged_in() && path ? RealPlayHandle(ch) : -1;
    return h == -1 ? 0 : api_.CapturePicture(h, ch, path);
}

int CANTSDevice::GetParam(int, int, void*) {
    return 0;
}
int CANTSDevice::SetParam(int, int, void*) {
    return 0;
}

int CANTSDevice::RestoreDefault(int, int) {
    return logged_in() ? api_.RestoreDefault(login_handle_, 0) : 0;
}

// Command bytes: command, parameter, speed. 0 stops; 1-8 move (with speed);
// 9-21 zoom, focus, iris and lights; 22-24 presets (parameter: the preset);
// 25-27 tracks.
int CANTSDevice::PTZControl(int ch, const uint8_t* command) {
    const int h = logged_in() && command ? RealPlayHandle(ch) : -1;
    if (h == -1) return 0;
    const int cmd = command[0], parameter = command[1], speed = command[2];
    if (cmd == 0) return ANTS_CALL(ANTS_NET_DVR_PTZControl_EX, h, 0, 1);
    if (cmd <= 8) return ANTS_CALL(ANTS_NET_DVR_PTZControlWithSpeed, h, cmd, 0, speed);
    if (cmd <= 21) return ANTS_CALL(ANTS_NET_DVR_PTZControl_EX, h, cmd, 0);
    if (cmd <= 24) return ANTS_CALL(ANTS_NET_DVR_PTZPreset_EX, h, cmd, parameter);
    if (cmd <= 27) return ANTS_CALL(ANTS_NET_DVR_PTZTrack_EX, h, cmd);
    return 0;
}

int CANTSDevice::StartTalk() {
    if (!logged_in() || voice_handle_ > 0) return 0;
    voice_handle_ = api_.StartTalk(login_handle_);
    return voice_handle_ > 0 ? 1 : 0;
}
int CANTSDevice::SetTalkVolume(int volume) {
    return voice_handle_ > 0 ? api_.SetTalkVolume(voice_handle_, volume) : 0;
}
int CANTSDevice::StopTalk() {
    if (voice_handle_ <= 0) return 0;
    const int ok = api_.StopTalk(voice_handle_);
    voice_handle_ = 0;
    return ok;
}

int CANTSDevice::WaitReply() {
    return 1;
}
int CANTSDevice::GetReplyValue() {
    return 1;
}
int CANTSDevice::UpdateRequest(int, void*) {
    return 1;
}
int CANTSDevice::UpdateFile(int, void*, void*) {
    return 1;
}
int CANTSDevice::SetSrcRect(int, int, void*) {
    return 1;
}
int CANTSDevice::GetSrcRect(int, int, void*) {
    return 1;
}
int CANTSDevice::ClearAlarm(int, int, void*) {
    return 1;
}
int CANTSDevice::StartRemoteManRecord(int, int, void*) {
    return 1;
}
int CANTSDevice::StopRemoteManRecord(int, int, void*) {
    return 1;
}
int CANTSDevice::StopLocalRecord(int) {
    return 1;
}

int CANTSDevice::GetDVRConfig(int command, int channel, void* buffer, int size, int* returned) {
    if (!logged_in() || buffer == nullptr) return 0;
    int got = 0;
    const int ok =
        ANTS_CALL(ANTS_NET_DVR_GetDVRConfig, login_handle_, command, channel, buffer, size, &got);
    if (returned) *returned = got;
    return ok;
}
int CANTSDevice::SetDVRConfig(int command, int channel, const void* buffer, int size) {
    if (!logged_in() || buffer == nullptr) return 0;
    return ANTS_CALL(ANTS_NET_DVR_SetDVRConfig, login_handle_, command, channel, buffer, size);
}
int CANTSDevice::GetDeviceAbility(int ability, const void* in, int in_size, void* out,
                                  int out_size) {
    if (!logged_in() || out == nullptr || out_size <= 0) return 0;
    return ANTS_CALL(ANTS_NET_DVR_GetDeviceAbility, login_handle_, ability, in, in_size, out,
                     out_size);
}
int CANTSDevice::GetRtspConfig(void* buffer, int size) {
    return logged_in() && buffer
               ? ANTS_CALL(ANTS_NET_DVR_GetRtspConfig, login_handle_, buffer, size)
               : 0;
}
int CANTSDevice::SetRtspConfig(const void* buffer, int size) {
    return logged_in() && buffer
               ? ANTS_CALL(ANTS_NET_DVR_SetRtspConfig, login_handle_, buffer, size)
               : 0;
}
int CANTSDevice::RebootDVR() {
    return logged_in() ? api_.Reboot(login_handle_) : 0;
}
int CANTSDevice::SetVideoEffect(int ch, int v1, int v2, int v3, int v4) {
    const int h = logged_in() ? RealPlayHandle(ch) : -1;
    return h == -1 ? 0 : ANTS_CALL(ANTS_NET_DVR_ClientSetVideoEffect, h, v1, v2, v3, v4);
}
int CANTSDevice::GetVideoEffect(int ch, int* v1, int* v2, int* v3, int* v4) {
    const int h = logged_in() ? RealPlayHandle(ch) : -1;
    return h == -1 ? 0 : ANTS_CALL(ANTS_NET_DVR_ClientGetVideoEffect, h, v1, v2, v3, v4);
}

int CANTSDevice::FormatDisk(int disk) {
    return logged_in() && sdk_ && sdk_->ANTS_NET_DVR_FormatDisk
               ? sdk_->ANTS_NET_DVR_FormatDisk(login_handle_, disk)
               : -1;
}
int CANTSDevice::GetFormatProgress(int handle, int* current_disk, int* progress, int* state) {
    if (!current_disk || !progress || !state) return 0;
    return ANTS_CALL(ANTS_NET_DVR_GetFormatProgress, handle, current_disk, progress, state);
}
int CANTSDevice::CloseFormatHandle(int handle) {
    return ANTS_CALL(ANTS_NET_DVR_CloseFormatHandle, handle);
}
int CANTSDevice::ExpandDisk(int disk) {
    return logged_in() && sdk_ && sdk_->ANTS_NET_DVR_ExpandDisk
               ? sdk_->ANTS_NET_DVR_ExpandDisk(login_handle_, disk)
               : -1;
}
int CANTSDevice::GetExpandProgress(int handle) {
    return ANTS_CALL(ANTS_NET_DVR_GetExpandProgress, handle);
}
int CANTSDevice::CloseExpandHandle(int handle) {
    return ANTS_CALL(ANTS_NET_DVR_CloseExpandHandle, handle);
}
int CANTSDevice::SearchDeviceOnLAN(void* buffer, int entries, int* count) {
    if (!logged_in() || !buffer || entries <= 0) return 0;
    return ANTS_CALL(ANTS_NET_DVR_SearchDeviceOnLAN, login_handle_, 0, 0, buffer, entries, count);
}
int CANTSDevice::GetIPCProtoList(void* buffer, int size) {
    return logged_in() && buffer
               ? ANTS_CALL(ANTS_NET_DVR_GetIPCProtoList, login_handle_, buffer, size)
               : 0;
}

void CANTSDevice::OnMessage(int login, int command, const char* data, int length) {
    // The library's callbacks are shared: messages of other sessions are not ours.
    if (login != login_handle_.load()) return;
    if (command != ANTS_MESSAGE_ALARM || length > kMaxAlarmMessageBytes) return;
    ANTS_ALARMINFO alarm{};
    if (data != nullptr && length > 0)
        std::memcpy(&alarm, data, std::min<size_t>(static_cast<size_t>(length), sizeof alarm));
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    AlarmEventRecord r{};
    r.device_id = device_id_;
    r.year = static_cast<uint16_t>(t.tm_year + 1900);
    r.month = static_cast<uint8_t>(t.tm_mon + 1);
    r.day = static_cast<uint8_t>(t.tm_mday);
    r.hour = static_cast<uint8_t>(t.tm_hour);
    r.minute = static_cast<uint8_t>(t.tm_min);
    r.second = static_cast<uint8_t>(t.tm_sec);
    r.kind = AlarmKind(alarm.alarm_type);
    EmitEvent(kEventAlarm, &r, sizeof r);
}

void CANTSDevice::OnException(int handle, int exception) {
    if (handle != login_handle_.load() || exception != ANTS_EXCEPTION_DISCONNECTED) return;
    const int channels = std::min(GetChannelCount(), kMaxChannels);
    for (int ch = 0; ch < channels; ++ch) {
        const std::string text = std::to_string(ch);
        EmitEvent(kEventStreamLost, text.c_str(), static_cast<int>(text.size()));
    }
    EmitEvent(kEventConnectionLost, nullptr, 0);
    set_logged_in(false);
}

}  // namespace configctrl
