// Party: connections, login, keep-alive and faults, shared by every role.
#include <cstring>
#include <future>
#include <sstream>

#include "tools/devsim/party_impl.h"
#include "zynvs/wire/codes.h"

namespace devsim {
namespace {

using Bytes = std::vector<uint8_t>;
using SharedBytes = std::shared_ptr<const Bytes>;

// Ids of the two links in the message log.
constexpr uint32_t kControlLinkId = 1;
constexpr uint32_t kMediaLinkId = 2;

uint8_t LoginKind(const PartyConfig& cfg) {
    if (cfg.login_kind >= 0) return static_cast<uint8_t>(cfg.login_kind);
    switch (cfg.role) {
        case PartyRole::kEncoder:
            return wire::kPartyEncoder;
        case PartyRole::kUserClient:
            return wire::kPartyUserClient;
        case PartyRole::kRecordServer:
            return wire::kPartyRecordServer;
        case PartyRole::kStreamServer:
            return wire::kPartyStreamServer;
    }
    return wire::kPartyUserClient;
}

}  // namespace

const char* PartyRoleName(PartyRole role) {
    switch (role) {
        case PartyRole::kEncoder:
            return "encoder";
        case PartyRole::kUserClient:
            return "client";
        case PartyRole::kRecordServer:
            return "recorder";
        case PartyRole::kStreamServer:
            return "streamer";
    }
    return "?";
}

bool ParsePartyRole(const std::string& text, PartyRole* role) {
    for (PartyRole r : {PartyRole::kEncoder, PartyRole::kUserClient, PartyRole::kRecordServer,
                        PartyRole::kStreamServer}) {
        if (text == PartyRoleName(r)) {
            *role = r;
            return true;
        }
    }
    return false;
}

// ---- Impl: common ----

void Party::Impl::RunOnIo(const std::function<void()>& fn) {
    if (std::this_thread::get_id() == io_thread_id.load() || !running.load()) {
        fn();
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    auto future = done->get_future();
    asio::post(io, [fn, done] {
        fn();
        done->set_value();
    });
    future.wait();
}

void Party::Impl::Event(const std::string& text) const {
    if (cfg.event_log)
        cfg.event_log(std::string(PartyRoleName(cfg.role)) + " " + std::to_string(cfg.id) + ": " +
                      text);
}

void Party::Impl::LogMessage(Link link, const ParsedMessage& m) const {
    ReceivedMessage r;
    r.link = link;
    r.connection = link == Link::kStreamTcp ? kMediaLinkId : kControlLinkId;
    r.command = m.command;
    r.second_word = m.second_word;
    r.malformed = m.malformed;
    if (m.payload) r.payload.assign(m.payload, m.payload + m.length);
    if (m.raw) r.raw.assign(m.raw, m.raw + m.raw_length);
    r.when = std::chrono::steady_clock::now();
    log.Add(std::move(r));
}

Bytes Party::Impl::Garbage(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        garbage_state ^= garbage_state << 13;
        garbage_state ^= garbage_state >> 17;
        garbage_state ^= garbage_state << 5;
        const uint8_t v = static_cast<uint8_t>(garbage_state);
        b[i] = v == wire::kSync ? 0x12 : v;
    }
    return b;
}

// First work of the I/O thread: read both links and log in.
void Party::Impl::Begin() {
    ReadControl();
    if (media) ReadMedia();
    Bytes login(wire::LoginRequest::kBytes);
    const wire::MutableLoginRequest v(login.data());
    v.set_device_id(cfg.id);
    v.set_channel_count(
        static_cast<uint8_t>(cfg.role == PartyRole::kEncoder ? cfg.channel_count : 0));
    v.set_client_kind(LoginKind(cfg));
    std::memcpy(v.account(), cfg.user.data(), std::min<size_t>(cfg.user.size(), 8));
    std::memcpy(v.account() + 8, cfg.password.data(), std::min<size_t>(cfg.password.size(), 8));
    SendControl(ZYN_CMD_LOGIN, 0, login);
}

void Party::Impl::ReadControl() {
    auto on_bytes = [this](const std::error_code& ec, size_t n) {
        if (ec) {
            if (ec != asio::error::operation_aborted) CloseControl("control connection closed");
            return;
        }
        control_framer.Feed(control_rx.data(), n, [this](const ParsedMessage& m) { OnControl(m); });
        if (control_tcp || control_udp) ReadControl();
    };
    if (control_tcp) {
        control_tcp->async_read_some(asio::buffer(control_rx), on_bytes);
    } else if (control_udp) {
        control_udp->async_receive(asio::buffer(control_rx),
                                   [this](const std::error_code& ec, size_t n) {
                                       if (ec) {
                                           if (ec != asio::error::operation_aborted)
                                               CloseControl("control socket failed");
                                           return;
                                       }
                                       ParsedMessage m;
                                       ParseDatagram(control_rx.data(), n, &m);
                                       OnControl(m);
                                       if (control_udp) ReadControl();
                                   });
    }
}

void Party::Impl::ReadMedia() {
    media->async_read_some(asio::buffer(media_rx), [this](const std::error_code& ec, size_t n) {
        if (ec) {
            if (ec != asio::error::operation_aborted) CloseMedia("media connection closed");
            return;
        }
        media_framer.Feed(media_rx.data(), n, [this](const ParsedMessage& m) { OnMedia(m); });
        if (media) ReadMedia();
    });
}

void Party::Impl::OnControl(const ParsedMessage& m) {
    LogMessage(cfg.control_udp ? Link::kControlUdp : Link::kControlTcp, m);
    if (m.malformed) {
        Update([](PartyStats& s) { ++s.malformed; });
        return;
    }
    if (m.command == wire::kLoginReply) {
        const uint16_t result = m.length >= 2 ? wire::LoadLe16(m.payload) : 0xFFFF;
        logged_in = result == wire::kLoginOk;
        session = m.second_word;
        Update([&](PartyStats& s) {
            s.login_result = result;
            s.logged_in = logged_in;
            s.session = session;
        });
        Event(logged_in ? "logged in, session " + std::to_string(session)
                        : "login refused with result " + std::to_string(result));
        if (!logged_in) return;
        ScheduleKeepAlive();
        if (media && cfg.role != PartyRole::kStreamServer) {
            Bytes bind(wire::kStreamBindBytes);
            wire::StoreLe32(bind.data(), cfg.id);
            SendMedia(std::make_shared<const Bytes>(BuildMessage(ZYN_CMD_STREAM_BIND, 0, bind)));
        }
        if (cfg.role != PartyRole::kEncoder) OnClientLoggedIn();
        return;
    }
    if (m.command == wire::kKeepAliveReply) {
        Update([](PartyStats& s) { ++s.keepalive_replies; });
        return;
    }
    if (m.command == wire::kLogoutReply) {
        logged_in = false;
        Update([](PartyStats& s) { s.logged_in = false; });
        return;
    }
    if (cfg.role == PartyRole::kEncoder)
        OnEncoderRequest(m);
    else
        OnClientMessage(m);
}

void Party::Impl::OnMedia(const ParsedMessage& m) {
    LogMessage(Link::kStreamTcp, m);
    if (m.malformed) {
        Update([](PartyStats& s) { ++s.malformed; });
        return;
    }
    if (cfg.role != PartyRole::kEncoder) OnClientMedia(m);
}

void Party::Impl::SendControl(uint16_t command, uint16_t word, const Bytes& body) {
    SendControlBytes(std::make_shared<const Bytes>(BuildMessage(command, word, body)));
}

void Party::Impl::SendControlBytes(SharedBytes bytes) {
    if (control_udp) {
        std::error_code ec;
        control_udp->send(asio::buffer(*bytes), 0, ec);
        return;
    }
    if (!control_tcp) return;
    control_out.queued_bytes += bytes->size();
    control_out.queue.push_back(std::move(bytes));
    if (!control_out.writing) WriteNext(control_tcp.get(), &control_out, false);
}

bool Party::Impl::SendMedia(SharedBytes bytes) {
    if (!media) return false;
    if (media_out.queued_bytes + bytes->size() > cfg.media_queue_limit_bytes) return false;
    media_out.queued_bytes += bytes->size();
    media_out.queue.push_back(std::move(bytes));
    if (!media_out.writing) WriteNext(media.get(), &media_out, true);
    return true;
}

void Party::Impl::WriteNext(tcp::socket* socket, Outbox* box, bool media_link) {
    if (box->queue.empty()) {
        box->writing = false;
        return;
    }
    box->writing = true;
    SharedBytes front = box->queue.front();
    asio::async_write(*socket, asio::buffer(*front),
                      [this, box, media_link, front](const std::error_code& ec, size_t) {
                          box->writing = false;
                          // The read side reports a loss; a closed link's box was emptied.
                          if (ec || box->queue.empty() || box->queue.front() != front) return;
                          box->queued_bytes -= front->size();
                          box->queue.pop_front();
                          tcp::socket* s = media_link ? media.get() : control_tcp.get();
                          if (s) WriteNext(s, box, media_link);
                      });
}

void Party::Impl::CloseControl(const std::string& why) {
    if (!control_tcp && !control_udp) return;
    std::error_code ec;
    if (control_tcp) control_tcp->close(ec);
    if (control_udp) control_udp->close(ec);
    // The sockets go once their aborted handlers have run.
    asio::post(io, [tcp = std::shared_ptr<tcp::socket>(std::move(control_tcp)),
                    udp = std::shared_ptr<udp::socket>(std::move(control_udp))] {});
    control_out = Outbox{};
    logged_in = false;
    keepalive.cancel();
    Update([](PartyStats& s) {
        s.control_connected = false;
        s.logged_in = false;
    });
    Event(why);
}

void Party::Impl::CloseMedia(const std::string& why) {
    if (!media) return;
    std::error_code ec;
    media->close(ec);
    asio::post(io, [m = std::shared_ptr<tcp::socket>(std::move(media))] {});
    media_out = Outbox{};
    if (cfg.role == PartyRole::kEncoder) StopPushing();
    Update([](PartyStats& s) { s.media_connected = false; });
    Event(why);
}

void Party::Impl::ScheduleKeepAlive() {
    keepalive.expires_after(std::chrono::milliseconds(std::max(10, cfg.keepalive_ms)));
    keepalive.async_wait([this](const std::error_code& ec) {
        if (ec || !logged_in) return;
        if (!silent) {
            SendControl(ZYN_CMD_KEEPALIVE, session, {});
            Update([](PartyStats& s) { ++s.keepalives_sent; });
        }
        ScheduleKeepAlive();
    });
}

// ---- Party ----

Party::Party(PartyConfig config) : impl_(std::make_shared<Impl>(std::move(config))) {}

Party::~Party() {
    Stop();
}

bool Party::Start(std::string* error) {
    Impl& d = *impl_;
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        Stop();
        return false;
    };
    if (d.started) return fail("a Party is started once");
    d.started = true;
    const PartyConfig& c = d.cfg;
    if (c.control_port == 0) return fail("the control service's port is needed");
    if (c.channel_count < 1 || c.channel_count > 4) return fail("channel count must be 1..4");
    std::error_code ec;
    const auto address = asio::ip::make_address_v4(c.service_address, ec);
    if (ec) return fail("service address '" + c.service_address + "' is not IPv4");
    if (c.role == PartyRole::kEncoder ? !d.PrepareEncoder(error) : !d.PrepareClient(error)) {
        Stop();
        return false;
    }
    if (c.control_udp) {
        d.control_udp = std::make_unique<udp::socket>(d.io);
        d.control_udp->open(udp::v4(), ec);
        if (!ec) d.control_udp->connect(udp::endpoint(address, c.control_port), ec);
    } else {
        d.control_tcp = std::make_unique<tcp::socket>(d.io);
        d.control_tcp->connect(tcp::endpoint(address, c.control_port), ec);
        if (!ec) d.control_tcp->set_option(tcp::no_delay(true), ec);
    }
    if (ec)
        return fail("cannot reach the control service at " + c.service_address + ":" +
                    std::to_string(c.control_port) + ": " + ec.message());
    if (c.media_port != 0 && c.role != PartyRole::kStreamServer) {
        d.media = std::make_unique<tcp::socket>(d.io);
        d.media->connect(tcp::endpoint(address, c.media_port), ec);
        if (ec)
            return fail("cannot reach the media service at " + c.service_address + ":" +
                        std::to_string(c.media_port) + ": " + ec.message());
    }
    d.Update([&](PartyStats& s) {
        s.control_connected = true;
        s.media_connected = d.media != nullptr;
    });
    d.work.emplace(asio::make_work_guard(d.io));
    d.running = true;
    Impl* p = impl_.get();
    d.thread = std::thread([p] {
        p->io_thread_id = std::this_thread::get_id();
        p->Begin();
        p->io.run();
    });
    return true;
}

