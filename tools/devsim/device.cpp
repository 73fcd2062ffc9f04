// One emulated device: ports, control sessions, replies, faults, commands.
#include <cstring>
#include <ctime>

#include "tools/devsim/device_impl.h"
#include "tools/devsim/g711.h"

namespace devsim {

using wire::ReplyTo;

std::string Hex16(uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

namespace {
std::string EndpointText(const udp::endpoint& e) {
    return e.address().to_string() + ":" + std::to_string(e.port());
}
}  // namespace

// Text of at most `n` bytes, stopping at the first zero.
std::string FixedText(const uint8_t* p, size_t n) {
    size_t len = 0;
    while (len < n && p[len] != 0) ++len;
    return std::string(reinterpret_cast<const char*>(p), len);
}

void PutText(uint8_t* p, size_t n, const std::string& s) {
    std::memset(p, 0, n);
    std::memcpy(p, s.data(), std::min(n, s.size()));
}

Bytes ResultPayload(uint16_t result, uint16_t word) {
    Bytes p(wire::Reply::kHeaderBytes);
    const wire::MutableReply reply(p.data());
    reply.set_result(result);
    reply.set_word(word);
    return p;
}

namespace {
std::vector<RecordFile> DefaultFiles(int channels) {
    std::vector<RecordFile> files;
    for (uint32_t i = 0; i < 6; ++i) {
        RecordFile f;
        f.channel = static_cast<uint8_t>(i % static_cast<uint32_t>(channels));
        f.file_type = static_cast<uint8_t>(1 + i % 3);
        f.start_time = 1700000000u + i * 3600u;
        f.end_time = f.start_time + 1800u;
        f.size_bytes = 10000000u + i * 1000u;
        f.index = i + 1;
        std::time_t t = f.start_time;
        std::tm tm{};
        gmtime_r(&t, &tm);
        char name[64];
        std::snprintf(name, sizeof name, "ch%d_%04d%02d%02d_%02d%02d%02d.zrec", f.channel,
                      tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                      tm.tm_sec);
        f.name = name;
        files.push_back(f);
    }
    return files;
}

}  // namespace

void EmulatorShared::RunOnIo(const std::function<void()>& fn) {
    if (OnIoThread() || !running.load() || thread_done.load()) {
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

DeviceImpl::DeviceImpl(EmulatorShared* shared_in, int index_in, DeviceConfig config)
    : shared(shared_in), index(index_in), cfg(std::move(config)) {
    char buf[32];
    name = cfg.name;
    if (name.empty()) name = "ZynCam-" + std::to_string(cfg.device_id);
    serial = cfg.serial;
    if (serial.empty()) {
        std::snprintf(buf, sizeof buf, "ZC%08u", cfg.device_id);
        serial = buf;
    }
    mac = cfg.mac;
    if (std::all_of(mac.begin(), mac.end(), [](uint8_t b) { return b == 0; })) {
        mac = {0x02,
               0x5A,
               0x59,
               static_cast<uint8_t>(cfg.device_id >> 16),
               static_cast<uint8_t>(cfg.device_id >> 8),
               static_cast<uint8_t>(cfg.device_id)};
    }
    ParseIpv4(cfg.reported_address, &reported_address);
    ParseIpv4(cfg.reported_mask, &reported_mask);
    ParseIpv4(cfg.reported_gateway, &reported_gateway);
    control_port = cfg.control_port;
    stream_port = cfg.stream_port;
    sub_as_four = cfg.sub_as_channel_four;
    files =
        cfg.record_files.empty() ? DefaultFiles(std::max(1, cfg.channel_count)) : cfg.record_files;
    for (int ch = 0; ch < 4; ++ch) {
        int hz = cfg.tone_hz > 0 ? cfg.tone_hz : 400 * (ch + 1);
        tones[ch] = EncodedToneSecond(hz, cfg.audio_codec == AudioCodec::kALaw);
        video[ch] = {cfg.main, cfg.sub};
    }
    ResetParams();
}

DeviceImpl::~DeviceImpl() = default;

DeviceImpl::Locked::~Locked() {
    if (d_.pending_events.empty()) return;
    std::vector<std::string> events;
    events.swap(d_.pending_events);
    lock_.unlock();
    for (const std::string& e : events) d_.shared->Emit(e);
}

void DeviceImpl::Event(const std::string& text) const {
    if (!shared->config.event_log) return;
    pending_events.push_back("device " + std::to_string(index) + ": " + text);
}

bool DeviceImpl::PrepareMedia(std::string* error) {
    for (int ch = 0; ch < cfg.channel_count; ++ch) {
        for (int kind = 0; kind < 2; ++kind) {
            std::string err;
            auto loop = GetVideoLoop(LoopKey(ch, kind), &err);
            if (!loop) {
                if (error) *error = "device " + std::to_string(index) + ": " + err;
                return false;
            }
            loops[{ch, kind}] = loop;
        }
    }
    return true;
}

bool DeviceImpl::OpenPorts(std::string* error) {
    const bool want_tcp = cfg.control_transport != ControlTransport::kUdp;
    const bool want_udp = cfg.control_transport != ControlTransport::kTcp;
    const auto addr = shared->bind_address;
    std::string last_error;
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::unique_ptr<tcp::acceptor> ctl_acc, str_acc;
        std::unique_ptr<udp::socket> ctl_udp, str_udp;
        try {
            uint16_t cport = control_port;
            if (want_tcp) {
                ctl_acc = std::make_unique<tcp::acceptor>(shared->io);
                ctl_acc->open(tcp::v4());
                ctl_acc->set_option(tcp::acceptor::reuse_address(true));
                ctl_acc->bind(tcp::endpoint(addr, cport));
                ctl_acc->listen();
                cport = ctl_acc->local_endpoint().port();
            }
            if (want_udp) {
                ctl_udp = std::make_unique<udp::socket>(shared->io);
                ctl_udp->open(udp::v4());
                ctl_udp->bind(udp::endpoint(addr, cport));
                cport = ctl_udp->local_endpoint().port();
            }
            str_acc = std::make_unique<tcp::acceptor>(shared->io);
            str_acc->open(tcp::v4());
            str_acc->set_option(tcp::acceptor::reuse_address(true));
            str_acc->bind(tcp::endpoint(addr, stream_port));
            str_acc->listen();
            uint16_t sport = str_acc->local_endpoint().port();
            str_udp = std::make_unique<udp::socket>(shared->io);
            str_udp->open(udp::v4());
            str_udp->bind(udp::endpoint(addr, sport));
            str_udp->non_blocking(true);
            str_udp->set_option(asio::socket_base::send_buffer_size(4 << 20));
            if (ctl_udp) ctl_udp->non_blocking(true);

            control_port = cport;
            stream_port = sport;
            ports_fixed = true;
            control_acceptor = std::move(ctl_acc);
            stream_acceptor = std::move(str_acc);
            control_udp = std::move(ctl_udp);
            stream_udp = std::move(str_udp);
            break;
        } catch (const std::system_error& e) {
            last_error = e.what();
            // Fixed ports: nothing to retry. Free ports: the second socket's
            // number may have been taken; pick new numbers.
            bool fixed_control = ports_fixed || cfg.control_port != 0;
            bool fixed_stream = ports_fixed || cfg.stream_port != 0;
            if ((fixed_control && fixed_stream) || attempt == 19) break;
            if (!fixed_control) control_port = 0;
            if (!fixed_stream) stream_port = 0;
        }
    }
    if (!stream_acceptor) {
        if (error)
            *error = "device " + std::to_string(index) + ": cannot open ports " +
                     std::to_string(control_port) + "/" + std::to_string(stream_port) + " on " +
                     addr.to_string() + ": " + last_error;
        return false;
    }
    if (shared->multicast_allowed) {
        std::error_code ec;
        mcast_out = std::make_unique<udp::socket>(shared->io);
        mcast_out->open(udp::v4(), ec);
        auto iface = addr.is_unspecified() ? asio::ip::address_v4::loopback() : addr;
        if (!ec) mcast_out->set_option(asio::ip::multicast::outbound_interface(iface), ec);
        if (!ec) mcast_out->set_option(asio::ip::multicast::enable_loopback(true), ec);
        if (!ec) mcast_out->set_option(asio::ip::multicast::hops(1), ec);
        if (!ec) mcast_out->non_blocking(true, ec);
        if (ec) mcast_out.reset();
    }
    control_udp_rx.resize(65536);
    stream_udp_rx.resize(65536);
    SyncIdentityRecords();
    up = true;
    up_cv.notify_all();
    AcceptControl();
    AcceptStream();
    if (control_udp) ReceiveControlUdp();
    ReceiveStreamUdp();
    housekeeping = std::make_unique<asio::steady_timer>(shared->io);
    Housekeeping();
    Event("listening: control " + addr.to_string() + ":" + std::to_string(control_port) +
          (control_udp ? (control_acceptor ? " (tcp+udp)" : " (udp)") : " (tcp)") + ", stream " +
          std::to_string(stream_port) + " (tcp+udp), " + std::to_string(cfg.channel_count) +
          " channels" + (cfg.newer ? ", newer login" : ""));
    return true;
}

void DeviceImpl::CloseAll(const std::string& why) {
    std::error_code ec;
    up = false;
    if (control_acceptor) control_acceptor->close(ec);
    if (stream_acceptor) stream_acceptor->close(ec);
    if (control_udp) control_udp->close(ec);
    if (stream_udp) stream_udp->close(ec);
    if (mcast_out) mcast_out->close(ec);
    control_acceptor.reset();
    stream_acceptor.reset();
    control_udp.reset();
    stream_udp.reset();
    mcast_out.reset();
    if (housekeeping) housekeeping->cancel();
    for (auto& t : delayed) t->cancel();
    delayed.clear();
    auto sess = sessions;
    for (auto& [id, s] : sess) CloseSession(s, why);
    auto conns = stream_conns;
    for (auto& [id, c] : conns) CloseStreamConn(c, why);
    for (auto& [key, st] : streams) StopStream(st);
    streams.clear();
    up_cv.notify_all();
}

void DeviceImpl::BeginReboot(const std::string& why, int close_after_ms) {
    if (!reboot_timer) reboot_timer = std::make_unique<asio::steady_timer>(shared->io);
    auto restart = [this, why] {
        Event("rebooting (" + why + "), back in " + std::to_string(cfg.reboot_delay_ms) + " ms");
        ++reboots;
        CloseAll("reboot");
        reboot_timer->expires_after(std::chrono::milliseconds(std::max(0, cfg.reboot_delay_ms)));
        reboot_timer->async_wait([this](std::error_code ec) {
            Locked l(*this);
            if (ec || shared->stopping) return;
            std::string err;
            // Ports changed in the network record take effect now.
            uint16_t old_control = control_port, old_stream = stream_port;
            if (PendingPorts(&control_port, &stream_port) && !OpenPorts(&err)) {
                Event("cannot move to ports " + std::to_string(control_port) + "/" +
                      std::to_string(stream_port) + ", staying on the old ones: " + err);
                control_port = old_control;
                stream_port = old_stream;
            }
            if (!up && !OpenPorts(&err)) {
                Event("cannot come back after reboot: " + err);
                BeginReboot("retry", 0);
                --reboots;
            } else {
                Event("up again after reboot");
            }
        });
    };
    if (close_after_ms <= 0) {
        restart();
        return;
    }
    reboot_timer->expires_after(std::chrono::milliseconds(close_after_ms));
    reboot_timer->async_wait([this, restart](std::error_code ec) {
        Locked l(*this);
        if (ec || shared->stopping) return;
        restart();
    });
}

// ---- control connections ----

void DeviceImpl::AcceptControl() {
    if (!control_acceptor) return;
    auto sock = std::make_shared<tcp::socket>(shared->io);
    control_acceptor->async_accept(*sock, [this, sock](std::error_code ec) {
        Locked l(*this);
        if (ec || shared->stopping || !control_acceptor) return;
        auto s = std::make_shared<ControlSession>();
        s->id = shared->next_connection++;
        s->link = Link::kControlTcp;
        s->socket = std::make_unique<tcp::socket>(std::move(*sock));
        std::error_code e2;
        s->socket->set_option(tcp::no_delay(true), e2);
        auto remote = s->socket->remote_endpoint(e2);
        s->endpoint = udp::endpoint(remote.address(), remote.port());
        s->peer_text = EndpointText(s->endpoint);
        s->last_rx = std::chrono::steady_clock::now();
        s->rx.resize(65536);
        sessions[s->id] = s;
        Event("control connection " + std::to_string(s->id) + " from " + s->peer_text);
        ReadControl(s);
        AcceptControl();
    });
}

void DeviceImpl::ReadControl(const std::shared_ptr<ControlSession>& s) {
    s->socket->async_read_some(asio::buffer(s->rx), [this, s](std::error_code ec, size_t n) {
        Locked l(*this);
        if (s->closed) return;
        if (ec) {
            CloseSession(s, ec == asio::error::eof ? "closed by the client" : ec.message());
            return;
        }
        s->last_rx = std::chrono::steady_clock::now();
        s->framer.Feed(s->rx.data(), n, [&](const ParsedMessage& m) {
            if (!s->closed) HandleControl(s, m);
        });
        if (!s->closed) ReadControl(s);
    });
}

void DeviceImpl::ReceiveControlUdp() {
    control_udp->async_receive_from(
        asio::buffer(control_udp_rx), control_udp_from,
        [this, sock = control_udp.get()](std::error_code ec, size_t n) {
            Locked l(*this);
            if (shared->stopping || !control_udp || control_udp.get() != sock ||
                ec == asio::error::operation_aborted)
                return;
            if (!ec) {
                std::shared_ptr<ControlSession> s;
                for (auto& [id, candidate] : sessions) {
                    if (!candidate->is_tcp() && candidate->endpoint == control_udp_from) {
                        s = candidate;
                        break;
                    }
                }
                if (!s) {
                    s = std::make_shared<ControlSession>();
                    s->id = shared->next_connection++;
                    s->link = Link::kControlUdp;
                    s->endpoint = control_udp_from;
                    s->peer_text = EndpointText(control_udp_from);
                    sessions[s->id] = s;
                    Event("control peer " + std::to_string(s->id) + " (udp) " + s->peer_text);
                }
                s->last_rx = std::chrono::steady_clock::now();
                ParsedMessage m;
                ParseDatagram(control_udp_rx.data(), n, &m);
                HandleControl(s, m);
            }
            if (control_udp) ReceiveControlUdp();
        });
}

void DeviceImpl::CloseSession(const std::shared_ptr<ControlSession>& s, const std::string& why) {
    if (s->closed) return;
    s->closed = true;
    if (s->socket) {
        std::error_code ec;
        s->socket->shutdown(tcp::socket::shutdown_both, ec);
        s->socket->close(ec);
    }
    s->outq.clear();
    s->queued_bytes = 0;
    sessions.erase(s->id);
    for (auto it = streams.begin(); it != streams.end();) {
        if (it->second->session_id == s->id) {
            StopStream(it->second);
            it = streams.erase(it);
        } else {
            ++it;
        }
    }
    Event("control connection " + std::to_string(s->id) + " closed: " + why);
}

void DeviceImpl::Housekeeping() {
    housekeeping->expires_after(std::chrono::seconds(1));
    housekeeping->async_wait([this, t = housekeeping.get()](std::error_code ec) {
        Locked l(*this);
        if (ec || shared->stopping || housekeeping.get() != t) return;
        auto now = std::chrono::steady_clock::now();
        if (cfg.session_idle_timeout_ms > 0) {
            auto limit = std::chrono::milliseconds(cfg.session_idle_timeout_ms);
            auto sess = sessions;
            for (auto& [id, s] : sess)
                if (now - s->last_rx > limit) CloseSession(s, "silent for too long");
        }
        auto conns = stream_conns;
        for (auto& [id, c] : conns) {
            if (c->is_tcp() || now - c->last_rx < std::chrono::seconds(60)) continue;
            bool used = false;
            for (auto& [key, st] : streams)
                if (st->conn.lock() == c) used = true;
            if (!used) CloseStreamConn(c, "udp peer silent");
        }
        Housekeeping();
    });
}

// ---- replies and faults ----

FaultDecision DeviceImpl::TakeFault(uint16_t command) {
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->command != 0 && it->command != command) continue;
        FaultDecision d{true, it->action, it->value};
        if (it->count > 0 && --it->count == 0) faults.erase(it);
        return d;
    }
    if (command == ZYN_CMD_KEEPALIVE && !keepalive_answers) return {true, FaultAction::kDrop, 0};
    if (reply_delay_ms > 0) return {true, FaultAction::kDelay, reply_delay_ms};
    return {};
}

Bytes DeviceImpl::Garbage(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        garbage_state ^= garbage_state << 13;
        garbage_state ^= garbage_state >> 17;
        garbage_state ^= garbage_state << 5;
        uint8_t v = static_cast<uint8_t>(garbage_state);
        b[i] = v == wire::kSync ? 0x12 : v;  // never a sync byte: a client can find the next header
    }
    if (n > 0) b[0] = 0xA5;
    return b;
}

