#include "decodekit/core/media_server.h"

#include "decodekit/core/device_manage.h"
#include "decodekit/core/party_clients.h"
#include "zynvs/wire/byte_order.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"

CMediaServer::~CMediaServer() {
    Stop();
}

std::shared_ptr<CPlatformParty> CMediaServer::PartyOf(int connection) {
    std::shared_ptr<CPlatformParty> party;
    {
        std::lock_guard<std::mutex> lock(bound_mutex_);
        auto it = bound_.find(connection);
        if (it != bound_.end()) party = it->second.lock();
    }
    if (!party || !party->Alive() || !party->MediaIs(this, connection)) return nullptr;
    return party;
}

void CMediaServer::Dispatch(int connection, uint16_t command, uint16_t /*word*/,
                            const uint8_t* body, std::size_t length) {
    switch (command) {
        case ZYN_CMD_STREAM_BIND: {
            if (length < zyn::wire::kStreamBindBytes) return;
            auto dev = Registry()->Find(static_cast<int>(zyn::wire::LoadLe32(body)));
            auto party = std::dynamic_pointer_cast<CPlatformParty>(dev);
            if (!party || !party->Alive() || party->GetType() == zyn::kTypeStreamClient) return;
            party->AttachMedia(shared_from_this(), connection);
            std::lock_guard<std::mutex> lock(bound_mutex_);
            bound_[connection] = party;
            return;
        }
        case ZYN_CMD_VIDEO_FRAGMENT:
        case ZYN_CMD_AUDIO_BLOCK: {
            auto party = PartyOf(connection);
            if (!party || !party->IsEncoder()) return;  // unbound or not a source: dropped
            auto* encoder = static_cast<CVexora*>(party.get());
            if (command == ZYN_CMD_VIDEO_FRAGMENT)
                encoder->OnVideoData(body, length);
            else
                encoder->OnAudioData(body, length);
            return;
        }
        case ZYN_CMD_SERVER_CLOSED: {
            auto party = PartyOf(connection);
            {
                std::lock_guard<std::mutex> lock(bound_mutex_);
                bound_.erase(connection);
            }
            if (party) party->MediaClosed();
            return;
        }
        default:
            return;
    }
}