void Party::Stop() {
    Impl& d = *impl_;
    d.RunOnIo([&d] {
        d.StopPushing();
        d.keepalive.cancel();
        std::error_code ec;
        if (d.control_tcp) d.control_tcp->close(ec);
        if (d.control_udp) d.control_udp->close(ec);
        if (d.media) d.media->close(ec);
    });
    d.work.reset();
    if (d.thread.joinable()) d.thread.join();
    d.running = false;
    d.control_tcp.reset();
    d.control_udp.reset();
    d.media.reset();
    d.FinishRecording();
}

const PartyConfig& Party::config() const {
    return impl_->cfg;
}
MessageLog& Party::log() {
    return impl_->log;
}

PartyStats Party::Stats() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->stats;
}

bool Party::WaitUntil(const std::function<bool(const PartyStats&)>& done, int timeout_ms) const {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                   [&] { return done(impl_->stats); });
}

bool Party::WaitLoggedIn(int timeout_ms) const {
    return WaitUntil([](const PartyStats& s) { return s.logged_in; }, timeout_ms);
}

std::string Party::Status() const {
    const PartyStats s = Stats();
    std::ostringstream out;
    out << PartyRoleName(impl_->cfg.role) << " " << impl_->cfg.id << ": "
        << (s.logged_in           ? "logged in, session " + std::to_string(s.session)
            : s.control_connected ? "not logged in"
                                  : "disconnected")
        << (s.media_connected ? ", media bound" : "");
    if (impl_->cfg.role == PartyRole::kEncoder)
        out << ", " << s.open_streams << " streams pushed, " << s.frames_pushed << " frames, "
            << s.audio_blocks_pushed << " audio blocks, " << s.frames_dropped << " dropped, "
            << s.requests_answered << " requests answered";
    else if (impl_->cfg.role == PartyRole::kStreamServer)
        out << ", " << s.forward_instructions << " forwarding instructions";
    else
        out << ", " << s.listed_devices << " devices listed, " << s.video_frames
            << " video frames (" << s.key_frames << " key), " << s.audio_packets
            << " audio blocks, " << s.state_reports << " state reports, " << s.recorded_frames
            << " frames recorded";
    if (s.malformed) out << ", " << s.malformed << " malformed";
    return out.str();
}

void Party::RequestStream(const StreamWant& want, bool open) {
    impl_->RunOnIo([&] { impl_->SendStreamRequest(want, open); });
}

void Party::RequestDeviceList(uint8_t filter) {
    impl_->RunOnIo([&] { impl_->SendControl(ZYN_CMD_DEVICE_LIST, impl_->session, {filter}); });
}

void Party::SendControl(uint16_t command, uint16_t word, const std::vector<uint8_t>& body) {
    impl_->RunOnIo([&] { impl_->SendControl(command, word, body); });
}

void Party::SetSilent(bool silent) {
    impl_->silent = silent;
    impl_->Event(silent ? "falls silent" : "speaks again");
}

void Party::DropConnections() {
    impl_->RunOnIo([this] {
        impl_->CloseMedia("media connection dropped");
        impl_->CloseControl("control connection dropped");
    });
}

void Party::SendGarbage(bool on_media, size_t bytes) {
    impl_->RunOnIo([this, on_media, bytes] {
        auto b = std::make_shared<const Bytes>(impl_->Garbage(bytes));
        if (on_media)
            impl_->SendMedia(b);
        else
            impl_->SendControlBytes(b);
    });
}

}  // namespace devsim
