#include "apps/zynvs/device_session.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"
#include "zynvs/ZynDecodeKit.h"

namespace zynvs_app {
namespace {
constexpr int kReplyTimeoutMs = 3000;
constexpr int kPlatformReplyTimeoutMs = 5000;
constexpr int kProbeTimeoutMs = 1000;

std::atomic<int> g_reported_channels{0};

void ZYNVS_CALL OnLoginMessage(int, int message, void* data, int length, void*) {
    if (message == zyn::wire::kMsgDeviceInfo && data != nullptr &&
        length >= static_cast<int>(zyn::wire::DeviceInfo::kBytes))
        g_reported_channels =
            zyn::wire::DeviceInfo(static_cast<const uint8_t*>(data)).channel_count();
}

// Why a login failed: the SDK answers only 0, so look at the time it took and
// try the control port ourselves.
std::string LoginFailure(const DeviceOptions& o, long elapsed_ms) {
    const int wait_ms = o.platform() ? kPlatformReplyTimeoutMs : kReplyTimeoutMs;
    const std::string no_answer = "no answer within " + std::to_string(wait_ms / 1000) + " s";
    if (elapsed_ms >= wait_ms - 300) return no_answer;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(o.port));
    if (inet_pton(AF_INET, o.host.c_str(), &addr.sin_addr) != 1)
        return "'" + o.host + "' is not an IPv4 address";
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::strerror(errno);
    int error = 0;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            error = poll(&p, 1, kProbeTimeoutMs) == 1 ? 0 : ETIMEDOUT;
            socklen_t len = sizeof error;
            if (error == 0) getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
        }
    }
    close(fd);
    if (error == ECONNREFUSED) return "connection refused";
    if (error == ETIMEDOUT) return no_answer;
    if (error != 0) return std::strerror(error);
    return "the device refused the login";
}
}  // namespace

void AddDeviceOptions(OptionParser* p, DeviceOptions* o, ChannelUse channels) {
    p->Text("--host", &o->host, "ADDR", "device address (IPv4)");
    p->Int("--port", &o->port, 1, 65534, "control port");
    p->Int("--stream-port", &o->stream_port, 0, 65535, "stream port, 0: control port + 1");
    p->Text("--user", &o->user, "NAME", "account (at most 8 bytes)");
    p->Text("--password", &o->password, "WORD", "password (at most 8 bytes)");
    p->Int("--channels", &o->channel_count, 1, 4,
           "channels of the device, when it does not report them");
    p->Choice("--kind", &o->kind, {"direct", "platform"},
              "direct, or platform: a device reached through a platform server");
    p->Text("--token", &o->token, "TEXT", "platform kind: the session token (at most 32 bytes)");
    if (channels == ChannelUse::kOne)
        p->Int("--channel", &o->channels.front(), 0, 255, "channel");
    else if (channels == ChannelUse::kMany)
        p->IntList("--channel", &o->channels, 0, 255, "channel");
}

DeviceSession::DeviceSession(const DeviceOptions& o, const char* command)
    : options_(o), command_(command), device_channels_(o.channel_count) {
    DeviceLoginInfo dev{};
    dev.device_id = kDeviceId;
    // Login kind 4 makes a platform-attached device.
    dev.device_kind = o.platform() ? 4 : 1;
    std::memcpy(dev.platform_data, o.token.data(),
                std::min(o.token.size(), sizeof dev.platform_data));
    dev.channel_count = o.channel_count;
    std::snprintf(dev.control_address, sizeof dev.control_address, "%s", o.host.c_str());
    dev.control_port = static_cast<uint16_t>(o.port);
    dev.stream_port = static_cast<uint16_t>(o.StreamPort());
    // The account fields hold 8 bytes each, not necessarily terminated.
    std::memcpy(dev.user_name, o.user.data(), std::min(o.user.size(), sizeof dev.user_name));
    std::memcpy(dev.password, o.password.data(), std::min(o.password.size(), sizeof dev.password));
    g_reported_channels = 0;
    ZYNVS_RegisterMessageCallBack(OnLoginMessage, nullptr);
    const auto started = std::chrono::steady_clock::now();
    ok_ = ZYNVS_Login(&dev) == 1;
    ZYNVS_RegisterMessageCallBack(nullptr, nullptr);
    if (!ok_) {
        const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now() - started)
                                              .count());
        std::fprintf(stderr, "zynvs %s: cannot log into %s:%d: %s\n", command, o.host.c_str(),
                     o.port, LoginFailure(o, ms).c_str());
        return;
    }
    // The SDK tracks channels 0..3 whatever the device has.
    if (g_reported_channels > 0) device_channels_ = std::min(g_reported_channels.load(), 4);
}

DeviceSession::~DeviceSession() {
    // One logout: UnInit logs out every device it still holds.
    ZYNVS_UnInit();
}

bool DeviceSession::CheckChannels(const std::vector<int>& channels) const {
    for (int ch : channels) {
        if (ch >= 0 && ch < device_channels_) continue;
        std::fprintf(stderr, "zynvs %s: channel %d is out of range (the device has %d)\n",
                     command_.c_str(), ch, device_channels_);
        return false;
    }
    return true;
}

bool DeviceSession::OpenStream(int channel) {
    ClientInfo ci{};
    ci.channel = static_cast<uint8_t>(channel);
    ci.request_flag = 1;
    ci.stream_port = static_cast<uint16_t>(options_.StreamPort());
    std::snprintf(ci.stream_address, sizeof ci.stream_address, "%s", options_.host.c_str());
    return ZYNVS_RealPlay(kDeviceId, &ci) == 1;
}

void HexDump(const uint8_t* data, std::size_t length) {
    for (std::size_t row = 0; row < length; row += 16) {
        std::printf("%04zx ", row);
        for (std::size_t i = row; i < row + 16; ++i) {
            if (i < length)
                std::printf(" %02x", data[i]);
            else
                std::printf("   ");
        }
        std::printf("  ");
        for (std::size_t i = row; i < row + 16 && i < length; ++i)
            std::printf("%c", std::isprint(data[i]) ? data[i] : '.');
        std::printf("\n");
    }
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    out->clear();
    uint8_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool WriteFile(const std::string& path, const uint8_t* data, std::size_t length, std::string* why) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        *why = std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(data, 1, length, f) == length && std::fflush(f) == 0;
    int error = ok ? 0 : errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) *why = std::strerror(error ? error : EIO);
    return ok;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>* out) {
    out->clear();
    int nibble = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == ':' || c == ',') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        int v =
            std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10);
        if (nibble < 0)
            nibble = v;
        else {
            out->push_back(static_cast<uint8_t>(nibble * 16 + v));
            nibble = -1;
        }
    }
    return nibble < 0;
}
}  // namespace zynvs_app
