// CVideoDevice: the base of every object the device registry holds. It carries
// identity, the registry's state word, the request/reply machinery of the
// control connection, the stored login record, the name and per-channel flags.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "decodekit/core/reply_event.h"
#include "zynvs/ZynDecodeKit.h"

class CDeviceManage;

namespace zyn {
constexpr int kMaxChannels = 4;
constexpr std::size_t kReplySlotBytes = 1400;
constexpr unsigned kDefaultReplyTimeoutMs = 3000;

// Device types, as GetType reports them.
enum DeviceType : int {
    kTypeVideoServer = 1,
    kTypeVexora = 2,
    kTypeUserClient = 3,
    kTypeVideoPltDevice = 4,
    kTypeRecordClient = 5,
    kTypeStreamClient = 6,
};

// Registry state word.
enum DeviceState : int {
    kStateActive = 0,
    kStateRemoving = 1,
    kStateLoginFailed = 2,
    kStateLoggingOut = 3,
};

// A copy of the reply slot taken under its lock.
struct ReplySnapshot {
    uint16_t command = 0;
    uint16_t length = 0;
    uint16_t result = 0xFFFF;  // first payload word; 0 = success
    uint8_t payload[kReplySlotBytes] = {};
};
}  // namespace zyn

class CVideoDevice {
public:
    explicit CVideoDevice(CDeviceManage* registry);
    virtual ~CVideoDevice();
    CVideoDevice(const CVideoDevice&) = delete;
    CVideoDevice& operator=(const CVideoDevice&) = delete;

    virtual int GetDeviceId() { return login_record_.device_id; }
    virtual int GetType() = 0;
    virtual void KeepAlive() = 0;

    // Registry state word (written only by the registry).
    int State() const { return state_.load(); }
    void SetState(int state) { state_.store(state); }

    // Stores the name: NULL refused (0); at most 63 characters, longer text is
    // cut. Returns 1.
    int SetDeviceName(const char* name);
    void GetDeviceName(char out[64]);

    // Per-channel flags: channels above 3 read 0 and ignore writes.
    int VideoFlag(int channel) const;
    void SetVideoFlag(int channel, int value);
    int SoundFlag(int channel) const;
    void SetSoundFlag(int channel, int value);
    int TalkFlag() const { return talk_flag_.load(); }
    void SetTalkFlag(int value) { talk_flag_.store(value); }
    int ScreenSaverFlag() const { return screen_saver_flag_.load(); }
    void SetScreenSaverFlag(int value) { screen_saver_flag_.store(value); }

    int LoggedIn() const { return logged_in_.load(); }
    int Busy() const { return busy_.load(); }
    unsigned ReplyTimeoutMs() const { return reply_timeout_ms_.load(); }
    // Tests: how long a reply is waited for (and a relayed request kept).
    void set_reply_timeout_ms(unsigned ms) { reply_timeout_ms_.store(ms); }

    // Copies the 136-byte record (used by login and by ZYNVS_AddDevice).
    void SetLoginRecord(const DeviceLoginInfo& record);
    DeviceLoginInfo LoginRecord();

    CDeviceManage* Registry() const { return registry_; }

protected:
    // Holds the busy flag for one request: taken at construction when `allowed`
    // and free, given back when the scope ends (or at Release).
    class RequestScope {
    public:
        RequestScope(CVideoDevice& device, bool allowed)
            : device_(device), held_(allowed && device.TryBeginRequest()) {}
        ~RequestScope() { Release(); }
        RequestScope(const RequestScope&) = delete;
        RequestScope& operator=(const RequestScope&) = delete;
        explicit operator bool() const { return held_; }
        void Release() {
            if (held_) device_.EndRequest();
            held_ = false;
        }

    private:
        CVideoDevice& device_;
        bool held_;
    };

    // Request machinery. TryBeginRequest atomically sets the busy flag (0 when
    // it was already set) and resets the reply event.
    bool TryBeginRequest();
    void EndRequest() { busy_.store(0); }
    bool WaitReply(unsigned timeout_ms) { return reply_event_.Wait(timeout_ms); }

    // MessageCallback of the registry for this device; the channel form
    // carries the channel number as decimal text in 4 bytes.
    void FireMessage(int message, const void* data, int length);
    void FireChannelMessage(int message, int channel);

    // Reply slot, written by the message handler (then it wakes the request).
    void StoreReply(uint16_t command, const uint8_t* payload, std::size_t length);
    void StoreReplyCommand(uint16_t command);
    void WakeRequest() { reply_event_.Set(); }
    zyn::ReplySnapshot TakeReply();

    CDeviceManage* const registry_;
    zyn::ReplyEvent reply_event_;
    std::atomic<int> busy_{0};
    std::atomic<int> logged_in_{0};
    std::atomic<int> state_{zyn::kStateActive};
    uint16_t session_word_ = 0;  // second header word of every message
    std::atomic<uint8_t> keepalive_misses_{0};
    std::atomic<unsigned> reply_timeout_ms_{zyn::kDefaultReplyTimeoutMs};

