// The platform-server role: the device answers as the platform through which
// a client reaches it. Login with a session token (renewed in the answer),
// token-carrying parameter, PTZ and talk requests, and streams started per
// channel on the client's stream connections.
#include <algorithm>
#include <cstring>

#include "tools/devsim/device_impl.h"

namespace devsim {
namespace {

using wire::ReplyTo;

std::array<uint8_t, 32> TokenBytes(const std::string& text) {
    std::array<uint8_t, 32> t{};
    std::memcpy(t.data(), text.data(), std::min(text.size(), t.size()));
    return t;
}

std::string Head(const uint8_t* token) {
    return std::string(reinterpret_cast<const char*>(token), wire::kPlatformTokenHeadBytes);
}

}  // namespace

std::shared_ptr<ControlSession> DeviceImpl::SessionByToken(const uint8_t* token) const {
    for (auto& [id, s] : sessions)
        if (s->logged_in && std::memcmp(s->token.data(), token, s->token.size()) == 0) return s;
    return nullptr;
}

void DeviceImpl::SendOnConn(const std::shared_ptr<StreamConn>& c, uint16_t command, uint16_t result,
                            uint16_t word) {
    SendToConn(
        c, std::make_shared<const Bytes>(BuildMessage(command, 0, ResultPayload(result, word))));
}

void DeviceImpl::EndPlatformSession(const std::shared_ptr<ControlSession>& s) {
    SendToSession(s, std::make_shared<const Bytes>(BuildMessage(ZYN_CMD_PLT_SESSION_END, 0, {})));
    s->logged_in = false;
    s->talk_granted = false;
    for (auto it = streams.begin(); it != streams.end();) {
        if (it->second->session_id == s->id) {
            StopStream(it->second);
            it = streams.erase(it);
        } else {
            ++it;
        }
    }
    Event("platform session of " + s->user + " on " + std::to_string(s->id) + " ended (0x0557)");
}

// ---- control connection ------------------------------------------------------------

bool DeviceImpl::HandlePlatformControl(const std::shared_ptr<ControlSession>& s,
                                       const ParsedMessage& m) {
    const uint16_t cmd = m.command;
    const uint8_t* p = m.payload;
    const size_t len = m.length;
    if (cmd == ZYN_CMD_LOGIN) {
        OnPlatformLogin(s, m, TakeFault(cmd));
        return true;
    }
    if (cmd == ZYN_CMD_KEEPALIVE) {
        // Answered before and after login: the client counts answers only.
        if (keepalive_answers) SendResult(s, TakeFault(cmd), ReplyTo(cmd), kResultOk);
        return true;
    }
    const ParamGroupInfo* get = wire::GroupByGet(cmd);
    const ParamGroupInfo* set = wire::GroupBySet(cmd);
    const bool token_request =
        get || set || cmd == ZYN_CMD_PTZ || cmd == ZYN_CMD_PLT_TALK || cmd == ZYN_CMD_PLT_TOKEN;
    const bool file_command = cmd == ZYN_CMD_PLT_PLAY_CONTROL || cmd == ZYN_CMD_PLT_DOWNLOAD_FILE;
    if (!token_request && !file_command && cmd != ZYN_CMD_AUDIO_BLOCK) return false;
    if (!s->logged_in) {
        Event(Hex16(cmd) + " before the platform login ignored");
        return true;
    }
    if (get || set) {
        OnPlatformParam(s, m, TakeFault(cmd), get ? *get : *set, set != nullptr);
        return true;
    }
    switch (cmd) {
        case ZYN_CMD_PTZ: {
            // No answer: the client does not wait for one.
            if (len != wire::kPlatformPtzBytes ||
                std::memcmp(p + wire::PtzCommand::kBytes, s->token.data(), 32) != 0) {
                Event("PTZ without the session token ignored");
                return true;
            }
            const wire::PtzCommand c(p);
            ptz.push_back({c.command(), c.speed(), c.extra(), c.channel()});
            Event("PTZ command " + std::to_string(c.command()) + " on channel " +
                  std::to_string(c.channel()));
            return true;
        }
        case ZYN_CMD_PLT_TALK: {
            const wire::PlatformTalk t(p);
            const FaultDecision d = TakeFault(cmd);
            if (len != t.kBytes || std::memcmp(t.token(), s->token.data(), 32) != 0) {
                SendResult(s, d, wire::kPltTalkReply, kResultBadToken);
                return true;
            }
            if (!t.start()) {
                s->talk_granted = false;
                Event("talk ended");
                return true;  // the stop is not answered
            }
            s->talk_granted = cfg.platform.grant_talk;
            Event(std::string("talk ") + (s->talk_granted ? "granted" : "refused"));
            SendResult(s, d, wire::kPltTalkReply, s->talk_granted ? kResultOk : kResultFailed);
            return true;
        }
        case ZYN_CMD_PLT_TOKEN:
            Event("token notice");
            return true;
        case ZYN_CMD_PLT_PLAY_CONTROL:
        case ZYN_CMD_PLT_DOWNLOAD_FILE:
            // Recorded, not answered: the client does not wait.
            if (len != wire::RecordEntry::kDescriptorBytes) {
                Event(Hex16(cmd) + " with " + std::to_string(len) + " bytes ignored");
                return true;
            }
            platform_file_commands.emplace_back(p, p + len);
            Event(Hex16(cmd) + " for record file " +
                  FixedText(wire::RecordEntry(p).name(), wire::RecordEntry::kNameBytes));
            return true;
        case ZYN_CMD_AUDIO_BLOCK: {
            // Talk audio comes on the control connection once talk is granted.
            if (!s->talk_granted || len < wire::kFragmentHeaderBytes) return true;
            TalkBlock b;
            std::memcpy(b.header, p, wire::kFragmentHeaderBytes);
            b.data.assign(p + wire::kFragmentHeaderBytes, p + len);
            talk.push_back(std::move(b));
            return true;
        }
        default:
            return false;
    }
}

void DeviceImpl::OnPlatformLogin(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                                 const FaultDecision& d) {
    using Login = wire::PlatformLogin;
    using Answer = wire::MutablePlatformLoginReply;
    const Login in(m.payload);
    auto refuse = [&](uint32_t result, const std::string& why) {
        s->logged_in = false;
        Bytes out(4, 0);
        wire::StoreLe32(out.data(), result);
        Event("platform login refused: " + why);
        SendReply(s, d, wire::kLoginReply, out);
    };
    if (m.length != Login::kBytes && m.length != Login::kLongBytes) {
        refuse(kResultBadLength, std::to_string(m.length) + " bytes");
        return;
    }
    const bool long_form = m.length == Login::kLongBytes;
    const std::array<uint8_t, 32> configured = TokenBytes(cfg.platform.token);
    const std::string user = long_form ? std::string() : FixedText(in.account(), 8);
    const std::string password = FixedText(in.account() + 8, 8);
    bool account_ok = false;
    for (const Account& a : cfg.accounts)
        if ((long_form || a.user.substr(0, 8) == user) && a.password.substr(0, 8) == password)
            account_ok = true;
    // The token: the configured one, or one whose head this platform issued.
    const uint8_t* presented = long_form ? in.long_token() : in.token_head();
    const std::string head = Head(presented);
    bool token_ok = head == Head(configured.data()) || issued_token_heads.count(head) > 0;
    if (long_form) {
        token_ok =
            token_ok && std::memcmp(presented + wire::kPlatformTokenHeadBytes,
                                    configured.data() + wire::kPlatformTokenHeadBytes,
                                    wire::kPlatformTokenBytes - wire::kPlatformTokenHeadBytes) == 0;
    }
    if (!account_ok || refuse_logins) {
        refuse(kResultBadAccount, refuse_logins ? "refusal switched on" : "account");
        return;
    }
    if (!token_ok) {
        refuse(kResultBadToken, "token");
        return;
    }
    s->logged_in = true;
    s->user = long_form ? "(token)" : user;
    s->session_word = m.second_word;
    s->talk_granted = false;
    s->token = configured;
    // The full answer is 124 bytes; a configured length cuts it or pads it
    // with zeros. A new token goes out only when its 16 bytes fit.
    const size_t answer_bytes = std::max<size_t>(4, cfg.platform.login_reply_bytes);
    Bytes out(std::max(answer_bytes, Answer::kLongBytes), 0);
    const Answer answer(out.data());
    answer.set_result(0);
    PutText(answer.info(), 32, "ZynPlatform");
    PutText(answer.info() + 32, 32, name);
    if (answer_bytes >= Answer::kTokenOffset + wire::kPlatformTokenHeadBytes) {
        char fresh[17];
        std::snprintf(fresh, sizeof fresh, "T%03u-%011u", index % 1000, ++token_serial);
        std::memcpy(answer.token_head(), fresh, wire::kPlatformTokenHeadBytes);
        std::memcpy(s->token.data(), fresh, wire::kPlatformTokenHeadBytes);
        issued_token_heads.insert(Head(s->token.data()));
    }
    out.resize(answer_bytes);
    Event("platform login " + s->user + " from " + s->peer_text +
          (long_form ? " (128 bytes)" : "") + ", token " + Head(s->token.data()));
    SendReply(s, d, wire::kLoginReply, out);
}

void DeviceImpl::OnPlatformParam(const std::shared_ptr<ControlSession>& s, const ParsedMessage& m,
                                 const FaultDecision& d, const ParamGroupInfo& g, bool setter) {
    const uint16_t reply = ReplyTo(setter ? g.set_command : g.get_command);
    const bool per_channel = setter ? g.set_has_channel : g.get_has_channel;
    const size_t prefix = per_channel ? wire::kChannelPrefixBytes : 0;
    const size_t want = prefix + wire::kPlatformTokenBytes + (setter ? g.record_bytes : 0);
    if (m.length != want) {
        Event(std::string(setter ? "set " : "get ") + g.name + " with " + std::to_string(m.length) +
              " bytes refused (wants " + std::to_string(want) + ")");
        SendResult(s, d, reply, kResultBadLength);
        return;
    }
    if (std::memcmp(m.payload + prefix, s->token.data(), wire::kPlatformTokenBytes) != 0) {
        Event(std::string(setter ? "set " : "get ") + g.name + " with a wrong token refused");
        SendResult(s, d, reply, kResultBadToken);
        return;
    }
    const int ch = per_channel ? m.payload[0] : 0;
    if (per_channel && !ChannelValid(ch)) {
        SendResult(s, d, reply, kResultBadArgument);
        return;
    }
    Bytes& record = params[{g.get_command, g.set_has_channel ? ch : 0}];
    if (setter) {
        const uint8_t* data = m.payload + prefix + wire::kPlatformTokenBytes;
        record.assign(data, data + g.record_bytes);
        Event(std::string("set ") + g.name + " through the platform");
        SendResult(s, d, reply, kResultOk);
        return;
    }
    Bytes out = ResultPayload(kResultOk, 0);
    out.insert(out.end(), record.begin(), record.end());
    SendReply(s, d, reply, out);
}

// ---- stream connections ----------------------------------------------------------

uint16_t DeviceImpl::OpenPlatformStream(const std::shared_ptr<ControlSession>& s,
                                        const std::shared_ptr<StreamConn>& c, int kind, int channel,
                                        uint32_t link_value, uint16_t* result) {
    // Stream mode 4 (shown without frame records) is the main video underneath.
    if (kind == wire::kBareStreamMode) kind = kMainVideo;
    if (kind > kAudio || !ChannelValid(channel)) {
        *result = kResultBadArgument;
        return 0;
    }
    if (kind == kAudio && !cfg.audio) {
        *result = kResultUnsupported;
        return 0;
    }
    for (auto it = streams.begin(); it != streams.end(); ++it) {
        if (it->second->session_id == s->id && it->second->kind == kind &&
            it->second->channel == channel) {
            StopStream(it->second);
            streams.erase(it);
            break;
        }
    }
    auto st = std::make_shared<Stream>();
    do {
        st->key = next_key++;
        if (next_key < 0x1000) next_key = 0x1000;
    } while (streams.count(st->key));
    st->kind = kind;
    st->channel = channel;
    st->transport = c->is_tcp() ? wire::kTcp : wire::kUdp;
    st->link_value = link_value;
    st->session_id = s->id;
    st->timer = std::make_unique<asio::steady_timer>(shared->io);
    if (kind != kAudio) st->loop = loops[{channel, kind}];
    st->conn = c;
    c->session_id = s->id;
    streams[st->key] = st;
    static const char* kKinds[] = {"main video", "sub video", "audio"};
    Event(std::string(kKinds[kind]) + " of channel " + std::to_string(channel) +
          " started through the platform on stream connection " + std::to_string(c->id));
    MaybeStart(st);
    *result = kResultOk;
    return st->key;
}

bool DeviceImpl::HandlePlatformStream(const std::shared_ptr<StreamConn>& c,
                                      const ParsedMessage& m) {
    const uint8_t* p = m.payload;
    const size_t len = m.length;
    switch (m.command) {
        case ZYN_CMD_KEEPALIVE:
            return true;  // the client opens every stream connection with one
        case ZYN_CMD_PLT_STREAM_START: {
            const wire::PlatformStreamStart start(p);
            auto s = len == start.kBytes ? SessionByToken(start.token()) : nullptr;
            if (!s) {
                Event("stream start without a session token refused");
                SendOnConn(c, wire::kPltStreamStartReply, kResultBadToken, 0);
                return true;
            }
            const wire::StreamRequestView r(start.request());
            uint16_t result = 0;
            const uint16_t key =
                OpenPlatformStream(s, c, r.stream_kind(), r.channel(), r.link_value(), &result);
            SendOnConn(c, wire::kPltStreamStartReply, result, key);
            return true;
        }
        case ZYN_CMD_STREAM_REQUEST: {
            // Data-only requests carry no token: the session word names the session.
            std::shared_ptr<ControlSession> s;
            for (auto& [id, candidate] : sessions)
                if (candidate->logged_in && candidate->session_word == m.second_word) s = candidate;
            const wire::StreamRequestView r(p);
            if (!s || len != r.kBytes) {
                Event("stream request on a stream connection without a session refused");
                SendOnConn(c, wire::kStreamReply, kResultNotLoggedIn, 0);
                return true;
            }
            uint16_t result = 0;
            const uint16_t key =
                OpenPlatformStream(s, c, r.stream_kind(), r.channel(), r.link_value(), &result);
            SendOnConn(c, wire::kStreamReply, result, key);
            return true;
        }
        case ZYN_CMD_PLT_STREAM_STOP: {
            const wire::PlatformStreamStop stop(p);
            auto s = len == stop.kBytes ? SessionByToken(stop.token()) : nullptr;
            if (!s) {
                SendOnConn(c, wire::kPltStreamStopReply, kResultBadToken, 0);
                return true;
            }
            // Stream mode 4 (bare display) is the main video underneath.
            const int kind = stop.stream_mode() == wire::kBareStreamMode ? int{kMainVideo}
                                                                         : int{stop.stream_mode()};
            for (auto it = streams.begin(); it != streams.end();) {
                const auto& st = it->second;
                if (st->session_id == s->id && st->channel == stop.channel() && st->kind == kind) {
                    StopStream(st);
                    it = streams.erase(it);
                } else {
                    ++it;
                }
            }
            Event("stream of channel " + std::to_string(stop.channel()) + " stopped");
            SendOnConn(c, wire::kPltStreamStopReply, kResultOk, 0);
            return true;
        }
        case ZYN_CMD_PLT_SOUND: {
            const wire::PlatformSound sound(p);
            auto s = len == sound.kBytes ? SessionByToken(sound.token()) : nullptr;
            if (!s) {
                SendOnConn(c, wire::kPltSoundReply, kResultBadToken, 0);
                return true;
            }
            // The request names no channel: the video on this connection does.
            int channel = -1;
            for (auto& [key, st] : streams)
                if (st->conn.lock() == c && st->kind != kAudio) channel = st->channel;
            uint16_t result = kResultBadArgument;
            uint16_t key = 0;
            if (channel >= 0) key = OpenPlatformStream(s, c, kAudio, channel, 0, &result);
            SendOnConn(c, wire::kPltSoundReply, result, key);
            return true;
        }
        default:
            return false;
    }
}

// ---- the Device interface of the role -------------------------------------------------

void Device::EndPlatformSessions() {
    impl_->shared->RunOnIo([this] {
        DeviceImpl::Locked l(*impl_);
        auto sessions = impl_->sessions;
        for (auto& [id, s] : sessions)
            if (s->logged_in) impl_->EndPlatformSession(s);
    });
}

std::vector<std::vector<uint8_t>> Device::PlatformTokens() const {
    DeviceImpl::Locked l(*impl_);
    std::vector<std::vector<uint8_t>> out;
    for (auto& [id, s] : impl_->sessions)
        if (s->logged_in) out.emplace_back(s->token.begin(), s->token.end());
    return out;
}

std::vector<std::vector<uint8_t>> Device::PlatformFileCommands() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->platform_file_commands;
}

}  // namespace devsim
