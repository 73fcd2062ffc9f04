// The device the configuration control talks to, whatever its protocol.
//
// CDevice keeps the connection data of one device in a DeviceLoginRecord and
// declares every operation the control's window and pages use; one subclass
// per protocol implements them on a vendor library (zyn_device.h,
// ants_device.h, langchi_device.h, qv_device.h). The order of the virtual
// operations is the order of the interface's slots and must not change.
//
// Results: own-protocol, LangChi and ANTS operations return non-zero on
// success; QV configuration operations return 0 on success. An operation a
// protocol has nothing for returns 0 (queries) or 1 (the "ok" stubs). A
// device that is not logged in answers channel operations with 0 without
// calling its vendor.
//
// Threads: a device is used from the control's thread. Vendor callbacks arrive
// on vendor threads and touch only the device: the buffer table under its
// lock, the event callback through its slot, the logged-in flag (atomic).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <mutex>

#include "renderkit/callback_slot.h"
#include "zynvs/zynvs_records.h"

namespace configctrl {

// Device types (the control's iType).
constexpr int kDeviceTypeZyn = 1;
constexpr int kDeviceTypeLangChi = 2;
constexpr int kDeviceTypeAnts = 3;
constexpr int kDeviceTypeQv = 10;

constexpr int kMaxChannels = 32;
constexpr int kSessionBlockBytes = 504;
constexpr int kStreamInfoBytes = 16;
constexpr int kBufferTableEntries = 1024;

#pragma pack(push, 1)
// Connection data of one device (2364 bytes, little-endian). The first 136
// bytes are the SDK's DeviceLoginInfo and go to ZYNVS_Login as they stand.
struct DeviceLoginRecord {
    DeviceLoginInfo login;          // 0
    uint8_t stream_info[16];        // 136: four 32-bit values
    char device_name[64];           // 152
    char channel_names[32][64];     // 216
    uint8_t channel_state[32];      // 2264
    uint8_t channel_play_flag[32];  // 2296: cleared when live video stops
    uint8_t channel_third[32];      // 2328
    int32_t user_value;             // 2360
};
#pragma pack(pop)

static_assert(sizeof(DeviceLoginInfo) == 136);
static_assert(sizeof(DeviceLoginRecord) == 2364);
static_assert(offsetof(DeviceLoginRecord, login) == 0);
static_assert(offsetof(DeviceLoginRecord, login.device_id) == 0);
static_assert(offsetof(DeviceLoginRecord, login.reserved0) == 4);  // unit number
static_assert(offsetof(DeviceLoginRecord, login.channel_count) == 8);
static_assert(offsetof(DeviceLoginRecord, login.control_address) == 12);
static_assert(offsetof(DeviceLoginRecord, login.stream_address) == 44);  // host name
static_assert(offsetof(DeviceLoginRecord, login.control_port) == 76);
static_assert(offsetof(DeviceLoginRecord, login.stream_port) == 78);  // second port
static_assert(offsetof(DeviceLoginRecord, login.user_name) == 80);
static_assert(offsetof(DeviceLoginRecord, login.password) == 88);
static_assert(offsetof(DeviceLoginRecord, login.control_transport) == 96);
static_assert(offsetof(DeviceLoginRecord, login.stream_transport) == 97);
static_assert(offsetof(DeviceLoginRecord, login.online) == 98);
static_assert(offsetof(DeviceLoginRecord, login.reserved1) == 99);  // option byte
static_assert(offsetof(DeviceLoginRecord, login.device_kind) == 100);
static_assert(offsetof(DeviceLoginRecord, login.platform_data) == 104);
static_assert(offsetof(DeviceLoginRecord, stream_info) == 136);
static_assert(offsetof(DeviceLoginRecord, device_name) == 152);
static_assert(offsetof(DeviceLoginRecord, channel_names) == 216);
static_assert(offsetof(DeviceLoginRecord, channel_state) == 2264);
static_assert(offsetof(DeviceLoginRecord, channel_play_flag) == 2296);
static_assert(offsetof(DeviceLoginRecord, channel_third) == 2328);
static_assert(offsetof(DeviceLoginRecord, user_value) == 2360);

// Device events (alarms, lost connections) reach the host through this
// callback, on vendor threads: 1027 with a 24-byte AlarmEventRecord, 4 with
// a channel number as decimal text, 2 with no data. The callback notifies and
// returns; it must not call back into the device.
using DeviceEventCallback = void (*)(int device_id, int event, const void* data, int length,
                                     void* user);
constexpr int kEventAlarm = 1027;
constexpr int kEventStreamLost = 4;
constexpr int kEventConnectionLost = 2;

#pragma pack(push, 1)
struct AlarmEventRecord {
    int32_t device_id;  // 0
    uint16_t year;      // 4
    uint8_t month;      // 6
    uint8_t day;        // 7
    uint8_t hour;       // 8
    uint8_t minute;     // 9
    uint8_t second;     // 10
    uint8_t reserved0;  // 11
    int32_t kind;       // 12: 1 motion, 2 sensor, 3 video loss / tampering, 0 other
    uint8_t reserved1[8];
};
#pragma pack(pop)
static_assert(sizeof(AlarmEventRecord) == 24);
static_assert(offsetof(AlarmEventRecord, kind) == 12);

// Live pictures that a vendor library hands to the device (the emulated
// libraries do; a real library draws into the window given to RealPlay):
// the channel and the picture (16-bit width, 16-bit height, 32-bit frame
// number, then width * height grey values, little-endian), valid only
// during the call, on vendor threads. The callback notifies and returns; it
// must not call back into the device.
using DevicePictureCallback = void (*)(int ch, const uint8_t* data, int length, void* user);

// Copies `text` into a field of `field_bytes`: whole with its terminator when
// shorter than the field, else its first field_bytes - 1 bytes and a 0.
// A null text stores an empty string.
void CopyTextField(char* field, size_t field_bytes, const char* text);

class CDevice {
public:
    CDevice(const CDevice&) = delete;
    CDevice& operator=(const CDevice&) = delete;

