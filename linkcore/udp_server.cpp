// CUdpServer: one bound UDP socket; every distinct sender endpoint is a
// connection with its own handle. The receive chain and the reports of
// closed connections run on one strand per opening; sends go straight to the
// socket from the caller's thread (a datagram leaves whole).
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include <asio/bind_executor.hpp>
#include <asio/ip/udp.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>

#include "linkcore/callback_gate.h"
#include "linkcore/connection_table.h"
#include "linkcore/diagnostics.h"
#include "linkcore/frame_decoder.h"
#include "linkcore/io_runtime.h"
#include "linkcore/linkcore.h"
#include "linkcore/socket_util.h"

namespace linkcore::detail {

// Senders beyond this many are ignored until some are closed: datagrams are
// cheap to forge, the table must not grow without bound.
constexpr std::size_t kMaxUdpPeers = 16384;

class UdpServerCore : public std::enable_shared_from_this<UdpServerCore> {
public:
    UdpServerCore(std::shared_ptr<CallbackGate> gate, uint64_t epoch,
                  std::shared_ptr<std::atomic<int>> next_handle, asio::io_context& context,
                  asio::ip::udp::socket socket)
        : gate_(std::move(gate)),
          epoch_(epoch),
          strand_(asio::make_strand(context)),
          socket_(std::move(socket)),
          fd_(socket_.native_handle()),
          buffer_(std::make_unique_for_overwrite<uint8_t[]>(kBufferBytes)),
          peers_(std::move(next_handle), kMaxUdpPeers) {}

    void Start() {
        asio::post(strand_, [self = shared_from_this()] { self->ArmRead(); });
    }

    int Send(int handle, uint16_t command, uint16_t second_word, const void* payload,
             uint16_t length) {
        asio::ip::udp::endpoint to;
        if (!peers_.Find(handle, &to)) return -1;
        uint8_t header[kHeaderBytes];
        EncodeHeader(header, command, second_word, length);
        iovec iov[2] = {{header, sizeof(header)}, {const_cast<void*>(payload), length}};
        if (!SendDatagram(fd_, iov, length > 0 ? 2 : 1, to.data(),
                          static_cast<socklen_t>(to.size()), SendTimeoutMs())) {
            return -1;
        }
        return static_cast<int>(kHeaderBytes + length);
    }

    bool Forget(int handle) {
        if (!peers_.Remove(handle)) return false;
        // A datagram of this sender being delivered now finishes first.
        gate_->WaitIdle();
        asio::post(strand_, [self = shared_from_this(), handle] {
            GateBatch batch(*self->gate_, self->epoch_);
            if (batch) batch.Deliver(handle, kCmdClosed, 0, nullptr, 0);
        });
        return true;
    }

    void Stop() {
        stopped_.store(true, std::memory_order_release);
        ::shutdown(fd_, SHUT_RDWR);
        peers_.CloseAll();
        asio::post(strand_, [self = shared_from_this()] {
            asio::error_code ec;
            self->socket_.cancel(ec);
        });
    }

private:
    static constexpr std::size_t kBufferBytes = kHeaderBytes + kMaxPayload + 1;
    static constexpr int kMaxConsecutiveErrors = 64;

    void ArmRead() {
        if (stopped_.load(std::memory_order_acquire)) return;
        socket_.async_receive_from(
            asio::buffer(buffer_.get(), kBufferBytes), sender_,
            asio::bind_executor(strand_, [self = shared_from_this()](const asio::error_code& ec,
                                                                     std::size_t n) {
                self->OnReceive(ec, n);
            }));
    }

    void OnReceive(const asio::error_code& ec, std::size_t n) {
        if (stopped_.load(std::memory_order_acquire)) return;
        GateBatch batch(*gate_, epoch_);
        if (!batch) return;
        if (ec) {
            if (ec == asio::error::operation_aborted) return;
            // Transient errors (an ICMP report) are skipped; a socket that
            // keeps failing is given up instead of spinning.
            if (++consecutive_errors_ > kMaxConsecutiveErrors) return;
            ArmRead();
            return;
        }
        consecutive_errors_ = 0;
        FrameView m;
        if (ParseDatagram(buffer_.get(), n, &m)) {
            bool is_new = false;
            const int handle = peers_.Add(sender_, &is_new);
            if (handle == 0) {
                GetCounters().datagrams_dropped.fetch_add(1);
            } else {
                if (is_new && !batch.Deliver(handle, kCmdAccepted, 0, nullptr, 0)) return;
                if (peers_.Find(handle, nullptr) &&
                    !batch.Deliver(handle, m.command, m.second_word, m.payload, m.length)) {
                    return;
                }
            }
        } else {
            GetCounters().datagrams_dropped.fetch_add(1);
        }
        ArmRead();
    }

