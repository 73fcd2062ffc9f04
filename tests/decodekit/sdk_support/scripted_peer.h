// A scripted device: two Linkcore TCP servers on loopback (control and
// stream) that answer the SDK's session like a device would and let a test
// send any byte sequence on the stream connection, including hostile ones.
//
// Control answers by default: 0x0101 -> 0x8101 with result 0 and an 88-byte
// information block (or 0x8588 with a 504-byte block when newer_login is
// set), 0x0103 -> 0x8103, 0x0201 -> 0x8201 with result 0 and key kStreamKey,
// 0x0503 -> a 92-byte video record; every other request its code | 0x8000
// with result 0. SetAnswer replaces the answer of one request code.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "linkcore/linkcore.h"

namespace sdk_test {

class ScriptedPeer {
public:
    static constexpr uint16_t kStreamKey = 0x4321;

    struct Answer {
        bool send = true;  // false: no answer at all
        uint16_t command = 0;
        std::vector<uint8_t> payload;
    };
    using AnswerFn = std::function<Answer(uint16_t command, const std::vector<uint8_t>& payload)>;

    struct Received {
        bool stream = false;  // which server got it
        uint16_t command = 0;
        std::vector<uint8_t> payload;
    };

    ScriptedPeer();
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    bool ok() const { return ok_; }
    uint16_t control_port() const { return control_port_; }
    uint16_t stream_port() const { return stream_port_; }

    // Answer the 0x0101 with 0x8588 and this 504-byte block.
    void SetNewerLogin(const std::vector<uint8_t>& block504);
    void SetAnswer(uint16_t command, AnswerFn fn);

    // Waits until the stream connection is bound with 0x0202.
    bool WaitBound(int timeout_ms);
    // Sends one message on the bound stream connection; false when none.
    bool SendStream(uint16_t command, const std::vector<uint8_t>& payload);
    bool SendControl(uint16_t command, const std::vector<uint8_t>& payload);

    std::vector<Received> Log() const;
    std::size_t Count(uint16_t command) const;
    bool WaitFor(uint16_t command, std::size_t count, int timeout_ms) const;

private:
    static int OnControl(int, int conn, uint16_t command, uint16_t, const uint8_t* payload,
                         uint16_t length, void* user);
    static int OnStream(int, int conn, uint16_t command, uint16_t, const uint8_t* payload,
                        uint16_t length, void* user);

    CTcpServer control_, stream_;
    bool ok_ = false;
    uint16_t control_port_ = 0, stream_port_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    // -- guarded by mutex_
    int control_conn_ = -1, stream_conn_ = -1;
    bool bound_ = false;
    std::map<uint16_t, AnswerFn> answers_;
    std::optional<std::vector<uint8_t>> newer_block_;
    std::vector<Received> log_;
};

// One 0x0301 payload: the 24-byte fragment header and the data.
std::vector<uint8_t> Fragment(uint8_t channel, uint8_t kind, uint8_t frame_type, uint8_t index,
                              uint32_t total, const std::vector<uint8_t>& data,
                              uint32_t frame_number = 0);
// One 0x0302 payload: the 24-byte header (byte 0 format, byte 1 channel, word
// at 22 the data length) and the data.
std::vector<uint8_t> AudioBlock(uint8_t format, uint8_t channel, const std::vector<uint8_t>& data);

}  // namespace sdk_test
