// CTcpClient: one TCP connection. Reads run on the I/O pool (one read chain
// per connection, so its callbacks are serialised by construction); sends run
// on the caller's thread under the connection's send lock.
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <asio/ip/tcp.hpp>

#include "linkcore/callback_gate.h"
#include "linkcore/diagnostics.h"
#include "linkcore/frame_decoder.h"
#include "linkcore/io_runtime.h"
#include "linkcore/linkcore.h"
#include "linkcore/read_buffer.h"
#include "linkcore/socket_util.h"

namespace linkcore::detail {

constexpr int kDefaultConnectTimeoutMs = 3000;
// Messages up to this size are copied into one buffer before sending.
constexpr std::size_t kContiguousSendBytes = 2048;

class TcpClientSession : public std::enable_shared_from_this<TcpClientSession> {
public:
    TcpClientSession(asio::ip::tcp::socket socket, std::shared_ptr<CallbackGate> gate,
                     uint64_t epoch)
        : socket_(std::move(socket)),
          fd_(socket_.native_handle()),
          gate_(std::move(gate)),
          epoch_(epoch),
          local_port_(LocalPortOf(fd_)) {}

    void Start() { ArmRead(); }

    bool alive() const { return !dead_.load(std::memory_order_acquire); }
    uint16_t local_port() const { return local_port_; }

    // Puts one whole message on the wire (any thread).
    bool Send(iovec* iov, int count) {
        std::lock_guard<std::mutex> lock(send_mutex_);
        if (!alive()) return false;
        const SendResult result = SendAll(fd_, iov, count, SendTimeoutMs());
        if (result == SendResult::kOk) return true;
        // A stalled or broken peer: the stream may hold part of a message
        // now, so the connection is finished. The read chain reports it.
        if (result == SendResult::kTimeout) GetCounters().send_timeouts.fetch_add(1);
        Kill();
        return false;
    }

    // Marks the connection dead and wakes the read chain (any thread). The
    // descriptor stays open until the session is destroyed, so a concurrent
    // sender never writes to a reused descriptor number.
    void Kill() {
        if (!dead_.exchange(true, std::memory_order_acq_rel)) ::shutdown(fd_, SHUT_RDWR);
    }

private:
    void ArmRead() {
        auto self = shared_from_this();
        socket_.async_read_some(buffer_.writable(),
                                [self](const asio::error_code& ec, std::size_t n) {
                                    self->OnRead(ec, n);
                                });
    }

    void OnRead(const asio::error_code& ec, std::size_t n) {
        GateBatch batch(*gate_, epoch_);
        if (!batch) {
            Kill();  // closed by the owner
            return;
        }
        if (ec || n == 0) {
            ReportLoss(batch);
            return;
        }
        const FrameDecoder::Result result =
            decoder_.Feed(buffer_.data(), n, [&](const FrameView& m) {
                return batch.Deliver(batch.registered_id(), m.command, m.second_word,
                                     m.payload, m.length);
            });
        if (result == FrameDecoder::Result::kSyncLost) {
            GetCounters().sync_losses.fetch_add(1);
            ReportLoss(batch);
            return;
        }
        if (result == FrameDecoder::Result::kStopped || !batch.live()) {
            Kill();
            return;
        }
        buffer_.Consumed(n);
        ArmRead();
    }

    void ReportLoss(GateBatch& batch) {
        Kill();
        if (loss_reported_) return;
        loss_reported_ = true;
        batch.Deliver(batch.registered_id(), kCmdConnectionLost, 0, nullptr, 0);
    }

    asio::ip::tcp::socket socket_;  // read chain only; fd_ is used raw elsewhere
    const int fd_;
    const std::shared_ptr<CallbackGate> gate_;
    const uint64_t epoch_;
    const uint16_t local_port_;
    ReadBuffer buffer_;            // read chain only
    FrameDecoder decoder_;         // read chain only
    bool loss_reported_ = false;   // read chain only
    std::mutex send_mutex_;        // one message on the wire at a time
    std::atomic<bool> dead_{false};
};

}  // namespace linkcore::detail

