#include "tools/devsim/qv_device.h"

#include "vendors/emu/record_book.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <sstream>

#include "qvnet/qv_message.h"
#include "tools/devsim/devsim.h"

namespace devsim {

namespace {

constexpr uint32_t kLogin = qvnet::kCommandLogin;
constexpr uint32_t kReboot = qvnet::kCommandReboot;
constexpr uint32_t kRestore = qvnet::kCommandRestore;
constexpr size_t kHeader = qvnet::kHeaderBytes;
constexpr const char* kGroup = "239.255.255.250";

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string Text(const uint8_t* p, size_t n) {
    size_t len = strnlen(reinterpret_cast<const char*>(p), n);
    return std::string(reinterpret_cast<const char*>(p), len);
}

bool ReadExactly(int fd, uint8_t* out, size_t n) {
    size_t off = 0;
    while (off < n) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0) return false;
        ssize_t r = recv(fd, out + off, n - off, 0);
        if (r <= 0) return false;
        off += static_cast<size_t>(r);
    }
    return true;
}

void SendAll(int fd, const std::vector<uint8_t>& data) {
    size_t off = 0;
    while (off < data.size()) {
        ssize_t n = send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n <= 0) return;
        off += static_cast<size_t>(n);
    }
}

std::string HeaderValue(const std::string& msg, const std::string& name) {
    size_t at = msg.find("\r\n" + name + ":");
    if (at == std::string::npos) return {};
    at += name.size() + 3;
    return msg.substr(at, msg.find("\r\n", at) - at);
}

// Value after "-flag " in a netconf command text.
std::string Option(const std::string& text, const std::string& flag) {
    std::istringstream in(text);
    std::string word;
    while (in >> word)
        if (word == flag && in >> word) return word;
    return {};
}

}  // namespace

