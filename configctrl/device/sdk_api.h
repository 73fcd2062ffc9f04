// Thin wrappers that forward to a vendor library one call at a time. The
// base has the 22 operations every library offers in some form; a wrapper
// whose library has nothing for an operation returns 0 there (1 where noted).
// handle: the library's device handle (the SDK's device id, the ANTS login
// handle, the LangChi session).
#pragma once

#include <cstdint>

namespace configctrl {

class CAVSDKApi {
public:
    explicit CAVSDKApi(int type) : type_(type) {}
    CAVSDKApi(const CAVSDKApi&) = delete;
    CAVSDKApi& operator=(const CAVSDKApi&) = delete;

    virtual ~CAVSDKApi() = default;
    virtual int Login(void* login_info) { return (void)login_info, 0; }
    virtual int Logout(intptr_t handle, int flag) { return (void)handle, (void)flag, 0; }
    virtual int ShowPlay(intptr_t, int) { return 0; }
    virtual int HidePlay(intptr_t, int) { return 0; }
    virtual int RealPlay(intptr_t, void*) { return 0; }
    virtual int StopRealPlay(intptr_t, int) { return 0; }
    virtual int ChangeWindow(intptr_t, int, uintptr_t, int) { return 0; }
    virtual int SetVolume(intptr_t, int, int) { return 0; }
    virtual int SetMute(intptr_t, int, int) { return 0; }
    virtual int OpenSound(intptr_t, int) { return 0; }
    virtual int CloseSound(intptr_t, int) { return 0; }
    virtual int CapturePicture(intptr_t, int, const char*) { return 0; }
    virtual int GetParam(intptr_t, int, int, void*) { return 0; }
    virtual int SetParam(intptr_t, int, int, void*) { return 0; }
    virtual int RestoreDefault(intptr_t, int) { return 0; }
    virtual int PTZControl(intptr_t, int, int, int, int) { return 0; }
    virtual int StartTalk(intptr_t) { return 0; }
    virtual int SetTalkVolume(intptr_t, int) { return 0; }
    virtual int StopTalk(intptr_t) { return 0; }
    virtual int Reboot(intptr_t) { return 0; }
    virtual int GetLog(int, int) { return 0; }

    int type() const { return type_; }

private:
    int type_;
};

}  // namespace configctrl
