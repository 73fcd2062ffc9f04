#include "decodekit/core/ctrl_server.h"

#include <arpa/inet.h>

#include <cstring>
#include <vector>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/party_clients.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"

namespace wire = zyn::wire;

namespace {
// The object type each login kind requires; 0 for kinds above 4.
int TypeForKind(int kind) {
    switch (kind) {
        case wire::kPartyEncoder:
        case wire::kPartyEncoderAlt:
            return zyn::kTypeVexora;
        case wire::kPartyUserClient:
            return zyn::kTypeUserClient;
        case wire::kPartyStreamServer:
            return zyn::kTypeStreamClient;
        case wire::kPartyRecordServer:
            return zyn::kTypeRecordClient;
        default:
            return 0;
    }
}

// Account texts: at most 8 characters, zero-terminated when shorter.
bool SameText(const char* a, const uint8_t* b) {
    return std::strncmp(a, reinterpret_cast<const char*>(b), 8) == 0;
}

void SendResult(CListenService& service, int connection, uint16_t command, uint16_t word,
                uint16_t result) {
    uint8_t body[wire::Reply::kHeaderBytes] = {};
    wire::MutableReply(body).set_result(result);
    service.Send(connection, command, word, body, sizeof(body));
}

// Dotted address text as a number whose most significant byte is the first octet.
uint32_t AddressValue(const char* text, std::size_t size) {
    char address[64] = {};
    std::memcpy(address, text, std::min(size, sizeof(address) - 1));
    in_addr a{};
    return inet_pton(AF_INET, address, &a) == 1 ? ntohl(a.s_addr) : 0;
}

std::shared_ptr<CVexora> FindEncoder(CDeviceManage* registry, int id) {
    auto dev = registry->Find(id);
    if (!dev || dev->GetType() != zyn::kTypeVexora || dev->State() != zyn::kStateActive)
        return nullptr;
    return std::static_pointer_cast<CVexora>(dev);
}
}  // namespace

CCtrlServer::CCtrlServer(CDeviceManage* registry, int transport_kind)
    : CListenService(registry, transport_kind) {}

CCtrlServer::~CCtrlServer() {
    Stop();
}

uint16_t CCtrlServer::NextSession() {
    std::lock_guard<std::mutex> lock(pending_mutex_);
    return next_session_;
}

std::size_t CCtrlServer::PendingConnections() {
    std::lock_guard<std::mutex> lock(pending_mutex_);
    return pending_.size();
}

bool CCtrlServer::ForgetPending(int connection) {
    std::lock_guard<std::mutex> lock(pending_mutex_);
    const auto before = pending_.size();
    pending_.remove_if([&](const PendingConnection& p) { return p.connection == connection; });
    return pending_.size() != before;
}

