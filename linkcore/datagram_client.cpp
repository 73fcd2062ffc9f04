// CUdpClient and CMCastClient: one UDP socket, one message per datagram.
// The UDP client's socket is connected, so the kernel drops datagrams from
// any other sender; the multicast client takes datagrams from every sender
// of the group. Malformed datagrams are dropped and counted.
#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>
#include <mutex>

#include <asio/ip/multicast.hpp>
#include <asio/ip/udp.hpp>

#include "linkcore/callback_gate.h"
#include "linkcore/diagnostics.h"
#include "linkcore/frame_decoder.h"
#include "linkcore/io_runtime.h"
#include "linkcore/linkcore.h"
#include "linkcore/socket_util.h"

namespace linkcore::detail {

class DatagramSession : public std::enable_shared_from_this<DatagramSession> {
public:
    DatagramSession(asio::ip::udp::socket socket, asio::ip::udp::endpoint destination,
                    bool connected, std::shared_ptr<CallbackGate> gate, uint64_t epoch)
        : socket_(std::move(socket)),
          fd_(socket_.native_handle()),
          destination_(destination),
          connected_(connected),
          gate_(std::move(gate)),
          epoch_(epoch),
          local_port_(LocalPortOf(fd_)),
          buffer_(std::make_unique_for_overwrite<uint8_t[]>(kBufferBytes)) {}

    void Start() { ArmRead(); }
    bool alive() const { return !dead_.load(std::memory_order_acquire); }
    uint16_t local_port() const { return local_port_; }

    bool Send(iovec* iov, int count) {
        if (!alive()) return false;
        // A datagram leaves whole or not at all, so senders need no lock.
        return SendDatagram(fd_, iov, count, connected_ ? nullptr : destination_.data(),
                            static_cast<socklen_t>(destination_.size()), SendTimeoutMs());
    }

    void Kill() {
        if (!dead_.exchange(true, std::memory_order_acq_rel)) ::shutdown(fd_, SHUT_RDWR);
    }

private:
    // One byte more than the largest message, so an oversized datagram shows
    // up as too long instead of being cut to a valid-looking one.
    static constexpr std::size_t kBufferBytes = kHeaderBytes + kMaxPayload + 1;

    void ArmRead() {
        auto self = shared_from_this();
        socket_.async_receive(asio::buffer(buffer_.get(), kBufferBytes),
                              [self](const asio::error_code& ec, std::size_t n) {
                                  self->OnReceive(ec, n);
                              });
    }

    void OnReceive(const asio::error_code& ec, std::size_t n) {
        GateBatch batch(*gate_, epoch_);
        if (!batch || !alive()) {
            Kill();
            return;
        }
        if (ec) {
            // An ICMP "port unreachable" for an earlier datagram (the peer is
            // not up yet) is no socket failure; anything else is.
            if (ec == asio::error::connection_refused || ec == asio::error::message_size) {
                ArmRead();
                return;
            }
            Kill();
            batch.Deliver(batch.registered_id(), kCmdConnectionLost, 0, nullptr, 0);
            return;
        }
        FrameView m;
        if (ParseDatagram(buffer_.get(), n, &m)) {
            if (!batch.Deliver(batch.registered_id(), m.command, m.second_word, m.payload,
                               m.length)) {
                Kill();
                return;
            }
        } else {
            GetCounters().datagrams_dropped.fetch_add(1);
        }
        ArmRead();
    }

    asio::ip::udp::socket socket_;  // read chain only; fd_ is used raw by senders
    const int fd_;
    const asio::ip::udp::endpoint destination_;
    const bool connected_;
    const std::shared_ptr<CallbackGate> gate_;
    const uint64_t epoch_;
    const uint16_t local_port_;
    std::unique_ptr<uint8_t[]> buffer_;  // read chain only
    std::atomic<bool> dead_{false};
};

// State shared by both datagram clients.
struct DatagramClientState {
    explicit DatagramClientState(int kind) : gate(std::make_shared<CallbackGate>(kind)) {}

    RuntimeUser runtime_user;
    std::shared_ptr<CallbackGate> gate;
    std::mutex mutex;
    std::shared_ptr<DatagramSession> session;  // mutex

    std::shared_ptr<DatagramSession> current() {
        std::lock_guard<std::mutex> lock(mutex);
        return session;
    }

