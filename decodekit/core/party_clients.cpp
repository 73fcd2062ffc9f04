#include "decodekit/core/party_clients.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/listen_service.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"

namespace wire = zyn::wire;

namespace {
bool Served(const std::shared_ptr<CPlatformParty>& p) {
    if (!p || !p->Alive()) return false;
    const int type = p->GetType();
    return type == zyn::kTypeUserClient || type == zyn::kTypeRecordClient;
}

bool IsClientParty(const std::shared_ptr<CPlatformParty>& p) {
    return p && p->Alive() && !p->IsEncoder();
}

int SendOn(const ServiceLink& link, uint16_t command, uint16_t word, const void* body,
           std::size_t length) {
    auto service = link.service.lock();
    if (!service || link.connection < 0) return -1;
    return service->Send(link.connection, command, word, body, length);
}

void CloseOn(const ServiceLink& link) {
    if (auto service = link.service.lock()) service->CloseConnection(link.connection);
}
}  // namespace

namespace zyn {
int StreamStateIndex(int kind) {
    switch (kind) {
        case wire::kMainVideo:
            return 0;
        case wire::kAudio:
            return 1;
        case wire::kTalk:
            return 2;
        default:
            return -1;
    }
}

void InstructStreamServer(CDeviceManage* registry, const uint8_t* request, uint32_t requester_id) {
    if (registry == nullptr) return;
    for (auto& dev : registry->Snapshot()) {
        if (dev->GetType() != kTypeStreamClient || dev->State() != kStateActive) continue;
        auto* server = static_cast<CPlatformParty*>(dev.get());
        uint8_t body[wire::StreamRequestView::kBytes];
        std::memcpy(body, request, 12);
        wire::MutableStreamRequestView(body).set_stream_address(requester_id);
        server->SendControl(ZYN_CMD_STREAM_REQUEST, server->Session(), body, sizeof(body));
        return;
    }
}
}  // namespace zyn

// ---- ServiceLink / CPlatformParty ------------------------------------------

bool ServiceLink::Is(const CListenService* s, int c) const {
    if (connection < 0 || connection != c) return false;
    auto service = this->service.lock();
    return service && service.get() == s;
}

bool CPlatformParty::ControlIs(const CListenService* service, int connection) {
    std::lock_guard<std::mutex> lock(link_mutex_);
    return control_.Is(service, connection);
}

bool CPlatformParty::MediaIs(const CListenService* service, int connection) {
    std::lock_guard<std::mutex> lock(link_mutex_);
    return media_.Is(service, connection);
}

uint16_t CPlatformParty::Session() {
    std::lock_guard<std::mutex> lock(link_mutex_);
    return session_;
}

bool CPlatformParty::HasControl() {
    std::lock_guard<std::mutex> lock(link_mutex_);
    return control_.connection >= 0 && !control_.service.expired();
}

bool CPlatformParty::HasMedia() {
    std::lock_guard<std::mutex> lock(link_mutex_);
    return media_.connection >= 0 && !media_.service.expired();
}

void CPlatformParty::AttachControl(const std::shared_ptr<CListenService>& service, int connection,
                                   uint16_t session) {
    {
        std::lock_guard<std::mutex> lock(link_mutex_);
        control_.service = service;
        control_.connection = connection;
        session_ = session;
    }
    keepalive_misses_.store(0);
    logged_in_.store(connection >= 0 ? 1 : 0);
    SetOnline(true);
}

bool CPlatformParty::Logout(uint16_t session) {
    {
        std::lock_guard<std::mutex> lock(link_mutex_);
        if (control_.connection < 0 || session_ != session) return false;
        control_.Clear();
    }
    logged_in_.store(0);
    SetOnline(false);
    return true;
}

void CPlatformParty::ControlClosed() {
    {
        std::lock_guard<std::mutex> lock(link_mutex_);
        control_.Clear();
    }
    logged_in_.store(0);
    SetOnline(false);
}

void CPlatformParty::AttachMedia(const std::shared_ptr<CListenService>& service, int connection) {
    std::lock_guard<std::mutex> lock(link_mutex_);
    media_.service = service;
    media_.connection = connection;
}

void CPlatformParty::MediaClosed() {
    {
        std::lock_guard<std::mutex> lock(link_mutex_);
        media_.Clear();
    }
    // Its subscriptions end with its media connection.
    if (registry_ == nullptr) return;
    for (auto& dev : registry_->Snapshot())
        if (dev->GetType() == zyn::kTypeVexora)
            static_cast<CVexora*>(dev.get())->UnsubscribeAll(this);
}