    virtual ~CDevice();
    virtual int SetDisplayName(const char* text);
    virtual int SetDeviceId(int id);
    virtual const char* GetTag();
    virtual int SetTag(const char* text);
    virtual int SetSessionBlock(const void* block504);
    virtual const char* GetNote();
    virtual int SetOnline(int flag);
    virtual int LoadRecord(std::FILE* file);
    virtual int SaveRecord(std::FILE* file);
    virtual int GetUserValue();
    virtual int SetUserValue(int value);
    virtual const char* GetDeviceName();
    virtual int SetDeviceName(const char* text);
    virtual const char* GetLabel();
    virtual int SetLabel(const char* text);
    virtual int GetChannelCount();
    virtual int SetChannelCount(int count);
    virtual const uint8_t* GetStreamInfo();
    virtual int SetStreamInfo(const void* info16);
    virtual const char* GetChannelName(int ch);
    virtual int SetChannelName(int ch, const char* text);
    virtual int GetChannelState(int ch);
    virtual int SetChannelState(int ch, int value);
    virtual int GetChannelPlayFlag(int ch);
    virtual int SetChannelPlayFlag(int ch, int value);
    virtual int GetChannelThird(int ch);
    virtual int SetChannelThird(int ch, int value);
    virtual int SetUnitNumber(int number);
    virtual int GetUnitNumber();  // the slot that returns a field
    virtual const char* GetAddress();
    virtual int SetAddress(const char* text);
    virtual const char* GetHostName();
    virtual int SetHostName(const char* text);
    virtual int GetPort();
    virtual int SetPort(int port);
    virtual int GetSecondPort();
    virtual int SetSecondPort(int port);
    virtual const char* GetUserName();
    virtual int SetUserName(const char* text);
    virtual const char* GetPassword();
    virtual int SetPassword(const char* text);
    virtual int GetOptionByte();
    virtual int SetOptionByte(int value);