void DeviceImpl::SendToSession(const std::shared_ptr<ControlSession>& s, SharedBytes bytes) {
    if (s->closed) return;
    if (!s->is_tcp()) {
        if (!control_udp) return;
        std::error_code ec;
        control_udp->send_to(asio::buffer(*bytes), s->endpoint, 0, ec);
        return;
    }
    s->queued_bytes += bytes->size();
    s->outq.push_back(std::move(bytes));
    if (s->writing) return;
    struct Writer {
        static void Next(DeviceImpl* d, const std::shared_ptr<ControlSession>& s) {
            s->writing = true;
            SharedBytes buf = s->outq.front();
            asio::async_write(*s->socket, asio::buffer(*buf),
                              [d, s, buf](std::error_code ec, size_t) {
                                  Locked l(*d);
                                  if (s->closed) return;
                                  s->outq.pop_front();
                                  s->queued_bytes -= buf->size();
                                  if (ec) {
                                      d->CloseSession(s, "write failed: " + ec.message());
                                      return;
                                  }
                                  if (s->outq.empty())
                                      s->writing = false;
                                  else
                                      Next(d, s);
                              });
        }
    };
    Writer::Next(this, s);
}

void DeviceImpl::SendReply(const std::shared_ptr<ControlSession>& s, const FaultDecision& d,
                           uint16_t reply_command, const Bytes& payload) {
    auto bytes = std::make_shared<const Bytes>(BuildMessage(reply_command, 0, payload));
    if (!d.active || d.action == FaultAction::kResult) {
        SendToSession(s, bytes);
        return;
    }
    switch (d.action) {
        case FaultAction::kDrop:
            Event("reply " + Hex16(reply_command) + " dropped (fault)");
            return;
        case FaultAction::kDelay: {
            auto timer = std::make_unique<asio::steady_timer>(
                shared->io, std::chrono::milliseconds(std::max(0, d.value)));
            asio::steady_timer* t = timer.get();
            delayed.push_back(std::move(timer));
            Event("reply " + Hex16(reply_command) + " delayed by " + std::to_string(d.value) +
                  " ms (fault)");
            t->async_wait([this, s, bytes, t](std::error_code ec) {
                Locked l(*this);
                for (auto it = delayed.begin(); it != delayed.end(); ++it) {
                    if (it->get() == t) {
                        delayed.erase(it);
                        break;
                    }
                }
                if (ec || s->closed) return;
                SendToSession(s, bytes);
            });
            return;
        }
        case FaultAction::kGarbage:
            Event("garbage instead of reply " + Hex16(reply_command) + " (fault)");
            SendToSession(s, std::make_shared<const Bytes>(
                                 Garbage(d.value > 0 ? static_cast<size_t>(d.value) : 64)));
            return;
        case FaultAction::kTruncate: {
            Bytes b = *bytes;
            if (payload.empty())
                // announces 16 bytes that never come
                wire::MutableMessageHeader(b.data()).set_payload_length(16);
            else
                b.resize(wire::kMessageHeaderBytes + payload.size() / 2);
            Event("reply " + Hex16(reply_command) + " truncated (fault)");
            SendToSession(s, std::make_shared<const Bytes>(std::move(b)));
            return;
        }
        case FaultAction::kResult:
            break;
    }
}