void CPlatformParty::KeepAliveReceived(uint16_t session) {
    if (Session() == session) keepalive_misses_.store(0);
}

int CPlatformParty::SendControl(uint16_t command, uint16_t word, const void* body,
                                std::size_t length) {
    ServiceLink link;
    {
        std::lock_guard<std::mutex> lock(link_mutex_);
        link = control_;
    }
    return SendOn(link, command, word, body, length);
}

int CPlatformParty::SendMedia(uint16_t command, uint16_t word, const void* body,
                              std::size_t length) {
    ServiceLink link;
    {
        std::lock_guard<std::mutex> lock(link_mutex_);
        link = media_;
    }
    return SendOn(link, command, word, body, length);
}

void CPlatformParty::SetOnline(bool online) {
    bool went_offline;
    {
        std::lock_guard<std::mutex> lock(record_mutex_);
        went_offline = !online && login_record_.online != 0;
        login_record_.online = online ? 1 : 0;
    }
    if (went_offline && Registry())
        Registry()->FireMessage(GetDeviceId(), wire::kMsgPartyOffline, nullptr, 0);
}

void CPlatformParty::FireText(int message, const std::string& text) {
    if (Registry())
        Registry()->FireMessage(GetDeviceId(), message, text.c_str(),
                                static_cast<int>(text.size() + 1));
}

std::size_t CPlatformParty::WriteEntry(uint8_t* out) {
    std::memset(out, 0, wire::DeviceListEntry::kBytes);
    const DeviceLoginInfo record = LoginRecord();
    wire::MutableDeviceListEntry entry(out);
    entry.set_device_id(static_cast<uint32_t>(record.device_id));
    entry.set_channel_count(static_cast<uint8_t>(record.channel_count));
    entry.set_kind(static_cast<uint8_t>(record.device_kind));
    entry.set_online(record.online);
    char name[64];
    GetDeviceName(name);
    std::memcpy(entry.name(), name, sizeof(name));
    return wire::DeviceListEntry::kBytes;
}

// ---- clients ---------------------------------------------------------------

void CPartyClient::KeepAlive() {
    ServiceLink link;
    {
        std::lock_guard<std::mutex> lock(link_mutex_);
        if (control_.connection < 0 || control_.service.expired()) return;
        if (keepalive_misses_.load() <= 5) {
            keepalive_misses_.fetch_add(1);
            return;
        }
        link = control_;
        control_.Clear();
    }
    logged_in_.store(0);
    SetOnline(false);
    CloseOn(link);
}

std::size_t CPartyClient::WriteEntry(uint8_t* out) {
    const std::size_t n = CPlatformParty::WriteEntry(out);
    if (GetType() == zyn::kTypeStreamClient) {
        const DeviceLoginInfo record = LoginRecord();
        char address[sizeof(record.stream_address) + 1] = {};
        std::memcpy(address, record.stream_address, sizeof(record.stream_address));
        char name[wire::DeviceListEntry::kNameBytes] = {};
        std::snprintf(name, sizeof(name), "%s %d", address, record.stream_port);
        std::memcpy(wire::MutableDeviceListEntry(out).name(), name, sizeof(name));
    }
    return n;
}

// ---- encoder ---------------------------------------------------------------

int CVexora::Channels() {
    {
        std::lock_guard<std::mutex> lock(channel_mutex_);
        if (channels_ >= 0) return channels_;
    }
    return std::clamp(LoginRecord().channel_count, 0, zyn::kMaxChannels);
}

void CVexora::SetChannels(int count) {
    std::lock_guard<std::mutex> lock(channel_mutex_);
    channels_ = std::clamp(count, 0, zyn::kMaxChannels);
}

void CVexora::AttachControl(const std::shared_ptr<CListenService>& service, int connection,
                            uint16_t session) {
    ServiceLink old;
    {
        std::lock_guard<std::mutex> lock(link_mutex_);
        old = control_;
    }
    if (!old.Is(service.get(), connection)) CloseOn(old);
    CPlatformParty::AttachControl(service, connection, session);
}

