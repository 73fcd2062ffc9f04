// Helpers for the Linkcore tests: a callback recorder and scripted raw-socket
// peers (plain blocking sockets on 127.0.0.1).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "linkcore/frame_decoder.h"
#include "linkcore/linkcore.h"

namespace linktest {

using Bytes = std::vector<uint8_t>;

struct Event {
    int kind = -1;
    int id = 0;
    uint16_t command = 0;
    uint16_t second_word = 0;
    Bytes payload;
    bool payload_null = false;
};

inline Bytes Frame(uint16_t command, uint16_t second_word, const Bytes& payload) {
    Bytes out(linkcore::kHeaderBytes + payload.size());
    linkcore::EncodeHeader(out.data(), command, second_word,
                           static_cast<uint16_t>(payload.size()));
    std::copy(payload.begin(), payload.end(), out.begin() + linkcore::kHeaderBytes);
    return out;
}

inline Bytes Pattern(std::size_t n, uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

// Records every callback; tests wait on it with a deadline.
class Recorder {
public:
    static int Callback(int kind, int id, uint16_t command, uint16_t second_word,
                        const uint8_t* payload, uint16_t length, void* user) {
        auto* self = static_cast<Recorder*>(user);
        Event e;
        e.kind = kind;
        e.id = id;
        e.command = command;
        e.second_word = second_word;
        e.payload_null = payload == nullptr;
        if (payload != nullptr) e.payload.assign(payload, payload + length);
        if (self->hook) self->hook(e);
        // Notify under the lock: once a waiter saw the event, this call no
        // longer touches the recorder (tests may destroy it then).
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->events_.push_back(std::move(e));
        self->cv_.notify_all();
        return 0;
    }

    // Called on the callback thread before the event is stored.
    std::function<void(const Event&)> hook;

    bool WaitFor(const std::function<bool(const std::vector<Event>&)>& done,
                 int timeout_ms = 5000) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [&] { return done(events_); });
    }
    bool WaitCount(uint16_t command, std::size_t n, int timeout_ms = 5000) {
        return WaitFor([&](const std::vector<Event>& ev) { return CountIn(ev, command) >= n; },
                       timeout_ms);
    }
    std::size_t Count(uint16_t command) {
        std::lock_guard<std::mutex> lock(mutex_);
        return CountIn(events_, command);
    }
    std::vector<Event> Events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    std::size_t Size() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_.size();
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
    }

    static std::size_t CountIn(const std::vector<Event>& ev, uint16_t command) {
        std::size_t n = 0;
        for (const Event& e : ev) n += e.command == command;
        return n;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Event> events_;
};

// A plain blocking socket: the scripted peer.
class RawSocket {
public:
    RawSocket() = default;
    explicit RawSocket(int fd) : fd_(fd) {}
    RawSocket(RawSocket&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    RawSocket& operator=(RawSocket&& o) noexcept {
        if (this != &o) {
            Close();
            fd_ = o.fd_;
            o.fd_ = -1;
        }
        return *this;
    }
    ~RawSocket() { Close(); }

    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    void NoDelay() {
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    }

    bool SendAll(const uint8_t* p, std::size_t n) {
        while (n > 0) {
            const ssize_t r = ::send(fd_, p, n, MSG_NOSIGNAL);
            if (r <= 0) return false;
            p += r;
            n -= static_cast<std::size_t>(r);
        }
        return true;
    }
    bool SendAll(const Bytes& b) { return SendAll(b.data(), b.size()); }

    // Reads exactly n bytes within timeout_ms.
    bool RecvExact(uint8_t* out, std::size_t n, int timeout_ms = 5000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (n > 0) {
            if (!WaitReadable(deadline)) return false;
            const ssize_t r = ::recv(fd_, out, n, 0);
            if (r <= 0) return false;
            out += r;
            n -= static_cast<std::size_t>(r);
        }
        return true;
    }
    bool RecvExact(Bytes* out, std::size_t n, int timeout_ms = 5000) {
        out->resize(n);
        return RecvExact(out->data(), n, timeout_ms);
    }

    // True when the peer closed (EOF or reset) within timeout_ms; data that
    // arrives first is discarded.
    bool WaitClosed(int timeout_ms = 5000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        uint8_t buf[4096];
        for (;;) {
            if (!WaitReadable(deadline)) return false;
            const ssize_t r = ::recv(fd_, buf, sizeof(buf), 0);
            if (r <= 0) return true;
        }
    }

private:
    bool WaitReadable(std::chrono::steady_clock::time_point deadline) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) return false;
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, static_cast<int>(left));
            if (r > 0) return true;
            if (r < 0 && errno != EINTR) return false;
        }
    }

    int fd_ = -1;
};