    const std::shared_ptr<CallbackGate> gate_;
    const uint64_t epoch_;
    asio::strand<asio::io_context::executor_type> strand_;
    asio::ip::udp::socket socket_;  // strand; fd_ used raw by senders
    const int fd_;
    std::unique_ptr<uint8_t[]> buffer_;  // strand
    asio::ip::udp::endpoint sender_;     // strand
    int consecutive_errors_ = 0;         // strand
    std::atomic<bool> stopped_{false};
    ConnectionTable<asio::ip::udp::endpoint, true> peers_;
};

}  // namespace linkcore::detail

using linkcore::detail::CallbackGate;
using linkcore::detail::UdpServerCore;

struct CUdpServer::Impl {
    linkcore::detail::RuntimeUser runtime_user;
    std::shared_ptr<CallbackGate> gate = std::make_shared<CallbackGate>(linkcore::kLinkUdpServer);
    std::shared_ptr<std::atomic<int>> next_handle = std::make_shared<std::atomic<int>>(1);
    std::mutex mutex;
    std::string bind_address = "0.0.0.0";  // mutex
    std::shared_ptr<UdpServerCore> core;   // mutex
    uint16_t local_port = 0;               // mutex

    std::shared_ptr<UdpServerCore> current() {
        std::lock_guard<std::mutex> lock(mutex);
        return core;
    }
};

CUdpServer::CUdpServer() : impl_(std::make_shared<Impl>()) {}
CUdpServer::~CUdpServer() { Shutdown(); }

void CUdpServer::RegisterCallback(LinkCallback callback, void* user) {
    impl_->gate->Register(0, callback, user);
}

int CUdpServer::Open(uint16_t port, int /*second_value*/) {
    using namespace linkcore::detail;
    Shutdown();
    const uint64_t epoch = impl_->gate->epoch();
    std::string bind_text;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        bind_text = impl_->bind_address;
    }
    asio::ip::address ip;
    if (!ParseAddress(bind_text.c_str(), &ip)) return 0;
    const asio::ip::udp::endpoint endpoint(ip, port);
    asio::io_context& context = IoContext();
    asio::ip::udp::socket socket(context);
    asio::error_code ec;
    socket.open(endpoint.protocol(), ec);
    if (!ec) socket.bind(endpoint, ec);
    if (!ec) socket.non_blocking(true, ec);
    if (ec) return 0;
    const uint16_t local_port = LocalPortOf(socket.native_handle());
    auto core = std::make_shared<UdpServerCore>(impl_->gate, epoch, impl_->next_handle, context,
                                                std::move(socket));
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        if (!impl_->gate->Current(epoch)) {
            core->Stop();
            return 0;
        }
        impl_->core = core;
        impl_->local_port = local_port;
    }
    core->Start();
    return 1;
}

int CUdpServer::SendMessage(int connection, uint16_t command, uint16_t second_word,
                            const void* payload, uint16_t length) {
    if (length > 0 && payload == nullptr) return -1;
    if (linkcore::kHeaderBytes + length > linkcore::detail::kMaxDatagramBytes) return -1;
    auto core = impl_->current();
    if (!core) return -1;
    return core->Send(connection, command, second_word, payload, length);
}

void CUdpServer::Shutdown() {
    impl_->gate->EndEpoch();
    std::shared_ptr<UdpServerCore> old;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        old.swap(impl_->core);
        impl_->local_port = 0;
    }
    if (old) old->Stop();
}

void CUdpServer::SetBindAddress(const char* address) {
    if (address == nullptr) return;
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->bind_address = address;
}

uint16_t CUdpServer::LocalPort() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->local_port;
}

int CUdpServer::Close(int connection) {
    auto core = impl_->current();
    if (!core) return 0;
    return core->Forget(connection) ? 1 : 0;
}