void DeviceImpl::SendResult(const std::shared_ptr<ControlSession>& s, const FaultDecision& d,
                            uint16_t reply_command, uint16_t result, uint16_t word) {
    SendReply(s, d, reply_command, ResultPayload(result, word));
}

void DeviceImpl::Log(Link link, uint32_t connection, const ParsedMessage& m) const {
    ReceivedMessage r;
    r.device = index;
    r.link = link;
    r.connection = connection;
    r.command = m.malformed ? 0 : m.command;
    r.second_word = m.second_word;
    r.malformed = m.malformed;
    if (m.payload) r.payload.assign(m.payload, m.payload + m.length);
    if (m.raw) r.raw.assign(m.raw, m.raw + m.raw_length);
    r.when = std::chrono::steady_clock::now();
    shared->log.Add(std::move(r));
}

std::shared_ptr<ControlSession> DeviceImpl::FindSession(uint32_t id) const {
    auto it = sessions.find(id);
    return it == sessions.end() ? nullptr : it->second;
}

// ---- the control dispatch ----

void DeviceImpl::HandleControl(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m) {
    Log(s->link, s->id, m);
    if (m.malformed) {
        Event("ignored " + std::to_string(m.raw_length) + " bytes without a message header on " +
              std::to_string(s->id));
        return;
    }
    if (cfg.platform.enabled && HandlePlatformControl(s, m)) return;
    const uint16_t cmd = m.command;
    const uint8_t* p = m.payload;
    const size_t len = m.length;
    if (wire::IsReply(cmd)) {
        Event("ignored reply code " + Hex16(cmd) + " from the client");
        return;
    }
    const bool no_reply = cmd == ZYN_CMD_STREAM_BIND || cmd == ZYN_CMD_KEY_FRAME ||
                          cmd == ZYN_CMD_CLOCK_SET || cmd == ZYN_CMD_AUDIO_BLOCK;
    uint16_t reply = cmd == ZYN_CMD_LOGIN ? LoginReply() : ReplyTo(cmd);
    FaultDecision d = no_reply ? FaultDecision{} : TakeFault(cmd);
    auto refuse = [&](uint16_t result) {
        if (cmd == ZYN_CMD_RECORD_QUERY) {
            SendReply(s, d, wire::kRecordListReply, ResultPayload(0, 0));  // an empty list
        } else {
            SendResult(s, d, reply, result);
        }
    };
    if (d.active && d.action == FaultAction::kResult) {
        Event(Hex16(cmd) + " refused with result " + std::to_string(d.value ? d.value : 1) +
              " (fault)");
        refuse(static_cast<uint16_t>(d.value ? d.value : kResultFailed));
        return;
    }
    if (cmd != ZYN_CMD_LOGIN && !s->logged_in) {
        Event(Hex16(cmd) + " before login" + (no_reply ? ", ignored" : ", refused"));
        if (!no_reply) refuse(kResultNotLoggedIn);
        return;
    }
    auto expect = [&](size_t n) {
        if (len == n) return true;
        Event(Hex16(cmd) + " with " + std::to_string(len) + " payload bytes (wants " +
              std::to_string(n) + "), refused");
        refuse(kResultBadLength);
        return false;
    };

    if (const ParamGroupInfo* g = wire::GroupByGet(cmd)) {
        OnParamGet(s, m, d, *g);
        return;
    }
    if (const ParamGroupInfo* g = wire::GroupBySet(cmd)) {
        OnParamSet(s, m, d, *g);
        return;
    }
    switch (cmd) {
        case ZYN_CMD_LOGIN:
            OnLogin(s, m, d);
            return;
        case ZYN_CMD_LOGOUT: {
            for (auto it = streams.begin(); it != streams.end();) {
                if (it->second->session_id == s->id) {
                    StopStream(it->second);
                    it = streams.erase(it);
                } else {
                    ++it;
                }
            }
            s->logged_in = false;
            Event("logout " + s->user + " on " + std::to_string(s->id));
            SendResult(s, d, reply, kResultOk);
            return;
        }
        case ZYN_CMD_KEEPALIVE:
            if (!expect(0)) return;
            SendResult(s, d, reply, kResultOk);
            return;
        case ZYN_CMD_CLOCK_SET: {
            if (len != 8) {
                Event("clock set with " + std::to_string(len) + " bytes ignored");
                return;
            }
            const wire::ClockSet t(p);
            ClockSetting c{t.year(), t.month(), t.day(), t.hour(), t.minute(), t.second()};
            if (c.year < 1970 || c.year > 2105 || c.month < 1 || c.month > 12 || c.day < 1 ||
                c.day > 31 || c.hour > 23 || c.minute > 59 || c.second > 60) {
                Event("clock set with an invalid time ignored");
                return;
            }
            std::tm tm{};
            tm.tm_year = c.year - 1900;
            tm.tm_mon = c.month - 1;
            tm.tm_mday = c.day;
            tm.tm_hour = c.hour;
            tm.tm_min = c.minute;
            tm.tm_sec = c.second;
            clock_offset_s = static_cast<int64_t>(timegm(&tm)) - std::time(nullptr);
            clock_set = c;
            char buf[64];
            std::snprintf(buf, sizeof buf, "clock set to %04d-%02d-%02d %02d:%02d:%02d", c.year,
                          c.month, c.day, c.hour, c.minute, c.second);
            Event(buf);
            return;
        }
        case ZYN_CMD_STREAM_REQUEST:
            OnStreamRequest(s, m, d);
            return;
        case ZYN_CMD_KEY_FRAME: {
            if (len < 1) {
                Event("key-frame request without a channel ignored");
                return;
            }
            if (cfg.start_on_key_request && !s->start_requested) {
                s->start_requested = true;
                for (auto& [key, st] : streams)
                    if (st->session_id == s->id) MaybeStart(st);
            }
            if (ChannelValid(p[0])) {
                ForceKey(p[0], s->id);
            } else {
                Event("key-frame request for channel " + std::to_string(p[0]) + " ignored");
            }
            return;
        }
        case ZYN_CMD_RECORD_QUERY:
            OnRecordQuery(s, m, d);
            return;
        case ZYN_CMD_RECORD_FILE: {
            const wire::RecordEntry e(p);
            if (!expect(e.kDescriptorBytes)) return;
            file_requests.emplace_back(p, p + len);
            uint32_t wanted = e.index();
            std::string wanted_name = FixedText(e.name(), e.kNameBytes);
            bool found = false;
            for (const RecordFile& f : files)
                if (f.index == wanted && f.name.substr(0, 63) == wanted_name) found = true;
            Event(std::string(e.action() ? "fetch" : "play") + " of record file " + wanted_name +
                  (found ? "" : " (no such file)"));
            SendResult(s, d, reply, found ? kResultOk : kResultNoSuchFile);
            return;
        }
        case ZYN_CMD_PTZ: {
            const wire::PtzCommand c(p);
            if (!expect(c.kBytes)) return;
            if (!ChannelValid(c.channel())) {
                SendResult(s, d, reply, kResultBadArgument);
                return;
            }
            ptz.push_back({c.command(), c.speed(), c.extra(), c.channel()});
            Event("PTZ command " + std::to_string(c.command()) + " speed " +
                  std::to_string(c.speed()) + " on channel " + std::to_string(c.channel()));
            SendResult(s, d, reply, kResultOk);
            return;
        }
        case ZYN_CMD_REBOOT:
            SendReply(s, d, reply, {});
            BeginReboot("reboot command", 100);
            return;
        case ZYN_CMD_REMOTE_RECORD:
            if (!expect(4)) return;
            remote_record.push_back(wire::LoadLe32(p));
            Event("remote manual record word " + std::to_string(wire::LoadLe32(p)));
            SendResult(s, d, reply, kResultOk);
            return;
        case ZYN_CMD_SERIAL: {
            const wire::SerialData in(p);
            if (len < in.kHeaderBytes ||
                static_cast<size_t>(in.data_length()) + in.kHeaderBytes != len) {
                Event("serial data with inconsistent length refused");
                refuse(kResultBadLength);
                return;
            }
            Bytes data(in.serial_data(), p + len);
            serial_data.push_back(data);
            Bytes answer = data;
            for (const SerialRule& r : cfg.serial_rules)
                if (r.request == data) answer = r.reply;
            if (answer.size() > kSerialAnswerMaxBytes) answer.resize(kSerialAnswerMaxBytes);
            // The answer: result, word, then serial data as the request carries it.
            Bytes out = ResultPayload(kResultOk, 0);
            out.resize(wire::Reply::kHeaderBytes + in.kHeaderBytes + answer.size());
            const wire::MutableSerialData back(wire::MutableReply(out.data()).record());
            back.set_data_length(static_cast<uint16_t>(answer.size()));
            back.set_port(in.port());
            std::copy(answer.begin(), answer.end(), back.serial_data());
            Event("serial data, " + std::to_string(data.size()) + " bytes on port " +
                  std::to_string(in.port()));
            SendReply(s, d, reply, out);
            return;
        }
        case ZYN_CMD_CLEAR_ALARM: {
            if (!expect(wire::kChannelPrefixBytes + 4)) return;
            if (!ChannelValid(p[0])) {
                SendResult(s, d, reply, kResultBadArgument);
                return;
            }
            cleared_alarms.emplace_back(p[0], wire::LoadLe32(p + wire::kChannelPrefixBytes));
            Event("alarm cleared on channel " + std::to_string(p[0]));
            SendResult(s, d, reply, kResultOk);
            return;
        }
        case ZYN_CMD_UPGRADE_REQUEST: {
            const wire::UpgradeRequest r(p);
            if (!expect(r.kBytes)) return;
            uint32_t bytes = r.image_bytes();
            if (bytes == 0) {
                SendResult(s, d, reply, kResultBadArgument);
                return;
            }
            if (bytes > cfg.upgrade_max_bytes) {
                Event("upgrade of " + std::to_string(bytes) + " bytes refused: too large");
                SendResult(s, d, reply, kResultTooLarge);
                return;
            }
            upgrade = UpgradeStatus{};
            upgrade.requested = true;
            upgrade.expected_bytes = bytes;
            upgrade.expected_crc = r.crc32();
            upgrade.request.assign(p, p + len);
            upgrade.image.reserve(bytes);
            Event("upgrade request: " + std::to_string(bytes) + " bytes, file " +
                  FixedText(r.file_name(), r.kFileNameBytes));
            SendResult(s, d, reply, kResultOk);
            return;
        }
        case ZYN_CMD_UPGRADE_CHUNK:
            OnUpgradeChunk(s, m, d);
            return;
        case ZYN_CMD_RESET_PARAM:
            if (!expect(0)) return;
            ResetParams();
            Event("parameters reset");
            SendResult(s, d, reply, kResultOk);
            return;
        case ZYN_CMD_SET_DEFAULT:
            if (!expect(4)) return;
            default_words.push_back(wire::LoadLe32(p));
            ResetParams();
            Event("default parameters restored (word " + std::to_string(wire::LoadLe32(p)) + ")");
            SendResult(s, d, reply, kResultOk);
            return;
        case ZYN_CMD_STREAM_BIND:
        case ZYN_CMD_AUDIO_BLOCK:
            Event(Hex16(cmd) + " on the control connection ignored");
            return;
        default:
            Event("unknown request " + Hex16(cmd) + " refused");
            SendResult(s, d, reply, kResultUnsupported);
            return;
    }
}

