// devsim: emulated devices of the system's own protocol on loopback.
//
// An Emulator runs one or more devices. Each device listens on a control port
// (TCP, UDP or both) and a stream port (TCP and UDP), answers logins,
// keep-alives, parameter and control commands, and sends live H.264 video and
// G.711 audio as the device protocol frames them. Faults can be switched on at
// any time, and every message a device receives is kept in a log with its
// exact bytes.
//
// Threads: each Emulator runs one I/O thread that owns every socket and timer
// of its devices. All public methods may be called from any thread; methods
// that act on connections (Close..., Send..., Reboot) run their work on the
// I/O thread and return when it is done. Nothing calls back into the caller
// except Config::event_log, which runs with no emulator lock held, on the I/O
// thread (or on the thread of the Device method whose action it reports);
// it must not call back into the Emulator.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/devsim/protocol.h"
#include "tools/devsim/video_loop.h"

namespace devsim {

enum class ControlTransport { kTcp, kUdp, kBoth };
enum class AudioCodec { kMuLaw, kALaw };

struct Account {
    std::string user;      // at most 8 bytes are compared
    std::string password;  // at most 8 bytes are compared
};

struct VideoSettings {
    int width = 352;
    int height = 288;
    int fps = 25;
    int bitrate_kbps = 512;
    int gop = 25;       // frames per GOP; every GOP starts with an IDR picture
    int loop_gops = 1;  // GOPs in the replayed loop
};

struct RecordFile {
    std::string name;
    uint8_t channel = 0;
    uint8_t file_type = 1;    // 1 timer, 2 alarm, 3 manual
    uint32_t start_time = 0;  // seconds since 1970
    uint32_t end_time = 0;
    uint32_t size_bytes = 0;
    uint32_t index = 0;  // the file's number on the device
};

// A scripted serial answer: when the data of a 0x0406 equals `request`, the
// device answers with `reply` instead of echoing the data.
struct SerialRule {
    std::vector<uint8_t> request;
    std::vector<uint8_t> reply;
};

// The platform-server role: the device answers as the platform through which
// a client reaches it (README: "The platform role").
struct PlatformRole {
    bool enabled = false;
    // The session token a client presents at its first login (at most 32
    // bytes, zero-padded). A login must carry it, or a token this platform
    // handed out since.
    std::string token = "zyn-platform-token-0123456789abc";
    // Length of the login answer: 124 carries the session information with a
    // new token head at 68; shorter answers are cut (below 84: no new token;
    // 32 is the short answer), longer ones padded with zeros.
    size_t login_reply_bytes = 124;
    bool grant_talk = true;
};

struct DeviceConfig {
    uint32_t device_id = 1;
    int channel_count = 4;  // 1..4
    std::vector<Account> accounts{{"admin", "admin"}};
    uint16_t control_port = 0;  // 0: a free port (see Device::control_port)
    uint16_t stream_port = 0;   // 0: a free port
    ControlTransport control_transport = ControlTransport::kTcp;
    bool newer = false;  // answer logins with 0x8588 and the 504-byte block

    VideoSettings main{1280, 720, 25, 2000, 50, 1};
    VideoSettings sub{352, 288, 25, 256, 50, 1};
    size_t fragment_bytes = 1024;      // video data bytes per 0x0301 message
    bool sub_as_channel_four = false;  // send channel 0's sub stream as channel 4

    bool audio = true;
    int audio_format = 1;  // 0: data only; 1 and 2: a 4-byte audio header in front
    AudioCodec audio_codec = AudioCodec::kMuLaw;
    int audio_block_samples = 320;  // 8 kHz samples per 0x0302 block (40 ms)
    int tone_hz = 0;                // 0: 400 Hz x (channel + 1)

    // Streams start as soon as they are bound (0x0202, or at once for
    // multicast). With this set they wait for a 0x0203 on the control session.
    bool start_on_key_request = false;

    std::string name;    // empty: "ZynCam-<id>"
    std::string serial;  // empty: "ZC<id, 8 digits>"
    std::string model = "ZynCam IPC";
    uint32_t firmware_version = 0x00010203;      // 1.2.3
    std::array<uint8_t, 6> mac{};                // all zero: 02:5A:59:<id>
    std::string reported_address = "127.0.0.1";  // what the device says its address is
    std::string reported_mask = "255.0.0.0";
    std::string reported_gateway = "127.0.0.1";

