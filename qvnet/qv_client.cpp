#include "qvnet/qv_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace qvnet {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        int r = poll(&p, 1, RemainingMs(deadline));
        if (r > 0) return true;
        if (r == 0 || errno != EINTR) return false;
    }
}

bool SendAll(int fd, const std::vector<uint8_t>& data, Clock::time_point deadline) {
    size_t off = 0;
    while (off < data.size()) {
        ssize_t n = send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n > 0) {
            off += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!WaitFor(fd, POLLOUT, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

// Reads exactly `bytes` into `out`; false on close, error or time-out.
bool ReadAll(int fd, uint8_t* out, size_t bytes, Clock::time_point deadline) {
    size_t off = 0;
    while (off < bytes) {
        ssize_t n = recv(fd, out + off, bytes - off, 0);
        if (n > 0) {
            off += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!WaitFor(fd, POLLIN, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

QvClient::QvClient(std::string ip, uint16_t port, std::string user, std::string password,
                   int timeout_ms)
    : ip_(std::move(ip)),
      port_(port),
      user_(std::move(user)),
      password_(std::move(password)),
      timeout_ms_(timeout_ms >= 1 && timeout_ms <= 60000 ? timeout_ms : kDefaultTimeoutMs) {}

int QvClient::Connect(int* fd_out) const {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port_);
    if (inet_pton(AF_INET, ip_.c_str(), &addr.sin_addr) != 1) return kConnectFailed;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return kConnectFailed;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms_);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        int err = 0;
        socklen_t len = sizeof err;
        if (errno != EINPROGRESS || !WaitFor(fd, POLLOUT, deadline) ||
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
            close(fd);
            return kConnectFailed;
        }
    }
    *fd_out = fd;
    return kOk;
}

int QvClient::Request(uint32_t command, const std::vector<uint8_t>& payload,
                      std::vector<uint8_t>* reply_payload) const {
    std::vector<uint8_t> request =
        BuildRequest(command, user_, password_, payload.data(), payload.size());
    if (request.empty()) return kBadArgument;
    int fd = -1;
    if (int r = Connect(&fd); r != kOk) return r;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms_);
    int result = kBadReply;
    uint8_t reply[kMaxMessageBytes];
    if (SendAll(fd, request, deadline) && ReadAll(fd, reply, 12, deadline)) {
        int total = CheckReplyStart(reply);
        if (total > 0 && ReadAll(fd, reply + 12, static_cast<size_t>(total) - 12, deadline)) {
            result = CheckReply(reply, static_cast<size_t>(total));
            if (result == kOk && reply_payload)
                reply_payload->assign(reply + kHeaderBytes, reply + total);
        }
    }
    close(fd);
    return result;
}

int QvClient::Login(std::vector<uint8_t>* device_info) const {
    int fd = -1;
    if (int r = Connect(&fd); r != kOk) return r;
    close(fd);
    std::vector<uint8_t> info;
    int r = Request(kCommandLogin, std::vector<uint8_t>(kLoginPayloadBytes, 0), &info);
    if (r != kOk) return r;
    if (info.empty()) return kLoginRefused;
    if (device_info) *device_info = std::move(info);
    return kOk;
}

}  // namespace qvnet