namespace {

using vendor_emu::DeviceFacts;
using vendor_emu::PutText;

void PutI32(uint8_t* r, size_t offset, int v) {
    vendor_emu::PutU32(r, offset, static_cast<uint32_t>(v));
}
// Four 32-bit integers from a dotted address.
void PutAddress(uint8_t* r, size_t offset, const std::string& ip) {
    int v[4] = {0, 0, 0, 0};
    std::sscanf(ip.c_str(), "%d.%d.%d.%d", &v[0], &v[1], &v[2], &v[3]);
    for (int i = 0; i < 4; ++i) PutI32(r, offset + 4 * i, v[i]);
}

void FillInfo(uint8_t* r, int, const DeviceFacts& f) {
    PutI32(r, 0, 372);
    PutText(r, 72, 32, f.serial);
    PutText(r, 168, 32, f.name);
    PutI32(r, 368, f.channels);
}
void FillAlarmCounts(uint8_t* r, int, const DeviceFacts& f) {
    PutI32(r, 0, 88);
    PutI32(r, 64, f.alarm_in);
    PutI32(r, 68, f.alarm_out);
}
void FillTime(uint8_t* r, int, const DeviceFacts&) {
    const std::tm t = vendor_emu::LocalNow();
    const int v[6] = {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
    PutI32(r, 0, 76);
    for (int i = 0; i < 6; ++i) PutI32(r, 4 + 4 * i, v[i]);
}
void FillPicture(uint8_t* r, int ch, const DeviceFacts&) {
    PutI32(r, 0, 32);
    PutI32(r, 4, ch);
    for (int i = 0; i < 4; ++i) PutI32(r, 8 + 4 * i, 50);
}
void FillChannelName(uint8_t* r, int ch, const DeviceFacts&) {
    PutI32(r, 0, 60);
    PutI32(r, 4, ch);
    PutText(r, 8, 48, "CAM" + std::to_string(ch + 1));
}
void FillCoding(uint8_t* r, int key, const DeviceFacts&) {
    const int sub = key & 1;
    PutI32(r, 0, 56);
    PutI32(r, 4, key >> 1);
    PutI32(r, 8, sub);
    PutI32(r, 24, sub ? 15 : 25);     // frame rate
    PutI32(r, 32, 0);                 // CBR
    PutI32(r, 36, sub ? 2 : 5);       // CIF / 1080P
    PutI32(r, 40, sub ? 512 : 4096);  // kbit/s
    PutI32(r, 48, sub ? 30 : 50);     // I-frame interval
}
void FillNetwork(uint8_t* r, int, const DeviceFacts& f) {
    PutI32(r, 0, 188);
    PutI32(r, 4, 2);
    PutAddress(r, 8, f.ip);
    PutAddress(r, 24, f.mask);
    PutAddress(r, 40, f.gateway);
    PutAddress(r, 120, f.gateway);
    PutI32(r, 152, f.web_port);
    PutI32(r, 156, f.data_port);
}
void FillDdns(uint8_t* r, int, const DeviceFacts&) {
    PutI32(r, 0, 124);
    PutText(r, 12, 32, "zynuser");
    PutText(r, 76, 48, "zyn.example.net");
}

// Configuration records: read command, write command, size, defaults.
const vendor_emu::RecordSpec kQvRecords[] = {
    {0x10000001, 0, 372, FillInfo},         {0x10000002, 0, 88, FillAlarmCounts},
    {0x10000004, 264, 76, FillTime},        {0x10000007, 267, 32, FillPicture},
    {0x10000009, 269, 60, FillChannelName}, {0x1000000E, 274, 56, FillCoding},
    {0x10000021, 296, 188, FillNetwork},    {0x10000022, 0, 124, FillDdns},
};

// Which record of a kind a request means: the channel at offset 4 (and for
// the coding records the stream at 8), else the device's only one.
int RecordKey(uint32_t read_command, const std::vector<uint8_t>& payload) {
    const bool per_channel =
        read_command == 0x10000007 || read_command == 0x10000009 || read_command == 0x1000000E;
    if (!per_channel || payload.size() < 8) return 0;
    const int ch = static_cast<int>(vendor_emu::GetU32(payload.data() + 4));
    if (read_command != 0x1000000E) return ch;
    const int stream =
        payload.size() >= 12 ? static_cast<int>(vendor_emu::GetU32(payload.data() + 8)) : 0;
    return ch * 2 + (stream != 0);
}

// The first channel's name (269, text 32 at 8) is the device's name too
// (0x10000001, text 32 at 168), as a single-camera device reports it.
void NameFromFirstChannel(vendor_emu::RecordBook& book, const QvRequest& req,
                          const vendor_emu::DeviceFacts& facts) {
    if (req.command != 269 || req.payload.size() < 40 || RecordKey(0x10000009, req.payload) != 0)
        return;
    const vendor_emu::RecordSpec* info = book.ByRead(0x10000001);
    std::vector<uint8_t> rec = book.Read(*info, 0, facts);
    std::memcpy(rec.data() + 168, req.payload.data() + 8, 32);
    rec[168 + 31] = 0;
    book.Write(*info, 0, rec.data(), rec.size(), facts);
}

}  // namespace

struct QvEmulator::Device {
    vendor_emu::RecordBook book{kQvRecords,
                                sizeof kQvRecords / sizeof kQvRecords[0]};  // guarded by mu_
    QvDeviceConfig config;                                                  // guarded by mu_
    int listen_fd = -1;
    uint16_t port = 0;
    QvFault fault = QvFault::kNone;                    // guarded by mu_
    std::map<uint32_t, std::vector<uint8_t>> records;  // guarded by mu_
    std::vector<QvRequest> requests;                   // guarded by mu_
    std::vector<std::string> commands;                 // guarded by mu_
    int reboots = 0;                                   // guarded by mu_
    int restores = 0;                                  // guarded by mu_
};

QvEmulator::QvEmulator(std::vector<QvDeviceConfig> devices, bool hds) : hds_(hds) {
    for (size_t i = 0; i < devices.size(); ++i) {
        auto d = std::make_unique<Device>();
        d->config = std::move(devices[i]);
        char buf[40];
        if (d->config.device_id.empty()) {
            std::snprintf(buf, sizeof buf, "QVDEVSIM%024zu", i + 1);
            d->config.device_id = buf;
        }
        if (d->config.mac.empty()) {
            std::snprintf(buf, sizeof buf, "00:51:56:00:00:%02zx", (i + 1) & 0xFF);
            d->config.mac = buf;
        }
        // Kept between runs under ZYN_VENDOR_STATE, by the device's id.
        d->book = vendor_emu::RecordBook(kQvRecords, sizeof kQvRecords / sizeof kQvRecords[0],
                                         "devsim-qv-" + d->config.device_id);
        devices_.push_back(std::move(d));
    }
}

QvEmulator::~QvEmulator() {
    Stop();
}

bool QvEmulator::Start(std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + std::strerror(errno);
        Stop();
        return false;
    };
    for (auto& d : devices_) {
        d->listen_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        setsockopt(d->listen_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(d->config.media_port);
        if (inet_pton(AF_INET, d->config.ip.c_str(), &a.sin_addr) != 1 ||
            bind(d->listen_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            listen(d->listen_fd, 8) != 0)
            return fail("QV device on " + d->config.ip + ":" +
                        std::to_string(d->config.media_port));
        socklen_t len = sizeof a;
        getsockname(d->listen_fd, reinterpret_cast<sockaddr*>(&a), &len);
        d->port = ntohs(a.sin_port);
        d->config.media_port = d->port;
    }
    if (hds_) {
        if (!InPrivateNetworkNamespace()) {
            errno = EPERM;
            return fail("the HDS responder runs only inside a private network namespace");
        }
        hds_fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        int one = 1;
        setsockopt(hds_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(8002);
        ip_mreq m{};
        inet_pton(AF_INET, kGroup, &m.imr_multiaddr);
        m.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
        unsigned char loop = 1;
        if (bind(hds_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            setsockopt(hds_fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) != 0 ||
            setsockopt(hds_fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) != 0)
            return fail("HDS responder on port 8002");
    }
    if (pipe(wake_) != 0) return fail("pipe");
    thread_ = std::thread([this] { Run(); });
    for (int i = 0; hds_ && i < device_count(); ++i) Announce(i);  // devices say hello once
    return true;
}

void QvEmulator::Stop() {
    if (thread_.joinable()) {
        char c = 0;
        (void)!write(wake_[1], &c, 1);
        thread_.join();
    }
    for (int* fd : {&wake_[0], &wake_[1], &hds_fd_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
    for (auto& d : devices_) {
        if (d->listen_fd >= 0) close(d->listen_fd);
        d->listen_fd = -1;
    }
}

void QvEmulator::Run() {
    for (;;) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}};
        for (auto& d : devices_) fds.push_back({d->listen_fd, POLLIN, 0});
        if (hds_fd_ >= 0) fds.push_back({hds_fd_, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        for (size_t i = 0; i < devices_.size(); ++i) {
            if (!(fds[i + 1].revents & POLLIN)) continue;
            int fd = accept4(devices_[i]->listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            Serve(*devices_[i], fd);
            close(fd);
        }
        if (hds_fd_ >= 0 && (fds.back().revents & POLLIN)) ServeHds();
    }
}

vendor_emu::DeviceFacts QvEmulator::Facts(const QvDeviceConfig& c) {
    vendor_emu::DeviceFacts f;
    f.name = c.name;
    f.serial = c.device_id;
    f.ip = c.ip;
    f.mask = c.mask;
    f.gateway = c.gateway;
    f.user = c.user;
    f.password = c.password;
    f.channels = c.cam_count;
    f.alarm_in = c.alarm_in;
    f.alarm_out = c.alarm_out;
    f.web_port = c.http_port;
    return f;
}

void QvEmulator::Serve(Device& d, int fd) {
    uint8_t head[kHeader];
    if (!ReadExactly(fd, head, kHeader)) return;  // a test connect, or garbage
    QvRequest req;
    req.raw.assign(head, head + kHeader);
    const int checked = qvnet::CheckReplyStart(head);  // the same magic and length rules
    if (checked < 0) return;
    const uint32_t total = static_cast<uint32_t>(checked);
    qvnet::Header h;
    std::memcpy(&h, head, sizeof h);
    req.payload.resize(total - kHeader);
    if (!ReadExactly(fd, req.payload.data(), req.payload.size())) return;
    req.raw.insert(req.raw.end(), req.payload.begin(), req.payload.end());
    req.command = h.command;
    req.user = Text(reinterpret_cast<const uint8_t*>(h.user), sizeof h.user);
    req.password = Text(reinterpret_cast<const uint8_t*>(h.password), sizeof h.password);

    std::vector<uint8_t> reply_payload;
    QvFault fault;
    bool authorised, reply = true;
    {
        std::lock_guard<std::mutex> lock(mu_);
        fault = d.fault;
        authorised = req.user == d.config.user && req.password == d.config.password;
        vendor_emu::DeviceFacts facts = Facts(d.config);
        facts.data_port = d.port;
        if (authorised) {
            if (req.command == kLogin) {
                reply_payload.assign(256, 0);
                std::memcpy(reply_payload.data(), d.config.device_id.data(),
                            std::min<size_t>(d.config.device_id.size(), 32));
                std::memcpy(reply_payload.data() + 32, d.config.model.data(),
                            std::min<size_t>(d.config.model.size(), 31));
                PutU32(reply_payload.data() + 64, static_cast<uint32_t>(d.config.cam_count));
            } else if (req.command == kReboot) {
                ++d.reboots;
                reply = false;  // the device goes down at once
            } else if (req.command == kRestore) {
                ++d.restores;
                d.records.clear();
                d.book.Clear();
            } else if (req.command >= 0x10000000) {
                auto it = d.records.find(req.command);
                if (it != d.records.end()) {
                    reply_payload = it->second;
                } else if (const auto* spec = d.book.ByRead(req.command)) {
                    reply_payload = d.book.Read(*spec, RecordKey(spec->read, req.payload), facts);
                }
            } else {
                d.records[req.command] = req.payload;
                if (const auto* spec = d.book.ByWrite(req.command, req.payload.size()))
                    d.book.Write(*spec, RecordKey(spec->read, req.payload), req.payload.data(),
                                 req.payload.size(), facts);
                NameFromFirstChannel(d.book, req, facts);
            }
        }
        d.requests.push_back(req);
    }
    changed_.notify_all();
    if (!reply || fault == QvFault::kCloseEarly) return;
    if (fault == QvFault::kNoLoginData && req.command == kLogin) reply_payload.clear();

    std::vector<uint8_t> out(kHeader + reply_payload.size(), 0);
    qvnet::Header r{};
    std::memcpy(r.magic, qvnet::kMagic, sizeof r.magic);
    r.total_bytes = static_cast<uint32_t>(out.size());
    r.command = req.command;
    r.word20 = authorised ? 0 : 1;
    std::memcpy(out.data(), &r, sizeof r);
    std::copy(reply_payload.begin(), reply_payload.end(), out.begin() + kHeader);
    switch (fault) {
        case QvFault::kBadMagic:
            out[6] = '2';
            break;
        case QvFault::kShortLength:
            PutU32(out.data() + offsetof(qvnet::Header, total_bytes), kHeader - 1);
            break;
        case QvFault::kLongLength:
            PutU32(out.data() + offsetof(qvnet::Header, total_bytes), qvnet::kMaxMessageBytes + 1);
            break;
        case QvFault::kWord20:
            PutU32(out.data() + offsetof(qvnet::Header, word20), 1);
            break;
        case QvFault::kTruncated:
            out.resize(200, 0);
            PutU32(out.data() + offsetof(qvnet::Header, total_bytes), 200);
            out.resize(120);
            break;
        default:
            break;
    }
    SendAll(fd, out);
}

std::string QvEmulator::HdsBody(const Device& d) const {
    const QvDeviceConfig& c = d.config;
    std::string b;
    b += "Device-ID=" + c.device_id + "\r\n";
    b += "Device-Name=" + c.name + "\r\n";
    b += "Device-Model=" + c.model + "\r\n";
    b += "Software-Version=" + c.software_version + "\r\n";
    b += "IP=" + c.ip + "\r\n";
    b += "MASK=" + c.mask + "\r\n";
    b += "Gateway=" + c.gateway + "\r\n";
    b += "MAC=" + c.mac + "\r\n";
    b += "Http-Port=" + std::to_string(c.http_port) + "\r\n";
    b += "Media-Port=" + std::to_string(d.port) + "\r\n";
    b += "cam-count=" + std::to_string(c.cam_count) + "\r\n";
    return b;
}

void QvEmulator::SendHds(const std::string& text) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(8004);
    inet_pton(AF_INET, kGroup, &to.sin_addr);
    sendto(hds_fd_, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

bool QvEmulator::ApplyNetconf(Device& d, const std::string& text) {
    if (text.rfind("netconf set ", 0) != 0) return false;
    std::string ip = Option(text, "-ipaddr"), mask = Option(text, "-netmask"),
                gw = Option(text, "-gateway"), mac = Option(text, "-hwaddr");
    in_addr probe{};
    for (const std::string* a : {&ip, &mask, &gw})
        if (!a->empty() && inet_pton(AF_INET, a->c_str(), &probe) != 1) return false;
    if (!ip.empty()) d.config.ip = ip;  // reported only; the server keeps its socket
    if (!mask.empty()) d.config.mask = mask;
    if (!gw.empty()) d.config.gateway = gw;
    if (!mac.empty() && mac.size() <= 17) d.config.mac = mac;
    return true;
}

void QvEmulator::ServeHds() {
    char buf[4096];
    ssize_t n = recv(hds_fd_, buf, sizeof buf - 1, 0);
    if (n <= 0) return;
    std::string msg(buf, static_cast<size_t>(n));
    std::string method = msg.substr(0, msg.find(' '));
    if (method != "SEARCH" && method != "CMD") return;  // our own replies come back too
    std::string cseq = HeaderValue(msg, "CSeq"), client = HeaderValue(msg, "Client-ID");
    std::vector<std::string> replies;
    {
        std::lock_guard<std::mutex> lock(mu_);
        for (auto& d : devices_) {
            std::string body;
            if (method == "CMD") {
                if (HeaderValue(msg, "Device-ID") != d->config.device_id) continue;
                size_t at = msg.find("\r\n\r\n");
                std::string text = at == std::string::npos ? "" : msg.substr(at + 4);
                text = text.substr(0, text.find('\0'));
                d->commands.push_back(text);
                body = ApplyNetconf(*d, text) ? "result=0\r\n" : "result=-1\r\n";
            } else {
                body = HdsBody(*d);
            }
            replies.push_back("HDS/1.0 200 OK\r\nCSeq:" + cseq + "\r\nClient-ID:" + client +
                              "\r\nContent-Type:text/HDP\r\nContent-Length:" +
                              std::to_string(body.size()) + "\r\n\r\n" + body);
        }
    }
    changed_.notify_all();
    for (const std::string& r : replies) SendHds(r);
}

void QvEmulator::Announce(int index) {
    std::string body;
    {
        std::lock_guard<std::mutex> lock(mu_);
        body = HdsBody(*devices_.at(index));
    }
    if (hds_fd_ >= 0)
        SendHds("REGISTER * HDS/1.0\r\nCSeq:1\r\nContent-Type:text/HDP\r\nContent-Length:" +
                std::to_string(body.size()) + "\r\n\r\n" + body);
}

QvDeviceConfig QvEmulator::device(int index) const {
    std::lock_guard<std::mutex> lock(mu_);
    return devices_.at(index)->config;
}
uint16_t QvEmulator::port(int index) const {
    return devices_.at(index)->port;
}
void QvEmulator::SetFault(int index, QvFault fault) {
    std::lock_guard<std::mutex> lock(mu_);
    devices_.at(index)->fault = fault;
}
void QvEmulator::SetRecord(int index, uint32_t command, std::vector<uint8_t> data) {
    std::lock_guard<std::mutex> lock(mu_);
    devices_.at(index)->records[command] = std::move(data);
}
std::vector<uint8_t> QvEmulator::Record(int index, uint32_t command) const {
    std::lock_guard<std::mutex> lock(mu_);
    auto& r = devices_.at(index)->records;
    auto it = r.find(command);
    return it == r.end() ? std::vector<uint8_t>{} : it->second;
}
std::vector<QvRequest> QvEmulator::Requests(int index) const {
    std::lock_guard<std::mutex> lock(mu_);
    return devices_.at(index)->requests;
}
std::vector<std::string> QvEmulator::Commands(int index) const {
    std::lock_guard<std::mutex> lock(mu_);
    return devices_.at(index)->commands;
}
int QvEmulator::reboots(int index) const {
    std::lock_guard<std::mutex> lock(mu_);
    return devices_.at(index)->reboots;
}
int QvEmulator::restores(int index) const {
    std::lock_guard<std::mutex> lock(mu_);
    return devices_.at(index)->restores;
}
bool QvEmulator::WaitRequests(int index, size_t count, int timeout_ms) const {
    std::unique_lock<std::mutex> lock(mu_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [&] { return devices_.at(index)->requests.size() >= count; });
}
bool QvEmulator::WaitCommands(int index, size_t count, int timeout_ms) const {
    std::unique_lock<std::mutex> lock(mu_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [&] { return devices_.at(index)->commands.size() >= count; });
}

}  // namespace devsim
