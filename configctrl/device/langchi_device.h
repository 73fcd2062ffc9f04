// LangChi devices, on the NetClient library (bound by ordinal;
// vendors/net_client.h).
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "configctrl/device/device.h"
#include "configctrl/device/vendor_sdk_api.h"

namespace vendors {
struct NetClientLib;
}

namespace configctrl {

constexpr int kLangChiStreams = 4;

class CLangChiDevice : public CDevice {
public:
    CLangChiDevice();
    ~CLangChiDevice() override;

    int SetStreamInfo(const void* info16) override;
    int Login() override;
    int Logout(int flag) override;
    int RealPlay(int ch, uintptr_t window, int option, int substream) override;
    int StopRealPlayEx(int ch, int stream_kind) override;
    int StopRealPlay(int ch) override;
    int ChangeWindow(int ch, uintptr_t window, int display_flag) override;
    int SetVolume(int ch, int volume) override;
    int SetMute(int ch, int mute) override;
    int CapturePicture(int ch, const char* path) override;
    int GetParam(int ch, int group, void* buffer) override;
    int SetParam(int ch, int group, void* buffer) override;
    int PTZControl(int ch, const uint8_t* command) override;
    int StartTalk() override;
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
    int StartLocalRecord(int ch, const char* path, int mode) override;
    int StopLocalRecord(int ch) override;

    // NetClient ordinal 126 with the session: command 1 fills three int32_t
    // counts at a, b, c (channels, alarm inputs, alarm outputs); every other
    // command takes a = channel, b = record, c = record size. Non-zero on
    // success; 1 without a session (nothing called).
    virtual int LangChiConfig(int ignored, int command, intptr_t a, intptr_t b, intptr_t c,
                              intptr_t d);
    virtual int StreamHandle(int ch);

    // A picture of a stream (the library's stream thread): counted and
    // handed on for its channel.
    void OnStreamData(int stream, const uint8_t* data, int length);
    // Pictures delivered on open streams since construction.
    int pictures() const { return pictures_.load(); }

private:
    std::shared_ptr<const vendors::NetClientLib> lib_;
    CLangChiSDKApi api_;
    std::mutex mu_;         // taken by Logout and by the stream callbacks
    int session_ = -1;      // guarded by mu_
    bool closing_ = false;  // guarded by mu_
    int streams_[kLangChiStreams] = {-1, -1, -1, -1};  // guarded by mu_
    std::vector<uint8_t> work_;                        // 1 MiB work buffer
    std::atomic<int> pictures_{0};
};

}  // namespace configctrl
