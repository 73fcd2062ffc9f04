// QV command client: one TCP connection per exchange (connect with a
// time-out, send one request, read one reply, close).
//
// Threads: a QvClient holds no state between calls besides its settings; each
// call blocks the calling thread for at most about twice the time-out (connect,
// then reply). Different objects may be used on different threads at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qvnet/qv_message.h"

namespace qvnet {

class QvClient {
public:
    static constexpr int kDefaultTimeoutMs = 5000;

    // `timeout_ms` outside 1..60000 selects the default of 5000 ms.
    QvClient(std::string ip, uint16_t port, std::string user, std::string password,
             int timeout_ms = kDefaultTimeoutMs);

    // One exchange: sends `command` with `payload`, and on a valid reply fills
    // `reply_payload` (when not null) with the bytes after the reply's header.
    // Returns kOk, kBadReply (bad magic, length below 88 or above 4096, word 20
    // not 0, closed early), kConnectFailed, or kBadArgument.
    int Request(uint32_t command, const std::vector<uint8_t>& payload,
                std::vector<uint8_t>* reply_payload = nullptr) const;

    // A test connect, then the login command with its 151-byte buffer; a reply
    // without payload gives kLoginRefused.
    int Login(std::vector<uint8_t>* device_info = nullptr) const;
    int Reboot() const { return Request(kCommandReboot, {}); }
    int Restore() const { return Request(kCommandRestore, {}); }

    int timeout_ms() const { return timeout_ms_; }

private:
    int Connect(int* fd_out) const;

    std::string ip_;
    uint16_t port_;
    std::string user_;
    std::string password_;
    int timeout_ms_;
};

}  // namespace qvnet
