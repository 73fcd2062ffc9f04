#include "tests/devsim/peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <map>
#include <sys/wait.h>

namespace devsim_test {

using Clock = std::chrono::steady_clock;

uint16_t Msg::Result() const { return payload.size() >= 2 ? GetU16(payload, 0) : 0xFFFF; }
uint16_t Msg::Word() const { return payload.size() >= 4 ? GetU16(payload, 2) : 0xFFFF; }

LinkPeer::LinkPeer(Kind kind) {
    if (kind == kTcp)
        client_ = std::make_unique<CTcpClient>();
    else if (kind == kUdp)
        client_ = std::make_unique<CUdpClient>();
    else
        client_ = std::make_unique<CMCastClient>();
    client_->RegisterCallback(1, &LinkPeer::OnMessage, this);
}

LinkPeer::~LinkPeer() { client_->Close(); }

int LinkPeer::OnMessage(int, int, uint16_t command, uint16_t second_word, const uint8_t* payload,
                        uint16_t length, void* user) {
    auto* self = static_cast<LinkPeer*>(user);
    Msg m;
    m.command = command;
    m.second_word = second_word;
    if (payload && length) m.payload.assign(payload, payload + length);
    {
        std::lock_guard<std::mutex> lock(self->mu_);
        if (command == linkcore::kCmdConnectionLost) self->lost_ = true;
        self->queue_.push_back(std::move(m));
    }
    self->cv_.notify_all();
    return 0;
}

bool LinkPeer::Open(uint16_t port, const std::string& address) {
    {
        std::lock_guard<std::mutex> lock(mu_);
        lost_ = false;
    }
    return client_->Open(address.c_str(), port) != 0;
}

void LinkPeer::Close() { client_->Close(); }

int LinkPeer::Send(uint16_t command, const Bytes& payload, uint16_t second_word) {
    return client_->SendMessage(command, second_word, payload.empty() ? nullptr : payload.data(),
                                static_cast<uint16_t>(payload.size()));
}

std::optional<Msg> LinkPeer::Next(int timeout_ms) {
    std::unique_lock<std::mutex> lock(mu_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                      [&] { return !queue_.empty(); }))
        return std::nullopt;
    Msg m = std::move(queue_.front());
    queue_.pop_front();
    return m;
}

std::optional<Msg> LinkPeer::WaitFor(uint16_t command, int timeout_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                .count());
        if (left < 0) return std::nullopt;
        auto m = Next(left);
        if (!m) return std::nullopt;
        if (m->command == command) return m;
    }
}

std::optional<Msg> LinkPeer::Request(uint16_t command, const Bytes& payload, uint16_t reply,
                                     int timeout_ms) {
    if (Send(command, payload) < 0) return std::nullopt;
    return WaitFor(reply, timeout_ms);
}

bool LinkPeer::WaitLost(int timeout_ms) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return lost_; });
}

bool LinkPeer::lost() {
    std::lock_guard<std::mutex> lock(mu_);
    return lost_;
}

uint16_t LinkPeer::LocalPort() { return client_->LocalPort(); }

RawSocket::~RawSocket() { Close(); }

void RawSocket::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool RawSocket::Connect(uint16_t port) {
    Close();
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        Close();
        return false;
    }
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

bool RawSocket::SendBytes(const Bytes& bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n <= 0) return false;
        off += static_cast<size_t>(n);
    }
    return true;
}

bool RawSocket::ReadExact(size_t n, Bytes* out, int timeout_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    out->clear();
    out->reserve(n);
    uint8_t buf[4096];
    while (out->size() < n) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                .count());
        if (left <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) return false;
        ssize_t r = recv(fd_, buf, std::min(sizeof buf, n - out->size()), 0);
        if (r <= 0) return false;
        out->insert(out->end(), buf, buf + r);
    }
    return true;
}

bool RawSocket::ReadMessage(Bytes* raw, int timeout_ms) {
    Bytes header, payload;
    if (!ReadExact(8, &header, timeout_ms)) return false;
    if (!ReadExact(GetU16(header, 6), &payload, timeout_ms)) return false;
    *raw = header;
    raw->insert(raw->end(), payload.begin(), payload.end());
    return true;
}

bool RawSocket::WaitClosed(int timeout_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    uint8_t buf[4096];
    for (;;) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                .count());
        if (left <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) return false;
        ssize_t r = recv(fd_, buf, sizeof buf, 0);
        if (r <= 0) return true;
    }
}

Bytes LoginPayload(const std::string& user, const std::string& password, uint32_t id,
                   uint8_t channels) {
    Bytes p(40, 0);
    std::memcpy(p.data(), &id, 4);
    p[4] = channels;
    p[5] = 2;
    std::memcpy(p.data() + 8, user.data(), std::min<size_t>(8, user.size()));
    std::memcpy(p.data() + 16, password.data(), std::min<size_t>(8, password.size()));
    return p;
}

