/* AntsNetSDK (libAntsNetSDK.so): the ANTS recorders' network library, by
 * name. Handles: login handles and play handles are positive; 0 or a
 * negative value is failure. Other calls return non-zero on success.
 * Callbacks run on the library's threads; pointers are valid only during the
 * call. */
#pragma once
#include <stdint.h>

#ifdef __cplusplus
#include <memory>
extern "C" {
#endif

#pragma pack(push, 1)
/* Filled by login (80 bytes). */
typedef struct ANTS_DEVICEINFO {
    char serial[48];
    uint8_t alarm_in_count;
    uint8_t alarm_out_count;
    uint8_t disk_count;
    uint8_t dvr_type;
    uint8_t channel_count;
    uint8_t start_channel;
    uint8_t reserved[26];
} ANTS_DEVICEINFO;

/* Live-view request: channel from 1; link mode: top bit = sub stream. */
typedef struct ANTS_CLIENTINFO {
    int32_t channel;
    uint32_t link_mode;
    uint64_t window; /* native window id, 0: none */
    char multicast_ip[16];
} ANTS_CLIENTINFO;
#pragma pack(pop)

/* Device message (0x1100 an alarm: ANTS_ALARMINFO); `user` as registered. */
typedef void (*ANTS_MessageCallback)(int command, int login_handle, const char* data, int length,
                                     void* user);
/* Exception (0x9000: the connection to the device is lost). */
typedef void (*ANTS_ExceptionCallback)(int message, int exception, int handle, void* user);
/* Live data: type 1 header, 2 stream data. The emulation's stream data is
 * one raw picture per call: 16-bit width, 16-bit height, 32-bit frame
 * number, then width*height grey bytes. */
typedef void (*ANTS_DataCallback)(int play_handle, int type, const uint8_t* data, int length,
                                  void* user);
/* Drawing on a play's picture (the emulation passes no device context). */
typedef void (*ANTS_DrawCallback)(int play_handle, void* dc, void* user);
typedef void (*ANTS_VoiceCallback)(int voice_handle, const char* data, int length, int flag,
                                   void* user);

#pragma pack(push, 1)
/* Payload of message 0x1100 (alarm). */
typedef struct ANTS_ALARMINFO {
    int32_t alarm_type; /* 0 sensor, 2 video loss, 3 motion, 6 tampering, 9 ... */
    int32_t alarm_input;
    int32_t channel[16];
} ANTS_ALARMINFO;
#pragma pack(pop)

#define ANTS_MESSAGE_ALARM 0x1100
#define ANTS_EXCEPTION_DISCONNECTED 0x9000

/* The calls, as pointer types (the library exports these names). */
#define ANTS_NET_SDK_CALLS(X)                                                                     \
    X(int, ANTS_NET_DVR_Login,                                                                    \
      (const char* ip, uint16_t port, const char* user, const char* password,                     \
       ANTS_DEVICEINFO* info))                                                                    \
    X(int, ANTS_NET_DVR_Logout, (int login_handle))                                               \
    X(int, ANTS_NET_DVR_SetReconnect, (int interval_s, int enable))                               \
    X(int, ANTS_NET_DVR_SetDVRMessageCallBack, (ANTS_MessageCallback cb, void* user))             \
    X(int, ANTS_NET_DVR_SetExceptionCallBack,                                                     \
      (int message, uint64_t window, ANTS_ExceptionCallback cb, void* user))                      \
    X(int, ANTS_NET_DVR_RealPlay,                                                                 \
      (int login_handle, const ANTS_CLIENTINFO* info, ANTS_DataCallback cb, void* user))          \
    X(int, ANTS_NET_DVR_SetStandardDataCallBack,                                                  \
      (int play_handle, ANTS_DataCallback cb, void* user))                                        \
    X(int, ANTS_NET_DVR_MakeKeyFrame, (int login_handle, int channel))                            \
    X(int, ANTS_NET_DVR_MakeKeyFrameSub, (int login_handle, int channel))                         \
    X(int, ANTS_NET_DVR_StopRealPlay, (int play_handle))                                          \
    X(int, ANTS_NET_DVR_Volume, (int play_handle, int volume))                                    \
    X(int, ANTS_NET_DVR_OpenSoundShare, (int play_handle))                                        \
    X(int, ANTS_NET_DVR_CloseSoundShare, (int play_handle))                                       \
    X(int, ANTS_NET_DVR_CapturePicture, (int play_handle, const char* path))                      \
    X(int, ANTS_NET_DVR_RestoreConfig, (int login_handle))                                        \
    X(int, ANTS_NET_DVR_PTZControl_EX, (int play_handle, int command, int stop))                  \
    X(int, ANTS_NET_DVR_PTZControlWithSpeed, (int play_handle, int command, int stop, int speed)) \
    X(int, ANTS_NET_DVR_PTZPreset_EX, (int play_handle, int command, int preset))                 \
    X(int, ANTS_NET_DVR_PTZTrack_EX, (int play_handle, int command))                              \
    X(int, ANTS_NET_DVR_StartVoiceCom, (int login_handle, ANTS_VoiceCallback cb, void* user))     \
    X(int, ANTS_NET_DVR_SetVoiceComClientVolume, (int voice_handle, int volume))                  \
    X(int, ANTS_NET_DVR_StopVoiceCom, (int voice_handle))                                         \
    X(int, ANTS_NET_DVR_RebootDVR, (int login_handle))                                            \
    X(int, ANTS_NET_DVR_GetDVRConfig,                                                             \
      (int login_handle, int command, int channel, void* buffer, int size, int* returned))        \
    X(int, ANTS_NET_DVR_SetDVRConfig,                                                             \
      (int login_handle, int command, int channel, const void* buffer, int size))                 \
    X(int, ANTS_NET_DVR_GetRtspConfig, (int login_handle, void* buffer, int size))                \
    X(int, ANTS_NET_DVR_SetRtspConfig, (int login_handle, const void* buffer, int size))          \
    X(int, ANTS_NET_DVR_ClientSetVideoEffect, (int play_handle, int v1, int v2, int v3, int v4))  \
    X(int, ANTS_NET_DVR_ClientGetVideoEffect,                                                     \
      (int play_handle, int* v1, int* v2, int* v3, int* v4))                                      \
    X(int, ANTS_NET_DVR_RigisterDrawFun, (int play_handle, ANTS_DrawCallback cb, void* user))     \
    X(int, ANTS_NET_DVR_RigisterDrawFunEx, (int play_handle, ANTS_DrawCallback cb, void* user))   \
    X(int, ANTS_NET_DVR_FormatDisk, (int login_handle, int disk))                                 \
    X(int, ANTS_NET_DVR_GetFormatProgress,                                                        \
      (int format_handle, int* current_disk, int* progress, int* state))                          \
    X(int, ANTS_NET_DVR_CloseFormatHandle, (int format_handle))                                   \
    X(int, ANTS_NET_DVR_ExpandDisk, (int login_handle, int disk))                                 \
    X(int, ANTS_NET_DVR_GetExpandProgress, (int expand_handle))                                   \
    X(int, ANTS_NET_DVR_CloseExpandHandle, (int expand_handle))                                   \
    X(int, ANTS_NET_DVR_SetNetworkEnvironment, (int environment))                                 \
    X(int, ANTS_NET_DVR_Upgrade, (int login_handle, const char* path))                            \
    X(int, ANTS_NET_DVR_AdapterUpgrade, (int login_handle, const char* path))                     \
    X(int, ANTS_NET_DVR_GetUpgradeState, (int upgrade_handle))                                    \
    X(int, ANTS_NET_DVR_GetUpgradeProgress, (int upgrade_handle))                                 \
    X(int, ANTS_NET_DVR_CloseUpgradeHandle, (int upgrade_handle))                                 \
    X(int, ANTS_NET_DVR_GetDeviceAbility,                                                         \
      (int login_handle, int ability, const void* in, int in_size, void* out, int out_size))      \
    X(int, ANTS_NET_DVR_GetIPCProtoList, (int login_handle, void* buffer, int size))              \
    X(int, ANTS_NET_DVR_SearchDeviceOnLAN,                                                        \
      (int login_handle, int a, int b, void* buffer, int entries, int* count))

#define ANTS_DECLARE_TYPE(ret, name, args) typedef ret(*name##_t) args;
ANTS_NET_SDK_CALLS(ANTS_DECLARE_TYPE)
#undef ANTS_DECLARE_TYPE

#ifdef __cplusplus
}

namespace vendors {
// The library's calls, resolved once; a missing call stays null.
struct AntsNetSdk {
#define ANTS_DECLARE_MEMBER(ret, name, args) name##_t name = nullptr;
    ANTS_NET_SDK_CALLS(ANTS_DECLARE_MEMBER)
#undef ANTS_DECLARE_MEMBER
    // The library loaded through VendorLibrary ("AntsNetSDK"); nullptr when
    // it is missing. The same object on every call.
    static std::shared_ptr<const AntsNetSdk> Load();
};
}  // namespace vendors
#endif