    virtual int Login();
    virtual int Logout(int flag);
    virtual int ShowPlay(int ch);
    virtual int HidePlay(int ch);
    // window: the native window id (0: no display); option: display flag;
    // substream: 1 for the sub stream.
    virtual int RealPlay(int ch, uintptr_t window, int option, int substream);
    virtual int StopRealPlayEx(int ch, int stream_kind);
    virtual int StopRealPlay(int ch);
    virtual int SetStreamType(int ch, int sub);
    virtual int ChangeWindow(int ch, uintptr_t window, int display_flag);
    virtual int SetVolume(int ch, int volume);
    virtual int SetMute(int ch, int mute);
    virtual int OpenSoundVoice(int ch, int flag);
    virtual int Reserved1();
    virtual int OpenSound(int ch);
    virtual int CloseSound(int ch);
    virtual int CapturePicture(int ch, const char* path);
    // Group numbers of the control (zyn_device.h lists them); buffer holds
    // the group's record.
    virtual int GetParam(int ch, int group, void* buffer);
    virtual int SetParam(int ch, int group, void* buffer);
    virtual int RestoreDefault(int a, int b);
    // command: at least three bytes (command, parameter, speed).
    virtual int PTZControl(int ch, const uint8_t* command);
    virtual int StartTalk();
    virtual int SetTalkVolume(int volume);
    virtual int StopTalk();
    virtual int Reboot();
    virtual int GetLog(int a);
    virtual int ResetParam();
    virtual int WaitReply();
    virtual int SignalReply();
    virtual int GetReplyValue();
    virtual int UpdateRequest(int a, void* request72);
    virtual int UpdateFile(int a, void* chunk_header, void* chunk_data);
    virtual int SetSrcRect(int a, int b, void* rect);
    virtual int GetSrcRect(int a, int b, void* rect);
    virtual int ClearAlarm(int a, int b, void* record);
    virtual int StartRemoteManRecord(int a, int b, void* record);
    virtual int StopRemoteManRecord(int a, int b, void* record);
    virtual int Reserved2();
    virtual int StartLocalRecord(int ch, const char* path, int mode);
    virtual int StopLocalRecord(int ch);

    // Not virtual: the same for every protocol.
    int type() const { return type_; }
    int device_id() const { return device_id_; }
    bool logged_in() const { return logged_in_.load() != 0; }
    const DeviceLoginRecord& record() const { return record_; }
    // The event callback (null removes it); see DeviceEventCallback. When it
    // returns, a replaced callback is not running.
    void SetEventCallback(DeviceEventCallback callback, void* user);
    // The picture callback (null removes it); one for all channels. When it
    // returns, a replaced callback is not running.
    void SetPictureCallback(DevicePictureCallback callback, void* user);
    // The buffer table: entry `index` takes a copy of `bytes` bytes and a
    // value; false for an index outside the table or after destruction began.
    bool SetBufferEntry(int index, const void* data, size_t bytes, int value);
    int BufferEntryValue(int index);

protected:
    explicit CDevice(int type);
    // Hands an event to the event callback, when one is set.
    void EmitEvent(int event, const void* data, int length);
    // Hands a live picture of `ch` to the picture callback, when one is set.
    void EmitPicture(int ch, const uint8_t* data, int length);
    bool ChannelOk(int ch) const { return logged_in() && ch >= 0 && ch < kMaxChannels; }
    void set_logged_in(bool on) { logged_in_.store(on ? 1 : 0); }

    const int type_;
    int unit_number_ = 0;
    std::atomic<int> logged_in_{0};
    char display_name_[32] = {};
    char tag_[32] = {};
    char display_name_copy_[32] = {};
    char label_[32] = {};
    char note_[32] = {};

    struct BufferEntry {
        uint8_t* data = nullptr;
        int32_t value = 0;
    };
    std::mutex buffers_mu_;
    BufferEntry buffers_[kBufferTableEntries];  // guarded by buffers_mu_
    bool closed_ = false;                       // guarded by buffers_mu_

    int device_id_ = 0;
    DeviceLoginRecord record_{};

private:
    renderkit::CallbackSlot<DeviceEventCallback> event_callback_;
    renderkit::CallbackSlot<DevicePictureCallback> picture_callback_;
};

// The device object for a control type: 1 own protocol, 2 LangChi, 3 ANTS,
// 10 QV; nullptr for any other type.
std::unique_ptr<CDevice> CreateDevice(int type);

}  // namespace configctrl
