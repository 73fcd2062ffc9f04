// Inside of the emulator: one DeviceImpl per device, all of its sockets and
// timers on the emulator's single I/O thread. Every field of DeviceImpl below
// `mu` is guarded by it; the I/O thread takes it at the start of each
// handler, public methods take it for reads and post socket work to the I/O
// thread.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "tools/devsim/devsim.h"
#include "tools/devsim/wire.h"

namespace devsim {

using asio::ip::tcp;
using asio::ip::udp;
using Bytes = std::vector<uint8_t>;
using SharedBytes = std::shared_ptr<const Bytes>;

// Small helpers of the control handlers.
std::string Hex16(uint16_t v);
// Text of at most `n` bytes, stopping at the first zero.
std::string FixedText(const uint8_t* p, size_t n);
void PutText(uint8_t* p, size_t n, const std::string& s);
// A reply payload: result word and second word.
Bytes ResultPayload(uint16_t result, uint16_t word);

// Serial answers are cut to what the client's serial data may hold.
constexpr size_t kSerialAnswerMaxBytes = 1396;

struct DeviceImpl;
struct SearchResponder;

struct EmulatorShared {
    Config config;
    asio::io_context io;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::thread thread;
    std::atomic<std::thread::id> io_thread_id{};
    std::atomic<bool> running{false};
    std::atomic<bool> stopping{false};
    std::atomic<bool> thread_done{false};
    std::atomic<double> final_cpu_seconds{0};
    MessageLog log;
    std::atomic<uint32_t> next_connection{1};
    std::atomic<uint64_t> stream_bytes{0};
    bool multicast_allowed = false;  // inside a private network namespace
    asio::ip::address_v4 bind_address;
    std::vector<DeviceImpl*> devices;
    std::unique_ptr<SearchResponder> search;

    bool OnIoThread() const { return std::this_thread::get_id() == io_thread_id.load(); }
    // Runs fn on the I/O thread and waits for it (inline when called there, or
    // when the thread does not run).
    void RunOnIo(const std::function<void()>& fn);
    void Emit(const std::string& line) const {
        if (config.event_log) config.event_log(line);
    }
};

// A TCP connection or UDP peer with an output queue.
struct Peer {
    uint32_t id = 0;
    Link link = Link::kControlTcp;
    std::unique_ptr<tcp::socket> socket;  // TCP only
    udp::endpoint endpoint;               // the remote end (TCP and UDP)
    std::string peer_text;
    StreamFramer framer;
    std::vector<uint8_t> rx;
    std::deque<SharedBytes> outq;
    size_t queued_bytes = 0;
    bool writing = false;
    bool closed = false;
    std::chrono::steady_clock::time_point last_rx;
    bool is_tcp() const { return socket != nullptr; }
};

struct StreamConn;

struct ControlSession : Peer, std::enable_shared_from_this<ControlSession> {
    bool logged_in = false;
    std::string user;
    uint16_t session_word = 0;
    bool start_requested = false;             // a 0x0203 arrived
    std::weak_ptr<StreamConn> link_conn;      // the stream connection the client bound
    std::array<uint8_t, 32> token{};          // platform role: the session's token
    bool talk_granted = false;                // platform role
    std::optional<udp::endpoint> mcast_dest;  // the group of its multicast streams
};

struct StreamConn : Peer, std::enable_shared_from_this<StreamConn> {
    uint32_t session_id = 0;  // session whose key was bound last
};

struct Stream {
    uint16_t key = 0;
    int kind = 0;
    int channel = 0;
    int transport = 0;
    uint32_t link_value = 0;
    uint32_t session_id = 0;
    std::weak_ptr<StreamConn> conn;
    std::optional<udp::endpoint> mcast;
    bool running = false;
    uint64_t generation = 0;  // bumped at every stop: stale timer handlers do nothing
    std::unique_ptr<asio::steady_timer> timer;
    std::chrono::steady_clock::time_point next_due;
    std::shared_ptr<const VideoLoop> loop;
    int loop_index = 0;
    uint32_t frame_number = 0;
    bool need_key = false;
    uint64_t frames_sent = 0;
    size_t audio_pos = 0;
};

struct FaultDecision {
    bool active = false;
    FaultAction action = FaultAction::kDrop;
    int value = 0;
};

struct DeviceImpl {
    DeviceImpl(EmulatorShared* shared, int index, DeviceConfig config);
    ~DeviceImpl();

    EmulatorShared* const shared;
    const int index;
    const DeviceConfig cfg;

    mutable std::mutex mu;
    mutable std::condition_variable up_cv;

