#include "linkcore/socket_util.h"

#include <errno.h>
#include <netinet/in.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstring>

namespace linkcore::detail {
namespace {

std::atomic<int> g_send_timeout_ms{5000};

using Clock = std::chrono::steady_clock;

// Milliseconds left until deadline, at least 0.
int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on fd until deadline. False on time-out or poll error.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const int left = RemainingMs(deadline);
        if (left == 0) return false;
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, left);
        if (r > 0) return true;  // also on POLLERR/POLLHUP: the next call reports it
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
}

}  // namespace

bool ParseAddress(const char* text, asio::ip::address* out) {
    if (text == nullptr || out == nullptr) return false;
    if (std::strcmp(text, "localhost") == 0) text = "127.0.0.1";
    asio::error_code ec;
    asio::ip::address a = asio::ip::make_address(text, ec);
    if (ec) return false;
    *out = a;
    return true;
}

SendResult SendAll(int fd, iovec* iov, int count, int timeout_ms) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    int first = 0;
    while (first < count) {
        if (iov[first].iov_len == 0) {
            ++first;
            continue;
        }
        ssize_t n;
        if (count - first == 1) {
            n = ::send(fd, iov[first].iov_base, iov[first].iov_len, MSG_NOSIGNAL | MSG_DONTWAIT);
        } else {
            msghdr msg{};
            msg.msg_iov = iov + first;
            msg.msg_iovlen = static_cast<std::size_t>(count - first);
            n = ::sendmsg(fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        if (n >= 0) {
            std::size_t done = static_cast<std::size_t>(n);
            while (first < count && done >= iov[first].iov_len) {
                done -= iov[first].iov_len;
                ++first;
            }
            if (first < count) {
                iov[first].iov_base = static_cast<uint8_t*>(iov[first].iov_base) + done;
                iov[first].iov_len -= done;
            }
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return SendResult::kError;
        if (!WaitFor(fd, POLLOUT, deadline)) return SendResult::kTimeout;
    }
    return SendResult::kOk;
}

bool SendDatagram(int fd, iovec* iov, int count, const sockaddr* to, socklen_t to_len,
                  int timeout_ms) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    msghdr msg{};
    msg.msg_name = const_cast<sockaddr*>(to);
    msg.msg_namelen = to != nullptr ? to_len : 0;
    msg.msg_iov = iov;
    msg.msg_iovlen = static_cast<std::size_t>(count);
    bool refused_once = false;
    for (;;) {
        const ssize_t n = ::sendmsg(fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return true;
        if (errno == EINTR) continue;
        if (errno == ECONNREFUSED && !refused_once) {
            // The error of an earlier datagram (ICMP port unreachable) is
            // reported here once; it says nothing about this one.
            refused_once = true;
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS) return false;
        if (!WaitFor(fd, POLLOUT, deadline)) return false;
    }
}

bool ConnectWithTimeout(int fd, const sockaddr* address, socklen_t length, int timeout_ms) {
    if (::connect(fd, address, length) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) return false;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(timeout_ms > 0 ? timeout_ms : 0);
    if (!WaitFor(fd, POLLOUT, deadline)) return false;
    int error = 0;
    socklen_t error_len = sizeof(error);
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &error_len) != 0) return false;
    return error == 0;
}

uint16_t LocalPortOf(int fd) {
    sockaddr_storage ss{};
    socklen_t len = sizeof(ss);
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return 0;
    if (ss.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    if (ss.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
    return 0;
}

int SendTimeoutMs() { return g_send_timeout_ms.load(std::memory_order_relaxed); }

void SetSendTimeoutMs(int timeout_ms) {
    g_send_timeout_ms.store(timeout_ms > 0 ? timeout_ms : 1, std::memory_order_relaxed);
}

}  // namespace linkcore::detail
