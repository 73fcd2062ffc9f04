// CTcpServer: a listening socket and its accepted connections. Everything a
// server does on the I/O pool runs on one strand per opening (acceptor, every
// connection's reads and queued writes), which also serialises its callbacks.
// SendMessage puts a message on the wire from the caller's thread when the
// connection's queue is empty, and otherwise appends it to the queue that
// the strand writes out.
#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <asio/bind_executor.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <asio/write.hpp>

#include "linkcore/callback_gate.h"
#include "linkcore/connection_table.h"
#include "linkcore/diagnostics.h"
#include "linkcore/frame_decoder.h"
#include "linkcore/io_runtime.h"
#include "linkcore/linkcore.h"
#include "linkcore/read_buffer.h"
#include "linkcore/socket_util.h"

namespace linkcore::detail {

using Strand = asio::strand<asio::io_context::executor_type>;

// Bytes a connection may have queued (not yet on the wire) before
// SendMessage refuses more.
constexpr std::size_t kMaxQueuedBytes = 8u << 20;
// Messages up to this size are copied into one buffer for a direct send.
constexpr std::size_t kContiguousSendBytes = 2048;
// Queue buffers larger than this are released once they drain.
constexpr std::size_t kKeepQueueCapacity = 256u << 10;

class TcpServerCore;

class TcpServerConn : public std::enable_shared_from_this<TcpServerConn> {
public:
    TcpServerConn(int handle, asio::ip::tcp::socket socket, std::shared_ptr<TcpServerCore> core)
        : handle_(handle),
          socket_(std::move(socket)),
          fd_(socket_.native_handle()),
          core_(std::move(core)) {}

    int handle() const { return handle_; }
    bool closed() const { return closed_.load(std::memory_order_acquire); }

    // Any thread. Returns false when the connection is gone or the queue full.
    int Send(uint16_t command, uint16_t second_word, const void* payload, uint16_t length);

    // Any thread: no more messages are delivered or accepted for sending;
    // the strand finishes the connection. Returns false if already closed.
    bool MarkClosed() {
        if (closed_.exchange(true, std::memory_order_acq_rel)) return false;
        ::shutdown(fd_, SHUT_RDWR);
        return true;
    }

    void StartRead();  // strand
    // Strand: closes, forgets and reports 0xFFFF, once.
    void Finish();
    void Abandon();  // strand, at Shutdown: close without a report

    // Strand: puts what callbacks queued on the wire (directly when the
    // socket takes it all, else through a queued write).
    void FlushQueued();

private:
    void OnRead(const asio::error_code& ec, std::size_t n);
    void StartWrite();  // strand
    void OnWritten(const asio::error_code& ec);

    const int handle_;
    asio::ip::tcp::socket socket_;  // strand; fd_ used raw by senders
    const int fd_;
    const std::shared_ptr<TcpServerCore> core_;  // the cycle ends in Finish/Abandon
    ReadBuffer buffer_;                          // strand
    FrameDecoder decoder_;                       // strand
    bool finished_ = false;                      // strand
    std::atomic<bool> closed_{false};

    std::mutex write_mutex_;
    std::vector<uint8_t> pending_;     // write_mutex_: bytes waiting for the strand
    std::vector<uint8_t> in_flight_;   // strand while writing_; sized under write_mutex_
    std::size_t in_flight_bytes_ = 0;  // write_mutex_
    bool writing_ = false;             // write_mutex_: the strand owns the wire
};

class TcpServerCore : public std::enable_shared_from_this<TcpServerCore> {
public:
    TcpServerCore(std::shared_ptr<CallbackGate> gate, uint64_t epoch,
                  std::shared_ptr<std::atomic<int>> next_handle, asio::io_context& context,
                  asio::ip::tcp::acceptor acceptor)
        : gate_(std::move(gate)),
          epoch_(epoch),
          strand_(asio::make_strand(context)),
          acceptor_(std::move(acceptor)),
          retry_timer_(context),
          conns_(std::move(next_handle)) {}

    CallbackGate& gate() { return *gate_; }
    uint64_t epoch() const { return epoch_; }
    Strand& strand() { return strand_; }

    void Start() {
        asio::post(strand_, [self = shared_from_this()] { self->Accept(); });
    }

    std::shared_ptr<TcpServerConn> Find(int handle) {
        std::shared_ptr<TcpServerConn> conn;
        conns_.Find(handle, &conn);
        return conn;
    }

