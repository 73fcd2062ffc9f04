// The service-side parties that log into the platform services: encoders
// (CVexora), user clients, recording and stream servers. Each is registered
// with ZYNVS_AddDevice and lives in the registry; the control and media
// services route messages to it by connection.
//
// Lifetime: services are held by the registry; parties keep weak references
// to them, and encoders keep weak references to their subscribers and to the
// requesters of relayed requests, so nothing here reaches a party removed with
// ZYNVS_DeleteDevice (or a stopped service).
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "decodekit/core/video_device.h"

class CListenService;

// A (service, connection) pair; the connection is -1 when none.
struct ServiceLink {
    std::weak_ptr<CListenService> service;
    int connection = -1;
    bool Is(const CListenService* s, int c) const;
    void Clear() {
        service.reset();
        connection = -1;
    }
};

// What the four parties share: the control and media links, the session
// number and the keep-alive counter.
class CPlatformParty : public CVideoDevice {
public:
    using CVideoDevice::CVideoDevice;

    bool IsEncoder() { return GetType() == zyn::kTypeVexora; }
    // Active in the registry (not being removed).
    bool Alive() const { return State() == zyn::kStateActive; }

    bool ControlIs(const CListenService* service, int connection);
    bool MediaIs(const CListenService* service, int connection);
    uint16_t Session();
    bool HasControl();
    bool HasMedia();

    // Login accepted on (service, connection) with this session number.
    virtual void AttachControl(const std::shared_ptr<CListenService>& service, int connection,
                               uint16_t session);
    // Logout (matching session): true when done.
    virtual bool Logout(uint16_t session);
    // The control connection closed.
    virtual void ControlClosed();
    virtual void AttachMedia(const std::shared_ptr<CListenService>& service, int connection);
    // The media connection closed.
    virtual void MediaClosed();
    // A keep-alive with this session number: the counter restarts.
    void KeepAliveReceived(uint16_t session);

    // Sends through the control (media) link; -1 when there is none.
    int SendControl(uint16_t command, uint16_t word, const void* body, std::size_t length);
    int SendMedia(uint16_t command, uint16_t word, const void* body, std::size_t length);

    // Writes this party's device-list entry (120 bytes, plus the channel
    // blocks of an encoder) into out, which holds EntryBytes(); returns it.
    virtual std::size_t EntryBytes() { return 120; }
    virtual std::size_t WriteEntry(uint8_t* out);

    // Going from online to offline tells the host (message kMsgPartyOffline).
    void SetOnline(bool online);
    // Tells the host an event with a zero-terminated text; no lock held.
    void FireText(int message, const std::string& text);
    int KeepAliveMisses() const { return keepalive_misses_.load(); }

protected:
    std::mutex link_mutex_;  // guards control_, media_ and the session number
    ServiceLink control_;
    ServiceLink media_;
    uint16_t session_ = 0;
};

// User clients, recording and stream servers.
class CPartyClient : public CPlatformParty {
public:
    using CPlatformParty::CPlatformParty;
    // Dropped at the seventh tick without a keep-alive.
    void KeepAlive() override;
    std::size_t WriteEntry(uint8_t* out) override;
};

class CUserClient : public CPartyClient {
public:
    using CPartyClient::CPartyClient;
    int GetType() override { return zyn::kTypeUserClient; }
};

class CRecordClient : public CPartyClient {
public:
    using CPartyClient::CPartyClient;
    int GetType() override { return zyn::kTypeRecordClient; }
};

class CStreamClient : public CPartyClient {
public:
    using CPartyClient::CPartyClient;
    int GetType() override { return zyn::kTypeStreamClient; }
    // Stream servers are never bound to a media connection.
    void AttachMedia(const std::shared_ptr<CListenService>&, int) override {}
};

namespace zyn {
// Stream state of an encoder channel.
enum StreamState : uint8_t { kStreamUnused = 0, kStreamFlowing = 1, kStreamLost = 2 };

// Relayed requests: expired after the reply time-out, at most this many kept.
inline constexpr std::size_t kMaxPendingRequests = 64;
inline constexpr std::size_t kMaxPendingBody = 1924;
}  // namespace zyn

