// CVideoPltDevice (type 4): a device reached through a platform server. The
// SDK logs into the platform as a user client and receives a session token;
// every channel has a stream connection of its own on which the platform is
// asked (with the token) to start the channel's video and sound. Requests,
// replies, the busy flag, display, recording and callbacks are those of the
// direct device; the differences are the login, the command set, the token
// and the waits.
//
// Threads: application threads enter through the exports; Linkcore's I/O
// threads run OnControlMessage and OnStreamMessage (video may come on either
// connection); the housekeeping thread runs KeepAlive. One request is
// outstanding at a time (the busy flag).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "decodekit/core/video_device.h"
#include "decodekit/core/video_server.h"
#include "zynvs/ZynDecodeKit.h"

class CClient;
class CTalk;
struct RenderVideoStats;

namespace zyn {
constexpr unsigned kPlatformWaitMs = 5000;   // login, talk grant and parameter replies
constexpr int kPlatformStallLimitTicks = 6;  // a channel stalls after more than this
// The sound of a platform channel always arrives in audio format 1 (a 4-byte
// audio header before the G.711 data).
constexpr int kPlatformAudioFormat = 1;

// What RealPlay was given for a channel, and which of its streams are open.
struct PlatformChannelRecord {
    ClientInfo info;
    uint8_t video_open;
    uint8_t sound_open;
    uint8_t talk_open;
    uint8_t reserved;
};
static_assert(sizeof(PlatformChannelRecord) == 72, "a channel record is 72 bytes");
}  // namespace zyn

class CVideoPltDevice : public CMediaDevice {
public:
    CVideoPltDevice(CDeviceManage* registry, int channel_count,
                    zyn::TransportFactory transports = zyn::LinkcoreTransports());
    ~CVideoPltDevice() override;

    int GetType() override { return zyn::kTypeVideoPltDevice; }
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
    int ChangeWindow(int channel, ZYNVS_WND window, int flag) override;
    int OpenSoundVoice(int channel, int flag) override;
    int OpenSound(int channel) override;
    int CloseSound(int channel, int final_stop) override;
    int RegisterDrawOSD(DrawOSDCallback callback, void* user) override;
    int MakeKeyFrame(int channel) override;

    // Commands.
    int StartTalk() override;
    int StopTalk(int final_stop) override;
    int QueryRecInfo(const void* query, RecordInfoCallback cb, void* user) override;
    int PlayRecInfo(const void* descriptor) override;
    int DownRemoteFile(const void* descriptor) override;
    int PlayContorl(int word) override;
    int PTZControl(int channel, int command, int speed, int extra) override;
    int TransInfo(int command, int expected_reply, const void* data, int length, int wait,
                  void* reply_buffer, int buffer_size, int timeout_ms) override;
    int GetParam(int group, int channel, void* record) override;
    int SetParam(int group, int channel, const void* record) override;
    // A platform device does nothing for the set-default request.
    int SetDefaultParam(int /*word*/) override { return 1; }
    int ResetParam() override;
    int ClearAlarm(int channel, const void* record) override;
    int StartRemoteManRecord(int ignored, const void* record) override;
    int StopRemoteManRecord(int ignored, const void* record) override;
    int UpdateRequest(int ignored, const void* record) override;
    int UpdateFile(int ignored, const void* header, const void* data) override;

    // Stream message handlers (either connection).
    void OnVideoData(const uint8_t* payload, int length);
    void OnAudioData(const uint8_t* payload, int length);

    // Tests and tools: the current session token (32 bytes).
    void Token(uint8_t out[32]);
    zyn::PlatformChannelRecord ChannelRecord(int channel);
    int TalkGranted() const { return talk_granted_.load(); }

private:
    struct Channel;

    zyn::ChannelMedia& Media(int channel) const override;
    int RecordAudioFormat() const override { return zyn::kPlatformAudioFormat; }

    // Connections: the control client and one stream client per channel.
    std::shared_ptr<CClient> Control();
    std::shared_ptr<CClient> Stream(int channel);
    int OpenControl(const DeviceLoginInfo& record);
    void CloseControl();
    // Makes (for the transport) and opens a channel's stream connection, then
    // sends the keep-alive on it. Null on failure.
    std::shared_ptr<CClient> OpenStream(int channel, int transport);
    void CloseStream(int channel);
    static int ControlThunk(int kind, int id, uint16_t command, uint16_t second,
                            const uint8_t* payload, uint16_t length, void* user);
    static int StreamThunk(int kind, int id, uint16_t command, uint16_t second,
                           const uint8_t* payload, uint16_t length, void* user);
    void OnControlMessage(uint16_t command, const uint8_t* payload, uint16_t length);
    void OnStreamMessage(uint16_t command, const uint8_t* payload, uint16_t length);
    void EndSession();

    // Requests. `word` is the header word: the session word or 1.
    bool CanRequest();
    RequestScope TryRequest() { return RequestScope(*this, CanRequest()); }
    int SendControl(uint16_t command, uint16_t word, const void* payload, std::size_t length);
    bool SendAndWait(uint16_t command, uint16_t word, const void* payload, std::size_t length,
                     unsigned timeout_ms, zyn::ReplySnapshot* reply);
    // Refuses unless it may request; 1 when the reply came with result 0.
    int Request(uint16_t command, uint16_t word, const void* payload, std::size_t length,
                unsigned timeout_ms, zyn::ReplySnapshot* reply = nullptr);
    // Appends the token to `out` (32 bytes).
    void CopyToken(uint8_t* out);

    // Session helpers.
    int DoLogin(const DeviceLoginInfo& record);
    // Asks the platform again for a channel's stream on a fresh connection
    // (message 3). False when the connection cannot be made.
    bool ReconnectChannel(int channel);
    bool SendStreamStart(int channel, const StreamRequest& request);
    bool SendSound(int channel);

    // Live-path helpers.
    void CompleteFrame(Channel& ch, int channel);
    static void ZYNVS_CALL TalkSender(const uint8_t* data, uint16_t length, void* user);

    const zyn::TransportFactory transports_;

    std::mutex conn_mutex_;  // guards control_, control_transport_ and every Channel::stream
    std::shared_ptr<CClient> control_;
    int control_transport_ = -1;

    std::array<std::unique_ptr<Channel>, zyn::kMaxChannels> channels_;

    std::mutex token_mutex_;  // guards token_
    uint8_t token_[32] = {};

    std::atomic<int> stream_mode_{0};
    std::atomic<int> show_flag_{0};
    std::atomic<int> talk_granted_{0};

    zyn::RecordListing record_listing_;
    std::mutex descriptor_mutex_;  // guards last_descriptor_ and has_descriptor_
    uint8_t last_descriptor_[152] = {};
    bool has_descriptor_ = false;

    std::mutex talk_mutex_;  // guards talk_
    std::unique_ptr<CTalk> talk_;
};