    std::mutex reply_mutex_;  // guards the reply slot
    uint16_t reply_command_ = 0;
    uint8_t reply_payload_[zyn::kReplySlotBytes] = {};
    uint16_t reply_length_ = 0;

    std::mutex record_mutex_;  // guards login_record_ and device_name_
    DeviceLoginInfo login_record_{};
    char device_name_[64] = {};

    std::atomic<uint8_t> video_flags_[zyn::kMaxChannels] = {};
    std::atomic<uint8_t> sound_flags_[zyn::kMaxChannels] = {};
    std::atomic<int> talk_flag_{0};
    std::atomic<int> screen_saver_flag_{0};
};

// The operations that devices of types 1 and 4 serve through the per-device
// exports. Every operation answers 0 unless the device class provides it.
class CServedDevice : public CVideoDevice {
public:
    using CVideoDevice::CVideoDevice;

    virtual int Login(const DeviceLoginInfo* /*record*/) { return 0; }
    virtual int Logout(int /*notify*/) { return 0; }

    virtual int ShowPlay(int /*channel*/) { return 0; }
    virtual int HidePlay(int /*channel*/) { return 0; }
    virtual int RealPlay(const ClientInfo* /*info*/) { return 0; }
    virtual int RealPlayData(const ClientInfo* /*info*/) { return 0; }
    virtual int RequestAllStreams(int /*kind*/) { return 0; }
    virtual int StopRealPlayEx(int /*channel*/, int /*kind*/, int /*final_stop*/) { return 0; }
    virtual int StopRealPlay(int /*channel*/, int /*final_stop*/) { return 0; }
    virtual int SetStreamType(int /*channel*/, int /*sub*/) { return 0; }
    virtual int ChangeWindow(int /*channel*/, ZYNVS_WND /*window*/, int /*flag*/) { return 0; }
    virtual int SetVolume(int /*channel*/, int /*volume*/) { return 0; }
    virtual int SetMute(int /*channel*/, int /*mute*/) { return 0; }
    virtual int OpenSoundVoice(int /*channel*/, int /*flag*/) { return 0; }
    virtual int OpenSound(int /*channel*/) { return 0; }
    virtual int CloseSound(int /*channel*/, int /*final_stop*/) { return 0; }
    virtual int CapturePicture(int /*channel*/, const char* /*path*/) { return 0; }
    virtual int SetSrcRect(int /*channel*/, ZYNVS_RECT* /*rect*/) { return 0; }
    virtual int GetSrcRect(int /*channel*/, ZYNVS_RECT* /*rect*/) { return 0; }
    virtual int RegisterDrawOSD(DrawOSDCallback /*callback*/, void* /*user*/) { return 0; }
    virtual int StartTalk() { return 0; }
    virtual int SetTalkVolume(int /*volume*/) { return 1; }
    virtual int StopTalk(int /*final_stop*/) { return 0; }
    virtual int QueryRecInfo(const void* /*query*/, RecordInfoCallback /*cb*/, void* /*user*/) {
        return 0;
    }
    virtual int PlayRecInfo(const void* /*descriptor*/) { return 0; }
    virtual int DownRemoteFile(const void* descriptor) { return PlayRecInfo(descriptor); }
    virtual int PTZControl(int /*channel*/, int /*command*/, int /*speed*/, int /*extra*/) {
        return 0;
    }
    virtual int TransInfo(int /*command*/, int /*expected_reply*/, const void* /*data*/,
                          int /*length*/, int /*wait*/, void* /*reply_buffer*/, int /*buffer_size*/,
                          int /*timeout_ms*/) {
        return -1;
    }
    virtual int SerialSend(int /*port*/, const void* /*data*/, int /*length*/) { return 0; }
    virtual int RebootDevice() { return 0; }
    // The parameter family (group table in zynvs/wire/param_groups.h).
    virtual int GetParam(int /*group*/, int /*channel*/, void* /*record*/) { return 0; }
    virtual int SetParam(int /*group*/, int /*channel*/, const void* /*record*/) { return 0; }
    virtual int SetDefaultParam(int /*word*/) { return 0; }
    virtual int ResetParam() { return 0; }
    virtual int ParamEx(int /*which*/, int /*first*/, int /*second*/) { return 0; }
    virtual int ClearAlarm(int /*channel*/, const void* /*record*/) { return 0; }
    virtual int StartRemoteManRecord(int /*ignored*/, const void* /*record*/) { return 0; }
    virtual int StopRemoteManRecord(int /*ignored*/, const void* /*record*/) { return 0; }
    virtual int UpdateRequest(int /*ignored*/, const void* /*record*/) { return 0; }
    virtual int UpdateFile(int /*ignored*/, const void* /*header*/, const void* /*data*/) {
        return 0;
    }
    virtual int StartLoclRecord(int /*channel*/, const char* /*path*/, int /*mode*/) { return 0; }
    virtual int StopLoclRecord(int /*channel*/) { return 0; }
    virtual int MakeKeyFrame(int /*channel*/) { return 0; }
    virtual int PlayContorl(int /*word*/) { return 0; }
};
