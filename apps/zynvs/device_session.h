// Options shared by the commands that talk to one device, and a logged-in
// session that logs out (once) when it goes out of scope.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "apps/zynvs/options.h"

namespace zynvs_app {
struct DeviceOptions {
    std::string host = "127.0.0.1";
    int port = 7000;
    int stream_port = 0;  // 0: port + 1
    std::string user = "admin";
    std::string password = "admin";
    int channel_count = 4;  // what the device has, unless it says otherwise at login
    std::vector<int> channels{0};
    // "direct", or "platform": a device reached through a platform server
    // that knows the client by `token` (at most 32 bytes).
    std::string kind = "direct";
    std::string token;

    bool platform() const { return kind == "platform"; }

    int StreamPort() const { return stream_port ? stream_port : port + 1; }
    int channel() const { return channels.empty() ? 0 : channels.front(); }
};

enum class ChannelUse { kNone, kOne, kMany };

// Declares --host, --port, --stream-port, --user, --password, --channels,
// --kind, --token and (unless kNone) --channel on the parser.
void AddDeviceOptions(OptionParser* parser, DeviceOptions* out, ChannelUse channels);

class DeviceSession {
public:
    static constexpr int kDeviceId = 1;
    // Logs in; on failure prints "zynvs COMMAND: cannot log into H:P: why".
    DeviceSession(const DeviceOptions& options, const char* command);
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;
    bool ok() const { return ok_; }
    int id() const { return kDeviceId; }
    // The channel count the device reported at login, else the option's.
    int device_channels() const { return device_channels_; }
    // Every channel below device_channels(); prints the first that is not.
    bool CheckChannels(const std::vector<int>& channels) const;
    // Opens live video (data only) of the channel so the stream connection
    // exists (talk needs it).
    bool OpenStream(int channel);

private:
    DeviceOptions options_;
    std::string command_;
    bool ok_ = false;
    int device_channels_ = 0;
};

void HexDump(const uint8_t* data, std::size_t length);
bool ReadFile(const std::string& path, std::vector<uint8_t>* out);
// Writes the whole file; on failure returns the system's reason.
bool WriteFile(const std::string& path, const uint8_t* data, std::size_t length, std::string* why);
bool ParseHex(const std::string& text, std::vector<uint8_t>* out);
}  // namespace zynvs_app