    void Forget(TcpServerConn* conn) {
        const std::shared_ptr<TcpServerConn> self = conn->shared_from_this();
        conns_.Remove(conn->handle(), nullptr, &self);
    }

    // Owner's Close(handle), any thread.
    bool CloseConnection(int handle) {
        std::shared_ptr<TcpServerConn> conn;
        if (!conns_.Remove(handle, &conn)) return false;
        if (!conn->MarkClosed()) return false;
        // A message of this connection being delivered right now finishes
        // before we return; later ones are not delivered.
        gate_->WaitIdle();
        asio::post(strand_, [conn] { conn->Finish(); });
        return true;
    }

    int Count() { return conns_.Count(); }

    // Strand: a callback queued bytes on `conn`; the first of a batch posts
    // one flush of every connection the batch wrote to.
    void QueuedInCallback(std::shared_ptr<TcpServerConn> conn) {
        if (queued_.empty())
            asio::post(strand_, [self = shared_from_this()] { self->FlushQueued(); });
        queued_.push_back(std::move(conn));
    }

    // Any thread: stops listening and drops every connection without reports.
    void Stop() {
        stopped_.store(true, std::memory_order_release);
        // Shutting the listening socket down makes the kernel refuse new
        // connections at once; the strand closes it.
        ::shutdown(acceptor_native_, SHUT_RDWR);
        auto conns = conns_.CloseAll();
        for (auto& [handle, conn] : conns) conn->MarkClosed();
        asio::post(strand_, [self = shared_from_this(), conns = std::move(conns)] {
            asio::error_code ec;
            self->acceptor_.close(ec);
            self->retry_timer_.cancel();
            for (auto& [handle, conn] : conns) conn->Abandon();
        });
    }

    void SetAcceptorNative(int fd) { acceptor_native_ = fd; }

private:
    void FlushQueued() {
        std::vector<std::shared_ptr<TcpServerConn>> conns;
        conns.swap(queued_);
        for (auto& conn : conns) conn->FlushQueued();
    }

    void Accept() {
        if (stopped_.load(std::memory_order_acquire)) return;
        acceptor_.async_accept(asio::bind_executor(
            strand_,
            [self = shared_from_this()](const asio::error_code& ec, asio::ip::tcp::socket socket) {
                self->OnAccept(ec, std::move(socket));
            }));
    }

    void OnAccept(const asio::error_code& ec, asio::ip::tcp::socket socket) {
        if (stopped_.load(std::memory_order_acquire) || !gate_->Current(epoch_)) return;
        if (ec) {
            if (ec == asio::error::operation_aborted) return;
            // Out of descriptors or a transient error: try again shortly
            // instead of spinning.
            retry_timer_.expires_after(std::chrono::milliseconds(100));
            retry_timer_.async_wait(asio::bind_executor(
                strand_, [self = shared_from_this()](const asio::error_code& wait_ec) {
                    if (!wait_ec) self->Accept();
                }));
            return;
        }
        asio::error_code opt_ec;
        socket.non_blocking(true, opt_ec);
        socket.set_option(asio::ip::tcp::no_delay(true), opt_ec);
        std::shared_ptr<TcpServerConn> conn;
        const int handle = conns_.Emplace([&](int h) {
            conn = std::make_shared<TcpServerConn>(h, std::move(socket), shared_from_this());
            return conn;
        });
        // Refused when Stop ran since the check above: the socket closes here.
        if (handle == 0) return;
        {
            GateBatch batch(*gate_, epoch_);
            if (batch) batch.Deliver(handle, kCmdAccepted, 0, nullptr, 0);
        }
        conn->StartRead();
        Accept();
    }