bool CVexora::Logout(uint16_t session) {
    ServiceLink link;
    {
        std::lock_guard<std::mutex> lock(link_mutex_);
        if (control_.connection < 0 || session_ != session) return false;
        link = control_;
        control_.Clear();
    }
    logged_in_.store(0);
    SetOnline(false);
    CloseOn(link);
    return true;
}

void CVexora::ControlClosed() {
    // Only the control link goes; media, stream states and the online flag stay.
    std::lock_guard<std::mutex> lock(link_mutex_);
    control_.Clear();
    logged_in_.store(0);
}

void CVexora::MediaClosed() {
    GoOffline();
}

int CVexora::Subscribe(int channel, const std::shared_ptr<CPlatformParty>& party) {
    if (channel < 0 || channel >= zyn::kMaxChannels || !party) return 0;
    {
        std::lock_guard<std::mutex> lock(sub_mutex_);
        auto& list = subscribers_[channel];
        for (auto& s : list)
            if (s.raw == party.get() && !s.party.expired()) return 1;
        list.push_back({party, party.get(), false});
    }
    ReportSubscribers(channel);
    return 1;
}

int CVexora::Unsubscribe(int channel, const CPlatformParty* party) {
    if (channel < 0 || channel >= zyn::kMaxChannels || party == nullptr) return 0;
    bool removed;
    {
        std::lock_guard<std::mutex> lock(sub_mutex_);
        auto& list = subscribers_[channel];
        const auto size = list.size();
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const Subscriber& s) { return s.raw == party; }),
                   list.end());
        removed = list.size() != size;
    }
    if (removed) ReportSubscribers(channel);
    return 1;
}

void CVexora::ReportSubscribers(int channel) {
    FireText(wire::kMsgSubscribers,
             std::to_string(channel) + " " + std::to_string(SubscriberCount(channel)));
}

void CVexora::UnsubscribeAll(const CPlatformParty* party) {
    for (int ch = 0; ch < zyn::kMaxChannels; ++ch) Unsubscribe(ch, party);
}

std::size_t CVexora::SubscriberCount(int channel) {
    if (channel < 0 || channel >= zyn::kMaxChannels) return 0;
    std::lock_guard<std::mutex> lock(sub_mutex_);
    return static_cast<std::size_t>(std::count_if(
        subscribers_[channel].begin(), subscribers_[channel].end(), [](const Subscriber& s) {
            auto party = s.party.lock();
            return party && party->Alive();
        }));
}

bool CVexora::Relay(uint16_t command, uint16_t reply_code, const uint8_t* body, std::size_t length,
                    const std::shared_ptr<CPlatformParty>& requester) {
    if (length > zyn::kMaxPendingBody) return false;
    if (!HasControl()) return false;
    {
        std::lock_guard<std::mutex> lock(pending_mutex_);
        if (pending_.size() >= zyn::kMaxPendingRequests) pending_.pop_front();
        pending_.push_back({reply_code, std::vector<uint8_t>(body, body + length), requester,
                            std::chrono::steady_clock::now()});
    }
    SendControl(command, Session(), body, length);
    char text[32];
    std::snprintf(text, sizeof text, "0x%04X %d", command,
                  requester ? requester->GetDeviceId() : 0);
    FireText(wire::kMsgRelayed, text);
    return true;
}

std::size_t CVexora::PendingCount() {
    std::lock_guard<std::mutex> lock(pending_mutex_);
    return pending_.size();
}

void CVexora::ExpirePending() {
    const auto limit = std::chrono::milliseconds(ReplyTimeoutMs());
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(pending_mutex_);
    while (!pending_.empty() && now - pending_.front().queued >= limit) pending_.pop_front();
}

