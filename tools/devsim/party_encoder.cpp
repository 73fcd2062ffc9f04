// The encoder party: answers what the control service relays to it and pushes
// live video and audio on its media connection.
#include <algorithm>

#include "tools/devsim/g711.h"
#include "tools/devsim/media_framing.h"
#include "tools/devsim/party_impl.h"
#include "zynvs/wire/codes.h"
#include "tools/devsim/protocol.h"

namespace devsim {
namespace {

using Bytes = std::vector<uint8_t>;

const char* KindName(int kind) {
    static const char* kNames[] = {"main video", "sub video", "audio", "talk"};
    return kind >= 0 && kind < 4 ? kNames[kind] : "?";
}

bool RequestOpens(const ParsedMessage& m) {
    return m.length == wire::StreamRequestView::kBytes &&
           wire::StreamRequestView(m.payload).open_flag();
}

Bytes ResultBody(uint16_t result, uint16_t word = 0) {
    Bytes b(4);
    wire::StoreLe16(b.data(), result);
    wire::StoreLe16(b.data() + 2, word);
    return b;
}

void Now(uint32_t* sec, uint16_t* msec) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    *sec = static_cast<uint32_t>(ms / 1000);
    *msec = static_cast<uint16_t>(ms % 1000);
}

}  // namespace

bool Party::Impl::PrepareEncoder(std::string* error) {
    const VideoSettings& v = cfg.video;
    for (int ch = 0; ch < cfg.channel_count; ++ch) {
        VideoLoopKey key{v.width, v.height, v.fps, v.bitrate_kbps, v.gop, v.gop * v.loop_gops,
                         ch,      0};
        loops[ch] = GetVideoLoop(key, error);
        if (!loops[ch]) return false;
        tones[ch] = EncodedToneSecond(400 * (ch + 1), cfg.a_law);
    }
    return true;
}

void Party::Impl::OnEncoderRequest(const ParsedMessage& m) {
    if (silent || wire::IsReply(m.command)) return;
    const uint16_t reply = wire::ReplyTo(m.command);
    Bytes body;
    if (m.command == ZYN_CMD_STREAM_REQUEST) {
        uint16_t result = kResultBadLength;
        uint8_t channel = 0, kind = 0;
        if (m.length == wire::StreamRequestView::kBytes) {
            const wire::StreamRequestView r(m.payload);
            channel = r.channel();
            kind = r.stream_kind();
            if (channel >= cfg.channel_count || kind > wire::kTalk) {
                result = kResultBadArgument;
            } else if (kind == wire::kTalk) {
                result = kResultUnsupported;
            } else {
                if (!r.open_flag()) ClosePush(channel, kind);
                result = kResultOk;
            }
            Event(std::string(r.open_flag() ? "open" : "close") + " of " + KindName(kind) +
                  " channel " + std::to_string(channel) + ": result " + std::to_string(result));
        }
        // The reply names the channel and kind, so that an unasked reply
        // still tells the platform which stream flows again.
        body = ResultBody(result);
        body[2] = channel;
        body[3] = kind;
        SendControl(reply, session, body);
        Update([](PartyStats& s) { ++s.requests_answered; });
        // The stream starts after the reply, so that the platform has
        // subscribed the asker when the first (key) picture arrives.
        if (result == kResultOk && RequestOpens(m)) OpenPush(channel, kind);
        return;
    } else if (const ParamGroupInfo* g = wire::GroupByGet(m.command)) {
        const size_t want = g->get_has_channel ? wire::kChannelPrefixBytes : 0;
        const int ch = g->get_has_channel && m.length > 0 ? m.payload[0] : 0;
        if (m.length != want) {
            body = ResultBody(kResultBadLength);
        } else if (ch >= cfg.channel_count) {
            body = ResultBody(kResultBadArgument);
        } else {
            body = ResultBody(kResultOk);
            const Bytes record =
                DefaultParamRecord(*g, ch, ResolutionCode(cfg.video.width, cfg.video.height));
            body.insert(body.end(), record.begin(), record.end());
        }
    } else if (const ParamGroupInfo* g = wire::GroupBySet(m.command)) {
        const size_t want = (g->set_has_channel ? wire::kChannelPrefixBytes : 0) + g->record_bytes;
        body = ResultBody(m.length == want ? kResultOk : kResultBadLength);
    } else {
        body = ResultBody(kResultUnsupported);
    }
    SendControl(reply, session, body);
    Update([](PartyStats& s) { ++s.requests_answered; });
}

