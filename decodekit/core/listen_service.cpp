#include "decodekit/core/listen_service.h"

#include "zynvs/zynvs_commands.h"

CListenService::CListenService(CDeviceManage* registry, int transport_kind)
    : registry_(registry), transport_kind_(transport_kind == 1 ? 1 : 0) {}

CListenService::~CListenService() {
    Stop();
}

int CListenService::Start(uint16_t port, int second_value) {
    std::shared_ptr<CServer> server;
    if (transport_kind_ == 1)
        server = std::make_shared<CUdpServer>();
    else
        server = std::make_shared<CTcpServer>();
    server->RegisterCallback(&CListenService::OnMessage, this);
    {
        std::lock_guard<std::mutex> lock(server_mutex_);
        if (server_) return 0;  // already started
        server_ = server;
    }
    return server->Open(port, second_value);
}

int CListenService::Stop() {
    std::shared_ptr<CServer> server;
    {
        std::lock_guard<std::mutex> lock(server_mutex_);
        server.swap(server_);
    }
    if (!server) return 0;
    server->Shutdown();
    return 1;
}

int CListenService::Send(int connection, uint16_t command, uint16_t word, const void* body,
                         std::size_t length) {
    if (length > linkcore::kMaxPayload) return -1;
    std::shared_ptr<CServer> server;
    {
        std::lock_guard<std::mutex> lock(server_mutex_);
        server = server_;
    }
    if (!server || connection < 0) return -1;
    return server->SendMessage(connection, command, word, body, static_cast<uint16_t>(length));
}

void CListenService::CloseConnection(int connection) {
    std::shared_ptr<CServer> server;
    {
        std::lock_guard<std::mutex> lock(server_mutex_);
        server = server_;
    }
    if (!server || connection < 0) return;
    if (auto* tcp = dynamic_cast<CTcpServer*>(server.get())) tcp->Close(connection);
    if (auto* udp = dynamic_cast<CUdpServer*>(server.get())) udp->Close(connection);
}

uint16_t CListenService::LocalPort() {
    std::lock_guard<std::mutex> lock(server_mutex_);
    return server_ ? server_->LocalPort() : 0;
}

int CListenService::OnMessage(int /*link_kind*/, int connection, uint16_t command, uint16_t word,
                              const uint8_t* payload, uint16_t length, void* user) {
    static const uint8_t kEmpty[1] = {};
    static_cast<CListenService*>(user)->Dispatch(connection, command, word,
                                                 payload ? payload : kEmpty, payload ? length : 0);
    return 0;
}
