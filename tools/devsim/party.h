// devsim parties: the other side of the SDK's platform role. A Party logs into
// a control service (the SDK's CCtrlServer) as one of the four kinds that may
// log in there, keeps its session alive, and plays its role:
//
//   encoder        binds its media connection, answers relayed stream
//                  requests (0x0201) and parameter requests with its session
//                  number, and pushes live H.264 and G.711 of the requested
//                  channels on its media connection while they are open;
//   user client,   list the devices (0x0701), ask for streams (0x0201), bind
//   recording      their media connection and count what arrives; the
//   server         recording server (and a user client given a path) writes
//                  the video to a native recording;
//   stream server  logs the forwarding instructions (0x0201) it is given.
//
// Every message a party receives goes into its MessageLog (link kControlTcp or
// kControlUdp for the control connection, kStreamTcp for the media
// connection), so tests wait on events as they do with devices.
//
// Threads: each Party runs one I/O thread that owns its sockets and timers.
// Public methods may be called from any thread; those that act on the
// connections run on the I/O thread and return when it is done.
// Config::event_log runs on the I/O thread with no party lock held.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/devsim/devsim.h"

namespace devsim {

enum class PartyRole { kEncoder, kUserClient, kRecordServer, kStreamServer };
const char* PartyRoleName(PartyRole role);
// "encoder", "client", "recorder", "streamer"; false for anything else.
bool ParsePartyRole(const std::string& text, PartyRole* role);

struct StreamWant {
    uint32_t encoder = 0;  // the encoder's registered id
    int channel = 0;       // 0..3
    int kind = 0;          // 0 main video, 1 sub video, 2 audio
};

struct PartyConfig {
    PartyRole role = PartyRole::kUserClient;
    uint32_t id = 0;  // the id the platform registered this party under
    std::string user = "admin";
    std::string password = "admin";
    std::string service_address = "127.0.0.1";
    uint16_t control_port = 0;
    uint16_t media_port = 0;  // 0: no media connection (stream servers never bind)
    bool control_udp = false;
    int login_kind = -1;  // -1: the role's kind (an encoder 0; its record must say the same)
    int keepalive_ms = 2000;

    // Encoder: channels announced at login and the pictures it pushes.
    int channel_count = 4;
    VideoSettings video{352, 288, 25, 512, 25, 1};
    size_t fragment_bytes = 1024;
    int audio_format = 1;
    bool a_law = false;
    int audio_block_samples = 320;
    size_t media_queue_limit_bytes = 8u << 20;  // frames are dropped beyond this

    // User client and recording server.
    int list_filter = 2;            // 0x0701 filter sent after login; -1 sends none
    std::vector<StreamWant> wants;  // requested after login, in this order
    std::string record_path;        // native recording of the received video; "" none

    // Session events ("party 2001: logged in, session 3"), on the I/O thread.
    std::function<void(const std::string&)> event_log;
};

struct PartyStats {
    bool control_connected = false;
    bool media_connected = false;
    bool logged_in = false;
    int login_result = -1;  // -1 until the 0x8101 arrives
    uint16_t session = 0;
    uint64_t keepalives_sent = 0;
    uint64_t keepalive_replies = 0;
    uint64_t listed_devices = 0;     // entries of every 0x8701
    uint64_t stream_replies_ok = 0;  // 0x8201 with result 0
    uint64_t stream_replies_failed = 0;
    uint64_t state_reports = 0;  // 0x0702
    uint64_t video_packets = 0, audio_packets = 0, media_bytes = 0;
    uint64_t video_frames = 0, key_frames = 0;  // whole frames assembled
    uint64_t recorded_frames = 0;
    uint64_t forward_instructions = 0;  // stream server: 0x0201 received
    uint64_t requests_answered = 0;     // encoder: relayed requests answered
    uint64_t frames_pushed = 0, audio_blocks_pushed = 0, frames_dropped = 0;
    int open_streams = 0;    // encoder: channels and kinds being pushed
    uint64_t malformed = 0;  // bytes received that were not messages
};

class Party {
public:
    explicit Party(PartyConfig config);
    ~Party();  // Stop()
    Party(const Party&) = delete;
    Party& operator=(const Party&) = delete;

    // Encodes the encoder's loops, connects (control, then media) and starts
    // the I/O thread, which logs in. False (with *error) when a connection
    // cannot be made, the configuration is invalid or the recording cannot be
    // created. A Party is started once.
    bool Start(std::string* error = nullptr);
    // Closes the connections (the recording is finished) and joins the thread.
    void Stop();

    const PartyConfig& config() const;
    MessageLog& log();
    PartyStats Stats() const;
    bool WaitLoggedIn(int timeout_ms) const;
    // Waits until `done(Stats())` holds.
    bool WaitUntil(const std::function<bool(const PartyStats&)>& done, int timeout_ms) const;
    std::string Status() const;

    // Requests (clients): sent with the party's session number.
    void RequestStream(const StreamWant& want, bool open);
    void RequestDeviceList(uint8_t filter);
    // Any message on the control connection (word as given).
    void SendControl(uint16_t command, uint16_t word, const std::vector<uint8_t>& body);

    // Faults.
    // A silent party sends no keep-alives, answers nothing and pushes nothing.
    void SetSilent(bool silent);
    // Closes the control and media connections; they are not made again.
    void DropConnections();
    // `bytes` random bytes on the control (or media) connection.
    void SendGarbage(bool on_media, size_t bytes = 64);

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

}  // namespace devsim