    // Identity (the name changes with the base record or a search change request).
    std::string name, serial;
    std::array<uint8_t, 6> mac{};
    uint32_t reported_address = 0, reported_mask = 0, reported_gateway = 0;

    uint16_t control_port = 0, stream_port = 0;
    bool ports_fixed = false;  // after the first open: a reboot reuses the ports
    bool up = false;
    int reboots = 0;

    std::unique_ptr<tcp::acceptor> control_acceptor, stream_acceptor;
    std::unique_ptr<udp::socket> control_udp, stream_udp, mcast_out;
    std::vector<uint8_t> control_udp_rx, stream_udp_rx;
    udp::endpoint control_udp_from, stream_udp_from;
    std::unique_ptr<asio::steady_timer> housekeeping, reboot_timer;
    std::list<std::unique_ptr<asio::steady_timer>> delayed;  // replies sent late

    std::map<uint32_t, std::shared_ptr<ControlSession>> sessions;
    std::map<uint32_t, std::shared_ptr<StreamConn>> stream_conns;
    std::map<uint16_t, std::shared_ptr<Stream>> streams;
    uint16_t next_key = 0x1000;

    // Faults.
    std::vector<ReplyFault> faults;
    bool refuse_logins = false;
    bool keepalive_answers = true;
    int reply_delay_ms = 0;
    std::set<int> stalled_channels;
    bool sub_as_four = false;

    // Device state.
    std::map<std::pair<uint16_t, int>, Bytes> params;  // (get command, channel)
    std::optional<ClockSetting> clock_set;
    int64_t clock_offset_s = 0;  // device clock minus system clock
    std::vector<TalkBlock> talk;
    UpgradeStatus upgrade;
    std::vector<std::array<uint8_t, 4>> ptz;
    std::vector<uint32_t> remote_record;
    std::vector<Bytes> serial_data;
    std::vector<std::pair<int, uint32_t>> cleared_alarms;
    std::vector<Bytes> file_requests;
    std::vector<uint32_t> default_words;
    // Platform role: token heads handed out (a later login may carry one),
    // and the 0x0208 / 0x0611 descriptors received.
    std::set<std::string> issued_token_heads;
    uint32_t token_serial = 0;
    std::vector<Bytes> platform_file_commands;
    std::vector<RecordFile> files;
    std::vector<SentFrame> sent_frames;
    std::map<std::pair<int, int>, std::shared_ptr<const VideoLoop>> loops;
    // What each channel encodes, [channel][stream kind]; the video records set it.
    std::array<std::array<VideoSettings, 2>, 4> video{};
    std::vector<uint8_t> tones[4];
    uint32_t alarm_sequence = 0;
    uint32_t garbage_state = 0x2545F491u;

    mutable std::vector<std::string> pending_events;

    // Emits queued events after unlocking (no lock held during the callback).
    class Locked {
    public:
        explicit Locked(const DeviceImpl& d) : d_(d), lock_(d.mu) {}
        ~Locked();

    private:
        const DeviceImpl& d_;
        std::unique_lock<std::mutex> lock_;
    };

    void Event(const std::string& text) const;

    // Setup and teardown (I/O thread or before it runs; mu held).
    bool PrepareMedia(std::string* error);
    bool OpenPorts(std::string* error);
    void CloseAll(const std::string& why);
    void BeginReboot(const std::string& why, int delay_ms);
    void ResetParams();
    Bytes DefaultRecord(const ParamGroupInfo& g, int channel) const;
    // Stores a record and applies what the device acts on (parameters.cpp).
    void StoreParam(const ParamGroupInfo& g, int channel, Bytes record);
    // Fields the device fills in as it answers a read: the base record's clock.
    void FillLiveFields(const ParamGroupInfo& g, Bytes& record) const;
    // True when the channel's video settings changed.
    bool ApplyVideoRecord(int channel, const Bytes& record);
    static bool SameVideo(const std::array<VideoSettings, 2>& a,
                          const std::array<VideoSettings, 2>& b);
    void EncodeAgain(int channel);  // the channel's loops, from `video`, after this handler
    VideoLoopKey LoopKey(int channel, int kind) const;
    // Puts the name, addresses and ports in use into the base and network records.
    void SyncIdentityRecords();
    // The ports the network record asks for, when they differ from the ones in use.
    bool PendingPorts(uint16_t* control, uint16_t* stream) const;

    // Control connections.
    void AcceptControl();
    void ReadControl(const std::shared_ptr<ControlSession>& s);
    void ReceiveControlUdp();
    void HandleControl(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m);
    void CloseSession(const std::shared_ptr<ControlSession>& s, const std::string& why);
    void Housekeeping();