using linkcore::detail::CallbackGate;
using linkcore::detail::TcpClientSession;

struct CTcpClient::Impl {
    linkcore::detail::RuntimeUser runtime_user;
    std::shared_ptr<CallbackGate> gate = std::make_shared<CallbackGate>(linkcore::kLinkTcpClient);
    std::mutex mutex;
    std::shared_ptr<TcpClientSession> session;                          // mutex
    int connect_timeout_ms = linkcore::detail::kDefaultConnectTimeoutMs;  // mutex

    std::shared_ptr<TcpClientSession> current() {
        std::lock_guard<std::mutex> lock(mutex);
        return session;
    }
};

CTcpClient::CTcpClient() : impl_(std::make_shared<Impl>()) {}

CTcpClient::~CTcpClient() { Close(); }

int CTcpClient::IsConnected() {
    auto s = impl_->current();
    return s && s->alive() ? 1 : 0;
}

int CTcpClient::Open(const char* address, uint16_t port) {
    using namespace linkcore::detail;
    Close();
    const uint64_t epoch = impl_->gate->epoch();
    asio::ip::address ip;
    if (!ParseAddress(address, &ip) || port == 0) return 0;
    int timeout_ms;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        timeout_ms = impl_->connect_timeout_ms;
    }
    const asio::ip::tcp::endpoint endpoint(ip, port);
    asio::ip::tcp::socket socket(IoContext());
    asio::error_code ec;
    socket.open(endpoint.protocol(), ec);
    if (ec) return 0;
    socket.non_blocking(true, ec);
    if (ec) return 0;
    if (!ConnectWithTimeout(socket.native_handle(), endpoint.data(),
                            static_cast<socklen_t>(endpoint.size()), timeout_ms)) {
        return 0;
    }
    socket.set_option(asio::ip::tcp::no_delay(true), ec);
    auto session = std::make_shared<TcpClientSession>(std::move(socket), impl_->gate, epoch);
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        // A Close (or another Open) that ran while we connected wins.
        if (!impl_->gate->Current(epoch)) {
            session->Kill();
            return 0;
        }
        impl_->session = session;
    }
    session->Start();
    return 1;
}

void CTcpClient::Close() {
    impl_->gate->EndEpoch();
    std::shared_ptr<TcpClientSession> old;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        old.swap(impl_->session);
    }
    if (old) old->Kill();
}

int CTcpClient::SendMessage(uint16_t command, uint16_t second_word, const void* payload,
                            uint16_t length) {
    if (length > 0 && payload == nullptr) return -1;
    auto s = impl_->current();
    if (!s || !s->alive()) return -1;
    const std::size_t total = linkcore::kHeaderBytes + length;
    using linkcore::detail::kContiguousSendBytes;
    if (total <= kContiguousSendBytes) {
        // Small messages (most of them) go out as one buffer: cheaper for
        // the kernel than a two-part vector.
        uint8_t frame[kContiguousSendBytes];
        linkcore::EncodeHeader(frame, command, second_word, length);
        if (length > 0) std::memcpy(frame + linkcore::kHeaderBytes, payload, length);
        iovec iov[1] = {{frame, total}};
        if (!s->Send(iov, 1)) return -1;
        return static_cast<int>(total);
    }
    uint8_t header[linkcore::kHeaderBytes];
    linkcore::EncodeHeader(header, command, second_word, length);
    iovec iov[2] = {{header, sizeof(header)}, {const_cast<void*>(payload), length}};
    if (!s->Send(iov, 2)) return -1;
    return static_cast<int>(total);
}

void CTcpClient::RegisterCallback(int id, LinkCallback callback, void* user) {
    impl_->gate->Register(id, callback, user);
}

void CTcpClient::SetConnectTimeout(int timeout_ms) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->connect_timeout_ms =
        timeout_ms > 0 ? timeout_ms : linkcore::detail::kDefaultConnectTimeoutMs;
}

uint16_t CTcpClient::LocalPort() {
    auto s = impl_->current();
    return s && s->alive() ? s->local_port() : 0;
}