    const std::shared_ptr<CallbackGate> gate_;
    const uint64_t epoch_;
    Strand strand_;
    asio::ip::tcp::acceptor acceptor_;  // strand
    int acceptor_native_ = -1;          // set before Start
    asio::steady_timer retry_timer_;    // strand
    std::atomic<bool> stopped_{false};
    ConnectionTable<std::shared_ptr<TcpServerConn>> conns_;
    std::vector<std::shared_ptr<TcpServerConn>> queued_;  // strand: written to by callbacks
};

int TcpServerConn::Send(uint16_t command, uint16_t second_word, const void* payload,
                        uint16_t length) {
    const std::size_t total = kHeaderBytes + length;
    uint8_t header[kHeaderBytes];
    EncodeHeader(header, command, second_word, length);
    // A send from inside this server's own callback (its strand) is queued:
    // the strand writes it once the callback's batch is done, together with
    // everything else that batch sent to the connection. A fan-out of one
    // read's messages to many connections so costs one write per connection,
    // not one per message.
    const bool in_callback = core_->strand().running_in_this_thread();
    std::lock_guard<std::mutex> lock(write_mutex_);
    if (closed()) return -1;
    std::size_t sent = 0;
    if (!writing_ && !in_callback) {
        // Nothing queued: try the wire directly (small messages as one
        // buffer, which is cheaper for the kernel than a two-part vector).
        ssize_t n;
        if (total <= kContiguousSendBytes) {
            uint8_t frame[kContiguousSendBytes];
            std::memcpy(frame, header, kHeaderBytes);
            if (length > 0) std::memcpy(frame + kHeaderBytes, payload, length);
            do {
                n = ::send(fd_, frame, total, MSG_NOSIGNAL | MSG_DONTWAIT);
            } while (n < 0 && errno == EINTR);
        } else {
            iovec iov[2] = {{header, kHeaderBytes}, {const_cast<void*>(payload), length}};
            msghdr msg{};
            msg.msg_iov = iov;
            msg.msg_iovlen = 2;
            do {
                n = ::sendmsg(fd_, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
            } while (n < 0 && errno == EINTR);
        }
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                // Broken connection: the read side reports it.
                ::shutdown(fd_, SHUT_RDWR);
                return -1;
            }
            n = 0;
        }
        sent = static_cast<std::size_t>(n);
        if (sent == total) return static_cast<int>(total);
    } else if (pending_.size() + in_flight_bytes_ + total > kMaxQueuedBytes) {
        GetCounters().send_queue_overflows.fetch_add(1);
        return -1;
    }
    // Queue what is left of the message.
    const uint8_t* body = static_cast<const uint8_t*>(payload);
    if (sent < kHeaderBytes) pending_.insert(pending_.end(), header + sent, header + kHeaderBytes);
    const std::size_t body_from = sent > kHeaderBytes ? sent - kHeaderBytes : 0;
    if (length > body_from) pending_.insert(pending_.end(), body + body_from, body + length);
    if (!writing_) {
        writing_ = true;
        if (in_callback)
            core_->QueuedInCallback(shared_from_this());
        else
            asio::post(core_->strand(), [self = shared_from_this()] { self->StartWrite(); });
    }
    return static_cast<int>(total);
}

void TcpServerConn::FlushQueued() {
    if (finished_) return;
    {
        std::lock_guard<std::mutex> lock(write_mutex_);
        if (closed()) return;
        ssize_t n;
        do {
            n = ::send(fd_, pending_.data(), pending_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                ::shutdown(fd_, SHUT_RDWR);  // the read side reports it
                return;
            }
            n = 0;
        }
        if (static_cast<std::size_t>(n) == pending_.size()) {
            pending_.clear();
            if (pending_.capacity() > kKeepQueueCapacity) std::vector<uint8_t>().swap(pending_);
            writing_ = false;
            return;
        }
        pending_.erase(pending_.begin(), pending_.begin() + n);
    }
    StartWrite();
}

void TcpServerConn::StartWrite() {
    if (finished_) return;
    {
        std::lock_guard<std::mutex> lock(write_mutex_);
        in_flight_.swap(pending_);
        pending_.clear();
        in_flight_bytes_ = in_flight_.size();
    }
    asio::async_write(
        socket_, asio::buffer(in_flight_),
        asio::bind_executor(core_->strand(),
                            [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                                self->OnWritten(ec);
                            }));
}

void TcpServerConn::OnWritten(const asio::error_code& ec) {
    if (finished_) return;
    if (ec) {
        Finish();
        return;
    }
    bool more;
    {
        std::lock_guard<std::mutex> lock(write_mutex_);
        in_flight_.clear();
        if (in_flight_.capacity() > kKeepQueueCapacity) std::vector<uint8_t>().swap(in_flight_);
        in_flight_bytes_ = 0;
        more = !pending_.empty();
        if (!more) writing_ = false;
    }
    if (more) StartWrite();
}

void TcpServerConn::StartRead() {
    if (finished_) return;
    socket_.async_read_some(
        buffer_.writable(),
        asio::bind_executor(core_->strand(),
                            [self = shared_from_this()](const asio::error_code& ec, std::size_t n) {
                                self->OnRead(ec, n);
                            }));
}

