// Linkcore: message-oriented TCP, UDP and multicast clients and servers.
//
// Every message is (command, second word, payload). On TCP each message is
// framed with the 8-byte device-message header (0x11 0x11, command, second
// word, payload length; little-endian); on UDP and multicast one datagram
// carries one framed message. Payloads are at most kMaxPayload bytes.
//
// Callbacks run on Linkcore's I/O threads (a small pool shared by all objects
// of the process, not one thread per connection). Callbacks of one object are
// never run concurrently with each other. After Close() or the destructor
// returns, no callback of that object runs any more. Close() may be called
// from inside the object's own callback (it then does not wait for itself).
// SendMessage may be called from any thread, including from callbacks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace linkcore {
constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kMaxPayload = 65535;
constexpr uint8_t kSync = 0x11;

// Pseudo-commands delivered through the callback.
constexpr uint16_t kCmdConnectionLost = 0x0000;  // client: connection gone
constexpr uint16_t kCmdAccepted = 0xFFFE;        // server: new connection
constexpr uint16_t kCmdClosed = 0xFFFF;          // server: connection closed

// What the first callback argument says about the sender.
enum LinkKind : int {
    kLinkTcpClient = 0,
    kLinkUdpClient = 1,
    kLinkMCastClient = 2,
    kLinkTcpServer = 3,
    kLinkUdpServer = 4,
};
}  // namespace linkcore

// (link kind, id or connection, command, second word, payload, length, user).
// On clients the second argument is the id given to RegisterCallback; on
// servers it is the connection handle. The payload is valid only during the
// call. The result is ignored.
using LinkCallback = int (*)(int link_kind, int id, uint16_t command, uint16_t second_word,
                             const uint8_t* payload, uint16_t length, void* user);

// Clients and servers own their connection: they are neither copied nor
// moved (a copy would share the connection and close it twice).
class CClient {
public:
    CClient() = default;
    CClient(const CClient&) = delete;
    CClient& operator=(const CClient&) = delete;
    virtual ~CClient() = default;
    // Nonzero while the connection is usable.
    virtual int IsConnected() = 0;
    // Connects (multicast: binds the port and joins the group). Blocks up to
    // the connect time-out. Nonzero on success; messages then reach the
    // callback. Open after Close reconnects the same object.
    virtual int Open(const char* address, uint16_t port) = 0;
    // Ends the connection; the object can be opened again. No 0x0000 is
    // delivered for a Close the owner asked for.
    virtual void Close() = 0;
    // Sends one message. Returns the bytes put on the wire (8 + length), or -1
    // when not connected, the payload is too long, or the send failed.
    virtual int SendMessage(uint16_t command, uint16_t second_word, const void* payload,
                            uint16_t length) = 0;
    // Called once before Open.
    virtual void RegisterCallback(int id, LinkCallback callback, void* user) = 0;

    // Additions of ours (not part of the classic surface).
    virtual void SetConnectTimeout(int timeout_ms) = 0;  // default 3000
    virtual uint16_t LocalPort() = 0;                    // 0 when not open
};

class CTcpClient : public CClient {
public:
    CTcpClient();
    ~CTcpClient() override;
    int IsConnected() override;
    int Open(const char* address, uint16_t port) override;
    void Close() override;
    int SendMessage(uint16_t command, uint16_t second_word, const void* payload,
                    uint16_t length) override;
    void RegisterCallback(int id, LinkCallback callback, void* user) override;
    void SetConnectTimeout(int timeout_ms) override;
    uint16_t LocalPort() override;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

// UDP "connection": datagrams to one peer; datagrams from any other sender are
// dropped. A UDP client reports loss only when the socket fails.
class CUdpClient : public CClient {
public:
    CUdpClient();
    ~CUdpClient() override;
    int IsConnected() override;
    int Open(const char* address, uint16_t port) override;
    void Close() override;
    int SendMessage(uint16_t command, uint16_t second_word, const void* payload,
                    uint16_t length) override;
    void RegisterCallback(int id, LinkCallback callback, void* user) override;
    void SetConnectTimeout(int timeout_ms) override;
    uint16_t LocalPort() override;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

// Multicast receiver: Open(group, port) binds port on all addresses and joins
// group; SendMessage sends to group:port.
class CMCastClient : public CClient {
public:
    CMCastClient();
    ~CMCastClient() override;
    int IsConnected() override;
    int Open(const char* group, uint16_t port) override;
    void Close() override;
    int SendMessage(uint16_t command, uint16_t second_word, const void* payload,
                    uint16_t length) override;
    void RegisterCallback(int id, LinkCallback callback, void* user) override;
    void SetConnectTimeout(int timeout_ms) override;
    uint16_t LocalPort() override;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

class CServer {
public:
    CServer() = default;
    CServer(const CServer&) = delete;
    CServer& operator=(const CServer&) = delete;
    virtual ~CServer() = default;
    virtual void RegisterCallback(LinkCallback callback, void* user) = 0;
    // Listens on port (0 picks a free one, see LocalPort). second_value is
    // kept for the callers that pass one; it has no effect. Nonzero on success.
    virtual int Open(uint16_t port, int second_value) = 0;
    // Sends one message to a connection. Returns 8 + length when queued or
    // sent, -1 for an unknown connection, a too-long payload or a full queue.
    virtual int SendMessage(int connection, uint16_t command, uint16_t second_word,
                            const void* payload, uint16_t length) = 0;
    // Stops listening and drops every connection (no 0xFFFF for them).
    virtual void Shutdown() = 0;

    // Additions of ours.
    virtual void SetBindAddress(const char* address) = 0;  // default "0.0.0.0"
    virtual uint16_t LocalPort() = 0;
};

class CTcpServer : public CServer {
public:
    CTcpServer();
    ~CTcpServer() override;
    void RegisterCallback(LinkCallback callback, void* user) override;
    int Open(uint16_t port, int second_value) override;
    int SendMessage(int connection, uint16_t command, uint16_t second_word, const void* payload,
                    uint16_t length) override;
    void Shutdown() override;
    void SetBindAddress(const char* address) override;
    uint16_t LocalPort() override;
    // Drops one connection; its 0xFFFF is delivered. Nonzero if it existed.
    int Close(int connection);
    // Number of open connections.
    int ConnectionCount();

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

// UDP server: every distinct sender address is a connection (0xFFFE on its
// first datagram); Close(connection) forgets a sender.
class CUdpServer : public CServer {
public:
    CUdpServer();
    ~CUdpServer() override;
    void RegisterCallback(LinkCallback callback, void* user) override;
    int Open(uint16_t port, int second_value) override;
    int SendMessage(int connection, uint16_t command, uint16_t second_word, const void* payload,
                    uint16_t length) override;
    void Shutdown() override;
    void SetBindAddress(const char* address) override;
    uint16_t LocalPort() override;
    int Close(int connection);

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};
