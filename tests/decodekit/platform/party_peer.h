// A scripted party for the platform-service tests: one blocking TCP socket to
// 127.0.0.1 that speaks the framed message format, with deadlines on every read.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"

namespace party_test {
namespace wire = zyn::wire;
using Bytes = std::vector<uint8_t>;

struct Message {
    uint16_t command = 0;
    uint16_t word = 0;
    Bytes body;
};

class Peer {
public:
    explicit Peer(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~Peer() {
        if (fd_ >= 0) close(fd_);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    bool ok() const { return fd_ >= 0; }

    void Send(uint16_t command, uint16_t word, const Bytes& body = {}) {
        Bytes out(wire::kMessageHeaderBytes + body.size());
        wire::MutableMessageHeader(out.data())
            .Set(command, word, static_cast<uint16_t>(body.size()));
        std::copy(body.begin(), body.end(), out.begin() + wire::kMessageHeaderBytes);
        std::size_t sent = 0;
        while (sent < out.size()) {
            ssize_t n = send(fd_, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }

    // The next message, or nothing when none arrives within the limit (or the
    // connection closed: then closed() is true).
    std::optional<Message> Next(int timeout_ms = 3000) {
        Bytes header(wire::kMessageHeaderBytes);
        if (!Read(header.data(), header.size(), timeout_ms)) return std::nullopt;
        wire::MessageHeader h(header.data());
        Message m{h.command(), h.second_word(), Bytes(h.payload_length())};
        if (!Read(m.body.data(), m.body.size(), timeout_ms)) return std::nullopt;
        return m;
    }
    // The next message with this command; others are skipped.
    std::optional<Message> Expect(uint16_t command, int timeout_ms = 3000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (std::chrono::steady_clock::now() < end) {
            auto m = Next(timeout_ms);
            if (!m) return std::nullopt;
            if (m->command == command) return m;
        }
        return std::nullopt;
    }
    // A round trip through the service: every message it sent before the
    // keep-alive reply is returned (the service answers in order).
    std::vector<Message> Drain(uint16_t session) {
        Send(ZYN_CMD_KEEPALIVE, session);
        std::vector<Message> seen;
        while (auto m = Next()) {
            if (m->command == wire::kKeepAliveReply) return seen;
            seen.push_back(*m);
        }
        return seen;
    }
    bool closed() const { return closed_; }
    // True when the service closes the connection within the limit.
    bool WaitClosed(int timeout_ms = 3000) {
        while (Next(timeout_ms)) {
        }
        return closed_;
    }

private:
    bool Read(uint8_t* out, std::size_t n, int timeout_ms) {
        std::size_t got = 0;
        while (got < n) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, timeout_ms) <= 0) return false;
            ssize_t r = recv(fd_, out + got, n - got, 0);
            if (r <= 0) {
                closed_ = true;
                return false;
            }
            got += static_cast<std::size_t>(r);
        }
        return true;
    }

    int fd_ = -1;
    bool closed_ = false;
};

inline Bytes LoginBody(uint32_t id, uint8_t channels, uint8_t kind, const std::string& user,
                       const std::string& password) {
    Bytes b(wire::LoginRequest::kBytes);
    wire::MutableLoginRequest v(b.data());
    v.set_device_id(id);
    v.set_channel_count(channels);
    v.set_client_kind(kind);
    std::memcpy(v.account(), user.data(), std::min<std::size_t>(user.size(), 8));
    std::memcpy(v.account() + 8, password.data(), std::min<std::size_t>(password.size(), 8));
    return b;
}

inline Bytes StreamBody(uint8_t kind, uint8_t channel, uint8_t open, uint32_t encoder) {
    Bytes b(wire::StreamRequestView::kBytes);
    wire::MutableStreamRequestView v(b.data());
    v.set_stream_kind(kind);
    v.set_channel(channel);
    v.set_open_flag(open);
    v.set_link_value(encoder);
    return b;
}

inline Bytes U32(uint32_t v) {
    Bytes b(4);
    wire::StoreLe32(b.data(), v);
    return b;
}

// A video fragment (one-fragment frame) of a channel.
inline Bytes Fragment(uint8_t channel, uint8_t type, uint8_t index, uint32_t total,
                      const Bytes& data) {
    Bytes b(wire::kFragmentHeaderBytes + data.size());
    wire::MutableFragmentHeader h(b.data());
    h.set_channel(channel);
    h.set_frame_type(type);
    h.set_fragment_index(index);
    h.set_total_length(total);
    h.set_fragment_length(static_cast<uint16_t>(data.size()));
    std::copy(data.begin(), data.end(), b.begin() + wire::kFragmentHeaderBytes);
    return b;
}
}  // namespace party_test