void CCtrlServer::Tick() {
    std::vector<int> expired;
    {
        std::lock_guard<std::mutex> lock(pending_mutex_);
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (++it->ticks >= kLoginTicks) {
                expired.push_back(it->connection);
                it = pending_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (int connection : expired) CloseConnection(connection);
}

std::shared_ptr<CPlatformParty> CCtrlServer::PartyOf(int connection) {
    for (auto& dev : Registry()->Snapshot()) {
        auto party = std::dynamic_pointer_cast<CPlatformParty>(dev);
        if (party && party->Alive() && party->ControlIs(this, connection)) return party;
    }
    return nullptr;
}

void CCtrlServer::Dispatch(int connection, uint16_t command, uint16_t word, const uint8_t* body,
                           std::size_t length) {
    switch (command) {
        case ZYN_CMD_SERVER_ACCEPTED: {
            std::lock_guard<std::mutex> lock(pending_mutex_);
            pending_.push_back({connection, 0});
            return;
        }
        case ZYN_CMD_SERVER_CLOSED:
            return Closed(connection);
        case ZYN_CMD_LOGIN:
            return Login(connection, body, length);
        case ZYN_CMD_LOGOUT:
            return Logout(connection, word);
        case ZYN_CMD_KEEPALIVE:
            return KeepAlive(connection, word);
        case ZYN_CMD_DEVICE_LIST:
            return DeviceList(connection, word, body, length);
        default:
            break;
    }
    auto party = PartyOf(connection);
    if (!party) return;  // not logged in: dropped
    if (party->IsEncoder()) {
        if (command == ZYN_CMD_ENCODER_NOTICE) return;
        // Everything else an encoder sends is a reply for a relayed request.
        if (word == party->Session())
            std::static_pointer_cast<CVexora>(party)->EncoderReply(command, body, length);
        return;
    }
    if (command == ZYN_CMD_STREAM_REQUEST)
        return StreamRequest(connection, word, body, length, party);
    // Any other request names its encoder by the session word.
    if (auto encoder = FindEncoder(Registry(), word))
        encoder->Relay(command, wire::ReplyTo(command), body, length, party);
}

void CCtrlServer::Login(int connection, const uint8_t* body, std::size_t length) {
    ForgetPending(connection);
    uint16_t session;
    {
        std::lock_guard<std::mutex> lock(pending_mutex_);
        session = next_session_++;
    }
    uint16_t result = wire::kLoginRefused;  // a short login is refused
    int id = 0;
    if (length >= wire::LoginRequest::kBytes) {
        wire::LoginRequest login(body);
        id = static_cast<int>(login.device_id());
        const int kind = login.client_kind();
        auto dev = Registry()->Find(id);
        auto party = std::dynamic_pointer_cast<CPlatformParty>(dev);
        if (!dev || dev->State() != zyn::kStateActive) {
            result = wire::kLoginUnknown;
        } else if (party && TypeForKind(kind) == party->GetType()) {
            const DeviceLoginInfo record = party->LoginRecord();
            const bool same_kind = static_cast<uint8_t>(record.device_kind) == kind;
            if (same_kind && SameText(record.user_name, login.account()) &&
                SameText(record.password, login.account() + 8)) {
                result = wire::kLoginOk;
                if (party->IsEncoder())
                    std::static_pointer_cast<CVexora>(party)->SetChannels(login.channel_count());
                party->AttachControl(shared_from_this(), connection, session);
            }
        }
    }
    if (result == wire::kLoginOk) Registry()->FireMessage(id, wire::kMsgLoggedIn, nullptr, 0);
    SendResult(*this, connection, wire::kLoginReply, session, result);
}

void CCtrlServer::Logout(int connection, uint16_t word) {
    auto party = PartyOf(connection);
    const bool done = party && party->Logout(word);
    SendResult(*this, connection, wire::kLogoutReply, word, done ? 0 : 3);
}

void CCtrlServer::KeepAlive(int connection, uint16_t word) {
    if (auto party = PartyOf(connection)) party->KeepAliveReceived(word);
    Send(connection, wire::kKeepAliveReply, word, nullptr, 0);
}

void CCtrlServer::DeviceList(int connection, uint16_t word, const uint8_t* body,
                             std::size_t length) {
    if (!PartyOf(connection)) return;  // only logged-in parties see the list
    const int filter = length >= 1 ? body[0] : 0;
    std::vector<std::shared_ptr<CPlatformParty>> listed;
    for (auto& dev : Registry()->Snapshot()) {
        auto party = std::dynamic_pointer_cast<CPlatformParty>(dev);
        if (!party || !party->Alive()) continue;
        if (filter == 0 || party->GetType() == filter) listed.push_back(std::move(party));
    }
    uint8_t message[wire::kDeviceListLimit] = {};
    wire::MutableDeviceListHeader header(message);
    header.set_total(static_cast<uint16_t>(listed.size()));
    std::size_t used = wire::DeviceListHeader::kBytes;
    uint16_t count = 0;
    auto flush = [&] {
        header.set_entry_count(count);
        Send(connection, wire::kDeviceListReply, word, message, used);
        used = wire::DeviceListHeader::kBytes;
        count = 0;
    };
    for (auto& party : listed) {
        const std::size_t size = party->EntryBytes();
        if (used + size > sizeof(message) && count > 0) flush();
        if (used + size > sizeof(message)) continue;  // cannot happen: at most 392 bytes
        used += party->WriteEntry(message + used);
        ++count;
    }
    if (count > 0) flush();
}

void CCtrlServer::StreamRequest(int connection, uint16_t word, const uint8_t* body,
                                std::size_t length,
                                const std::shared_ptr<CPlatformParty>& requester) {
    uint16_t result = 1;
    if (length >= wire::StreamRequestView::kBytes) {
        uint8_t request[wire::StreamRequestView::kBytes];
        std::memcpy(request, body, sizeof(request));
        wire::MutableStreamRequestView view(request);
        const int kind = view.stream_kind();
        const int ch = view.channel();
        const bool open = view.open_flag() != 0;
        auto encoder = FindEncoder(Registry(), static_cast<int>(view.link_value()));
        if (encoder && ch < zyn::kMaxChannels) {
            const bool av = kind == wire::kMainVideo || kind == wire::kAudio;
            const bool flowing =
                kind == wire::kMainVideo ? encoder->VideoFlag(ch) : encoder->SoundFlag(ch);
            if (!open) {
                // Closes are answered here.
                if (kind == wire::kMainVideo) requester->SetVideoFlag(ch, 0);
                if (kind == wire::kAudio) requester->SetSoundFlag(ch, 0);
                if (av) encoder->Unsubscribe(ch, requester.get());
            } else if (av && flowing) {
                if (kind == wire::kMainVideo) requester->SetVideoFlag(ch, 1);
                if (kind == wire::kAudio) requester->SetSoundFlag(ch, 1);
                encoder->Subscribe(ch, requester);
                result = 0;
            } else if (!(kind == wire::kTalk && encoder->TalkFlag())) {
                const DeviceLoginInfo record = encoder->LoginRecord();
                view.set_stream_port(record.stream_port);
                view.set_stream_address(
                    AddressValue(record.stream_address, sizeof(record.stream_address)));
                // Relayed: the encoder's own reply answers the requester.
                if (encoder->Relay(ZYN_CMD_STREAM_REQUEST, wire::kStreamReply, request,
                                   sizeof(request), requester))
                    return;
            }
        }
    }
    SendResult(*this, connection, wire::kStreamReply, word, result);
    if (result == 0)
        zyn::InstructStreamServer(Registry(), body,
                                  static_cast<uint32_t>(requester->GetDeviceId()));
}

void CCtrlServer::Closed(int connection) {
    ForgetPending(connection);
    if (auto party = PartyOf(connection)) party->ControlClosed();
}