    int reboot_delay_ms = 1000;            // a reboot keeps the ports closed this long
    int session_idle_timeout_ms = 60000;   // control sessions silent this long are dropped; 0 never
    std::vector<RecordFile> record_files;  // empty: a generated list of 6 files
    int record_entries_per_reply = 3;      // 0x8204 messages hold at most this many entries
    std::vector<SerialRule> serial_rules;
    size_t upgrade_max_bytes = 64u << 20;
    PlatformRole platform;
};

struct Config {
    std::string bind_address = "127.0.0.1";
    std::vector<DeviceConfig> devices;  // empty: one DeviceConfig{}
    bool search = false;  // LAN search responder (only inside a private network namespace)
    bool keep_sent_frames = false;        // record every video frame sent (Device::SentFrames)
    size_t max_logged_messages = 200000;  // oldest entries are dropped beyond this
    size_t stream_queue_limit_bytes = 8u << 20;  // per TCP stream connection; frames dropped beyond
    // Session events ("device 0: login admin from 127.0.0.1:40112"), on the I/O thread.
    std::function<void(const std::string&)> event_log;
};

// Where a message came in.
enum class Link : uint8_t { kControlTcp, kControlUdp, kStreamTcp, kStreamUdp, kSearch };
const char* LinkName(Link link);

struct ReceivedMessage {
    uint64_t sequence = 0;  // 1, 2, ... in arrival order (per emulator)
    int device = -1;        // device index; -1 for search datagrams no device took
    Link link = Link::kControlTcp;
    uint32_t connection = 0;  // connection (or UDP peer) number, unique per emulator
    uint16_t command = 0;
    uint16_t second_word = 0;
    std::vector<uint8_t> payload;
    std::vector<uint8_t> raw;  // the bytes as received: header and payload
    bool malformed = false;    // bytes without a valid header (raw holds them)
    std::chrono::steady_clock::time_point when;
};

using MessageMatch = std::function<bool(const ReceivedMessage&)>;

class MessageLog {
public:
    MessageLog();
    ~MessageLog();
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    std::vector<ReceivedMessage> Snapshot() const;
    // Sequence number the next message will get; pass it as `from_sequence`
    // to wait only for messages that arrive later.
    uint64_t NextSequence() const;
    // First message with sequence >= from_sequence that matches, waiting up to
    // timeout_ms for it to arrive.
    std::optional<ReceivedMessage> WaitFor(const MessageMatch& match, int timeout_ms,
                                           uint64_t from_sequence = 0) const;
    std::optional<ReceivedMessage> WaitForCommand(uint16_t command, int timeout_ms, int device = -1,
                                                  uint64_t from_sequence = 0) const;
    size_t Count(uint16_t command, int device = -1) const;
    size_t MalformedCount() const;
    void Clear();

    void Add(ReceivedMessage m);  // used by the emulator
    void SetLimit(size_t limit);

private:
    struct State;
    std::unique_ptr<State> state_;
};

enum class FaultAction {
    kDrop,      // the command is carried out, the reply never sent
    kDelay,     // the reply is sent `value` ms late
    kResult,    // the command is refused: the reply carries result `value` (0 -> 1)
    kGarbage,   // `value` random bytes (default 64) are sent instead of the reply
    kTruncate,  // the reply's header and only part of its payload are sent
};

struct ReplyFault {
    uint16_t command = 0;  // request code it applies to; 0 = every request with a reply
    FaultAction action = FaultAction::kDrop;
    int value = 0;
    int count = 0;  // replies it affects; 0 = until cleared
};

struct ClockSetting {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct TalkBlock {
    uint8_t header[24];
    std::vector<uint8_t> data;  // after the 24-byte header
};

struct UpgradeStatus {
    bool requested = false;  // a 0x0104 was accepted
    bool complete = false;   // all bytes arrived and the checksum matched
    bool failed = false;     // checksum mismatch or a chunk out of order
    uint32_t expected_bytes = 0;
    uint32_t expected_crc = 0;
    uint32_t chunks = 0;
    std::vector<uint8_t> request;  // the 72-byte request
    std::vector<uint8_t> image;    // reassembled so far
};

struct SentFrame {
    int channel = 0;
    int stream_kind = 0;
    uint32_t frame_number = 0;
    int loop_index = 0;  // index into the loop of (channel, stream kind)
    bool key = false;
};

struct StreamInfo {
    uint16_t key = 0;
    int kind = 0;
    int channel = 0;
    int transport = 0;  // 0 TCP, 1 UDP, 2 multicast
    uint32_t link_value = 0;
    bool bound = false;    // has a destination
    bool running = false;  // sending (video/audio) or accepting (talk)
    uint64_t frames_sent = 0;
};

class Emulator;
struct DeviceImpl;

// One emulated device. Obtained from Emulator::device(); lives as long as
// the Emulator.
class Device {
public:
    int index() const;
    uint32_t device_id() const;
    const DeviceConfig& config() const;
    uint16_t control_port() const;
    uint16_t stream_port() const;