    bool Install(std::shared_ptr<DatagramSession> s, uint64_t epoch) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!gate->Current(epoch)) {
                s->Kill();
                return false;
            }
            session = s;
        }
        s->Start();
        return true;
    }

    void Close() {
        gate->EndEpoch();
        std::shared_ptr<DatagramSession> old;
        {
            std::lock_guard<std::mutex> lock(mutex);
            old.swap(session);
        }
        if (old) old->Kill();
    }

    int Send(uint16_t command, uint16_t second_word, const void* payload, uint16_t length) {
        if (length > 0 && payload == nullptr) return -1;
        if (kHeaderBytes + length > kMaxDatagramBytes) return -1;
        auto s = current();
        if (!s || !s->alive()) return -1;
        uint8_t header[kHeaderBytes];
        EncodeHeader(header, command, second_word, length);
        iovec iov[2] = {{header, sizeof(header)}, {const_cast<void*>(payload), length}};
        if (!s->Send(iov, length > 0 ? 2 : 1)) return -1;
        return static_cast<int>(kHeaderBytes + length);
    }

    int IsConnected() {
        auto s = current();
        return s && s->alive() ? 1 : 0;
    }

    uint16_t LocalPort() {
        auto s = current();
        return s && s->alive() ? s->local_port() : 0;
    }
};

}  // namespace linkcore::detail

using linkcore::detail::DatagramClientState;
using linkcore::detail::DatagramSession;

struct CUdpClient::Impl : DatagramClientState {
    Impl() : DatagramClientState(linkcore::kLinkUdpClient) {}
};

CUdpClient::CUdpClient() : impl_(std::make_shared<Impl>()) {}
CUdpClient::~CUdpClient() { Close(); }
int CUdpClient::IsConnected() { return impl_->IsConnected(); }

int CUdpClient::Open(const char* address, uint16_t port) {
    using namespace linkcore::detail;
    Close();
    const uint64_t epoch = impl_->gate->epoch();
    asio::ip::address ip;
    if (!ParseAddress(address, &ip) || port == 0) return 0;
    const asio::ip::udp::endpoint peer(ip, port);
    asio::ip::udp::socket socket(IoContext());
    asio::error_code ec;
    socket.open(peer.protocol(), ec);
    if (!ec) socket.non_blocking(true, ec);
    if (!ec) socket.connect(peer, ec);
    if (ec) return 0;
    auto s = std::make_shared<DatagramSession>(std::move(socket), peer, true, impl_->gate, epoch);
    return impl_->Install(std::move(s), epoch) ? 1 : 0;
}

void CUdpClient::Close() { impl_->Close(); }

int CUdpClient::SendMessage(uint16_t command, uint16_t second_word, const void* payload,
                            uint16_t length) {
    return impl_->Send(command, second_word, payload, length);
}

void CUdpClient::RegisterCallback(int id, LinkCallback callback, void* user) {
    impl_->gate->Register(id, callback, user);
}

void CUdpClient::SetConnectTimeout(int) {}
uint16_t CUdpClient::LocalPort() { return impl_->LocalPort(); }

struct CMCastClient::Impl : DatagramClientState {
    Impl() : DatagramClientState(linkcore::kLinkMCastClient) {}
};

CMCastClient::CMCastClient() : impl_(std::make_shared<Impl>()) {}
CMCastClient::~CMCastClient() { Close(); }
int CMCastClient::IsConnected() { return impl_->IsConnected(); }

int CMCastClient::Open(const char* group, uint16_t port) {
    using namespace linkcore::detail;
    Close();
    const uint64_t epoch = impl_->gate->epoch();
    asio::ip::address ip;
    if (!ParseAddress(group, &ip) || !ip.is_multicast()) return 0;
    const asio::ip::udp::endpoint local(
        ip.is_v4() ? asio::ip::address(asio::ip::address_v4::any())
                   : asio::ip::address(asio::ip::address_v6::any()),
        port);
    asio::ip::udp::socket socket(IoContext());
    asio::error_code ec;
    socket.open(local.protocol(), ec);
    if (!ec) socket.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) socket.bind(local, ec);
    // The kernel picks the interface of the group's route (loopback inside
    // the test namespace).
    if (!ec) socket.set_option(asio::ip::multicast::join_group(ip), ec);
    if (!ec) socket.set_option(asio::ip::multicast::enable_loopback(true), ec);
    if (!ec) socket.non_blocking(true, ec);
    if (ec) return 0;
    // With port 0 the group is reached on the port the kernel picked.
    const uint16_t send_port = port != 0 ? port : LocalPortOf(socket.native_handle());
    const asio::ip::udp::endpoint destination(ip, send_port);
    auto s = std::make_shared<DatagramSession>(std::move(socket), destination, false,
                                               impl_->gate, epoch);
    return impl_->Install(std::move(s), epoch) ? 1 : 0;
}

void CMCastClient::Close() { impl_->Close(); }

int CMCastClient::SendMessage(uint16_t command, uint16_t second_word, const void* payload,
                              uint16_t length) {
    return impl_->Send(command, second_word, payload, length);
}

void CMCastClient::RegisterCallback(int id, LinkCallback callback, void* user) {
    impl_->gate->Register(id, callback, user);
}

void CMCastClient::SetConnectTimeout(int) {}
uint16_t CMCastClient::LocalPort() { return impl_->LocalPort(); }