// An encoder.
class CVexora : public CPlatformParty {
public:
    using CPlatformParty::CPlatformParty;
    int GetType() override { return zyn::kTypeVexora; }
    void KeepAlive() override;

    void AttachControl(const std::shared_ptr<CListenService>& service, int connection,
                       uint16_t session) override;
    bool Logout(uint16_t session) override;
    void ControlClosed() override;
    void MediaClosed() override;

    // Channel count from the registration (login updates it), 0..4.
    int Channels();
    void SetChannels(int count);

    int Subscribe(int channel, const std::shared_ptr<CPlatformParty>& party);
    int Unsubscribe(int channel, const CPlatformParty* party);
    // Removes the party from every channel.
    void UnsubscribeAll(const CPlatformParty* party);
    std::size_t SubscriberCount(int channel);
    // Tells the host the channel's subscriber count (kMsgSubscribers).
    void ReportSubscribers(int channel);

    // Relays a request to the encoder and queues it until the reply arrives.
    // False when the encoder has no control connection.
    bool Relay(uint16_t command, uint16_t reply_code, const uint8_t* body, std::size_t length,
               const std::shared_ptr<CPlatformParty>& requester);
    // A reply the encoder sent with its session number.
    void EncoderReply(uint16_t code, const uint8_t* body, std::size_t length);
    // Media from the encoder, fanned out to the channel's subscribers.
    void OnVideoData(const uint8_t* packet, std::size_t length);
    void OnAudioData(const uint8_t* packet, std::size_t length);

    // Sends 0x0702 (the entry with channel blocks) to the subscribers.
    void BroadcastState();
    void GoOffline();

    int SetChannelName(int channel, const char* name);
    uint8_t StreamStateOf(int channel, int kind);
    void SetStreamState(int channel, int kind, uint8_t state);
    std::size_t PendingCount();
    // Media packets not sent to a slow subscriber (its queue was full).
    uint64_t DroppedPackets() const { return dropped_packets_.load(); }

    std::size_t EntryBytes() override;
    std::size_t WriteEntry(uint8_t* out) override;

private:
    struct Subscriber {
        std::weak_ptr<CPlatformParty> party;
        const CPlatformParty* raw = nullptr;  // identity only, never dereferenced
        bool skipping = false;                // dropping up to the next key frame
    };
    struct Pending {
        uint16_t reply_code = 0;
        std::vector<uint8_t> body;
        std::weak_ptr<CPlatformParty> requester;
        std::chrono::steady_clock::time_point queued;
    };
    struct ChannelStreams {
        uint32_t source_value = 0;
        uint16_t source_port = 0;
        char source_address[32] = {};
        uint8_t state[3] = {};  // main video, audio, talk
    };

    void FanOut(uint16_t command, const uint8_t* packet, std::size_t length);
    void ExpirePending();
    bool RestartOneStream();
    // The encoder confirmed a stream: its flag is set, its state flowing.
    void MarkFlowing(int channel, int kind);

    std::mutex sub_mutex_;  // guards subscribers_ and the skip flags
    std::array<std::vector<Subscriber>, zyn::kMaxChannels> subscribers_;
    std::mutex pending_mutex_;
    std::deque<Pending> pending_;
    std::mutex channel_mutex_;  // guards names_, streams_ and channels_
    char names_[zyn::kMaxChannels][64] = {};
    ChannelStreams streams_[zyn::kMaxChannels];
    int channels_ = -1;  // -1: take the record's
    std::atomic<uint64_t> dropped_packets_{0};
};

namespace zyn {
// Tells the first live registered stream server to forward a stream: 0x0201
// with its own session number, the first 12 bytes of the request and the
// requester's id.
void InstructStreamServer(CDeviceManage* registry, const uint8_t* request, uint32_t requester_id);
// Stream-state index of a stream kind (main video 0, audio 1, talk 2); -1 for sub video.
int StreamStateIndex(int kind);
}  // namespace zyn
