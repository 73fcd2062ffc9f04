// QV devices: configuration over the qvnet01 message layer (qvnet/), live
// video and talk through the QVPlayer library (vendors/qv_player.h).
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "configctrl/device/device.h"
#include "configctrl/device/vendor_sdk_api.h"

namespace qvnet {
class QvClient;
}
namespace vendors {
struct QvPlayerLib;
}

namespace configctrl {

constexpr int kQvStreams = 4;
constexpr int kQvConnectTimeoutMs = 5000;

class CQVDevice : public CDevice {
public:
    CQVDevice();
    ~CQVDevice() override;

    int SetStreamInfo(const void* info16) override;
    int Login() override;
    int Logout(int flag) override;
    int RealPlay(int ch, uintptr_t window, int option, int substream) override;
    int StopRealPlayEx(int ch, int stream_kind) override;
    int StopRealPlay(int ch) override;
    int OpenSound(int ch) override;
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
    int ClearAlarm(int a, int b, void* record) override;
    int StartRemoteManRecord(int a, int b, void* record) override;
    int StopRemoteManRecord(int a, int b, void* record) override;
    int StartLocalRecord(int ch, const char* path, int mode) override;
    int StopLocalRecord(int ch) override;

    // Configuration records; 0 on success. Set sends `size` bytes of record
    // (none when record is null) with the command; Get reads the command's
    // record into at most `size` bytes and stores its length in *returned.
    virtual int SetQVConfig(int ignored, uint32_t command, int ignored2, const void* record,
                            int size);
    virtual int GetQVConfig(int ignored, uint32_t command, int ignored2, void* record, int size,
                            int* returned);
    virtual int Reserved3();

    void OnAudio(int port, int count);  // the player's thread
    // A decoded picture of a player port (the player's thread), handed on
    // for its channel.
    void OnPicture(int port, const uint8_t* data, int length);
    int audio_samples() const { return audio_samples_.load(); }

private:
    int PlayerPort(int ch);

    CQVSDKApi api_;
    std::mutex mu_;
    std::unique_ptr<qvnet::QvClient> client_;  // guarded by mu_; null when closed
    bool closed_ = true;                       // guarded by mu_
    std::shared_ptr<const vendors::QvPlayerLib> player_;
    int ports_[kQvStreams] = {-1, -1, -1, -1};  // player ports; guarded by mu_
    std::vector<uint8_t> work_;                 // 1 MiB work buffer
    std::atomic<int> audio_samples_{0};
};

}  // namespace configctrl