void CVexora::EncoderReply(uint16_t code, const uint8_t* body, std::size_t length) {
    Pending done;
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(pending_mutex_);
        auto it = std::find_if(pending_.begin(), pending_.end(),
                               [&](const Pending& p) { return p.reply_code == code; });
        if (it != pending_.end()) {
            done = std::move(*it);
            pending_.erase(it);
            found = true;
        }
    }
    if (found) {
        auto requester = done.requester.lock();
        if (!IsClientParty(requester)) return;
        requester->SendControl(code, static_cast<uint16_t>(GetDeviceId()), body, length);
        if (code != wire::kStreamReply || length < 2 || wire::Reply(body).result() != 0 ||
            done.body.size() < wire::StreamRequestView::kBytes)
            return;
        wire::StreamRequestView request(done.body.data());
        const int ch = request.channel();
        const bool open = request.open_flag() != 0;
        const int kind = request.stream_kind();
        if (kind == wire::kMainVideo) requester->SetVideoFlag(ch, open ? 1 : 0);
        if (kind == wire::kAudio) requester->SetSoundFlag(ch, open ? 1 : 0);
        if (open) {
            Subscribe(ch, requester);
            MarkFlowing(ch, kind);
        } else {
            Unsubscribe(ch, requester.get());
        }
        zyn::InstructStreamServer(registry_, done.body.data(),
                                  static_cast<uint32_t>(requester->GetDeviceId()));
        return;
    }
    if (code == wire::kStreamReply) {
        if (length >= 4 && wire::Reply(body).result() == 0) {
            const int ch = body[2];
            const int index = zyn::StreamStateIndex(body[3]);
            if (ch < zyn::kMaxChannels && index >= 0 &&
                StreamStateOf(ch, body[3]) == zyn::kStreamLost)
                MarkFlowing(ch, body[3]);
        }
        BroadcastState();
    }
    bool awaited;
    {
        std::lock_guard<std::mutex> lock(reply_mutex_);
        awaited = reply_command_ == code;
    }
    if (awaited) {
        StoreReply(code, body, length);
        WakeRequest();
    }
}

void CVexora::OnVideoData(const uint8_t* packet, std::size_t length) {
    FanOut(ZYN_CMD_VIDEO_FRAGMENT, packet, length);
}

void CVexora::OnAudioData(const uint8_t* packet, std::size_t length) {
    FanOut(ZYN_CMD_AUDIO_BLOCK, packet, length);
}

void CVexora::FanOut(uint16_t command, const uint8_t* packet, std::size_t length) {
    if (length < wire::kFragmentHeaderBytes || !HasMedia()) return;
    wire::FragmentHeader header(packet);
    const int ch = header.channel();
    if (ch >= zyn::kMaxChannels) return;
    const bool video = command == ZYN_CMD_VIDEO_FRAGMENT;
    const bool key_start =
        video && header.frame_type() == wire::kKeyFrameType && header.fragment_index() == 0;
    const uint16_t word = static_cast<uint16_t>(GetDeviceId());
    std::lock_guard<std::mutex> lock(sub_mutex_);
    auto& list = subscribers_[ch];
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](const Subscriber& s) { return s.party.expired(); }),
               list.end());
    for (auto& s : list) {
        auto party = s.party.lock();
        if (!Served(party) || !party->HasMedia()) continue;
        if (video && s.skipping) {
            if (!key_start) {
                dropped_packets_.fetch_add(1);
                continue;
            }
            s.skipping = false;
        }
        if (party->SendMedia(command, word, packet, length) < 0) {
            dropped_packets_.fetch_add(1);
            // A video frame with a hole is useless: skip to the next key frame.
            if (video) s.skipping = true;
        }
    }
}

void CVexora::BroadcastState() {
    std::vector<uint8_t> message(EntryBytes());
    const std::size_t n = WriteEntry(message.data());
    std::vector<std::shared_ptr<CPlatformParty>> targets;
    const int channels = Channels();
    {
        std::lock_guard<std::mutex> lock(sub_mutex_);
        for (int ch = 0; ch < channels; ++ch)
            for (auto& s : subscribers_[ch])
                if (auto p = s.party.lock(); Served(p)) targets.push_back(std::move(p));
    }
    // A subscriber of several channels hears it once per channel.
    for (auto& p : targets) p->SendControl(ZYN_CMD_STATE_REPORT, p->Session(), message.data(), n);
}

void CVexora::GoOffline() {
    ServiceLink control, media;
    {
        std::lock_guard<std::mutex> lock(link_mutex_);
        control = control_;
        media = media_;
        control_.Clear();
        media_.Clear();
    }
    if (control.connection >= 0) CloseOn(control);
    if (media.connection >= 0) CloseOn(media);
    keepalive_misses_.store(0);
    {
        std::lock_guard<std::mutex> lock(channel_mutex_);
        for (auto& stream : streams_)
            for (auto& state : stream.state)
                if (state == zyn::kStreamFlowing) state = zyn::kStreamLost;
    }
    // Nothing flows any more: the next request is relayed, not answered here.
    for (int ch = 0; ch < zyn::kMaxChannels; ++ch) {
        SetVideoFlag(ch, 0);
        SetSoundFlag(ch, 0);
    }
    SetTalkFlag(0);
    logged_in_.store(0);
    SetOnline(false);
    BroadcastState();
}

