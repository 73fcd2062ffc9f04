// The vendor libraries' wrappers: one library call per operation, handles
// passed through. ANTS has calls for most operations and adds the key-frame
// request; LangChi and QV devices do their work through their own calls, so
// their wrappers only answer the constants the devices expect (Logout: 1).
#pragma once

#include <memory>

#include "configctrl/device/device.h"
#include "configctrl/device/sdk_api.h"

namespace vendors {
struct AntsNetSdk;
}

namespace configctrl {

// handle: the login handle, or for the channel operations the play handle
// (the channel argument is not used), or for talk the voice handle.
class CANTSSDKApi : public CAVSDKApi {
public:
    explicit CANTSSDKApi(std::shared_ptr<const vendors::AntsNetSdk> sdk)
        : CAVSDKApi(kDeviceTypeAnts), sdk_(std::move(sdk)) {}
    int Logout(intptr_t login, int flag) override;
    int StopRealPlay(intptr_t play, int ch) override;
    int SetVolume(intptr_t play, int ch, int volume) override;
    int OpenSound(intptr_t play, int ch) override;
    int CloseSound(intptr_t play, int ch) override;
    int CapturePicture(intptr_t play, int ch, const char* path) override;
    int RestoreDefault(intptr_t login, int word) override;
    int StartTalk(intptr_t login) override;
    int SetTalkVolume(intptr_t voice, int volume) override;
    int StopTalk(intptr_t voice) override;
    int Reboot(intptr_t login) override;
    // Asks for a key frame of channel (from 1), of the sub stream when sub.
    virtual int MakeKeyFrame(intptr_t login, int channel, int sub);

private:
    std::shared_ptr<const vendors::AntsNetSdk> sdk_;
};

class CLangChiSDKApi : public CAVSDKApi {
public:
    CLangChiSDKApi() : CAVSDKApi(kDeviceTypeLangChi) {}
    int Logout(intptr_t, int) override { return 1; }
};

class CQVSDKApi : public CAVSDKApi {
public:
    CQVSDKApi() : CAVSDKApi(kDeviceTypeQv) {}
    int Logout(intptr_t, int) override { return 1; }
};

}  // namespace configctrl
