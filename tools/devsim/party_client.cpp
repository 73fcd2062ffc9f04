// User client, recording server and stream server: list, ask, count, record;
// the stream server notes its forwarding instructions.
#include <cstring>

#include "tools/devsim/party_impl.h"
#include "zynvs/wire/codes.h"
#include "tools/devsim/protocol.h"

namespace devsim {
namespace {

using Bytes = std::vector<uint8_t>;

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool Party::Impl::PrepareClient(std::string* error) {
    if (cfg.role == PartyRole::kRecordServer && cfg.record_path.empty()) {
        if (error) *error = "a recording server needs a recording path";
        return false;
    }
    if (cfg.record_path.empty() || cfg.role == PartyRole::kStreamServer) return true;
    record_avi = EndsWith(cfg.record_path, ".avi") || EndsWith(cfg.record_path, ".AVI");
    if (!recorder.Open(cfg.record_path.c_str(), record_avi ? decodekit::kRecordModeAvi : 0, 0)) {
        if (error) *error = "cannot create the recording " + cfg.record_path;
        return false;
    }
    return true;
}

void Party::Impl::FinishRecording() {
    if (recorder.is_recording()) recorder.Close();
}

void Party::Impl::OnClientLoggedIn() {
    if (cfg.role == PartyRole::kStreamServer) return;
    if (cfg.list_filter >= 0)
        SendControl(ZYN_CMD_DEVICE_LIST, session, {static_cast<uint8_t>(cfg.list_filter)});
    for (const StreamWant& w : cfg.wants) SendStreamRequest(w, true);
}

void Party::Impl::SendStreamRequest(const StreamWant& want, bool open) {
    Bytes body(wire::StreamRequestView::kBytes);
    const wire::MutableStreamRequestView r(body.data());
    r.set_stream_kind(static_cast<uint8_t>(want.kind));
    r.set_channel(static_cast<uint8_t>(want.channel));
    r.set_open_flag(open ? 1 : 0);
    r.set_stream_transport(wire::kTcp);
    r.set_link_value(want.encoder);
    SendControl(ZYN_CMD_STREAM_REQUEST, session, body);
}

void Party::Impl::OnClientMessage(const ParsedMessage& m) {
    switch (m.command) {
        case wire::kDeviceListReply: {
            if (m.length < wire::DeviceListHeader::kBytes) return;
            const wire::DeviceListHeader h(m.payload);
            const uint16_t entries = h.entry_count();
            Update([entries](PartyStats& s) { s.listed_devices += entries; });
            Event("device list: " + std::to_string(entries) + " of " + std::to_string(h.total()));
            return;
        }
        case wire::kStreamReply: {
            const int result = m.length >= 2 ? wire::LoadLe16(m.payload) : -1;
            Update([result](PartyStats& s) {
                result == 0 ? ++s.stream_replies_ok : ++s.stream_replies_failed;
            });
            Event("stream reply from " + std::to_string(m.second_word) + ": result " +
                  std::to_string(result));
            return;
        }
        case ZYN_CMD_STATE_REPORT: {
            Update([](PartyStats& s) { ++s.state_reports; });
            if (m.length < wire::DeviceListEntry::kBytes) return;
            const wire::DeviceListEntry e(m.payload);
            Event("state of " + std::to_string(e.device_id()) + ": " +
                  (e.online() ? "online" : "offline"));
            return;
        }
        case ZYN_CMD_STREAM_REQUEST: {
            if (cfg.role != PartyRole::kStreamServer) return;
            Update([](PartyStats& s) { ++s.forward_instructions; });
            if (m.length < wire::StreamRequestView::kBytes) {
                Event("forwarding instruction of " + std::to_string(m.length) + " bytes");
                return;
            }
            const wire::StreamRequestView r(m.payload);
            Event("forward kind " + std::to_string(r.stream_kind()) + " channel " +
                  std::to_string(r.channel()) + " of " + std::to_string(r.link_value()) + " to " +
                  std::to_string(r.stream_address()) + (r.open_flag() ? "" : " (close)"));
            return;
        }
        default:
            return;
    }
}

void Party::Impl::OnClientMedia(const ParsedMessage& m) {
    const size_t length = m.length;
    if (m.command == ZYN_CMD_AUDIO_BLOCK) {
        Update([length](PartyStats& s) {
            ++s.audio_packets;
            s.media_bytes += length;
        });
        return;
    }
    if (m.command != ZYN_CMD_VIDEO_FRAGMENT) return;
    Update([length](PartyStats& s) {
        ++s.video_packets;
        s.media_bytes += length;
    });
    if (length < wire::kFragmentHeaderBytes) {
        Update([](PartyStats& s) { ++s.malformed; });
        return;
    }
    const wire::FragmentHeader h(m.payload);
    const uint32_t key = static_cast<uint32_t>(m.second_word) << 8 | h.channel();
    auto& slot = assemblies[key];
    if (!slot) slot = std::make_unique<Assembly>();
    if (h.fragment_index() == 0)
        std::memcpy(slot->first_header, m.payload, sizeof slot->first_header);
    const size_t data = std::min<size_t>(h.fragment_length(), length - wire::kFragmentHeaderBytes);
    if (!slot->frames.Add(m.payload, m.payload + wire::kFragmentHeaderBytes, data)) return;
    const bool key_frame =
        wire::FragmentHeader(slot->first_header).frame_type() == wire::kKeyFrameType;
    Update([key_frame](PartyStats& s) {
        ++s.video_frames;
        if (key_frame) ++s.key_frames;
    });
    if (!recorder.is_recording()) return;
    // One stream goes into the file: the first one asked for (or seen), from
    // its first key frame on.
    if (!recorded_stream) {
        if (!cfg.wants.empty() && key != ((cfg.wants[0].encoder & 0xFFFF) << 8 |
                                          static_cast<uint32_t>(cfg.wants[0].channel)))
            return;
        if (!key_frame) return;
        recorded_stream = key;
    }
    if (*recorded_stream != key) return;
    int written;
    if (record_avi) {
        written = recorder.WriteFrame(slot->frames.frame(), slot->frames.frame_bytes(), 0,
                                      key_frame ? 1 : 0);
    } else {
        record.resize(wire::kFrameRecordHeaderBytes + slot->frames.frame_bytes());
        wire::WriteFramePrefix(record.data(), false);
        std::memcpy(record.data() + wire::kFramePrefixBytes, slot->first_header,
                    wire::kFragmentHeaderBytes);
        // A whole frame: one fragment carrying the total.
        wire::MutableFragmentHeader(record.data() + wire::kFramePrefixBytes).set_fragment_count(1);
        std::memcpy(record.data() + wire::kFrameRecordHeaderBytes, slot->frames.frame(),
                    slot->frames.frame_bytes());
        written = recorder.WriteFrame(record.data(), record.size(), 0, key_frame ? 1 : 0);
    }
    if (written) Update([](PartyStats& s) { ++s.recorded_frames; });
}

}  // namespace devsim
