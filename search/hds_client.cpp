#include "search/hds_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

namespace zynsearch {

bool HdsClient::Start(DeviceFn on_device) {
    if (fd_ >= 0) return false;
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(qvnet::kHdsClientPort);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    ip_mreq m{};
    inet_pton(AF_INET, qvnet::kHdsGroup, &m.imr_multiaddr);
    m.imr_interface.s_addr = htonl(INADDR_ANY);
    unsigned char loop_on = 1, loop_off = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop_on, sizeof loop_on) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop_off, sizeof loop_off) != 0 ||
        pipe2(wake_, O_CLOEXEC) != 0) {
        close(fd);
        return false;
    }
    // 32 letters, upper or lower case with equal weight.
    std::mt19937 gen(std::random_device{}());
    std::uniform_int_distribution<int> letter(0, 51);
    client_id_.clear();
    for (size_t i = 0; i < qvnet::kHdsClientIdChars; ++i) {
        int v = letter(gen);
        client_id_.push_back(static_cast<char>(v < 26 ? 'A' + v : 'a' + v - 26));
    }
    on_device_ = std::move(on_device);
    fd_ = fd;
    thread_ = std::thread([this] { Receive(); });
    return true;
}

void HdsClient::Stop() {
    if (fd_ < 0) return;
    char c = 0;
    (void)!write(wake_[1], &c, 1);
    if (thread_.joinable()) thread_.join();
    close(fd_);
    close(wake_[0]);
    close(wake_[1]);
    fd_ = wake_[0] = wake_[1] = -1;
}

bool HdsClient::Send(const std::string& message) {
    if (fd_ < 0) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(qvnet::kHdsDevicePort);
    inet_pton(AF_INET, qvnet::kHdsGroup, &to.sin_addr);
    return sendto(fd_, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&to),
                  sizeof to) == static_cast<ssize_t>(message.size());
}

bool HdsClient::Search() {
    std::lock_guard<std::mutex> lock(send_mu_);
    if (fd_ < 0) return false;
    return Send(qvnet::BuildHdsSearch(sequence_.Next(), client_id_));
}

bool HdsClient::Command(const std::string& device_id, const std::string& command_text) {
    if (device_id.size() != 32 || command_text.size() > 1024) return false;
    std::lock_guard<std::mutex> lock(send_mu_);
    if (fd_ < 0) return false;
    return Send(qvnet::BuildHdsCommand(sequence_.Next(), client_id_, device_id, command_text));
}

void HdsClient::Receive() {
    char buf[4096];
    for (;;) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents) return;
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) continue;
        auto device =
            qvnet::ParseHdsDevice(std::string_view(buf, static_cast<size_t>(n)), client_id_);
        if (device && on_device_) on_device_(*device);
    }
}

}  // namespace zynsearch