Bytes StreamRequestPayload(uint8_t kind, uint8_t channel, uint8_t open, uint8_t transport,
                           uint32_t link_value, uint16_t port, uint32_t address) {
    Bytes p(16, 0);
    p[0] = kind;
    p[1] = channel;
    p[2] = open;
    p[3] = transport;
    std::memcpy(p.data() + 4, &link_value, 4);
    std::memcpy(p.data() + 10, &port, 2);
    std::memcpy(p.data() + 12, &address, 4);
    return p;
}

Bytes ChannelPrefix(uint8_t channel) { return Bytes{channel, 0, 0, 0}; }

Bytes U32(uint32_t v) {
    Bytes b(4);
    std::memcpy(b.data(), &v, 4);
    return b;
}

uint16_t GetU16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}
uint32_t GetU32(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(GetU16(b, at)) | (static_cast<uint32_t>(GetU16(b, at + 2)) << 16);
}

static uint32_t HeaderU32(const uint8_t* h, size_t at) {
    uint32_t v;
    std::memcpy(&v, h + at, 4);
    return v;
}
uint32_t Frame::number() const { return HeaderU32(header, 8); }
uint32_t Frame::total() const { return HeaderU32(header, 12); }
uint32_t Frame::seconds() const { return HeaderU32(header, 16); }
uint16_t Frame::millis() const { return static_cast<uint16_t>(header[20] | (header[21] << 8)); }

std::optional<Frame> Reassembler::Feed(const Bytes& payload) {
    if (payload.size() < 24) return std::nullopt;
    const uint8_t* h = payload.data();
    size_t n = static_cast<size_t>(h[22] | (h[23] << 8));
    int index = h[6], count = h[7];
    if (index == 0) {
        current_ = Frame{};
        std::memcpy(current_->header, h, 24);
        next_index_ = 0;
    }
    if (!current_) return std::nullopt;  // joined in the middle of a frame
    Frame& f = *current_;
    auto problem = [&](const std::string& what) {
        if (f.consistent) f.problem = what;
        f.consistent = false;
    };
    if (index != next_index_) problem("fragment index " + std::to_string(index));
    if (count != f.header[7]) problem("fragment count changed");
    if (std::memcmp(h + 8, f.header + 8, 8) != 0) problem("frame number or total changed");
    if (n != payload.size() - 24) problem("fragment length differs from payload");
    if (index + 1 < count && n != fragment_bytes_) problem("short middle fragment");
    f.data.insert(f.data.end(), payload.begin() + 24, payload.end());
    ++f.fragments;
    next_index_ = index + 1;
    if (index + 1 != count) return std::nullopt;
    if (f.data.size() != f.total()) problem("data does not add up to the total length");
    Frame done = std::move(f);
    current_.reset();
    return done;
}

bool Login(LinkPeer& peer, uint16_t port, const std::string& user, const std::string& password,
           uint16_t reply) {
    if (!peer.Open(port)) return false;
    auto r = peer.Request(0x0101, LoginPayload(user, password), reply);
    return r && r->Result() == 0;
}

std::vector<Frame> CollectFrames(LinkPeer& stream, int count, int timeout_ms, int channel,
                                 int kind) {
    std::vector<Frame> frames;
    std::map<int, Reassembler> parts;  // by channel byte and kind
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (static_cast<int>(frames.size()) < count) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                .count());
        if (left <= 0) break;
        auto m = stream.Next(left);
        if (!m) break;
        if (m->command != 0x0301 || m->payload.size() < 24) continue;
        int ch = m->payload[1], k = m->payload[3];
        if ((channel >= 0 && ch != channel) || (kind >= 0 && k != kind)) continue;
        if (auto f = parts[ch * 16 + k].Feed(m->payload)) frames.push_back(std::move(*f));
    }
    return frames;
}

devsim::DeviceConfig SmallDevice(uint32_t id, int channels) {
    devsim::DeviceConfig d;
    d.device_id = id;
    d.channel_count = channels;
    d.main = {352, 288, 25, 300, 10, 1};
    d.sub = {176, 144, 25, 100, 10, 1};
    d.reboot_delay_ms = 200;
    return d;
}

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::string ArtifactDir() {
#ifdef ZYNVS_ARTIFACT_DIR
    return ZYNVS_ARTIFACT_DIR;
#else
    return "/tmp";
#endif
}

std::string RunCommand(const std::string& command, int* status) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        if (status) *status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int st = pclose(p);
    if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

bool HaveProgram(const char* name) {
    int status = 0;
    RunCommand(std::string("which ") + name + " >/dev/null 2>&1", &status);
    return status == 0;
}

}  // namespace devsim_test
