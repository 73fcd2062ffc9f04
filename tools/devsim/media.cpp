// Stream requests, stream connections and the paced sending of video
// fragments and audio blocks.
#include <cstring>

#include "tools/devsim/device_impl.h"
#include "tools/devsim/media_framing.h"

namespace devsim {
namespace {

std::string EndpointText(const udp::endpoint& e) {
    return e.address().to_string() + ":" + std::to_string(e.port());
}

const char* KindName(int kind) {
    static const char* kNames[] = {"main video", "sub video", "audio", "talk"};
    return kind >= 0 && kind < 4 ? kNames[kind] : "?";
}

}  // namespace

void DeviceImpl::OnStreamRequest(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                                 const FaultDecision& d) {
    const uint16_t reply = wire::kStreamReply;
    const wire::StreamRequestView r(m.payload);
    if (m.length != r.kBytes) {
        Event("stream request with " + std::to_string(m.length) + " bytes refused");
        SendResult(s, d, reply, kResultBadLength);
        return;
    }
    int kind = r.stream_kind(), ch = r.channel(), open = r.open_flag(),
        transport = r.stream_transport();
    uint32_t link_value = r.link_value();
    uint16_t port = r.stream_port();
    uint32_t address = r.stream_address();
    if (kind > kTalk || !ChannelValid(ch) || transport > wire::kMulticast) {
        Event("stream request kind " + std::to_string(kind) + " channel " + std::to_string(ch) +
              " transport " + std::to_string(transport) + " refused");
        SendResult(s, d, reply, kResultBadArgument);
        return;
    }
    auto find_own = [&]() -> std::shared_ptr<Stream> {
        for (auto& [key, st] : streams)
            if (st->session_id == s->id && st->kind == kind && st->channel == ch) return st;
        return nullptr;
    };
    if (open == 0) {
        uint16_t key = 0;
        if (auto st = find_own()) {
            key = st->key;
            StopStream(st);
            streams.erase(st->key);
            Event(std::string(KindName(kind)) + " of channel " + std::to_string(ch) + " closed");
        }
        SendResult(s, d, reply, kResultOk, key);
        return;
    }
    if (kind == kAudio && !cfg.audio) {
        SendResult(s, d, reply, kResultUnsupported);
        return;
    }
    const bool multicast = transport == wire::kMulticast && kind != kTalk;
    if (multicast) {
        if (!shared->multicast_allowed || !mcast_out) {
            Event(
                "multicast stream refused: multicast is sent only inside a private network "
                "namespace");
            SendResult(s, d, reply, kResultUnsupported);
            return;
        }
        if ((address >> 28) != 0xE || port == 0) {
            Event("multicast stream to " + FormatIpv4(address) + ":" + std::to_string(port) +
                  " refused");
            SendResult(s, d, reply, kResultBadArgument);
            return;
        }
    }
    if (auto old = find_own()) {
        StopStream(old);
        streams.erase(old->key);
    }
    auto st = std::make_shared<Stream>();
    do {
        st->key = next_key++;
        if (next_key < 0x1000) next_key = 0x1000;
    } while (streams.count(st->key));
    st->kind = kind;
    st->channel = ch;
    st->transport = transport;
    st->link_value = link_value;
    st->session_id = s->id;
    st->timer = std::make_unique<asio::steady_timer>(shared->io);
    if (kind == kMainVideo || kind == kSubVideo) st->loop = loops[{ch, kind}];
    if (multicast) {
        st->mcast = udp::endpoint(asio::ip::address_v4(address), port);
        s->mcast_dest = st->mcast;
    } else if (auto c = s->link_conn.lock(); c && !c->closed) {
        st->conn = c;
    } else if (s->mcast_dest && kind != kTalk) {
        st->mcast = s->mcast_dest;
    }
    streams[st->key] = st;
    static const char* kTransports[] = {"tcp", "udp", "multicast"};
    Event(std::string(KindName(kind)) + " of channel " + std::to_string(ch) + " opened over " +
          kTransports[transport] + ", key " + std::to_string(st->key) +
          (multicast ? " to " + EndpointText(*st->mcast) : ""));
    SendResult(s, d, reply, kResultOk, st->key);
    MaybeStart(st);
}

void DeviceImpl::MaybeStart(const std::shared_ptr<Stream>& st) {
    if (st->running) return;
    if (st->kind == kTalk) {
        st->running = true;
        return;
    }
    bool has_dest = st->mcast.has_value();
    if (auto c = st->conn.lock(); c && !c->closed) has_dest = true;
    if (!has_dest) return;
    auto s = FindSession(st->session_id);
    if (!s) return;
    if (cfg.start_on_key_request && !s->start_requested) return;
    st->running = true;
    st->need_key = true;  // the first frame sent is a key frame
    st->next_due = std::chrono::steady_clock::now();
    ScheduleTick(st);
}

void DeviceImpl::StopStream(const std::shared_ptr<Stream>& st) {
    st->running = false;
    ++st->generation;
    if (st->timer) st->timer->cancel();
}

void DeviceImpl::ScheduleTick(const std::shared_ptr<Stream>& st) {
    st->timer->expires_at(st->next_due);
    st->timer->async_wait([this, st, generation = st->generation](std::error_code ec) {
        if (ec) return;
        Tick(st, generation);
    });
}

void DeviceImpl::Tick(const std::shared_ptr<Stream>& st, uint64_t generation) {
    Locked l(*this);
    auto it = streams.find(st->key);
    if (shared->stopping || !st->running || st->generation != generation || it == streams.end() ||
        it->second != st)
        return;
    if (!st->mcast) {
        auto c = st->conn.lock();
        if (!c || c->closed) {
            st->running = false;
            ++st->generation;
            st->conn.reset();
            Event(std::string(KindName(st->kind)) + " of channel " + std::to_string(st->channel) +
                  " waits for a new stream connection");
            return;
        }
    }
    std::chrono::nanoseconds period;
    if (st->kind == kAudio) {
        SendAudioBlock(st);
        period = std::chrono::nanoseconds(1'000'000'000LL * cfg.audio_block_samples / 8000);
    } else {
        if (!stalled_channels.count(st->channel)) SendVideoFrame(st);
        period = std::chrono::nanoseconds(1'000'000'000LL / std::max(1, st->loop->key.fps));
    }
    auto now = std::chrono::steady_clock::now();
    st->next_due += period;
    if (now - st->next_due > std::chrono::seconds(1)) st->next_due = now;  // fell far behind
    ScheduleTick(st);
}

void DeviceImpl::SendVideoFrame(const std::shared_ptr<Stream>& st) {
    const VideoLoop& loop = *st->loop;
    if (st->need_key) {
        st->loop_index = loop.GopStart(st->loop_index);
        st->need_key = false;
    }
    const EncodedFrame& f = loop.frames[st->loop_index];
    VideoFraming framing;
    DeviceTime(&framing.time_sec, &framing.time_msec);
    framing.channel_byte = (st->channel == 0 && st->kind == kSubVideo && sub_as_four)
                               ? wire::kSubStreamChannel
                               : static_cast<uint8_t>(st->channel);
    framing.resolution = ResolutionCode(loop.key.width, loop.key.height);
    framing.stream_kind = static_cast<uint8_t>(st->kind);
    framing.frame_number = st->frame_number;
    framing.fragment_bytes = cfg.fragment_bytes;
    auto bytes = std::make_shared<Bytes>();
    std::vector<size_t> offsets;
    if (!AppendVideoFrame(f, framing, bytes.get(), &offsets)) {
        Event("frame of " + std::to_string(f.data.size()) +
              " bytes does not fit 255 fragments: skipped");
        st->loop_index = (st->loop_index + 1) % static_cast<int>(loop.frames.size());
        return;
    }
    if (Deliver(st, bytes, offsets)) {
        ++st->frames_sent;
        if (shared->config.keep_sent_frames)
            sent_frames.push_back({st->channel, st->kind, st->frame_number, st->loop_index, f.key});
    } else {
        st->need_key = true;  // a dropped frame breaks the references: restart at a key frame
    }
    ++st->frame_number;
    st->loop_index = (st->loop_index + 1) % static_cast<int>(loop.frames.size());
}

void DeviceImpl::SendAudioBlock(const std::shared_ptr<Stream>& st) {
    const size_t samples = static_cast<size_t>(std::clamp(cfg.audio_block_samples, 8, 2000));
    AudioFraming framing;
    DeviceTime(&framing.time_sec, &framing.time_msec);
    framing.channel = static_cast<uint8_t>(st->channel);
    framing.audio_format = cfg.audio_format;
    framing.frame_number = st->frame_number;
    auto bytes = std::make_shared<Bytes>();
    AppendAudioBlock(tones[st->channel & 3], &st->audio_pos, samples, framing, bytes.get());
    if (Deliver(st, bytes, {0})) ++st->frames_sent;
    ++st->frame_number;
}

bool DeviceImpl::Deliver(const std::shared_ptr<Stream>& st, SharedBytes bytes,
                         const std::vector<size_t>& offsets) {
    auto send_datagrams = [&](udp::socket* sock, const udp::endpoint& to) {
        if (!sock) return false;
        for (size_t i = 0; i < offsets.size(); ++i) {
            size_t end = i + 1 < offsets.size() ? offsets[i + 1] : bytes->size();
            std::error_code ec;
            sock->send_to(asio::buffer(bytes->data() + offsets[i], end - offsets[i]), to, 0, ec);
            if (!ec) shared->stream_bytes += end - offsets[i];
        }
        return true;
    };
    if (st->mcast) return send_datagrams(mcast_out.get(), *st->mcast);
    auto c = st->conn.lock();
    if (!c || c->closed) return false;
    if (!c->is_tcp()) return send_datagrams(stream_udp.get(), c->endpoint);
    if (c->queued_bytes + bytes->size() > shared->config.stream_queue_limit_bytes) return false;
    shared->stream_bytes += bytes->size();
    SendToConn(c, std::move(bytes));
    return true;
}

void DeviceImpl::SendToConn(const std::shared_ptr<StreamConn>& c, SharedBytes bytes) {
    if (c->closed) return;
    if (!c->is_tcp()) {
        if (!stream_udp) return;
        std::error_code ec;
        stream_udp->send_to(asio::buffer(*bytes), c->endpoint, 0, ec);
        return;
    }
    c->queued_bytes += bytes->size();
    c->outq.push_back(std::move(bytes));
    if (c->writing) return;
    struct Writer {
        static void Next(DeviceImpl* d, const std::shared_ptr<StreamConn>& c) {
            c->writing = true;
            // Gather what is queued into one write.
            std::vector<asio::const_buffer> bufs;
            size_t n = std::min<size_t>(c->outq.size(), 16);
            for (size_t i = 0; i < n; ++i) bufs.push_back(asio::buffer(*c->outq[i]));
            asio::async_write(*c->socket, bufs, [d, c, n](std::error_code ec, size_t) {
                Locked l(*d);
                if (c->closed) return;
                for (size_t i = 0; i < n; ++i) {
                    c->queued_bytes -= c->outq.front()->size();
                    c->outq.pop_front();
                }
                if (ec) {
                    d->CloseStreamConn(c, "write failed: " + ec.message());
                    return;
                }
                if (c->outq.empty())
                    c->writing = false;
                else
                    Next(d, c);
            });
        }
    };
    Writer::Next(this, c);
}

void DeviceImpl::ForceKey(int channel, uint32_t session_id) {
    for (auto& [key, st] : streams) {
        if (st->channel != channel || (st->kind != kMainVideo && st->kind != kSubVideo)) continue;
        if (session_id != 0 && st->session_id != session_id) continue;
        st->need_key = true;
    }
}

void DeviceImpl::DeviceTime(uint32_t* seconds, uint16_t* millis) const {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count() + clock_offset_s * 1000;
    *seconds = static_cast<uint32_t>(ms / 1000);
    *millis = static_cast<uint16_t>(ms % 1000);
}

// ---- stream connections ----

void DeviceImpl::AcceptStream() {
    if (!stream_acceptor) return;
    auto sock = std::make_shared<tcp::socket>(shared->io);
    stream_acceptor->async_accept(*sock, [this, sock](std::error_code ec) {
        Locked l(*this);
        if (ec || shared->stopping || !stream_acceptor) return;
        auto c = std::make_shared<StreamConn>();
        c->id = shared->next_connection++;
        c->link = Link::kStreamTcp;
        c->socket = std::make_unique<tcp::socket>(std::move(*sock));
        std::error_code e2;
        c->socket->set_option(tcp::no_delay(true), e2);
        auto remote = c->socket->remote_endpoint(e2);
        c->endpoint = udp::endpoint(remote.address(), remote.port());
        c->peer_text = EndpointText(c->endpoint);
        c->last_rx = std::chrono::steady_clock::now();
        c->rx.resize(16384);
        stream_conns[c->id] = c;
        Event("stream connection " + std::to_string(c->id) + " from " + c->peer_text);
        ReadStream(c);
        AcceptStream();
    });
}

void DeviceImpl::ReadStream(const std::shared_ptr<StreamConn>& c) {
    c->socket->async_read_some(asio::buffer(c->rx), [this, c](std::error_code ec, size_t n) {
        Locked l(*this);
        if (c->closed) return;
        if (ec) {
            CloseStreamConn(c, ec == asio::error::eof ? "closed by the client" : ec.message());
            return;
        }
        c->last_rx = std::chrono::steady_clock::now();
        c->framer.Feed(c->rx.data(), n, [&](const ParsedMessage& m) {
            if (!c->closed) HandleStream(c, m);
        });
        if (!c->closed) ReadStream(c);
    });
}

void DeviceImpl::ReceiveStreamUdp() {
    stream_udp->async_receive_from(
        asio::buffer(stream_udp_rx), stream_udp_from,
        [this, sock = stream_udp.get()](std::error_code ec, size_t n) {
            Locked l(*this);
            if (shared->stopping || !stream_udp || stream_udp.get() != sock ||
                ec == asio::error::operation_aborted)
                return;
            if (!ec) {
                std::shared_ptr<StreamConn> c;
                for (auto& [id, candidate] : stream_conns) {
                    if (!candidate->is_tcp() && candidate->endpoint == stream_udp_from) {
                        c = candidate;
                        break;
                    }
                }
                if (!c) {
                    c = std::make_shared<StreamConn>();
                    c->id = shared->next_connection++;
                    c->link = Link::kStreamUdp;
                    c->endpoint = stream_udp_from;
                    c->peer_text = EndpointText(stream_udp_from);
                    stream_conns[c->id] = c;
                    Event("stream peer " + std::to_string(c->id) + " (udp) " + c->peer_text);
                }
                c->last_rx = std::chrono::steady_clock::now();
                ParsedMessage m;
                ParseDatagram(stream_udp_rx.data(), n, &m);
                HandleStream(c, m);
            }
            if (stream_udp) ReceiveStreamUdp();
        });
}

void DeviceImpl::HandleStream(const std::shared_ptr<StreamConn>& c, const ParsedMessage& m) {
    Log(c->link, c->id, m);
    if (m.malformed) {
        Event("ignored " + std::to_string(m.raw_length) +
              " bytes without a message header on stream connection " + std::to_string(c->id));
        return;
    }
    if (cfg.platform.enabled && HandlePlatformStream(c, m)) return;
    switch (m.command) {
        case ZYN_CMD_STREAM_BIND: {
            if (m.length != wire::kStreamBindBytes) {
                Event("stream bind with " + std::to_string(m.length) + " bytes ignored");
                return;
            }
            uint32_t key = wire::LoadLe32(m.payload);
            auto it = key <= 0xFFFF ? streams.find(static_cast<uint16_t>(key)) : streams.end();
            if (it == streams.end() || it->second->transport == wire::kMulticast) {
                Event("stream bind with unknown key " + std::to_string(key) + " ignored");
                return;
            }
            auto st = it->second;
            c->session_id = st->session_id;
            auto s = FindSession(st->session_id);
            if (s) s->link_conn = c;
            // The client's stream connection carries every stream of its session
            // that has no destination yet.
            for (auto& [k, other] : streams) {
                if (other->session_id != st->session_id || other->mcast) continue;
                auto oc = other->conn.lock();
                if (other != st && oc && !oc->closed) continue;  // has its own connection
                other->conn = c;
                MaybeStart(other);
            }
            Event("stream connection " + std::to_string(c->id) + " bound to key " +
                  std::to_string(key));
            return;
        }
        case ZYN_CMD_AUDIO_BLOCK: {
            if (m.length < wire::kFragmentHeaderBytes) {
                Event("talk block shorter than its header ignored");
                return;
            }
            bool talk_open = false;
            for (auto& [k, st] : streams)
                if (st->session_id == c->session_id && st->kind == kTalk) talk_open = true;
            if (!talk_open) {
                Event("talk audio without an open talk stream ignored");
                return;
            }
            TalkBlock b;
            std::memcpy(b.header, m.payload, wire::kFragmentHeaderBytes);
            b.data.assign(m.payload + wire::kFragmentHeaderBytes, m.payload + m.length);
            talk.push_back(std::move(b));
            return;
        }
        default:
            Event("command " + std::to_string(m.command) + " on a stream connection ignored");
            return;
    }
}

void DeviceImpl::CloseStreamConn(const std::shared_ptr<StreamConn>& c, const std::string& why) {
    if (c->closed) return;
    c->closed = true;
    if (c->socket) {
        std::error_code ec;
        c->socket->shutdown(tcp::socket::shutdown_both, ec);
        c->socket->close(ec);
    }
    c->outq.clear();
    c->queued_bytes = 0;
    stream_conns.erase(c->id);
    for (auto& [key, st] : streams) {
        if (st->conn.lock() == c) {
            StopStream(st);
            st->conn.reset();
        }
    }
    Event("stream connection " + std::to_string(c->id) + " closed: " + why);
}

}  // namespace devsim