void DeviceImpl::OnLogin(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                         const FaultDecision& d) {
    const uint16_t reply = LoginReply();
    if (m.length != wire::LoginRequest::kBytes) {
        Event("login with " + std::to_string(m.length) + " bytes refused");
        SendResult(s, d, reply, kResultBadLength);
        return;
    }
    const uint8_t* account = wire::LoginRequest(m.payload).account();
    std::string user = FixedText(account, 8);
    std::string password = FixedText(account + 8, 8);
    bool ok = false;
    for (const Account& a : cfg.accounts)
        if (a.user.substr(0, 8) == user && a.password.substr(0, 8) == password) ok = true;
    if (!ok || refuse_logins) {
        s->logged_in = false;
        Event("login refused for '" + user + "' from " + s->peer_text +
              (refuse_logins ? " (fault)" : ""));
        SendResult(s, d, reply, kResultBadAccount);
        return;
    }
    static std::atomic<uint16_t> session_words{0};
    uint16_t word = static_cast<uint16_t>(++session_words);
    if (word == 0) word = static_cast<uint16_t>(++session_words);
    s->logged_in = true;
    s->user = user;
    s->session_word = word;
    s->start_requested = false;
    Bytes payload = ResultPayload(kResultOk, word);
    Bytes info = cfg.newer ? BuildExtendedInfo() : BuildDeviceInfo();
    payload.insert(payload.end(), info.begin(), info.end());
    Event("login " + user + " from " + s->peer_text + " (connection " + std::to_string(s->id) +
          ")");
    SendReply(s, d, reply, payload);
}