inline sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

inline RawSocket RawConnect(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
        ::close(fd);
        return RawSocket();
    }
    return RawSocket(fd);
}

// A listening TCP socket on 127.0.0.1 with an ephemeral port.
class RawListener {
public:
    explicit RawListener(int backlog = 16) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        sockaddr_in a = Loopback(0);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
        ::listen(fd_, backlog);
        socklen_t len = sizeof(a);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~RawListener() {
        if (fd_ >= 0) ::close(fd_);
    }
    uint16_t port() const { return port_; }
    int fd() const { return fd_; }

    RawSocket Accept(int timeout_ms = 5000) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeout_ms) <= 0) return RawSocket();
        return RawSocket(::accept(fd_, nullptr, nullptr));
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// A plain UDP socket bound to 127.0.0.1 (ephemeral port unless given).
class RawUdp {
public:
    explicit RawUdp(uint16_t port = 0) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a = Loopback(port);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
        socklen_t len = sizeof(a);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~RawUdp() { ::close(fd_); }
    uint16_t port() const { return port_; }
    bool SendTo(uint16_t port, const Bytes& b) {
        sockaddr_in a = Loopback(port);
        return ::sendto(fd_, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&a),
                        sizeof(a)) == static_cast<ssize_t>(b.size());
    }
    bool SendToAddress(const char* ip, uint16_t port, const Bytes& b) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        ::inet_pton(AF_INET, ip, &a.sin_addr);
        return ::sendto(fd_, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&a),
                        sizeof(a)) == static_cast<ssize_t>(b.size());
    }
    // One datagram within timeout_ms; *from_port gets the sender's port.
    bool Recv(Bytes* out, uint16_t* from_port = nullptr, int timeout_ms = 5000) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeout_ms) <= 0) return false;
        out->resize(70000);
        sockaddr_in a{};
        socklen_t len = sizeof(a);
        const ssize_t r =
            ::recvfrom(fd_, out->data(), out->size(), 0, reinterpret_cast<sockaddr*>(&a), &len);
        if (r < 0) return false;
        out->resize(static_cast<std::size_t>(r));
        if (from_port != nullptr) *from_port = ntohs(a.sin_port);
        return true;
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// Catches callbacks that run, or are still running, after the owner's
// Close/Shutdown returned. Each callback stays busy for a moment so that one
// overlapping the Close would be seen.
struct LateCallbackProbe {
    std::atomic<bool> closed{false};
    std::atomic<int> active{0};
    std::atomic<int> late{0};
    std::atomic<int> seen{0};

    static int Callback(int, int, uint16_t, uint16_t, const uint8_t*, uint16_t, void* user) {
        auto* p = static_cast<LateCallbackProbe*>(user);
        p->active.fetch_add(1);
        if (p->closed.load()) p->late.fetch_add(1);
        p->seen.fetch_add(1);
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(20);
        while (std::chrono::steady_clock::now() < until) {
        }
        if (p->closed.load()) p->late.fetch_add(1);
        p->active.fetch_sub(1);
        return 0;
    }
    // Call right after Close/Shutdown returned.
    void MarkClosed() {
        closed.store(true);
        if (active.load() != 0) late.fetch_add(1);
    }
};

// Polls `done` until it holds or the deadline passes.
inline bool Eventually(const std::function<bool()>& done, int timeout_ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Decodes a received byte stream with the library's decoder.
inline std::vector<Event> DecodeStream(const Bytes& stream) {
    std::vector<Event> out;
    linkcore::FrameDecoder decoder;
    decoder.Feed(stream.data(), stream.size(), [&](const linkcore::FrameView& m) {
        Event e;
        e.command = m.command;
        e.second_word = m.second_word;
        e.payload.assign(m.payload, m.payload + m.length);
        out.push_back(std::move(e));
        return true;
    });
    return out;
}

}  // namespace linktest