void TcpServerConn::OnRead(const asio::error_code& ec, std::size_t n) {
    if (finished_) return;
    if (closed()) {
        // The owner's Close or Shutdown; the report (if any) is posted.
        return;
    }
    GateBatch batch(core_->gate(), core_->epoch());
    if (!batch) return;  // Shutdown in progress
    if (ec || n == 0) {
        Finish();
        return;
    }
    const FrameDecoder::Result result = decoder_.Feed(buffer_.data(), n, [&](const FrameView& m) {
        if (closed()) return false;
        return batch.Deliver(handle_, m.command, m.second_word, m.payload, m.length);
    });
    if (result == FrameDecoder::Result::kSyncLost) {
        GetCounters().sync_losses.fetch_add(1);
        Finish();
        return;
    }
    if (result == FrameDecoder::Result::kStopped || closed()) return;
    buffer_.Consumed(n);
    StartRead();
}

void TcpServerConn::Finish() {
    if (finished_) return;
    finished_ = true;
    MarkClosed();
    asio::error_code ec;
    socket_.cancel(ec);
    core_->Forget(this);
    GateBatch batch(core_->gate(), core_->epoch());
    if (batch) batch.Deliver(handle_, kCmdClosed, 0, nullptr, 0);
}

void TcpServerConn::Abandon() {
    if (finished_) return;
    finished_ = true;
    MarkClosed();
    asio::error_code ec;
    socket_.cancel(ec);
}

}  // namespace linkcore::detail

using linkcore::detail::CallbackGate;
using linkcore::detail::TcpServerCore;

struct CTcpServer::Impl {
    linkcore::detail::RuntimeUser runtime_user;
    std::shared_ptr<CallbackGate> gate = std::make_shared<CallbackGate>(linkcore::kLinkTcpServer);
    std::shared_ptr<std::atomic<int>> next_handle = std::make_shared<std::atomic<int>>(1);
    std::mutex mutex;
    std::string bind_address = "0.0.0.0";  // mutex
    std::shared_ptr<TcpServerCore> core;   // mutex
    uint16_t local_port = 0;               // mutex

    std::shared_ptr<TcpServerCore> current() {
        std::lock_guard<std::mutex> lock(mutex);
        return core;
    }
};

CTcpServer::CTcpServer() : impl_(std::make_shared<Impl>()) {}

CTcpServer::~CTcpServer() {
    Shutdown();
}

void CTcpServer::RegisterCallback(LinkCallback callback, void* user) {
    impl_->gate->Register(0, callback, user);
}

int CTcpServer::Open(uint16_t port, int /*second_value*/) {
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
    const asio::ip::tcp::endpoint endpoint(ip, port);
    // The acceptor, its connections and the core share one context.
    asio::io_context& context = IoContext();
    asio::ip::tcp::acceptor acceptor(context);
    asio::error_code ec;
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor.bind(endpoint, ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (!ec) acceptor.non_blocking(true, ec);
    if (ec) return 0;
    const int native = acceptor.native_handle();
    const uint16_t local_port = LocalPortOf(native);
    auto core = std::make_shared<TcpServerCore>(impl_->gate, epoch, impl_->next_handle, context,
                                                std::move(acceptor));
    core->SetAcceptorNative(native);
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

int CTcpServer::SendMessage(int connection, uint16_t command, uint16_t second_word,
                            const void* payload, uint16_t length) {
    if (length > 0 && payload == nullptr) return -1;
    auto core = impl_->current();
    if (!core) return -1;
    auto conn = core->Find(connection);
    if (!conn) return -1;
    return conn->Send(command, second_word, payload, length);
}

void CTcpServer::Shutdown() {
    impl_->gate->EndEpoch();
    std::shared_ptr<TcpServerCore> old;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        old.swap(impl_->core);
        impl_->local_port = 0;
    }
    if (old) old->Stop();
}

void CTcpServer::SetBindAddress(const char* address) {
    if (address == nullptr) return;
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->bind_address = address;
}

uint16_t CTcpServer::LocalPort() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->local_port;
}

int CTcpServer::Close(int connection) {
    auto core = impl_->current();
    if (!core) return 0;
    return core->CloseConnection(connection) ? 1 : 0;
}

int CTcpServer::ConnectionCount() {
    auto core = impl_->current();
    return core ? core->Count() : 0;
}
