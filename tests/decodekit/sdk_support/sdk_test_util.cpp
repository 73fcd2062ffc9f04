#include "tests/decodekit/sdk_support/sdk_test_util.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace sdk_test {

std::string Hex(const uint8_t* p, std::size_t n) {
    std::string s;
    char buf[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", p[i]);
        if (i) s += ' ';
        s += buf;
    }
    return s;
}

bool WaitUntil(const std::function<bool()>& pred, int timeout_ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (Clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pred();
}

Bytes Pattern(std::size_t n, uint32_t seed) {
    Bytes b(n);
    uint32_t x = seed * 2654435761u + 12345u;
    for (auto& v : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = static_cast<uint8_t>(x >> 7);
    }
    return b;
}

devsim::DeviceConfig SmallDevice(uint32_t device_id, int channels) {
    devsim::DeviceConfig d;
    d.device_id = device_id;
    d.channel_count = channels;
    d.main = {352, 288, 25, 384, 10, 1};
    d.sub = {176, 144, 25, 96, 10, 1};
    d.fragment_bytes = 1024;
    d.audio_format = 1;
    return d;
}

std::unique_ptr<devsim::Emulator> StartEmulator(devsim::Config config) {
    auto emu = std::make_unique<devsim::Emulator>(std::move(config));
    std::string error;
    if (!emu->Start(&error)) {
        ADD_FAILURE() << "emulator did not start: " << error;
        return nullptr;
    }
    return emu;
}

DeviceLoginInfo LoginFor(const devsim::Device& device, int sdk_id, int channels,
                         const char* user, const char* password) {
    DeviceLoginInfo r{};
    r.device_id = sdk_id;
    r.channel_count = channels >= 0 ? channels : device.config().channel_count;
    std::snprintf(r.control_address, sizeof r.control_address, "127.0.0.1");
    r.control_port = device.control_port();
    r.stream_port = device.stream_port();
    // The account block holds 8 bytes each, not necessarily terminated.
    std::memcpy(r.user_name, user, std::min(std::strlen(user), sizeof r.user_name));
    std::memcpy(r.password, password, std::min(std::strlen(password), sizeof r.password));
    r.device_kind = 1;
    return r;
}

ClientInfo DataRequest(int ch, int kind, uint32_t link_value) {
    ClientInfo c{};
    c.stream_kind = static_cast<uint8_t>(kind);
    c.channel = static_cast<uint8_t>(ch);
    c.request_flag = 1;
    c.link_value = link_value;
    c.stream_transport = 0;
    std::snprintf(c.stream_address, sizeof c.stream_address, "127.0.0.1");
    return c;
}

// ---- MessageRecorder -------------------------------------------------------------

void MessageRecorder::Add(int device, int message, const void* data, int length) {
    Message m;
    m.device = device;
    m.message = message;
    m.length = length;
    if (data && length > 0) {
        auto* p = static_cast<const uint8_t*>(data);
        m.data.assign(p, p + length);
    }
    m.when = Clock::now();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(std::move(m));
    }
    cv_.notify_all();
}

std::vector<Message> MessageRecorder::Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

std::size_t MessageRecorder::Size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
}

int MessageRecorder::Count(int device, int message) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (auto& m : messages_) n += (m.device == device && m.message == message);
    return n;
}

std::optional<Message> MessageRecorder::WaitFor(const std::function<bool(const Message&)>& match,
                                                int timeout_ms, std::size_t from,
                                                std::size_t* index) const {
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    std::unique_lock<std::mutex> lock(mutex_);
    std::size_t scanned = from;
    for (;;) {
        for (; scanned < messages_.size(); ++scanned) {
            if (match(messages_[scanned])) {
                if (index) *index = scanned;
                return messages_[scanned];
            }
        }
        if (cv_.wait_until(lock, end) == std::cv_status::timeout && scanned >= messages_.size())
            return std::nullopt;
    }
}

std::optional<Message> MessageRecorder::WaitFor(int device, int message, int timeout_ms,
                                                std::size_t from, std::size_t* index) const {
    return WaitFor([&](const Message& m) { return m.device == device && m.message == message; },
                   timeout_ms, from, index);
}

void ZYNVS_CALL MessageRecorder::Callback(int device, int message, void* data, int length,
                                          void* user) {
    if (user) static_cast<MessageRecorder*>(user)->Add(device, message, data, length);
}

// ---- MediaRecorder -----------------------------------------------------------------

void MediaRecorder::AddFull(int device, int channel, const void* data, int length, int kind,
                            int type) {
    Delivery d;
    d.device = device;
    d.channel = channel;
    d.kind = kind;
    d.frame_type = type;
    d.when = Clock::now();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (keep_ && data && length > 0) {
            auto* p = static_cast<const uint8_t*>(data);
            d.data.assign(p, p + length);
        }
        full_.push_back(std::move(d));
    }
    cv_.notify_all();
}