void CVexora::KeepAlive() {
    ExpirePending();
    if (!LoggedIn()) return;
    if (keepalive_misses_.load() < 6) {
        keepalive_misses_.fetch_add(1);
        RestartOneStream();
        return;
    }
    GoOffline();
}

bool CVexora::RestartOneStream() {
    static constexpr uint8_t kKinds[3] = {wire::kMainVideo, wire::kAudio, wire::kTalk};
    uint8_t body[wire::StreamRequestView::kBytes] = {};
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(channel_mutex_);
        for (int ch = 0; ch < zyn::kMaxChannels && !found; ++ch) {
            for (int i = 0; i < 3 && !found; ++i) {
                if (streams_[ch].state[i] != zyn::kStreamLost) continue;
                found = true;
                wire::MutableStreamRequestView request(body);
                request.set_stream_kind(kKinds[i]);
                request.set_channel(static_cast<uint8_t>(ch));
                request.set_open_flag(1);
                request.set_stream_transport(wire::kTcp);
                request.set_link_value(streams_[ch].source_value);
                request.set_stream_port(streams_[ch].source_port);
                char address[sizeof(streams_[ch].source_address) + 1] = {};
                std::memcpy(address, streams_[ch].source_address,
                            sizeof(streams_[ch].source_address));
                in_addr a{};
                const uint32_t value = inet_pton(AF_INET, address, &a) == 1 ? ntohl(a.s_addr) : 0;
                request.set_stream_address(value);
            }
        }
    }
    if (!found) return false;
    StoreReplyCommand(wire::kStreamReply);
    SendControl(ZYN_CMD_STREAM_REQUEST, Session(), body, sizeof(body));
    return true;
}

void CVexora::MarkFlowing(int channel, int kind) {
    if (channel < 0 || channel >= zyn::kMaxChannels) return;
    if (kind == wire::kMainVideo) SetVideoFlag(channel, 1);
    if (kind == wire::kAudio) SetSoundFlag(channel, 1);
    if (kind == wire::kTalk) SetTalkFlag(1);
    SetStreamState(channel, kind, zyn::kStreamFlowing);
}

int CVexora::SetChannelName(int channel, const char* name) {
    if (channel < 0 || channel >= zyn::kMaxChannels || name == nullptr) return 0;
    std::lock_guard<std::mutex> lock(channel_mutex_);
    std::memset(names_[channel], 0, sizeof(names_[channel]));
    std::strncpy(names_[channel], name, sizeof(names_[channel]) - 1);
    return 1;
}

uint8_t CVexora::StreamStateOf(int channel, int kind) {
    const int index = zyn::StreamStateIndex(kind);
    if (channel < 0 || channel >= zyn::kMaxChannels || index < 0) return 0;
    std::lock_guard<std::mutex> lock(channel_mutex_);
    return streams_[channel].state[index];
}

void CVexora::SetStreamState(int channel, int kind, uint8_t state) {
    const int index = zyn::StreamStateIndex(kind);
    if (channel < 0 || channel >= zyn::kMaxChannels || index < 0) return;
    std::lock_guard<std::mutex> lock(channel_mutex_);
    streams_[channel].state[index] = state;
}

std::size_t CVexora::EntryBytes() {
    return wire::DeviceListEntry::kBytes +
           wire::ChannelBlock::kBytes * static_cast<std::size_t>(Channels());
}

std::size_t CVexora::WriteEntry(uint8_t* out) {
    std::size_t n = CPlatformParty::WriteEntry(out);
    const int channels = Channels();
    wire::MutableDeviceListEntry(out).set_channel_count(static_cast<uint8_t>(channels));
    std::lock_guard<std::mutex> lock(channel_mutex_);
    for (int ch = 0; ch < channels; ++ch) {
        wire::MutableChannelBlock block(out + n);
        std::memset(block.data(), 0, wire::ChannelBlock::kBytes);
        std::memcpy(block.name(), names_[ch], wire::ChannelBlock::kNameBytes);
        block.set_video_flag(static_cast<uint8_t>(VideoFlag(ch)));
        block.set_sound_flag(static_cast<uint8_t>(SoundFlag(ch)));
        block.set_talk_flag(static_cast<uint8_t>(TalkFlag()));
        n += wire::ChannelBlock::kBytes;
    }
    return n;
}
