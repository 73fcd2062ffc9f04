// CVideoServer (type 1): a device reached directly over the network. Its
// control connection carries login, keep-alive, requests and replies; its
// stream connection carries live video and audio fragments (and talk audio
// the other way).
//
// Threads: application threads enter through the exports; Linkcore's I/O
// threads run OnControlMessage and OnStreamMessage; the housekeeping thread
// runs KeepAlive. One request is outstanding at a time (the busy flag).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "decodekit/core/media_device.h"
#include "decodekit/core/record_listing.h"
#include "decodekit/core/video_device.h"
#include "zynvs/ZynDecodeKit.h"

class CClient;
class CPlayVideo;
class CPlayAudio;
class CTalk;
class CAviFile;
struct RenderVideoStats;
struct RenderAudioStats;

namespace zyn {
constexpr std::size_t kFrameBufferBytes = 2048000;
constexpr int kMissLimitTicks = 10;     // lost after more than this many ticks
constexpr int kStallLimitTicks = 20;    // a channel stalls after more than this
constexpr int kClockEveryTicks = 1800;  // device clock is set this often
constexpr unsigned kRecordFileWaitMs = 6000;
constexpr std::size_t kSerialMaxBytes = 1396;
constexpr std::size_t kTalkMaxBytes = 1376;
constexpr std::size_t kUpgradeChunkMaxBytes = 1020;

// Live-path counters of one channel (our additions, for tools and tests).
// The two connections of a device.
enum class Link { kControl, kStream };
// Makes the client of a connection for a transport (0 TCP, 1 UDP, 2
// multicast); null for a transport the link does not take. Tests may put
// scripted clients in place of Linkcore's.
using TransportFactory = std::function<std::unique_ptr<CClient>(Link link, int transport)>;
TransportFactory LinkcoreTransports();
// The stream request of a live-view open, from the caller's ClientInfo.
StreamRequest StreamRequestFrom(const ClientInfo& info);
}  // namespace zyn

class CVideoServer : public CMediaDevice {
public:
    CVideoServer(CDeviceManage* registry, int channel_count,
                 zyn::TransportFactory transports = zyn::LinkcoreTransports());
    ~CVideoServer() override;

    int GetType() override { return zyn::kTypeVideoServer; }
    void KeepAlive() override;

    // Session.
    int Login(const DeviceLoginInfo* record) override;
    int Logout(int notify) override;

    // Live stream.
    int ShowPlay(int channel) override;
    int HidePlay(int channel) override;
    int RealPlay(const ClientInfo* info) override;
    int RealPlayData(const ClientInfo* info) override;
    int RequestAllStreams(int kind) override;
    int StopRealPlayEx(int channel, int kind, int final_stop) override;
    int StopRealPlay(int channel, int final_stop) override;
    int SetStreamType(int channel, int sub) override;
    int ChangeWindow(int channel, ZYNVS_WND window, int flag) override;
    int OpenSoundVoice(int channel, int flag) override;
    int OpenSound(int channel) override;
    int CloseSound(int channel, int final_stop) override;
    int RegisterDrawOSD(DrawOSDCallback callback, void* user) override;

    // Commands.
    int StartTalkPlain();
    int StartTalk() override;
    int StopTalk(int final_stop) override;
    int QueryRecInfo(const void* query, RecordInfoCallback cb, void* user) override;
    int PlayRecInfo(const void* descriptor) override;
    int PTZControl(int channel, int command, int speed, int extra) override;
    int TransInfo(int command, int expected_reply, const void* data, int length, int wait,
                  void* reply_buffer, int buffer_size, int timeout_ms) override;
    int SerialSend(int port, const void* data, int length) override;
    int RebootDevice() override;
    int GetParam(int group, int channel, void* record) override;
    int SetParam(int group, int channel, const void* record) override;
    int SetDefaultParam(int word) override;
    int ResetParam() override;
    int ClearAlarm(int channel, const void* record) override;
    int StartRemoteManRecord(int ignored, const void* record) override;
    int StopRemoteManRecord(int ignored, const void* record) override;
    int UpdateRequest(int ignored, const void* record) override;
    int UpdateFile(int ignored, const void* header, const void* data) override;
    int MakeKeyFrame(int channel) override;

    // Stream message handlers.
    void OnVideoData(uint8_t* payload, int length);
    void OnAudioData(const uint8_t* payload, int length);