void DeviceImpl::OnParamGet(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                            const FaultDecision& d, const ParamGroupInfo& g) {
    const uint16_t reply = ReplyTo(g.get_command);
    size_t want = g.get_has_channel ? wire::kChannelPrefixBytes : 0;
    if (m.length != want) {
        Event(std::string("get ") + g.name + " with " + std::to_string(m.length) +
              " bytes refused");
        SendResult(s, d, reply, kResultBadLength);
        return;
    }
    int ch = g.get_has_channel ? m.payload[0] : 0;
    if (g.get_has_channel && !ChannelValid(ch)) {
        SendResult(s, d, reply, kResultBadArgument);
        return;
    }
    Bytes& record = params[{g.get_command, g.set_has_channel ? ch : 0}];
    FillLiveFields(g, record);
    Bytes payload = ResultPayload(kResultOk, 0);
    payload.insert(payload.end(), record.begin(), record.end());
    SendReply(s, d, reply, payload);
}

void DeviceImpl::OnParamSet(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                            const FaultDecision& d, const ParamGroupInfo& g) {
    const uint16_t reply = ReplyTo(g.set_command);
    size_t prefix = g.set_has_channel ? wire::kChannelPrefixBytes : 0;
    if (m.length != prefix + g.record_bytes) {
        Event(std::string("set ") + g.name + " with " + std::to_string(m.length) +
              " bytes refused (wants " + std::to_string(prefix + g.record_bytes) + ")");
        SendResult(s, d, reply, kResultBadLength);
        return;
    }
    int ch = g.set_has_channel ? m.payload[0] : 0;
    if (g.set_has_channel && !ChannelValid(ch)) {
        SendResult(s, d, reply, kResultBadArgument);
        return;
    }
    Event(std::string("set ") + g.name +
          (g.set_has_channel ? " of channel " + std::to_string(ch) : ""));
    StoreParam(g, ch, Bytes(m.payload + prefix, m.payload + prefix + g.record_bytes));
    SendResult(s, d, reply, kResultOk);
}

