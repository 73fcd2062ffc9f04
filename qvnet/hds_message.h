// HDS text messages of QV discovery: requests (SEARCH, CMD) and the replies
// and REGISTER announcements devices send back.
//
// A message is a start line, header lines "Name:value" and a blank line, all
// ended by CR LF, then an optional body of "key=value" lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qvnet {

constexpr const char* kHdsGroup = "239.255.255.250";
constexpr uint16_t kHdsClientPort = 8004;  // the client binds here
constexpr uint16_t kHdsDevicePort = 8002;  // requests go here
constexpr uint32_t kHdsLastSequence = 399999999;
constexpr size_t kHdsClientIdChars = 32;

// CSeq numbers: 1, 2, ..., 399999999, then 1 again.
class HdsSequence {
public:
    uint32_t Next() {
        uint32_t n = next_;
        next_ = next_ >= kHdsLastSequence ? 1 : next_ + 1;
        return n;
    }
    void Set(uint32_t next) { next_ = next; }  // for tests of the wrap

private:
    uint32_t next_ = 1;
};

std::string BuildHdsSearch(uint32_t sequence, std::string_view client_id);
// The body is the command text and its zero terminator; Content-Length counts both.
std::string BuildHdsCommand(uint32_t sequence, std::string_view client_id,
                            std::string_view device_id, std::string_view command_text);

// What a device tells about itself. Each text keeps at most its limit minus
// one characters (the limits are the client's buffer sizes).
struct HdsDevice {
    std::string ip;                // 16
    std::string mac;               // 18
    std::string mask;              // 16
    std::string gateway;           // 16
    std::string device_id;         // 33
    std::string device_model;      // 41
    std::string software_version;  // 33
    std::string device_name;       // 41
    std::string http_port;         // 16
    std::string media_port;        // 16
    int cam_count = 0;             // "cam-count=" anywhere in the body; above 128 gives 0
};

// Reads a reply ("HDS/1.0 200 ...", text/HDP, Client-ID equal to `client_id`)
// or a REGISTER announcement. Anything else gives nothing.
std::optional<HdsDevice> ParseHdsDevice(std::string_view message, std::string_view client_id);

// The fields of any HDS message (for the emulator and tests): the start
// line, a header's value, the body.
struct HdsMessage {
    std::string start_line;
    std::string Header(std::string_view name) const;
    std::string headers;  // the header lines as received
    std::string body;
};
std::optional<HdsMessage> SplitHdsMessage(std::string_view message);

}  // namespace qvnet