void Party::Impl::OpenPush(int channel, int kind) {
    auto& slot = pushed[{channel, kind}];
    if (slot) return;  // already flowing
    slot = std::make_unique<PushedStream>();
    PushedStream* st = slot.get();
    st->channel = channel;
    st->kind = kind;
    st->loop = loops[channel];
    st->timer = std::make_unique<asio::steady_timer>(io);
    // The first picture goes one frame interval after the reply.
    st->next_due = std::chrono::steady_clock::now() + std::chrono::milliseconds(40);
    const int open = static_cast<int>(pushed.size());
    Update([open](PartyStats& s) { s.open_streams = open; });
    st->timer->expires_at(st->next_due);
    st->timer->async_wait([this, st](const std::error_code& ec) {
        if (!ec && !st->closed) PushTick(st);
    });
}

void Party::Impl::ClosePush(int channel, int kind) {
    auto it = pushed.find({channel, kind});
    if (it == pushed.end()) return;
    it->second->closed = true;
    it->second->timer->cancel();
    // The timer's aborted handler may still be queued: the stream goes after it.
    asio::post(io, [gone = std::shared_ptr<PushedStream>(std::move(it->second))] {});
    pushed.erase(it);
    const int open = static_cast<int>(pushed.size());
    Update([open](PartyStats& s) { s.open_streams = open; });
}

void Party::Impl::StopPushing() {
    while (!pushed.empty()) {
        auto [channel, kind] = pushed.begin()->first;
        ClosePush(channel, kind);
    }
}

void Party::Impl::PushTick(PushedStream* st) {
    std::chrono::nanoseconds period;
    if (st->kind == wire::kAudio) {
        const size_t samples = static_cast<size_t>(std::clamp(cfg.audio_block_samples, 8, 1372));
        period = std::chrono::nanoseconds(1'000'000'000LL * static_cast<long long>(samples) / 8000);
        if (!silent) {
            AudioFraming f;
            Now(&f.time_sec, &f.time_msec);
            f.channel = static_cast<uint8_t>(st->channel);
            f.audio_format = cfg.audio_format;
            f.frame_number = st->frame_number++;
            f.second_word = session;
            auto bytes = std::make_shared<Bytes>();
            AppendAudioBlock(tones[st->channel], &st->tone_pos, samples, f, bytes.get());
            const bool sent = SendMedia(std::move(bytes));
            Update([sent](PartyStats& s) { sent ? ++s.audio_blocks_pushed : ++s.frames_dropped; });
        }
    } else {
        const VideoLoop& loop = *st->loop;
        period = std::chrono::nanoseconds(1'000'000'000LL / std::max(1, loop.key.fps));
        if (!silent) {
            if (st->need_key) st->loop_index = loop.GopStart(st->loop_index);
            const EncodedFrame& frame = loop.frames[static_cast<size_t>(st->loop_index)];
            VideoFraming f;
            Now(&f.time_sec, &f.time_msec);
            f.channel_byte = static_cast<uint8_t>(st->channel);
            f.resolution = ResolutionCode(loop.key.width, loop.key.height);
            f.stream_kind = static_cast<uint8_t>(st->kind);
            f.frame_number = st->frame_number++;
            f.second_word = session;
            f.fragment_bytes = cfg.fragment_bytes;
            auto bytes = std::make_shared<Bytes>();
            std::vector<size_t> offsets;
            const bool sent =
                AppendVideoFrame(frame, f, bytes.get(), &offsets) && SendMedia(std::move(bytes));
            // A dropped frame breaks the references: go on at the next key frame.
            st->need_key = !sent;
            Update([sent](PartyStats& s) { sent ? ++s.frames_pushed : ++s.frames_dropped; });
            st->loop_index = (st->loop_index + 1) % static_cast<int>(loop.frames.size());
        }
    }
    const auto now = std::chrono::steady_clock::now();
    st->next_due += period;
    if (now - st->next_due > std::chrono::seconds(1)) st->next_due = now;  // fell far behind
    st->timer->expires_at(st->next_due);
    st->timer->async_wait([this, st](const std::error_code& ec) {
        if (!ec && !st->closed) PushTick(st);
    });
}

}  // namespace devsim