void DeviceImpl::OnRecordQuery(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                               const FaultDecision& d) {
    const wire::RecordQuery q(m.payload);
    if (m.length != q.kBytes) {
        Event("record query with " + std::to_string(m.length) + " bytes: empty answer");
        SendReply(s, d, wire::kRecordListReply, ResultPayload(0, 0));
        return;
    }
    uint8_t ch = q.channel(), type = q.file_type();
    size_t per = q.per_reply();
    if (per == 0) per = static_cast<size_t>(std::max(1, cfg.record_entries_per_reply));
    per = std::min<size_t>(per, 27);  // keeps a message under 4 KiB
    uint32_t from = q.start_time(), to = q.end_time();
    std::vector<const RecordFile*> found;
    for (const RecordFile& f : files) {
        if (ch != q.kAllChannels && f.channel != ch) continue;
        if (type != 0 && f.file_type != type) continue;
        if (from != 0 && f.end_time < from) continue;
        if (to != 0 && f.start_time > to) continue;
        found.push_back(&f);
    }
    const uint16_t total = static_cast<uint16_t>(std::min<size_t>(found.size(), 0xFFFF));
    Event("record query: " + std::to_string(total) + " files");
    size_t i = 0;
    do {
        size_t count = std::min(per, found.size() - i);
        using Entry = wire::MutableRecordEntry;
        Bytes payload(wire::RecordList::kHeaderBytes + count * Entry::kBytes, 0);
        const wire::MutableRecordList list(payload.data());
        list.set_count(static_cast<uint16_t>(count));
        list.set_total(total);
        for (size_t k = 0; k < count; ++k) {
            const RecordFile& f = *found[i + k];
            const Entry e(list.entries() + k * Entry::kBytes);
            PutText(e.name(), Entry::kNameBytes - 1, f.name);
            e.set_channel(f.channel);
            e.set_file_type(f.file_type);
            e.set_start_time(f.start_time);
            e.set_end_time(f.end_time);
            e.set_size_bytes(f.size_bytes);
            e.set_index(f.index);
        }
        SendReply(s, d, wire::kRecordListReply, payload);
        i += count;
    } while (i < found.size());
}

