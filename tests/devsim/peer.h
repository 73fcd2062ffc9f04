// Test clients for the device emulator: Linkcore clients with a message
// queue, a raw TCP socket for byte-exact checks, and frame reassembly.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "linkcore/linkcore.h"
#include "tools/devsim/devsim.h"

namespace devsim_test {

using Bytes = std::vector<uint8_t>;

struct Msg {
    uint16_t command = 0;
    uint16_t second_word = 0;
    Bytes payload;
    uint16_t Result() const;  // payload word 0
    uint16_t Word() const;    // payload word 1
};

// A Linkcore client (TCP, UDP or multicast) whose messages are queued.
class LinkPeer {
public:
    enum Kind { kTcp, kUdp, kMcast };
    explicit LinkPeer(Kind kind = kTcp);
    ~LinkPeer();
    bool Open(uint16_t port, const std::string& address = "127.0.0.1");
    void Close();
    int Send(uint16_t command, const Bytes& payload = {}, uint16_t second_word = 0);
    // The next queued message (0x0000 when the connection was lost).
    std::optional<Msg> Next(int timeout_ms);
    // Skips messages until one with `command` arrives.
    std::optional<Msg> WaitFor(uint16_t command, int timeout_ms);
    // Sends a request and waits for `reply` (skipping stream traffic etc.).
    std::optional<Msg> Request(uint16_t command, const Bytes& payload, uint16_t reply,
                               int timeout_ms = 3000);
    bool WaitLost(int timeout_ms);
    bool lost();
    uint16_t LocalPort();
    CClient* client() { return client_.get(); }

private:
    static int OnMessage(int, int, uint16_t, uint16_t, const uint8_t*, uint16_t, void*);
    std::unique_ptr<CClient> client_;
    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<Msg> queue_;  // guarded by mu_
    bool lost_ = false;      // guarded by mu_
};

// A plain blocking TCP socket for raw bytes.
class RawSocket {
public:
    RawSocket() = default;
    ~RawSocket();
    bool Connect(uint16_t port);
    bool SendBytes(const Bytes& bytes);
    // Reads exactly n bytes, false on time-out or close.
    bool ReadExact(size_t n, Bytes* out, int timeout_ms);
    // Reads one framed message (header + payload bytes returned raw).
    bool ReadMessage(Bytes* raw, int timeout_ms);
    // True when the peer closed the connection within the time.
    bool WaitClosed(int timeout_ms);
    void Close();
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

// Payload builders.
Bytes LoginPayload(const std::string& user, const std::string& password, uint32_t id = 7,
                   uint8_t channels = 4);
Bytes StreamRequestPayload(uint8_t kind, uint8_t channel, uint8_t open, uint8_t transport,
                           uint32_t link_value = 0, uint16_t port = 0, uint32_t address = 0);
Bytes ChannelPrefix(uint8_t channel);
Bytes U32(uint32_t v);
uint16_t GetU16(const Bytes& b, size_t at);
uint32_t GetU32(const Bytes& b, size_t at);

// One video frame put together from its fragments, with the header of its
// first fragment and what was seen on the way.
struct Frame {
    uint8_t header[24] = {};
    Bytes data;
    int fragments = 0;
    bool consistent = true;  // indexes in order, same count/number/length, lengths add up
    std::string problem;
    uint8_t channel() const { return header[1]; }
    uint8_t resolution() const { return header[2]; }
    uint8_t kind() const { return header[3]; }
    uint8_t type() const { return header[4]; }
    uint32_t number() const;
    uint32_t total() const;
    uint32_t seconds() const;
    uint16_t millis() const;
};

class Reassembler {
public:
    explicit Reassembler(size_t fragment_bytes = 1024) : fragment_bytes_(fragment_bytes) {}
    // Feeds one 0x0301 payload; returns a frame when it completed one.
    std::optional<Frame> Feed(const Bytes& payload);

private:
    size_t fragment_bytes_;
    std::optional<Frame> current_;
    int next_index_ = 0;
};

// Logs in over TCP on `port`; the peer stays connected.
bool Login(LinkPeer& peer, uint16_t port, const std::string& user = "admin",
           const std::string& password = "admin", uint16_t reply = 0x8101);

// Reads video frames of (channel, kind) from a stream peer until `count`
// frames are complete.
std::vector<Frame> CollectFrames(LinkPeer& stream, int count, int timeout_ms, int channel = -1,
                                 int kind = -1);

// A small, quickly encoded device.
devsim::DeviceConfig SmallDevice(uint32_t id = 1, int channels = 4);

// Polls `done` until it holds or the time is up.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms);

std::string ArtifactDir();
// Runs a shell command, gives its standard output; *status gets the exit status.
std::string RunCommand(const std::string& command, int* status);
bool HaveProgram(const char* name);

}  // namespace devsim_test
