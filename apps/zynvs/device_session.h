// Options shared by the commands that talk to one device, and a logged-in
// session that logs out when it goes out of scope.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zynvs_app {
struct DeviceOptions {
    std::string host = "127.0.0.1";
    int port = 7000;
    int stream_port = 0;  // 0: port + 1
    std::string user = "admin";
    std::string password = "admin";
    int channel_count = 4;
    int channel = 0;
};

// Takes the device options out of args (leaves the rest in order). Returns
// false and prints why on a malformed option.
bool TakeDeviceOptions(std::vector<std::string>* args, DeviceOptions* out, const char* command);

class DeviceSession {
public:
    static constexpr int kDeviceId = 1;
    explicit DeviceSession(const DeviceOptions& options);
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;
    bool ok() const { return ok_; }
    int id() const { return kDeviceId; }
    // Opens live video (data only) of the channel so the stream connection
    // exists (talk needs it).
    bool OpenStream(int channel);

private:
    DeviceOptions options_;
    bool ok_ = false;
};

void HexDump(const uint8_t* data, std::size_t length);
bool ReadFile(const std::string& path, std::vector<uint8_t>* out);
bool WriteFile(const std::string& path, const uint8_t* data, std::size_t length);
bool ParseHex(const std::string& text, std::vector<uint8_t>* out);
}  // namespace zynvs_app