    // Tests and tools: moves the clock counter (ticks since the device clock
    // was last set), so that the hourly clock set can be seen at once.
    void SetClockTicks(int ticks) { clock_counter_.store(ticks); }
    int ClockTicks() const { return clock_counter_.load(); }
    // Tests and tools: counters of a channel's audio player.
    void AudioPlayerStats(int channel, RenderAudioStats* out);
    // Extended device information of the last 0x8588 login answer.
    void ExtendedInfo(uint8_t out[504]);

private:
    struct Channel;

    zyn::ChannelMedia& Media(int channel) const override;
    int RecordAudioFormat() const override { return talk_format_[1].load(); }

    // Connections. Control() and Stream() give the client (null before the
    // first open); the objects live as long as the device.
    CClient* Control();
    CClient* Stream();
    int OpenControl();
    int OpenStream(int channel);
    bool StreamConnected();
    void CloseStream();
    void CloseControl();
    // Sends the bind (0x0202) with the stream key of a stream reply on the
    // stream connection, unless the stream is multicast; closes the stream
    // connection when the send fails.
    void BindStream(const zyn::ReplySnapshot& stream_reply);
    void SendKeyFrameRequest(int channel);
    static int ControlThunk(int kind, int id, uint16_t command, uint16_t second,
                            const uint8_t* payload, uint16_t length, void* user);
    static int StreamThunk(int kind, int id, uint16_t command, uint16_t second,
                           const uint8_t* payload, uint16_t length, void* user);
    void OnControlMessage(uint16_t command, const uint8_t* payload, uint16_t length);
    void OnStreamMessage(uint16_t command, uint8_t* payload, uint16_t length);

    // Request machinery.
    bool CanRequest();
    // The busy flag for one request, taken only when CanRequest().
    RequestScope TryRequest() { return RequestScope(*this, CanRequest()); }
    int SendControl(uint16_t command, const void* payload, std::size_t length);
    // Refuses unless logged in, connected and not busy; sends, waits and gives
    // 1 when the reply came with result 0. *reply receives the slot.
    int Request(uint16_t command, const void* payload, std::size_t length,
                zyn::ReplySnapshot* reply = nullptr, unsigned timeout_ms = 0);
    // Sends and waits while the caller already holds the busy flag.
    bool SendAndWait(uint16_t command, const void* payload, std::size_t length, unsigned timeout_ms,
                     zyn::ReplySnapshot* reply);

    // Session helpers.
    int DoLogin(const DeviceLoginInfo& record);
    void RestoreStreams();
    void SendClock();
    // The stream request of a channel: kind and open flag as given, the link
    // value of its stored request and, with `routed`, the stored transport,
    // port and address too.
    StreamRequest ChannelStreamRequest(int channel, int kind, int open, bool routed) const;
    void SendStreamRequestNoWait(int channel, int kind, int open);
    bool AnyStreamOpen() const;
    // Sends the audio open of a channel and waits (busy flag held by the
    // caller); marks the sound open when the device accepted it.
    bool RequestSound(int channel, zyn::ReplySnapshot* reply);

    // Live-path helpers (stream receive thread).
    void DeliverRealData(int channel, const uint8_t* data, std::size_t length);
    void DeliverFullFrame(int channel, const uint8_t* data, std::size_t length, int kind,
                          int frame_type);
    void DeliverFragment(Channel& ch, int channel, const uint8_t* payload, std::size_t length);
    void CompleteFrame(Channel& ch, int channel);
    // Switch path: main-stream fragments go on to the recorder.
    void RecordSwitchedFragment(Channel& ch, int channel, const uint8_t* payload,
                                std::size_t length);
    static void ZYNVS_CALL TalkSender(const uint8_t* data, uint16_t length, void* user);

    const zyn::TransportFactory transports_;

    std::mutex conn_mutex_;  // guards creation of control_ and stream_
    std::unique_ptr<CClient> control_;
    std::unique_ptr<CClient> stream_;
    std::atomic<int> stream_transport_{0};

    std::array<std::unique_ptr<Channel>, zyn::kMaxChannels> channels_;

    std::atomic<int> clock_counter_{0};  // housekeeping thread
    std::atomic<int> stream_lost_{0};
    std::atomic<int> closed_{0};
    std::atomic<int> show_flag_{0};
    std::atomic<int> display_width_{1280}, display_height_{720};
    std::atomic<int> current_width_{1280}, current_height_{720};
    std::atomic<uint8_t> talk_format_[2] = {1, 1};  // talk format, audio format number

    std::mutex info_mutex_;  // guards ext_info_
    uint8_t ext_info_[504] = {};

    zyn::RecordListing record_listing_;

    std::mutex talk_mutex_;  // guards talk_
    std::unique_ptr<CTalk> talk_;
};
