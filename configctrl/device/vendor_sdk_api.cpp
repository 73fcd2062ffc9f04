#include "configctrl/device/vendor_sdk_api.h"

#include "vendors/ants_net_sdk.h"

namespace configctrl {

#define ANTS_CALL(name, ...) (sdk_ && sdk_->name ? sdk_->name(__VA_ARGS__) : 0)

namespace {
int H(intptr_t handle) {
    return static_cast<int>(handle);
}
}  // namespace

int CANTSSDKApi::Logout(intptr_t login, int) {
    return ANTS_CALL(ANTS_NET_DVR_Logout, H(login));
}
int CANTSSDKApi::StopRealPlay(intptr_t play, int) {
    return ANTS_CALL(ANTS_NET_DVR_StopRealPlay, H(play));
}
int CANTSSDKApi::SetVolume(intptr_t play, int, int volume) {
    return ANTS_CALL(ANTS_NET_DVR_Volume, H(play), volume);
}
int CANTSSDKApi::OpenSound(intptr_t play, int) {
    return ANTS_CALL(ANTS_NET_DVR_OpenSoundShare, H(play));
}
int CANTSSDKApi::CloseSound(intptr_t play, int) {
    return ANTS_CALL(ANTS_NET_DVR_CloseSoundShare, H(play));
}
int CANTSSDKApi::CapturePicture(intptr_t play, int, const char* path) {
    return ANTS_CALL(ANTS_NET_DVR_CapturePicture, H(play), path);
}
int CANTSSDKApi::RestoreDefault(intptr_t login, int) {
    return ANTS_CALL(ANTS_NET_DVR_RestoreConfig, H(login));
}
int CANTSSDKApi::StartTalk(intptr_t login) {
    return ANTS_CALL(ANTS_NET_DVR_StartVoiceCom, H(login), nullptr, nullptr);
}
int CANTSSDKApi::SetTalkVolume(intptr_t voice, int volume) {
    return ANTS_CALL(ANTS_NET_DVR_SetVoiceComClientVolume, H(voice), volume);
}
int CANTSSDKApi::StopTalk(intptr_t voice) {
    return ANTS_CALL(ANTS_NET_DVR_StopVoiceCom, H(voice));
}
int CANTSSDKApi::Reboot(intptr_t login) {
    return ANTS_CALL(ANTS_NET_DVR_RebootDVR, H(login));
}
int CANTSSDKApi::MakeKeyFrame(intptr_t login, int channel, int sub) {
    return sub ? ANTS_CALL(ANTS_NET_DVR_MakeKeyFrameSub, H(login), channel)
               : ANTS_CALL(ANTS_NET_DVR_MakeKeyFrame, H(login), channel);
}

}  // namespace configctrl