    bool IsUp() const;  // false while rebooting
    int RebootCount() const;
    // Waits until the device has rebooted at least `reboots` times and is up.
    bool WaitUntilUp(int reboots, int timeout_ms) const;
    int LoggedInSessions() const;
    int ControlConnections() const;  // TCP connections and UDP peers
    int StreamConnections() const;
    std::vector<StreamInfo> Streams() const;
    // Waits until at least `count` streams are bound and running.
    bool WaitForRunningStreams(int count, int timeout_ms) const;

    // Faults.
    int AddReplyFault(const ReplyFault& fault);
    void ClearReplyFaults();  // also undoes the switches below
    void SetAnswerKeepAlive(bool answer);
    void SetRefuseLogins(bool refuse);
    void SetReplyDelay(int delay_ms);              // every reply; 0 ends it
    void StallChannel(int channel, bool stalled);  // video of the channel stops/resumes
    void SetSubStreamAsChannelFour(bool on);
    void CloseControlConnections();
    void CloseStreamConnections();
    void SendGarbage(bool on_stream_connections, size_t bytes = 64);
    void SendTruncated(bool on_stream_connections);
    void SendUnsolicited(uint16_t command, const std::vector<uint8_t>& payload);
    void SendAlarmReport(int channel, int alarm_type, bool on);
    // Platform role: ends every logged-in session with 0x0557 (their streams
    // stop; the clients must log in again).
    void EndPlatformSessions();
    void Reboot();
    void ForceKeyFrame(int channel);

    // State.
    std::vector<uint8_t> Param(uint16_t get_command, int channel = 0) const;
    void SetParam(uint16_t get_command, int channel, const std::vector<uint8_t>& record);
    std::optional<ClockSetting> LastClockSet() const;
    std::vector<TalkBlock> TalkAudio() const;
    UpgradeStatus Upgrade() const;
    std::vector<std::array<uint8_t, 4>> PtzCommands() const;
    // Platform role: the token of each logged-in session (32 bytes), and the
    // play-control (0x0208) and download (0x0611) descriptors received.
    std::vector<std::vector<uint8_t>> PlatformTokens() const;
    std::vector<std::vector<uint8_t>> PlatformFileCommands() const;
    std::vector<uint32_t> RemoteRecordWords() const;
    std::vector<std::vector<uint8_t>> SerialData() const;          // data of each 0x0406
    std::vector<std::pair<int, uint32_t>> ClearedAlarms() const;   // (channel, word)
    std::vector<std::vector<uint8_t>> RecordFileRequests() const;  // 0x0206 descriptors
    std::vector<uint32_t> DefaultParamWords() const;               // words of each 0x0585
    std::vector<RecordFile> RecordFiles() const;
    std::vector<SentFrame> SentFrames() const;  // needs Config::keep_sent_frames
    // The loop a channel's stream replays (null before Start).
    std::shared_ptr<const VideoLoop> Loop(int channel, int stream_kind) const;
    // The 88- and 504-byte information blocks the device answers logins with.
    std::vector<uint8_t> DeviceInfo() const;
    std::vector<uint8_t> ExtendedInfo() const;
    // The 128-byte LAN search answer.
    std::vector<uint8_t> SearchReply() const;
    std::array<uint8_t, 6> mac() const;

private:
    friend class Emulator;
    explicit Device(DeviceImpl* impl) : impl_(impl) {}
    DeviceImpl* impl_;
};

struct EmulatorShared;

class Emulator {
public:
    explicit Emulator(Config config = {});
    ~Emulator();  // Stop()
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // Encodes the video loops, opens every port and starts the I/O thread.
    // False (with *error) when a port cannot be opened, the configuration is
    // invalid, or multicast is asked for outside a private network namespace.
    // An Emulator is started once.
    bool Start(std::string* error = nullptr);
    // Closes every connection and port and joins the I/O thread. Idempotent.
    void Stop();
    bool running() const;

    const Config& config() const;
    int device_count() const;
    Device& device(int index);  // 0 <= index < device_count()
    MessageLog& log();

    // CPU time the I/O thread has used so far (seconds).
    double IoThreadCpuSeconds() const;
    // Bytes sent on stream connections and multicast so far.
    uint64_t StreamBytesSent() const;
    // One line per device: ports, sessions, streams.
    std::string Status() const;

private:
    std::unique_ptr<EmulatorShared> shared_;
    std::vector<std::unique_ptr<DeviceImpl>> impls_;
    std::vector<std::unique_ptr<Device>> devices_;
};

// True inside a network namespace that has no interface but lo (where the
// suite's test runner puts everything); multicast is allowed only there.
bool InPrivateNetworkNamespace();

}  // namespace devsim
