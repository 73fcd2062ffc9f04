// CCtrlServer: the control service. Parties registered with ZYNVS_AddDevice
// connect here and log in; the service answers logins, logouts, keep-alives
// and device lists, and relays requests and replies between user clients,
// recording and stream servers and the encoders.
#pragma once

#include <chrono>
#include <list>
#include <memory>
#include <mutex>

#include "decodekit/core/listen_service.h"

class CPlatformParty;
class CVexora;

class CCtrlServer : public CListenService {
public:
    // A connection that has not logged in within this many housekeeping ticks
    // (2 s each) is closed.
    static constexpr int kLoginTicks = 15;

    CCtrlServer(CDeviceManage* registry, int transport_kind);
    ~CCtrlServer() override;

    // Run once per housekeeping tick: closes the connections that never logged in.
    void Tick();
    std::size_t PendingConnections();
    uint16_t NextSession();

    void Dispatch(int connection, uint16_t command, uint16_t word, const uint8_t* body,
                  std::size_t length) override;

private:
    struct PendingConnection {
        int connection;
        int ticks;  // housekeeping ticks seen while waiting
    };

    void Login(int connection, const uint8_t* body, std::size_t length);
    void Logout(int connection, uint16_t word);
    void KeepAlive(int connection, uint16_t word);
    void DeviceList(int connection, uint16_t word, const uint8_t* body, std::size_t length);
    void StreamRequest(int connection, uint16_t word, const uint8_t* body, std::size_t length,
                       const std::shared_ptr<CPlatformParty>& requester);
    void Closed(int connection);
    bool ForgetPending(int connection);
    // The party whose control connection on this service is `connection`.
    std::shared_ptr<CPlatformParty> PartyOf(int connection);

    std::mutex pending_mutex_;  // guards pending_ and next_session_
    std::list<PendingConnection> pending_;
    uint16_t next_session_ = 0;
};
