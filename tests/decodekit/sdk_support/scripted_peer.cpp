#include "tests/decodekit/sdk_support/scripted_peer.h"

#include <chrono>
#include <cstring>

namespace sdk_test {
namespace {
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
std::vector<uint8_t> Result(uint16_t result, uint16_t word = 0) {
    std::vector<uint8_t> p(4);
    Put16(p.data(), result);
    Put16(p.data() + 2, word);
    return p;
}
}  // namespace

ScriptedPeer::ScriptedPeer() {
    control_.SetBindAddress("127.0.0.1");
    stream_.SetBindAddress("127.0.0.1");
    control_.RegisterCallback(&ScriptedPeer::OnControl, this);
    stream_.RegisterCallback(&ScriptedPeer::OnStream, this);
    ok_ = control_.Open(0, 0) && stream_.Open(0, 0);
    control_port_ = control_.LocalPort();
    stream_port_ = stream_.LocalPort();
}

ScriptedPeer::~ScriptedPeer() {
    control_.Shutdown();
    stream_.Shutdown();
}

void ScriptedPeer::SetNewerLogin(const std::vector<uint8_t>& block504) {
    std::lock_guard<std::mutex> lock(mutex_);
    newer_block_ = block504;
}

void ScriptedPeer::SetAnswer(uint16_t command, AnswerFn fn) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_[command] = std::move(fn);
}

bool ScriptedPeer::WaitBound(int timeout_ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return bound_; });
}

bool ScriptedPeer::SendStream(uint16_t command, const std::vector<uint8_t>& payload) {
    int conn;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        conn = bound_ ? stream_conn_ : -1;
    }
    if (conn < 0) return false;
    return stream_.SendMessage(conn, command, 0, payload.data(),
                               static_cast<uint16_t>(payload.size())) > 0;
}

bool ScriptedPeer::SendControl(uint16_t command, const std::vector<uint8_t>& payload) {
    int conn;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        conn = control_conn_;
    }
    if (conn < 0) return false;
    return control_.SendMessage(conn, command, 0, payload.data(),
                                static_cast<uint16_t>(payload.size())) > 0;
}

std::vector<ScriptedPeer::Received> ScriptedPeer::Log() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

std::size_t ScriptedPeer::Count(uint16_t command) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t n = 0;
    for (auto& r : log_) n += (r.command == command);
    return n;
}

bool ScriptedPeer::WaitFor(uint16_t command, std::size_t count, int timeout_ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
        std::size_t n = 0;
        for (auto& r : log_) n += (r.command == command);
        return n >= count;
    });
}

int ScriptedPeer::OnControl(int, int conn, uint16_t command, uint16_t, const uint8_t* payload,
                            uint16_t length, void* user) {
    auto* self = static_cast<ScriptedPeer*>(user);
    if (command == linkcore::kCmdAccepted) {
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->control_conn_ = conn;
        return 0;
    }
    if (command == linkcore::kCmdClosed) return 0;
    std::vector<uint8_t> data(payload, payload + length);
    Answer a;
    AnswerFn fn;
    std::optional<std::vector<uint8_t>> newer;
    {
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->control_conn_ = conn;
        self->log_.push_back({false, command, data});
        auto it = self->answers_.find(command);
        if (it != self->answers_.end()) fn = it->second;
        newer = self->newer_block_;
    }
    self->cv_.notify_all();
    if (fn) {
        a = fn(command, data);
    } else if (command == 0x0101) {
        a.command = newer ? 0x8588 : 0x8101;
        a.payload = Result(0);
        std::vector<uint8_t> info = newer ? *newer : std::vector<uint8_t>(88, 0x5A);
        a.payload.insert(a.payload.end(), info.begin(), info.end());
    } else if (command == 0x0201) {
        a.command = 0x8201;
        a.payload = Result(0, kStreamKey);
    } else if (command == 0x0503) {
        a.command = 0x8503;
        a.payload = Result(0);
        std::vector<uint8_t> rec(92, 0);
        rec[72] = 2;  // 352x288
        a.payload.insert(a.payload.end(), rec.begin(), rec.end());
    } else if (command == 0x0102 || command == 0x0203 || command == 0x0586) {
        a.send = command == 0x0102;
        a.command = 0x8102;
        a.payload = Result(0);
    } else {
        a.command = static_cast<uint16_t>(command | 0x8000);
        a.payload = Result(0);
    }
    if (a.send)
        self->control_.SendMessage(conn, a.command, 0, a.payload.data(),
                                   static_cast<uint16_t>(a.payload.size()));
    return 0;
}

int ScriptedPeer::OnStream(int, int conn, uint16_t command, uint16_t, const uint8_t* payload,
                           uint16_t length, void* user) {
    auto* self = static_cast<ScriptedPeer*>(user);
    if (command == linkcore::kCmdAccepted || command == linkcore::kCmdClosed) {
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (command == linkcore::kCmdClosed && conn == self->stream_conn_) self->bound_ = false;
        return 0;
    }
    {
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->log_.push_back({true, command, std::vector<uint8_t>(payload, payload + length)});
        if (command == 0x0202) {
            self->stream_conn_ = conn;
            self->bound_ = true;
        }
    }
    self->cv_.notify_all();
    return 0;
}

std::vector<uint8_t> Fragment(uint8_t channel, uint8_t kind, uint8_t frame_type, uint8_t index,
                              uint32_t total, const std::vector<uint8_t>& data,
                              uint32_t frame_number) {
    std::vector<uint8_t> p(24 + data.size(), 0);
    p[1] = channel;
    p[3] = kind;
    p[4] = frame_type;
    p[6] = index;
    p[7] = 9;  // a fragment count the SDK must overwrite in complete-frame copies
    Put32(p.data() + 8, frame_number);
    Put32(p.data() + 12, total);
    Put16(p.data() + 22, static_cast<uint16_t>(data.size()));
    if (!data.empty()) std::memcpy(p.data() + 24, data.data(), data.size());
    return p;
}

std::vector<uint8_t> AudioBlock(uint8_t format, uint8_t channel, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> p(24 + data.size(), 0);
    p[0] = format;
    p[1] = channel;
    p[3] = 2;
    p[7] = 1;
    Put32(p.data() + 12, static_cast<uint32_t>(data.size()));
    Put16(p.data() + 22, static_cast<uint16_t>(data.size()));
    if (!data.empty()) std::memcpy(p.data() + 24, data.data(), data.size());
    return p;
}

}  // namespace sdk_test
