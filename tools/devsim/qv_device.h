// QV devices of the emulator: a "qvnet01" command server on TCP per device,
// and one HDS discovery responder on UDP multicast for all of them.
//
// The command server answers login (0x1000001E) with a device block, reboot
// (257) by closing the connection, restore (259) by clearing the stored
// records; reads (0x1000xxxx) answer the record stored under that command
// (SetRecord), else the configuration record of that kind (defaults, changed
// by the writes of that kind; per channel where the request's record names
// one at offset 4), and writes (other commands below 0x10000000) store their
// payload under their command number. Each connection carries one request
// and one reply.
//
// The HDS responder (only inside a private network namespace) listens on
// 239.255.255.250:8002, answers SEARCH, applies "netconf set" CMD messages
// addressed by the 32-character Device-ID, and announces each device with a
// REGISTER when it starts (and on Announce). Replies go to the group on port
// 8004.
//
// Threads: one thread serves every socket of a QvEmulator. Public methods may
// be called from any thread; state is guarded by one mutex.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vendor_emu {
struct DeviceFacts;
}

namespace devsim {

// How the command server spoils its next replies (for the client's checks).
enum class QvFault {
    kNone,
    kBadMagic,     // "qvnet02"
    kShortLength,  // total length 87
    kLongLength,   // total length 4097
    kWord20,       // word at offset 20 set to 1
    kCloseEarly,   // close without any reply
    kTruncated,    // announce 200 bytes, send 120, close
    kNoLoginData,  // login reply without payload
};

struct QvDeviceConfig {
    std::string device_id;         // 32 characters; empty: generated from the index
    std::string ip = "127.0.0.1";  // what the device reports (and where it listens)
    std::string mask = "255.0.0.0";
    std::string gateway = "127.0.0.1";
    std::string mac;  // empty: 00:51:56:00:00:<index>
    std::string name = "QV-Camera";
    std::string model = "QV-IPC-200";
    std::string software_version = "V2.1.0";
    uint16_t media_port = 0;  // the command server's port; 0 picks a free one
    uint16_t http_port = 80;
    int cam_count = 1;
    int alarm_in = 2;
    int alarm_out = 1;
    std::string user = "admin";
    std::string password = "vupra";
};

struct QvRequest {
    uint32_t command = 0;
    std::string user;
    std::string password;
    std::vector<uint8_t> payload;
    std::vector<uint8_t> raw;
};

class QvEmulator {
public:
    // `hds`: also run the HDS responder (refused outside a private network namespace).
    QvEmulator(std::vector<QvDeviceConfig> devices, bool hds);
    ~QvEmulator();
    QvEmulator(const QvEmulator&) = delete;
    QvEmulator& operator=(const QvEmulator&) = delete;

    bool Start(std::string* error);
    void Stop();

    int device_count() const { return static_cast<int>(devices_.size()); }
    QvDeviceConfig device(int index) const;
    uint16_t port(int index) const;

    void SetFault(int index, QvFault fault);
    void SetRecord(int index, uint32_t command, std::vector<uint8_t> data);
    std::vector<uint8_t> Record(int index, uint32_t command) const;
    std::vector<QvRequest> Requests(int index) const;
    int reboots(int index) const;
    int restores(int index) const;
    // HDS command texts each device received, in order.
    std::vector<std::string> Commands(int index) const;
    // Waits until device `index` has received `count` requests (or commands).
    bool WaitRequests(int index, size_t count, int timeout_ms) const;
    bool WaitCommands(int index, size_t count, int timeout_ms) const;
    // Sends a REGISTER announcement for device `index`.
    void Announce(int index);

private:
    struct Device;
    static vendor_emu::DeviceFacts Facts(const QvDeviceConfig& c);
    void Run();
    void Serve(Device& d, int fd);
    void ServeHds();
    std::string HdsBody(const Device& d) const;
    void SendHds(const std::string& text);
    bool ApplyNetconf(Device& d, const std::string& text);

    bool hds_;
    std::vector<std::unique_ptr<Device>> devices_;
    mutable std::mutex mu_;
    mutable std::condition_variable changed_;
    int hds_fd_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace devsim
