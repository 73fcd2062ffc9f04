// ANTS devices, on the AntsNetSDK library (vendors/ants_net_sdk.h).
#pragma once

#include <memory>
#include <vector>

#include "configctrl/device/device.h"
#include "configctrl/device/vendor_sdk_api.h"

namespace vendors {
struct AntsNetSdk;
}

namespace configctrl {

class CANTSDevice : public CDevice {
public:
    CANTSDevice();
    ~CANTSDevice() override;

    int Login() override;
    int Logout(int flag) override;
    int RealPlay(int ch, uintptr_t window, int option, int substream) override;
    int StopRealPlayEx(int ch, int stream_kind) override;
    int StopRealPlay(int ch) override;
    int SetVolume(int ch, int volume) override;
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
    int WaitReply() override;
    int GetReplyValue() override;
    int UpdateRequest(int a, void* request72) override;
    int UpdateFile(int a, void* chunk_header, void* chunk_data) override;
    int SetSrcRect(int a, int b, void* rect) override;
    int GetSrcRect(int a, int b, void* rect) override;
    int ClearAlarm(int a, int b, void* record) override;
    int StartRemoteManRecord(int a, int b, void* record) override;
    int StopRemoteManRecord(int a, int b, void* record) override;
    int StopLocalRecord(int ch) override;

    // ANTS configuration records: the login handle goes in front of these
    // arguments. Non-zero on success.
    virtual int GetDVRConfig(int command, int channel, void* buffer, int size, int* returned);
    virtual int SetDVRConfig(int command, int channel, const void* buffer, int size);
    virtual int GetRtspConfig(void* buffer, int size);
    virtual int SetRtspConfig(const void* buffer, int size);
    virtual int RebootDVR();
    // Picture values of a playing channel (brightness, contrast, saturation, hue).
    virtual int SetVideoEffect(int ch, int v1, int v2, int v3, int v4);
    virtual int GetVideoEffect(int ch, int* v1, int* v2, int* v3, int* v4);
    virtual int RealPlayHandle(int ch);
    virtual int LoginHandle();
    // Fills `out` with the device's ability list of kind `ability`.
    // Non-zero on success.
    virtual int GetDeviceAbility(int ability, const void* in, int in_size, void* out, int out_size);

    // Disk formatting and expansion on the device, polled through a handle
    // (-1: not started); and the search for cameras on the device's LAN.
    virtual int FormatDisk(int disk);
    virtual int GetFormatProgress(int handle, int* current_disk, int* progress, int* state);
    virtual int CloseFormatHandle(int handle);
    virtual int ExpandDisk(int disk);
    virtual int GetExpandProgress(int handle);
    virtual int CloseExpandHandle(int handle);
    virtual int SearchDeviceOnLAN(void* buffer, int entries, int* count);
    // The camera protocols the device knows: a 32-bit count, then entries of
    // a 32-bit code and a 32-byte name.
    virtual int GetIPCProtoList(void* buffer, int size);

    // Vendor callbacks (on the library's threads).
    void OnMessage(int login, int command, const char* data, int length);
    void OnException(int handle, int exception);
    // A picture of the play `play`: counted, and handed on for its channel.
    void OnPicture(int play, const uint8_t* data, int length);
    // Pictures the library has delivered since construction (all channels).
    int pictures() const { return pictures_.load(); }

private:
    std::shared_ptr<const vendors::AntsNetSdk> sdk_;
    CANTSSDKApi api_;
    std::atomic<int> login_handle_{0};  // read by the vendor callbacks
    int voice_handle_ = 0;
    std::atomic<int> pictures_{0};
    std::mutex play_mu_;
    int play_handles_[kMaxChannels];  // -1 when not playing; guarded by play_mu_
    std::vector<uint8_t> work_;       // 1 MiB work buffer
};

}  // namespace configctrl
