// Inside of a Party: its sockets, timers and role state, all on the party's
// own I/O thread. `mu` guards `stats` only; everything else belongs to the
// I/O thread (public methods post their work there).
#pragma once

#include <asio.hpp>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "decodekit/platform/avi_file.h"
#include "mediafile/frame_assembler.h"
#include "tools/devsim/party.h"
#include "tools/devsim/wire.h"

namespace devsim {

using asio::ip::tcp;
using asio::ip::udp;

// A connection's bytes waiting to be written, in order.
struct Outbox {
    std::deque<std::shared_ptr<const std::vector<uint8_t>>> queue;
    size_t queued_bytes = 0;
    bool writing = false;
};

// One channel and kind an encoder pushes.
struct PushedStream {
    int channel = 0;
    int kind = 0;
    std::unique_ptr<asio::steady_timer> timer;
    std::chrono::steady_clock::time_point next_due;
    std::shared_ptr<const VideoLoop> loop;  // video only
    int loop_index = 0;
    uint32_t frame_number = 0;
    bool need_key = true;
    size_t tone_pos = 0;
    bool closed = false;  // a tick already queued does nothing
};

// A client's frame being collected from one encoder's channel.
struct Assembly {
    mediafile::FrameAssembler frames;
    uint8_t first_header[wire::kFragmentHeaderBytes] = {};
};

struct Party::Impl {
    explicit Impl(PartyConfig config) : cfg(std::move(config)), keepalive(io) {}

    const PartyConfig cfg;
    asio::io_context io;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::thread thread;
    std::atomic<std::thread::id> io_thread_id{};
    std::atomic<bool> running{false};
    bool started = false;    // Start was called (application thread)
    mutable MessageLog log;  // has its own lock

    mutable std::mutex mu;
    mutable std::condition_variable changed;
    PartyStats stats;  // guarded by mu

    // ---- I/O thread ----
    std::unique_ptr<tcp::socket> control_tcp;
    std::unique_ptr<udp::socket> control_udp;
    std::unique_ptr<tcp::socket> media;
    std::vector<uint8_t> control_rx = std::vector<uint8_t>(65536);
    std::vector<uint8_t> media_rx = std::vector<uint8_t>(65536);
    StreamFramer control_framer, media_framer;
    Outbox control_out, media_out;
    asio::steady_timer keepalive;
    std::atomic<bool> silent{false};
    bool logged_in = false;
    uint16_t session = 0;
    uint32_t garbage_state = 0x9E3779B9u;

    // Encoder.
    std::shared_ptr<const VideoLoop> loops[4];
    std::vector<uint8_t> tones[4];
    std::map<std::pair<int, int>, std::unique_ptr<PushedStream>> pushed;  // (channel, kind)

    // Clients.
    std::map<uint32_t, std::unique_ptr<Assembly>> assemblies;  // encoder id << 8 | channel
    CAviFile recorder;
    bool record_avi = false;
    std::optional<uint32_t> recorded_stream;  // the assembly key that goes into the file
    std::vector<uint8_t> record;              // native frame record being written

    // Common (party.cpp).
    void RunOnIo(const std::function<void()>& fn);
    void Event(const std::string& text) const;
    template <typename F>
    void Update(F f) {
        {
            std::lock_guard<std::mutex> lock(mu);
            f(stats);
        }
        changed.notify_all();
    }
    void Begin();
    void ReadControl();
    void ReadMedia();
    void OnControl(const ParsedMessage& m);
    void OnMedia(const ParsedMessage& m);
    void SendControl(uint16_t command, uint16_t word, const std::vector<uint8_t>& body);
    void SendControlBytes(std::shared_ptr<const std::vector<uint8_t>> bytes);
    // False when the bytes were dropped (no connection or the queue is full).
    bool SendMedia(std::shared_ptr<const std::vector<uint8_t>> bytes);
    void WriteNext(tcp::socket* socket, Outbox* box, bool media_link);
    void CloseControl(const std::string& why);
    void CloseMedia(const std::string& why);
    void ScheduleKeepAlive();
    std::vector<uint8_t> Garbage(size_t n);
    void LogMessage(Link link, const ParsedMessage& m) const;

    // Encoder (party_encoder.cpp).
    bool PrepareEncoder(std::string* error);
    void OnEncoderRequest(const ParsedMessage& m);
    void OpenPush(int channel, int kind);
    void ClosePush(int channel, int kind);
    void PushTick(PushedStream* st);
    void StopPushing();

    // User client, recording server, stream server (party_client.cpp).
    bool PrepareClient(std::string* error);
    void OnClientLoggedIn();
    void OnClientMessage(const ParsedMessage& m);
    void OnClientMedia(const ParsedMessage& m);
    void SendStreamRequest(const StreamWant& want, bool open);
    void FinishRecording();
};

}  // namespace devsim
