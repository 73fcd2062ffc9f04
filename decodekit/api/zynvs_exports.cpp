// The ZYNVS_ export layer: thin entries that forward to the registry and to
// the device objects. No export throws; unknown ids and unserved device types
// answer 0 (or the value the interface gives).
#include <cerrno>
#include <exception>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/services.h"
#include "zynvs/ZynDecodeKit.h"
#include "zynvs/wire/param_groups.h"

namespace {
CDeviceManage& R() { return CDeviceManage::Instance(); }

// Runs body and turns any escaping exception into the failure value.
template <typename Body>
int Guard(int failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

// Per-device call on a device of type 1 or 4.
#define ZYN_SERVED(id, expr)                             \
    Guard(0, [&]() -> int {                              \
        auto dev = R().FindServed(id);                   \
        return dev ? (expr) : 0;                         \
    })
// Per-device call on a type-1 device only.
#define ZYN_T1(id, expr)                                 \
    Guard(0, [&]() -> int {                              \
        auto dev = R().FindServed(id, true, false);      \
        return dev ? (expr) : 0;                         \
    })
// Per-device call on a type-4 device only.
#define ZYN_T4(id, expr)                                 \
    Guard(0, [&]() -> int {                              \
        auto dev = R().FindServed(id, false, true);      \
        return dev ? (expr) : 0;                         \
    })

int GetParam(int id, zyn::wire::ParamGroup group, int channel, void* record) {
    if (record == nullptr) return 0;
    return ZYN_SERVED(id, dev->GetParam(static_cast<int>(group), channel, record));
}
int SetParam(int id, zyn::wire::ParamGroup group, int channel, void* record) {
    if (record == nullptr) return 0;
    return ZYN_SERVED(id, dev->SetParam(static_cast<int>(group), channel, record));
}
}  // namespace

using zyn::wire::ParamGroup;

extern "C" {

// ---- library, callbacks and services --------------------------------------

ZYNVS_API int ZYNVS_CALL ZYNVS_Init(void) { return 1; }
ZYNVS_API int ZYNVS_CALL ZYNVS_ShutDownDVR(void) { return 1; }
ZYNVS_API int ZYNVS_CALL ZYNVS_UnInit(void) { return Guard(1, [] { return R().UnInit(); }); }
ZYNVS_API int ZYNVS_CALL ZYNVS_GetLastError(void) { return errno; }

ZYNVS_API int ZYNVS_CALL ZYNVS_RegisterMessageCallBack(MessageCallback callback, void* user) {
    R().SetMessageCallback(callback, user);
    return 1;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_RegisterRealDataCallBack(RealDataCallback callback, void* user) {
    R().SetRealDataCallback(callback, user);
    return 1;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_RegisterDecRealDataCallBack(DecRealDataCallback callback,
                                                           void* user) {
    R().SetDecRealDataCallback(callback, user);
    return 1;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_RegisterFullFrameDataCallBack(FullFrameDataCallback callback,
                                                             void* user) {
    R().SetFullFrameCallback(callback, user);
    return 1;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_RegisterSearchCallBack(SearchCallback callback, void* user) {
    R().SetSearchCallback(callback, user);
    return 1;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_RegisterDrawOSDCallBack(int device_id, DrawOSDCallback callback,
                                                       void* user) {
    ZYN_SERVED(device_id, dev->RegisterDrawOSD(callback, user));
    return 1;
}

ZYNVS_API int ZYNVS_CALL ZYNVS_StartCtrlService(unsigned short port, unsigned short second,
                                                int kind) {
    return Guard(0, [&] { return zyn::platform::StartCtrlService(R(), port, second, kind); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_StopCtrlService(void) {
    return Guard(0, [&] { return zyn::platform::StopCtrlService(R()); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_StartMediaService(unsigned short port, unsigned short second,
                                                 int kind) {
    return Guard(0, [&] { return zyn::platform::StartMediaService(R(), port, second, kind); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_StopMediaService(void) {
    return Guard(0, [&] { return zyn::platform::StopMediaService(R()); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_StartPlayBackService(unsigned short port, ZYNVS_WND window) {
    return Guard(0, [&] { return zyn::platform::StartPlayBackService(R(), port, window); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_StopPlayBackService(void) {
    return Guard(0, [&] { return zyn::platform::StopPlayBackService(R()); });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_Search(void) { return Guard(1, [] { return R().Search(); }); }
ZYNVS_API int ZYNVS_CALL ZYNVS_StopSearch(void) {
    return Guard(1, [] { return R().StopSearch(); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_ModifyNetPara(ModifyNetParaRecord* record) {
    return Guard(0, [&] { return R().ModifyNetPara(record); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_Reboot(ModifyNetParaRecord* record) {
    return Guard(1, [&] { return R().Reboot(record); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_Reset(int) { return 1; }
ZYNVS_API int ZYNVS_CALL ZYNVS_GetLog(int, int) { return 1; }

// ---- devices ----------------------------------------------------------------

ZYNVS_API int ZYNVS_CALL ZYNVS_AddDevice(DeviceLoginInfo* info) {
    return Guard(0, [&] { return R().AddDevice(info); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_DeleteDevice(int device_id) {
    return Guard(0, [&] { return R().DeleteDevice(device_id); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_AddTransDevice(int device_id, unsigned char channel,
                                              int other_id) {
    return Guard(0, [&] { return zyn::platform::AddTransDevice(R(), device_id, channel, other_id); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_DeleteTransDevice(int device_id, unsigned char channel,
                                                 int other_id) {
    return Guard(0,
                 [&] { return zyn::platform::DeleteTransDevice(R(), device_id, channel, other_id); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_SetDeviceName(int device_id, const char* name) {
    return Guard(0, [&] { return R().SetDeviceName(device_id, name); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_SetDevChanName(int device_id, int channel, const char* name) {
    return Guard(0, [&] { return zyn::platform::SetDevChanName(R(), device_id, channel, name); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_Login(DeviceLoginInfo* info) {
    return Guard(0, [&] { return R().Login(info); });
}
ZYNVS_API int ZYNVS_CALL ZYNVS_Logout(int device_id, int notify) {
    return Guard(0, [&] { return R().Logout(device_id, notify); });
}

// ---- live view, sound, talk -------------------------------------------------

ZYNVS_API int ZYNVS_CALL ZYNVS_RealPlay(int device_id, ClientInfo* info) {
    if (info == nullptr) return 0;
    if (info->window != 0) return ZYN_SERVED(device_id, dev->RealPlay(info));
    return ZYN_SERVED(device_id, dev->RealPlayData(info));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_StopRealPlay(int device_id, int channel) {
    return ZYN_SERVED(device_id, dev->StopRealPlay(channel, 0));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_StopRealPlayEx(int device_id, int channel, int stream_kind) {
    return ZYN_T1(device_id, dev->StopRealPlayEx(channel, stream_kind, 0));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_SetStreamType(int device_id, int channel, int sub) {
    ZYN_T1(device_id, dev->SetStreamType(channel, sub));
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_ShowPlay(int device_id, int channel) {
    return ZYN_SERVED(device_id, dev->ShowPlay(channel));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_HidePlay(int device_id, int channel) {
    return ZYN_SERVED(device_id, dev->HidePlay(channel));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_ChangeWindow(int device_id, int channel, ZYNVS_WND window,
                                            int display_flag) {
    return ZYN_SERVED(device_id, dev->ChangeWindow(channel, window, display_flag));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_SetVolume(int device_id, int channel, int volume) {
    return ZYN_SERVED(device_id, dev->SetVolume(channel, volume));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_SetMute(int device_id, int channel, int mute) {
    return ZYN_SERVED(device_id, dev->SetMute(channel, mute));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_OpenSound(int device_id, int channel) {
    return ZYN_SERVED(device_id, dev->OpenSound(channel));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_CloseSound(int device_id, int channel) {
    return ZYN_SERVED(device_id, dev->CloseSound(channel, 0));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_OpenSoundVoice(int device_id, int channel, int flag) {
    return ZYN_SERVED(device_id, dev->OpenSoundVoice(channel, flag));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_CapturePicture(int device_id, int channel, const char* path) {
    if (path == nullptr) return 0;
    return ZYN_SERVED(device_id, dev->CapturePicture(channel, path));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_SetSrcRect(int device_id, int channel, ZYNVS_RECT* rect) {
    if (rect == nullptr) return 0;
    return ZYN_SERVED(device_id, dev->SetSrcRect(channel, rect));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_GetSrcRect(int device_id, int channel, ZYNVS_RECT* rect) {
    if (rect == nullptr) return 0;
    return ZYN_SERVED(device_id, dev->GetSrcRect(channel, rect));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_StartLoclRecord(int device_id, int channel, const char* path,
                                               int mode) {
    if (path != nullptr) ZYN_SERVED(device_id, dev->StartLoclRecord(channel, path, mode));
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_StopLoclRecord(int device_id, int channel) {
    ZYN_SERVED(device_id, dev->StopLoclRecord(channel));
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_MakeKeyFrame(int device_id, int channel) {
    return ZYN_SERVED(device_id, dev->MakeKeyFrame(channel));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_StartTalk(int device_id) {
    return ZYN_SERVED(device_id, dev->StartTalk());
}
ZYNVS_API int ZYNVS_CALL ZYNVS_StopTalk(int device_id) {
    return ZYN_SERVED(device_id, dev->StopTalk(0));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_SetTalkVolume(int, int) { return 1; }

// ---- commands -----------------------------------------------------------------

ZYNVS_API int ZYNVS_CALL ZYNVS_PTZControl(int device_id, int channel, int command, int speed,
                                          int extra) {
    return ZYN_SERVED(device_id, dev->PTZControl(channel, command, speed, extra));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_TransInfo(int device_id, int command, int expected_reply,
                                         void* data, int length, int wait, void* reply_buffer,
                                         int buffer_size, int timeout_ms) {
    return ZYN_SERVED(device_id, dev->TransInfo(command, expected_reply, data, length, wait,
                                                reply_buffer, buffer_size, timeout_ms));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_SerialSend(int device_id, int port, void* data, int length) {
    if (data == nullptr && length > 0) return 0;
    return ZYN_T1(device_id, dev->SerialSend(port, data, length));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_RebootDevice(int device_id) {
    return ZYN_T1(device_id, dev->RebootDevice());
}
ZYNVS_API int ZYNVS_CALL ZYNVS_ResetParam(int device_id) {
    return ZYN_SERVED(device_id, dev->ResetParam());
}
ZYNVS_API int ZYNVS_CALL ZYNVS_UpdateRequest(int device_id, int ignored, void* request72) {
    if (request72 == nullptr) return 0;
    return ZYN_SERVED(device_id, dev->UpdateRequest(ignored, request72));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_UpdateFile(int device_id, int ignored, void* chunk_header,
                                          void* chunk_data) {
    if (chunk_header == nullptr) return 0;
    return ZYN_SERVED(device_id, dev->UpdateFile(ignored, chunk_header, chunk_data));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_ClearAlarm(int device_id, int channel, void* record) {
    if (record == nullptr) return 0;
    return ZYN_SERVED(device_id, dev->ClearAlarm(channel, record));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_StartRemoteManRecord(int device_id, int ignored, void* record) {
    if (record == nullptr) return 0;
    return ZYN_SERVED(device_id, dev->StartRemoteManRecord(ignored, record));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_StopRemoteManRecord(int device_id, int ignored, void* record) {
    if (record == nullptr) return 0;
    return ZYN_SERVED(device_id, dev->StopRemoteManRecord(ignored, record));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_QueryRecInfo(int device_id, void* query36,
                                            RecordInfoCallback callback, void* user) {
    if (query36 == nullptr) return 0;
    return ZYN_SERVED(device_id, dev->QueryRecInfo(query36, callback, user));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlayRecInfo(int device_id, void* descriptor152) {
    if (descriptor152 == nullptr) return 0;
    return ZYN_SERVED(device_id, dev->PlayRecInfo(descriptor152));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_DownRemoteFile(int device_id, void* descriptor152) {
    if (descriptor152 == nullptr) return 0;
    return ZYN_SERVED(device_id, dev->DownRemoteFile(descriptor152));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlayContorl(int device_id, int word) {
    return Guard(0, [&] {
        return R().WithServedLocked(device_id, [&](CServedDevice& dev) {
            return dev.GetType() == zyn::kTypeVideoPltDevice ? dev.PlayContorl(word) : 0;
        });
    });
}

// ---- parameter groups ---------------------------------------------------------

#define ZYN_PARAM_PAIR(Name, group)                                                       \
    ZYNVS_API int ZYNVS_CALL ZYNVS_Get##Name##Param(int device_id, int channel, void* r) { \
        return GetParam(device_id, group, channel, r);                                     \
    }                                                                                      \
    ZYNVS_API int ZYNVS_CALL ZYNVS_Set##Name##Param(int device_id, int channel, void* r) { \
        return SetParam(device_id, group, channel, r);                                     \
    }
#define ZYN_PARAM_PAIR_NO_CHANNEL(Name, group)                                   \
    ZYNVS_API int ZYNVS_CALL ZYNVS_Get##Name##Param(int device_id, void* r) {     \
        return GetParam(device_id, group, 0, r);                                  \
    }                                                                             \
    ZYNVS_API int ZYNVS_CALL ZYNVS_Set##Name##Param(int device_id, void* r) {     \
        return SetParam(device_id, group, 0, r);                                  \
    }

ZYN_PARAM_PAIR_NO_CHANNEL(Base, ParamGroup::kBase)
ZYN_PARAM_PAIR(Video, ParamGroup::kVideo)
ZYN_PARAM_PAIR(Audio, ParamGroup::kAudio)
ZYN_PARAM_PAIR(RS, ParamGroup::kRs)
ZYN_PARAM_PAIR(Motion, ParamGroup::kMotion)
ZYN_PARAM_PAIR(Sensor, ParamGroup::kSensor)
ZYN_PARAM_PAIR(Mask, ParamGroup::kMask)
ZYN_PARAM_PAIR(VLoss, ParamGroup::kVLoss)
ZYN_PARAM_PAIR(Record, ParamGroup::kRecord)
ZYN_PARAM_PAIR_NO_CHANNEL(Network, ParamGroup::kNetwork)
ZYN_PARAM_PAIR(Pan, ParamGroup::kPan)
ZYN_PARAM_PAIR(Capture, ParamGroup::kCapture)
// Wifi takes an ignored word; the 3G/FTP/mail setters ignore theirs (the
// table says which requests carry a channel prefix).
ZYN_PARAM_PAIR(Wifi, ParamGroup::kWifi)
ZYN_PARAM_PAIR(3G, ParamGroup::k3G)
ZYN_PARAM_PAIR(Ftp, ParamGroup::kFtp)
ZYN_PARAM_PAIR(Mail, ParamGroup::kMail)

ZYNVS_API int ZYNVS_CALL ZYNVS_SetDefaultParam(int device_id, int word) {
    return ZYN_SERVED(device_id, dev->SetDefaultParam(word));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_GetMotionParamEx(int device_id, int first, int second) {
    return ZYN_T4(device_id, dev->ParamEx(0, first, second));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_SetMotionParamEx(int device_id, int first, int second) {
    return ZYN_T4(device_id, dev->ParamEx(1, first, second));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_GetRSParamEx(int device_id, int first, int second) {
    return ZYN_T4(device_id, dev->ParamEx(2, first, second));
}
ZYNVS_API int ZYNVS_CALL ZYNVS_SetRSParamEx(int device_id, int first, int second) {
    return ZYN_T4(device_id, dev->ParamEx(3, first, second));
}

}  // extern "C"
