// Helpers of the SDK integration tests: emulator set-up, records for logins
// and live requests, recorders for the SDK's callbacks, and byte helpers.
// The recorders are plain functions with a user pointer, so the same helpers
// serve tests through the C interface and tests of the internal library.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_tool.h"

#include "tools/devsim/devsim.h"
#include "zynvs/ZynDecodeKit.h"

namespace sdk_test {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
std::string Hex(const uint8_t* p, std::size_t n);
inline std::string Hex(const Bytes& b) { return Hex(b.data(), b.size()); }

// Polls pred every 2 ms until it holds or timeout_ms passed.
bool WaitUntil(const std::function<bool()>& pred, int timeout_ms);

// Deterministic bytes for records and payloads.
Bytes Pattern(std::size_t n, uint32_t seed);

// A small, fast emulated device: 352x288 main and 176x144 sub streams with a
// short GOP, 1024-byte fragments, audio format 1.
devsim::DeviceConfig SmallDevice(uint32_t device_id, int channels = 4);
// Starts an emulator (fails the test when it cannot start).
std::unique_ptr<devsim::Emulator> StartEmulator(devsim::Config config);

// Login record for a direct device (kind 1) at the emulated device.
DeviceLoginInfo LoginFor(const devsim::Device& device, int sdk_id, int channels = -1,
                         const char* user = "admin", const char* password = "admin");
// Live request for channel `ch` without a window (data only), TCP, with a
// stream address so that the channel is restored after a reconnect.
ClientInfo DataRequest(int ch, int kind = 0, uint32_t link_value = 0);

// Messages of MessageCallback.
struct Message {
    int device = 0;
    int message = 0;
    Bytes data;
    int length = 0;
    Clock::time_point when;
};

class MessageRecorder {
public:
    void Add(int device, int message, const void* data, int length);
    std::vector<Message> Snapshot() const;
    std::size_t Size() const;
    int Count(int device, int message) const;
    // First message at index >= from that matches, waiting up to timeout_ms.
    // The index of the match goes to *index when given.
    std::optional<Message> WaitFor(const std::function<bool(const Message&)>& match,
                                   int timeout_ms, std::size_t from = 0,
                                   std::size_t* index = nullptr) const;
    std::optional<Message> WaitFor(int device, int message, int timeout_ms,
                                   std::size_t from = 0, std::size_t* index = nullptr) const;

    static void ZYNVS_CALL Callback(int device, int message, void* data, int length, void* user);

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    std::vector<Message> messages_;  // guarded by mutex_
};

// A copy of one callback delivery of video or audio.
struct Delivery {
    int device = 0;
    int channel = 0;
    int kind = 0;        // FullFrame: 0 video, 1 audio; RealData: -1
    int frame_type = 0;  // FullFrame only
    Bytes data;
    Clock::time_point when;
};

// Records FullFrameDataCallback and RealDataCallback deliveries (copies).
class MediaRecorder {
public:
    void AddFull(int device, int channel, const void* data, int length, int kind, int type);
    void AddReal(int device, int channel, const void* data, int length);
    std::vector<Delivery> Full(int device, int channel, int kind = 0) const;
    std::vector<Delivery> Real(int device, int channel) const;
    std::size_t FullCount(int device, int channel, int kind = 0) const;
    std::size_t RealCount(int device, int channel) const;
    // Waits until FullCount reaches count.
    bool WaitFull(int device, int channel, std::size_t count, int timeout_ms, int kind = 0) const;
    bool WaitReal(int device, int channel, std::size_t count, int timeout_ms) const;
    void Clear();
    // Stops keeping copies (counts still grow).
    void SetKeep(bool keep);

    static void ZYNVS_CALL FullCallback(int device, int channel, void* data, int length,
                                        int kind, int frame_type, void* user);
    static void ZYNVS_CALL RealCallback(int device, int channel, void* data, int length,
                                        void* user);

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    std::vector<Delivery> full_, real_;  // guarded by mutex_
    bool keep_ = true;                   // guarded by mutex_
};

// Header fields of a frame record ("XCXBV" + 1 byte + 24-byte header + data).
struct FrameView {
    bool ok = false;
    uint8_t channel = 0, kind = 0, frame_type = 0, index = 0, byte5 = 0, byte7 = 0;
    uint32_t frame_number = 0, total = 0;
    const uint8_t* data = nullptr;  // frame data behind the 30 bytes
    std::size_t data_bytes = 0;
};
FrameView ViewRecord(const Bytes& record);

// Checks that the FullFrame video records equal the emulator's sent frames of
// that stream byte for byte, and that no sent frame between the first and the
// last received one is missing. Returns "" when all is well, else what is
// wrong. *frames_checked receives the number of records compared.
std::string CompareWithSent(const std::vector<Delivery>& records, const devsim::Device& device,
                            int channel, int stream_kind, std::size_t* frames_checked = nullptr);

// Runs a shell command, capturing stdout and stderr.
using zyn_test::RunResult;
using zyn_test::Which;  // "" when not installed
inline RunResult Run(const std::string& command) { return zyn_test::RunTool(command); }

// A fresh folder under the test temp dir, removed at scope end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};
Bytes ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const Bytes& bytes);

}  // namespace sdk_test
