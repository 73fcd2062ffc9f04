// CListenService: what the control and media services share: one Linkcore
// listening server (TCP, or UDP for transport kind 1) whose messages go to the
// service's Dispatch on Linkcore's I/O threads. Parties send and close through
// it by connection handle.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "linkcore/linkcore.h"

class CDeviceManage;

class CListenService : public std::enable_shared_from_this<CListenService> {
public:
    CListenService(CDeviceManage* registry, int transport_kind);
    virtual ~CListenService();
    CListenService(const CListenService&) = delete;
    CListenService& operator=(const CListenService&) = delete;

    // Makes the server and opens it; the server's open result (nonzero = ok).
    int Start(uint16_t port, int second_value);
    // Closes the server (no callback runs afterwards). 1, or 0 when not open.
    int Stop();

    // Sends one message; -1 when the connection is gone or its queue is full.
    int Send(int connection, uint16_t command, uint16_t word, const void* body, std::size_t length);
    // Drops one connection.
    void CloseConnection(int connection);
    uint16_t LocalPort();
    int TransportKind() const { return transport_kind_; }
    CDeviceManage* Registry() const { return registry_; }

    // Handles one message of a connection; the server calls it on its I/O
    // threads (the fuzz driver calls it directly).
    virtual void Dispatch(int connection, uint16_t command, uint16_t word, const uint8_t* body,
                          std::size_t length) = 0;

private:
    static int OnMessage(int link_kind, int connection, uint16_t command, uint16_t word,
                         const uint8_t* payload, uint16_t length, void* user);

    CDeviceManage* const registry_;
    const int transport_kind_;  // 1 = UDP, anything else TCP
    std::mutex server_mutex_;   // guards server_ (not held while sending)
    std::shared_ptr<CServer> server_;
};
