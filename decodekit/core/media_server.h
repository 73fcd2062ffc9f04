// CMediaServer: the media service. Each media connection binds itself to a
// registered party (0x0202); video and audio packets from an encoder's media
// connection are fanned out to the encoder's subscribers.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>

#include "decodekit/core/listen_service.h"

class CPlatformParty;

class CMediaServer : public CListenService {
public:
    using CListenService::CListenService;
    ~CMediaServer() override;

    void Dispatch(int connection, uint16_t command, uint16_t word, const uint8_t* body,
                  std::size_t length) override;

private:
    std::shared_ptr<CPlatformParty> PartyOf(int connection);

    std::mutex bound_mutex_;  // guards bound_
    // Connection -> the party it bound to (checked against the party's own
    // media link on every use).
    std::unordered_map<int, std::weak_ptr<CPlatformParty>> bound_;
};
