#include "apps/zynvs/device_session.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zynvs/ZynDecodeKit.h"

namespace zynvs_app {
bool TakeDeviceOptions(std::vector<std::string>* args, DeviceOptions* out, const char* command) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args->size(); ++i) {
        const std::string& a = (*args)[i];
        const bool known = a == "--host" || a == "--port" || a == "--stream-port" ||
                           a == "--user" || a == "--password" || a == "--channels" ||
                           a == "--channel";
        if (!known) {
            rest.push_back(a);
            continue;
        }
        if (i + 1 >= args->size()) {
            std::fprintf(stderr, "zynvs %s: %s needs a value\n", command, a.c_str());
            return false;
        }
        const std::string& v = (*args)[++i];
        if (a == "--host") out->host = v;
        else if (a == "--port") out->port = std::atoi(v.c_str());
        else if (a == "--stream-port") out->stream_port = std::atoi(v.c_str());
        else if (a == "--user") out->user = v;
        else if (a == "--password") out->password = v;
        else if (a == "--channels") out->channel_count = std::atoi(v.c_str());
        else out->channel = std::atoi(v.c_str());
    }
    *args = rest;
    return true;
}

DeviceSession::DeviceSession(const DeviceOptions& o) : options_(o) {
    DeviceLoginInfo dev{};
    dev.device_id = kDeviceId;
    dev.device_kind = 1;
    dev.channel_count = o.channel_count;
    std::snprintf(dev.control_address, sizeof dev.control_address, "%s", o.host.c_str());
    dev.control_port = static_cast<uint16_t>(o.port);
    dev.stream_port = static_cast<uint16_t>(o.stream_port ? o.stream_port : o.port + 1);
    std::memcpy(dev.user_name, o.user.data(), std::min(o.user.size(), sizeof dev.user_name));
    std::memcpy(dev.password, o.password.data(), std::min(o.password.size(), sizeof dev.password));
    ok_ = ZYNVS_Login(&dev) == 1;
    if (!ok_) {
        std::fprintf(stderr, "zynvs: login to %s:%d failed\n", o.host.c_str(), o.port);
        ZYNVS_DeleteDevice(kDeviceId);
    }
}

DeviceSession::~DeviceSession() {
    if (ok_) ZYNVS_Logout(kDeviceId, 0);
    ZYNVS_UnInit();
}

bool DeviceSession::OpenStream(int channel) {
    ClientInfo ci{};
    ci.channel = static_cast<uint8_t>(channel);
    ci.request_flag = 1;
    ci.stream_port = static_cast<uint16_t>(options_.stream_port ? options_.stream_port
                                                                : options_.port + 1);
    std::snprintf(ci.stream_address, sizeof ci.stream_address, "%s", options_.host.c_str());
    return ZYNVS_RealPlay(kDeviceId, &ci) == 1;
}

void HexDump(const uint8_t* data, std::size_t length) {
    for (std::size_t row = 0; row < length; row += 16) {
        std::printf("%04zx ", row);
        for (std::size_t i = row; i < row + 16; ++i) {
            if (i < length) std::printf(" %02x", data[i]);
            else std::printf("   ");
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

bool WriteFile(const std::string& path, const uint8_t* data, std::size_t length) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, length, f) == length;
    ok = (std::fclose(f) == 0) && ok;
    return ok;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>* out) {
    out->clear();
    int nibble = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == ':' || c == ',') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10);
        if (nibble < 0) nibble = v;
        else {
            out->push_back(static_cast<uint8_t>(nibble * 16 + v));
            nibble = -1;
        }
    }
    return nibble < 0;
}
}  // namespace zynvs_app
