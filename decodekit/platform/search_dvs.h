// LAN device search over UDP multicast. Requests go to 224.0.1.10:6022; every
// datagram that arrives on local port 6011 reaches the search callback with its
// payload unparsed.
//
// Threads: the application's threads call the operations; one receive thread
// per open search runs the callback. See decodekit/platform/README.md.
#pragma once

#include "decodekit/platform/packet.h"
#include "renderkit/callback_slot.h"
#include "zynvs/ZynDecodeKit.h"
#include "zynvs/zynvs_records.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace decodekit {

constexpr const char* kSearchGroup = "224.0.1.10";
constexpr uint16_t kSearchRequestPort = 6022;  // devices listen here
constexpr uint16_t kSearchReplyPort = 6011;    // the search binds this
constexpr int kSearchTtl = 255;
constexpr std::size_t kSearchReceiveBytes = 1400;  // at most this much of a datagram is read
constexpr std::size_t kSearchPacketBytes = CPacket::kMaxPayload;  // largest payload passed on
constexpr std::size_t kNetParaBlockBytes = 80;
constexpr int kSearchStopWaitMs = 500;

using NetParaBlock = std::array<uint8_t, kNetParaBlockBytes>;

// What the callback receives for one datagram.
struct SearchDatagram {
    uint16_t command = 0;
    uint32_t length = 0;
    const uint8_t* payload = nullptr;  // null for a malformed datagram
};

// Handles one datagram of any length (data may be null when length is 0):
// first two bytes not both 0x11 -> (0, 65535, null); header length + 8 above
// length -> (0, 0, null); else the payload is copied into the packet's buffer
// (never more than kSearchPacketBytes: a longer announced payload counts as
// truncated) and (command, N, packet.Buffer()) is returned.
SearchDatagram ParseSearchDatagram(const uint8_t* data, std::size_t length, CPacket& packet);

// Dotted IPv4 text -> the number whose most significant byte is the first
// octet; invalid text gives 0xFFFFFFFF. Reads at most max_chars characters.
uint32_t SearchAddressNumber(const char* text, std::size_t max_chars);

// Six bytes from the MAC text: hexadecimal pairs at 0, 3, 6, 9, 12, 15 of the
// 20-character field; a pair with a non-hex character, or none, gives 0; a
// single digit before the end of the text gives its value.
std::array<uint8_t, 6> ParseSearchMac(const char (&mac)[20]);

// The 80-byte block of the change (0x0F02) and reboot (0x0F03) requests.
NetParaBlock BuildNetParaBlock(const ModifyNetParaRecord& record);

}  // namespace decodekit

class CSearchDVS {
public:
    CSearchDVS();
    // Stops a search that is still open (joins its thread).
    virtual ~CSearchDVS();
    CSearchDVS(const CSearchDVS&) = delete;
    CSearchDVS& operator=(const CSearchDVS&) = delete;

    // Socket (TTL 255, loop-back on), bind to port 6011, join 224.0.1.10 on
    // interface 0, receive thread. 1 when open (also when it already was),
    // 0 on failure; bind and join failures show an error box first.
    int Open();
    // Ends the search: wakes the blocked receive, waits for the receive thread
    // (at most 500 ms in the normal case; it always joins, so a callback that
    // is running is waited for), closes the socket. Returns 1; a search that is
    // not open is left as it is. May be called from inside the callback (then
    // it does not wait for its own thread).
    int Stop();
    // Callback and user value for the datagrams to come; any thread. Waits for
    // a running call of the previous callback (renderkit/callback_slot.h).
    void SetCallback(SearchCallback callback, void* user);

    // One datagram each to 224.0.1.10:6022 from the search socket; nothing is
    // sent when the search is not open. Return 1 whatever the send gives.
    // A null record sends nothing. Safe from any thread and from the callback.
    int SendSearchRequest();
    int SendChangeRequest(const ModifyNetParaRecord* record);
    int SendRebootRequest(const ModifyNetParaRecord* record);

    bool is_open() const { return open_.load() != 0; }

private:
    using CallbackSlot = renderkit::CallbackSlot<SearchCallback>;  // shared with the receive thread
    struct ThreadControl;  // stop flag and exit signal of one receive thread

    int SendDatagram(uint16_t command, const uint8_t* payload, uint16_t length);
    static void ReceiveLoop(std::shared_ptr<CallbackSlot> slot,
                            std::shared_ptr<ThreadControl> control, int fd);

    std::mutex life_mutex_;  // serialises Open and Stop
    std::mutex send_mutex_;  // held while socket_ is used, so Stop never closes it under a send
    int socket_ = -1;        // guarded by send_mutex_ (changed only under life_mutex_ too)
    std::thread receive_thread_;              // guarded by life_mutex_
    std::shared_ptr<ThreadControl> control_;  // guarded by life_mutex_; null before the first open
    const std::shared_ptr<CallbackSlot> slot_;
    std::atomic<std::thread::id> receive_thread_id_{};  // id of the running receive thread
    std::atomic<int> open_{0};  // 1 while the socket is open and the thread runs
};
