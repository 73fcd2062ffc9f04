// The own protocol's device, on libZynDecodeKit.so.
#pragma once

#include <condition_variable>
#include <mutex>

#include "configctrl/device/device.h"
#include "configctrl/device/sdk_api.h"

namespace configctrl {

// Parameter groups of GetParam/SetParam (the control's numbers).
enum ZynParamGroup : int {
    kGroupBase = 0,
    kGroupNetwork = 1,
    kGroupRecord = 2,
    kGroupAudio = 3,
    kGroupMask = 4,
    kGroupMotion = 5,
    kGroupRs = 6,
    kGroupSensor = 7,
    kGroupVideo = 8,
    kGroupVLoss = 9,
    kGroupPan = 10,
    kGroupCapture = 11,
    kGroupReset = 12,  // set only: resets the device's parameters
    kGroupWifi = 13,
    kGroup3G = 14,
    kGroupFtp = 15,
    kGroupMail = 16,
    kGroupRsEx = 28,
    kGroupMotionEx = 29,
};

// Forwards to the ZYNVS_ functions; the 22 common operations plus 11.
class CZynSDKApi : public CAVSDKApi {
public:
    CZynSDKApi() : CAVSDKApi(kDeviceTypeZyn) {}
    int Login(void* login_info) override;
    int Logout(intptr_t handle, int flag) override;
    int ShowPlay(intptr_t handle, int ch) override;
    int HidePlay(intptr_t handle, int ch) override;
    int RealPlay(intptr_t handle, void* client_info) override;
    int StopRealPlay(intptr_t handle, int ch) override;
    int ChangeWindow(intptr_t handle, int ch, uintptr_t window, int flag) override;
    int SetVolume(intptr_t handle, int ch, int volume) override;
    int SetMute(intptr_t handle, int ch, int mute) override;
    int OpenSound(intptr_t handle, int ch) override;
    int CloseSound(intptr_t handle, int ch) override;
    int CapturePicture(intptr_t handle, int ch, const char* path) override;
    int GetParam(intptr_t handle, int ch, int group, void* buffer) override;
    int SetParam(intptr_t handle, int ch, int group, void* buffer) override;
    int RestoreDefault(intptr_t handle, int word) override;
    int PTZControl(intptr_t handle, int ch, int command, int speed, int extra) override;
    int StartTalk(intptr_t handle) override;
    int SetTalkVolume(intptr_t handle, int volume) override;
    int StopTalk(intptr_t handle) override;
    int Reboot(intptr_t handle) override;
    int GetLog(int a, int b) override;
    virtual int StopRealPlayEx(intptr_t handle, int ch, int kind);
    virtual int SetStreamType(intptr_t handle, int ch, int sub);
    virtual int OpenSoundVoice(intptr_t handle, int ch, int flag);
    virtual int ResetParam(intptr_t handle);
    virtual int UpdateRequest(intptr_t handle, int a, void* request72);
    virtual int UpdateFile(intptr_t handle, int a, void* chunk_header, void* chunk_data);
    virtual int SetSrcRect(intptr_t handle, int ch, void* rect);
    virtual int GetSrcRect(intptr_t handle, int ch, void* rect);
    virtual int ClearAlarm(intptr_t handle, int a, void* record);
    virtual int StartRemoteManRecord(intptr_t handle, int a, void* record);
    virtual int StopRemoteManRecord(intptr_t handle, int a, void* record);
    virtual int TransInfo(intptr_t handle, int command, const void* data, int length);
};

#pragma pack(push, 1)
// Live-view request built per channel: the SDK's ClientInfo and four more bytes.
struct ZynPlayRecord {
    ClientInfo info;
    uint8_t tail[4];
};
#pragma pack(pop)
static_assert(sizeof(ZynPlayRecord) == 72);

class CZynDevice : public CDevice {
public:
    CZynDevice();
    ~CZynDevice() override;

    int SetDeviceId(int id) override;
    int SetSessionBlock(const void* block504) override;
    int LoadRecord(std::FILE* file) override;
    int SaveRecord(std::FILE* file) override;
    int Login() override;
    int Logout(int flag) override;
    int ShowPlay(int ch) override;
    int HidePlay(int ch) override;
    int RealPlay(int ch, uintptr_t window, int option, int substream) override;
    int StopRealPlayEx(int ch, int stream_kind) override;
    int StopRealPlay(int ch) override;
    int SetStreamType(int ch, int sub) override;
    int ChangeWindow(int ch, uintptr_t window, int display_flag) override;
    int SetVolume(int ch, int volume) override;
    int SetMute(int ch, int mute) override;
    int OpenSoundVoice(int ch, int flag) override;
    int OpenSound(int ch) override;
    int CloseSound(int ch) override;
    int CapturePicture(int ch, const char* path) override;
    int GetParam(int ch, int group, void* buffer) override;
    int SetParam(int ch, int group, void* buffer) override;
    int RestoreDefault(int a, int b) override;
    int PTZControl(int ch, const uint8_t* command) override;
    int StartTalk() override;
    int SetTalkVolume(int volume) override;
    int StopTalk() override;
    int Reboot() override;
    int GetLog(int a) override;
    int ResetParam() override;
    int WaitReply() override;
    int SignalReply() override;
    int GetReplyValue() override;
    int UpdateRequest(int a, void* request72) override;
    int UpdateFile(int a, void* chunk_header, void* chunk_data) override;
    int SetSrcRect(int a, int b, void* rect) override;
    int GetSrcRect(int a, int b, void* rect) override;
    int ClearAlarm(int a, int b, void* record) override;
    int StartRemoteManRecord(int a, int b, void* record) override;
    int StopRemoteManRecord(int a, int b, void* record) override;
    int StartLocalRecord(int ch, const char* path, int mode) override;
    int StopLocalRecord(int ch) override;

    // Sets the device's clock (local time) with the clock command; the
    // device does not answer it. 1 when it was sent.
    int SetClock(int year, int month, int day, int hour, int minute, int second);

    // Sets the value GetReplyValue returns (the host's reply handler).
    void set_reply_value(int value) { reply_value_.store(value); }
    const ZynPlayRecord& play_record(int ch) const { return play_records_[ch & 31]; }

    static constexpr int kReplyWaitMs = 3500;

private:
    intptr_t handle() const { return record_.login.device_id; }

    CZynSDKApi api_;
    // Reply event: auto-reset, starts signalled.
    std::mutex reply_mu_;
    std::condition_variable reply_cv_;
    bool reply_signalled_ = true;  // guarded by reply_mu_
    std::atomic<int> reply_value_{0};
    uint8_t session_block_[kSessionBlockBytes] = {};
    ZynPlayRecord play_records_[kMaxChannels] = {};
};

}  // namespace configctrl