    // Replies and faults.
    FaultDecision TakeFault(uint16_t command);
    void SendReply(const std::shared_ptr<ControlSession>& s, const FaultDecision& d,
                   uint16_t reply_command, const Bytes& payload);
    void SendResult(const std::shared_ptr<ControlSession>& s, const FaultDecision& d,
                    uint16_t reply_command, uint16_t result, uint16_t word = 0);
    void SendToSession(const std::shared_ptr<ControlSession>& s, SharedBytes bytes);
    Bytes Garbage(size_t n);

    // Commands.
    void OnLogin(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                 const FaultDecision& d);
    void OnStreamRequest(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                         const FaultDecision& d);
    void OnParamGet(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                    const FaultDecision& d, const ParamGroupInfo& g);
    void OnParamSet(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                    const FaultDecision& d, const ParamGroupInfo& g);
    void OnRecordQuery(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                       const FaultDecision& d);
    void OnUpgradeChunk(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                        const FaultDecision& d);

    // Platform role (platform_role.cpp): true when the message was handled.
    bool HandlePlatformControl(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m);
    bool HandlePlatformStream(const std::shared_ptr<StreamConn>& c, const ParsedMessage& m);
    void OnPlatformLogin(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                         const FaultDecision& d);
    void OnPlatformParam(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                         const FaultDecision& d, const ParamGroupInfo& g, bool setter);
    // The logged-in session whose token equals the 32 bytes at `token`.
    std::shared_ptr<ControlSession> SessionByToken(const uint8_t* token) const;
    // Opens a stream of the session on connection `c` (replacing one of the
    // same kind and channel); the key, or 0 when refused with `*result`.
    uint16_t OpenPlatformStream(const std::shared_ptr<ControlSession>& s,
                                const std::shared_ptr<StreamConn>& c, int kind, int channel,
                                uint32_t link_value, uint16_t* result);
    void SendOnConn(const std::shared_ptr<StreamConn>& c, uint16_t command, uint16_t result,
                    uint16_t word);
    void EndPlatformSession(const std::shared_ptr<ControlSession>& s);

    // Stream connections and media.
    void AcceptStream();
    void ReadStream(const std::shared_ptr<StreamConn>& c);
    void ReceiveStreamUdp();
    void HandleStream(const std::shared_ptr<StreamConn>& c, const ParsedMessage& m);
    void CloseStreamConn(const std::shared_ptr<StreamConn>& c, const std::string& why);
    void MaybeStart(const std::shared_ptr<Stream>& st);
    void StopStream(const std::shared_ptr<Stream>& st);
    void ScheduleTick(const std::shared_ptr<Stream>& st);
    void Tick(const std::shared_ptr<Stream>& st, uint64_t generation);
    void SendVideoFrame(const std::shared_ptr<Stream>& st);
    void SendAudioBlock(const std::shared_ptr<Stream>& st);
    // Sends the messages (concatenated; `offsets` marks where each starts) to
    // the stream's destination. False when the frame was dropped.
    bool Deliver(const std::shared_ptr<Stream>& st, SharedBytes bytes,
                 const std::vector<size_t>& offsets);
    void SendToConn(const std::shared_ptr<StreamConn>& c, SharedBytes bytes);
    void ForceKey(int channel, uint32_t session_id);

    // Helpers.
    std::shared_ptr<ControlSession> FindSession(uint32_t id) const;
    void DeviceTime(uint32_t* seconds, uint16_t* millis) const;
    Bytes BuildDeviceInfo() const;
    void FillDeviceInfo(uint8_t* block) const;  // the first 88 bytes of either block
    std::string FirmwareText() const;
    uint16_t LoginReply() const { return cfg.newer ? wire::kLoginReplyEx : wire::kLoginReply; }
    Bytes BuildExtendedInfo() const;
    Bytes BuildSearchReply() const;
    void ApplyNetPara(const uint8_t* block);  // search change request
    void Log(Link link, uint32_t connection, const ParsedMessage& m) const;
    bool ChannelValid(int channel) const { return channel >= 0 && channel < cfg.channel_count; }
};

struct SearchResponder {
    explicit SearchResponder(EmulatorShared* shared) : shared(shared) {}
    bool Open(std::string* error);
    void Close();
    void Receive();
    void Handle(const uint8_t* data, size_t size);
    void SendToGroup(uint16_t command, const Bytes& payload);

    EmulatorShared* shared;
    std::unique_ptr<udp::socket> socket;
    udp::endpoint from;
    std::vector<uint8_t> rx = std::vector<uint8_t>(2048);
    std::mutex mu;  // guards socket use from public calls
};

}  // namespace devsim
