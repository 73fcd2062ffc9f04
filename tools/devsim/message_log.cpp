#include <condition_variable>
#include <deque>
#include <mutex>

#include "tools/devsim/devsim.h"

namespace devsim {

const char* LinkName(Link link) {
    switch (link) {
        case Link::kControlTcp: return "control/tcp";
        case Link::kControlUdp: return "control/udp";
        case Link::kStreamTcp: return "stream/tcp";
        case Link::kStreamUdp: return "stream/udp";
        case Link::kSearch: return "search";
    }
    return "?";
}

struct MessageLog::State {
    mutable std::mutex mu;
    mutable std::condition_variable cv;
    std::deque<ReceivedMessage> messages;  // guarded by mu
    uint64_t next_sequence = 1;            // guarded by mu
    size_t limit = 200000;                 // guarded by mu
};

MessageLog::MessageLog() : state_(std::make_unique<State>()) {}
MessageLog::~MessageLog() = default;

void MessageLog::Add(ReceivedMessage m) {
    {
        std::lock_guard<std::mutex> lock(state_->mu);
        m.sequence = state_->next_sequence++;
        state_->messages.push_back(std::move(m));
        while (state_->messages.size() > state_->limit) state_->messages.pop_front();
    }
    state_->cv.notify_all();
}

void MessageLog::SetLimit(size_t limit) {
    std::lock_guard<std::mutex> lock(state_->mu);
    state_->limit = limit < 1 ? 1 : limit;
}

std::vector<ReceivedMessage> MessageLog::Snapshot() const {
    std::lock_guard<std::mutex> lock(state_->mu);
    return {state_->messages.begin(), state_->messages.end()};
}

uint64_t MessageLog::NextSequence() const {
    std::lock_guard<std::mutex> lock(state_->mu);
    return state_->next_sequence;
}

std::optional<ReceivedMessage> MessageLog::WaitFor(const MessageMatch& match, int timeout_ms,
                                                   uint64_t from_sequence) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::unique_lock<std::mutex> lock(state_->mu);
    uint64_t scanned = from_sequence;  // messages below this were looked at
    for (;;) {
        for (const ReceivedMessage& m : state_->messages) {
            if (m.sequence < scanned) continue;
            if (match(m)) return m;
        }
        scanned = std::max(scanned, state_->next_sequence);
        if (state_->cv.wait_until(lock, deadline) == std::cv_status::timeout) {
            for (const ReceivedMessage& m : state_->messages)
                if (m.sequence >= scanned && match(m)) return m;
            return std::nullopt;
        }
    }
}

std::optional<ReceivedMessage> MessageLog::WaitForCommand(uint16_t command, int timeout_ms,
                                                          int device,
                                                          uint64_t from_sequence) const {
    return WaitFor(
        [&](const ReceivedMessage& m) {
            return !m.malformed && m.command == command && (device < 0 || m.device == device);
        },
        timeout_ms, from_sequence);
}

size_t MessageLog::Count(uint16_t command, int device) const {
    std::lock_guard<std::mutex> lock(state_->mu);
    size_t n = 0;
    for (const ReceivedMessage& m : state_->messages)
        if (!m.malformed && m.command == command && (device < 0 || m.device == device)) ++n;
    return n;
}

size_t MessageLog::MalformedCount() const {
    std::lock_guard<std::mutex> lock(state_->mu);
    size_t n = 0;
    for (const ReceivedMessage& m : state_->messages) n += m.malformed ? 1 : 0;
    return n;
}

void MessageLog::Clear() {
    std::lock_guard<std::mutex> lock(state_->mu);
    state_->messages.clear();
}

}  // namespace devsim