void MediaRecorder::AddReal(int device, int channel, const void* data, int length) {
    Delivery d;
    d.device = device;
    d.channel = channel;
    d.kind = -1;
    d.when = Clock::now();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (keep_ && data && length > 0) {
            auto* p = static_cast<const uint8_t*>(data);
            d.data.assign(p, p + length);
        }
        real_.push_back(std::move(d));
    }
    cv_.notify_all();
}

std::vector<Delivery> MediaRecorder::Full(int device, int channel, int kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Delivery> out;
    for (auto& d : full_)
        if (d.device == device && d.channel == channel && d.kind == kind) out.push_back(d);
    return out;
}

std::vector<Delivery> MediaRecorder::Real(int device, int channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Delivery> out;
    for (auto& d : real_)
        if (d.device == device && d.channel == channel) out.push_back(d);
    return out;
}

std::size_t MediaRecorder::FullCount(int device, int channel, int kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t n = 0;
    for (auto& d : full_) n += (d.device == device && d.channel == channel && d.kind == kind);
    return n;
}

std::size_t MediaRecorder::RealCount(int device, int channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t n = 0;
    for (auto& d : real_) n += (d.device == device && d.channel == channel);
    return n;
}

bool MediaRecorder::WaitFull(int device, int channel, std::size_t count, int timeout_ms,
                             int kind) const {
    return WaitUntil([&] { return FullCount(device, channel, kind) >= count; }, timeout_ms);
}

bool MediaRecorder::WaitReal(int device, int channel, std::size_t count, int timeout_ms) const {
    return WaitUntil([&] { return RealCount(device, channel) >= count; }, timeout_ms);
}

void MediaRecorder::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    full_.clear();
    real_.clear();
}

void MediaRecorder::SetKeep(bool keep) {
    std::lock_guard<std::mutex> lock(mutex_);
    keep_ = keep;
}

void ZYNVS_CALL MediaRecorder::FullCallback(int device, int channel, void* data, int length,
                                            int kind, int frame_type, void* user) {
    if (user)
        static_cast<MediaRecorder*>(user)->AddFull(device, channel, data, length, kind,
                                                   frame_type);
}

void ZYNVS_CALL MediaRecorder::RealCallback(int device, int channel, void* data, int length,
                                            void* user) {
    if (user) static_cast<MediaRecorder*>(user)->AddReal(device, channel, data, length);
}

FrameView ViewRecord(const Bytes& r) {
    FrameView v;
    if (r.size() < 30) return v;
    const uint8_t* h = r.data() + 6;
    v.channel = h[1];
    v.kind = h[3];
    v.frame_type = h[4];
    v.byte5 = h[5];
    v.index = h[6];
    v.byte7 = h[7];
    v.frame_number = Le32(h + 8);
    v.total = Le32(h + 12);
    v.data = r.data() + 30;
    v.data_bytes = r.size() - 30;
    v.ok = std::memcmp(r.data(), "XCXBV", 5) == 0;
    return v;
}

std::string CompareWithSent(const std::vector<Delivery>& records, const devsim::Device& device,
                            int channel, int stream_kind, std::size_t* frames_checked) {
    std::ostringstream err;
    auto loop = device.Loop(channel, stream_kind);
    if (!loop) return "no loop for the stream";
    std::map<uint32_t, devsim::SentFrame> sent;
    for (const auto& s : device.SentFrames())
        if (s.channel == channel && s.stream_kind == stream_kind) sent[s.frame_number] = s;
    if (records.empty()) return "no frames received";
    std::size_t checked = 0;
    uint32_t first = 0, last = 0;
    std::map<uint32_t, bool> seen;
    for (const auto& d : records) {
        FrameView v = ViewRecord(d.data);
        if (!v.ok) return "record without the XCXBV prefix";
        if (v.byte7 != 1) err << "frame " << v.frame_number << ": header byte 7 is " << int(v.byte7) << "; ";
        if (v.total != v.data_bytes) err << "frame " << v.frame_number << ": total " << v.total << " but " << v.data_bytes << " data bytes; ";
        auto it = sent.find(v.frame_number);
        if (it == sent.end()) {
            err << "frame " << v.frame_number << " was never sent; ";
            continue;
        }
        const auto& src = loop->frames[it->second.loop_index];
        if (src.data.size() != v.data_bytes ||
            std::memcmp(src.data.data(), v.data, v.data_bytes) != 0)
            err << "frame " << v.frame_number << " differs from the sent frame; ";
        if ((v.frame_type == 7) != src.key) err << "frame " << v.frame_number << ": key mark wrong; ";
        if (seen.count(v.frame_number)) err << "frame " << v.frame_number << " delivered twice; ";
        seen[v.frame_number] = true;
        if (checked == 0) first = v.frame_number;
        else if (v.frame_number < last) err << "frame " << v.frame_number << " out of order; ";
        last = v.frame_number;
        ++checked;
    }
    for (auto& [n, s] : sent)
        if (n >= first && n <= last && !seen.count(n)) err << "sent frame " << n << " missing; ";
    if (frames_checked) *frames_checked = checked;
    return err.str();
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::path(testing::TempDir()) / "zynsdk-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) ADD_FAILURE() << "mkdtemp failed";
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace sdk_test