void DeviceImpl::OnUpgradeChunk(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                                const FaultDecision& d) {
    const uint16_t reply = wire::kUpgradeChunkReply;
    const wire::UpgradeChunk chunk(m.payload);
    if (m.length < chunk.kHeaderBytes ||
        static_cast<size_t>(chunk.chunk_length()) + chunk.kHeaderBytes != m.length) {
        Event("upgrade chunk with inconsistent length refused");
        SendResult(s, d, reply, kResultBadLength);
        return;
    }
    size_t n = chunk.chunk_length();
    if (!upgrade.requested || upgrade.complete || upgrade.failed) {
        Event("upgrade chunk without a pending request refused");
        SendResult(s, d, reply, kResultBadSequence);
        return;
    }
    if (upgrade.image.size() + n > upgrade.expected_bytes) {
        upgrade.failed = true;
        Event("upgrade chunk runs past the announced image size");
        SendResult(s, d, reply, kResultBadSequence);
        return;
    }
    upgrade.image.insert(upgrade.image.end(), chunk.chunk_data(), chunk.chunk_data() + n);
    ++upgrade.chunks;
    uint16_t result = kResultOk;
    if (upgrade.image.size() == upgrade.expected_bytes) {
        uint32_t crc = wire::Crc32(upgrade.image.data(), upgrade.image.size());
        if (upgrade.expected_crc != 0 && crc != upgrade.expected_crc) {
            upgrade.failed = true;
            result = kResultBadChecksum;
            Event("upgrade image complete but its CRC-32 does not match");
        } else {
            upgrade.complete = true;
            Event("upgrade image complete: " + std::to_string(upgrade.image.size()) + " bytes in " +
                  std::to_string(upgrade.chunks) + " chunks");
        }
    }
    SendResult(s, d, reply, result);
}

// ---- information blocks ----

Bytes DeviceImpl::BuildDeviceInfo() const {
    Bytes b(wire::DeviceInfo::kBytes, 0);
    FillDeviceInfo(b.data());
    return b;
}

void DeviceImpl::FillDeviceInfo(uint8_t* block) const {
    const wire::MutableDeviceInfo info(block);
    PutText(info.name(), info.kNameBytes, name);
    PutText(info.serial(), info.kSerialBytes, serial);
    info.set_device_id(cfg.device_id);
    info.set_channel_count(static_cast<uint8_t>(cfg.channel_count));
    info.set_alarm_inputs(static_cast<uint8_t>(cfg.channel_count));
    info.set_alarm_outputs(1);
    info.set_audio_format(static_cast<uint8_t>(cfg.audio_format));
    info.set_firmware_version(cfg.firmware_version);
    info.set_build_date(20240601);
    std::copy(mac.begin(), mac.end(), info.mac());
    info.set_control_port(control_port);
    info.set_stream_port(stream_port);
    info.set_main_resolution(ResolutionCode(video[0][0].width, video[0][0].height));
    info.set_sub_resolution(ResolutionCode(video[0][1].width, video[0][1].height));
    info.set_address(reported_address);
    info.set_control_transports(
        static_cast<uint8_t>((cfg.control_transport != ControlTransport::kUdp ? 1 : 0) |
                             (cfg.control_transport != ControlTransport::kTcp ? 2 : 0)));
    info.set_sub_channel_four(sub_as_four ? 1 : 0);
}

Bytes DeviceImpl::BuildExtendedInfo() const {
    Bytes b(wire::DeviceInfo::kExtendedBytes, 0);
    FillDeviceInfo(b.data());
    const wire::MutableDeviceInfo info(b.data());
    PutText(info.model(), info.kTextBytes, cfg.model);
    info.set_talk_format(1);
    info.set_talk_audio_format(static_cast<uint8_t>(cfg.audio_format));
    PutText(info.firmware_text(), info.kTextBytes, FirmwareText());
    PutText(info.hardware_text(), info.kTextBytes, "devsim-1");
    info.set_main_width(static_cast<uint16_t>(video[0][0].width));
    info.set_main_height(static_cast<uint16_t>(video[0][0].height));
    info.set_sub_width(static_cast<uint16_t>(video[0][1].width));
    info.set_sub_height(static_cast<uint16_t>(video[0][1].height));
    info.set_frame_rate(static_cast<uint16_t>(video[0][0].fps));
    return b;
}

std::string DeviceImpl::FirmwareText() const {
    char fw[32];
    std::snprintf(fw, sizeof fw, "%u.%u.%u", (cfg.firmware_version >> 16) & 0xFF,
                  (cfg.firmware_version >> 8) & 0xFF, cfg.firmware_version & 0xFF);
    return fw;
}

Bytes DeviceImpl::BuildSearchReply() const {
    using Answer = wire::MutableSearchAnswer;
    Bytes b(Answer::kBytes, 0);
    const Answer a(b.data());
    PutText(a.name(), Answer::kNameBytes, name);
    a.set_channel_count(static_cast<uint8_t>(cfg.channel_count));
    a.set_device_kind(1);
    a.set_address(reported_address);
    a.set_mask(reported_mask);
    a.set_gateway(reported_gateway);
    a.set_control_port(control_port);
    a.set_control_port_2(control_port);
    a.set_control_port_3(control_port);
    std::copy(mac.begin(), mac.end(), a.mac());
    PutText(a.serial(), Answer::kSerialBytes, serial);
    a.set_device_id(cfg.device_id);
    a.set_stream_port(stream_port);
    a.set_channel_count_2(static_cast<uint8_t>(cfg.channel_count));
    a.set_flags(static_cast<uint8_t>((cfg.control_transport != ControlTransport::kUdp ? 1 : 0) |
                                     (cfg.control_transport != ControlTransport::kTcp ? 2 : 0) |
                                     (cfg.newer ? 4 : 0)));
    PutText(a.firmware_text(), Answer::kFirmwareBytes, FirmwareText());
    return b;
}

void DeviceImpl::ApplyNetPara(const uint8_t* block) {
    const wire::SearchAnswer in(block);
    std::string new_name = FixedText(in.name(), in.kNameBytes);
    if (!new_name.empty()) name = new_name;
    reported_address = in.address();
    reported_mask = in.mask();
    reported_gateway = in.gateway();
    uint16_t port = in.control_port();
    Event("network parameters changed: address " + FormatIpv4(reported_address) + ", mask " +
          FormatIpv4(reported_mask) + ", gateway " + FormatIpv4(reported_gateway) + ", port " +
          std::to_string(port));
    if (port != 0 && port != control_port && port < 65535) {
        // The device moves to the new ports: control on `port`, stream on port + 1.
        uint16_t old_control = control_port, old_stream = stream_port;
        ++reboots;
        CloseAll("network parameters changed");
        control_port = port;
        stream_port = static_cast<uint16_t>(port + 1);
        std::string err;
        if (!OpenPorts(&err)) {
            Event("cannot move to the new ports, staying on the old ones: " + err);
            control_port = old_control;
            stream_port = old_stream;
            OpenPorts(&err);
        }
    }
    SyncIdentityRecords();
}

}  // namespace devsim
