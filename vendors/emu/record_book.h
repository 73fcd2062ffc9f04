// Configuration records of one emulated device: each record kind has a read
// command, a write command, a size and a default; a write stores the bytes
// that a later read of the same kind and key (a channel, or 0) returns.
// Header-only; used by the emulated vendor libraries and by the emulator's
// QV devices. Not thread-safe: the owner's lock guards it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vendor_emu {

// What a default record may show about its device.
struct DeviceFacts {
    std::string name = "Device";
    std::string serial = "SN0000000001";
    std::string ip = "127.0.0.1";
    std::string mask = "255.0.0.0";
    std::string gateway = "127.0.0.1";
    std::string user = "admin";
    std::string password;
    int channels = 1;
    int alarm_in = 1;
    int alarm_out = 1;
    int data_port = 8000;
    int web_port = 80;
};

struct RecordSpec {
    uint32_t read;   // command that reads the record
    uint32_t write;  // command that writes it (0: read only)
    uint32_t bytes;  // record size
    // Fills a zeroed record of `bytes` with the defaults of channel `key`.
    void (*fill)(uint8_t* record, int key, const DeviceFacts& facts);
};

inline void PutText(uint8_t* record, size_t offset, size_t field, const std::string& text) {
    std::memcpy(record + offset, text.data(), std::min(text.size(), field - 1));
}
inline void PutU16(uint8_t* record, size_t offset, unsigned v) {
    record[offset] = static_cast<uint8_t>(v);
    record[offset + 1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* record, size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) record[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t GetU32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
// The local time now as year, month (1..12), day, hour, minute, second.
inline std::tm LocalNow() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

class RecordBook {
public:
    RecordBook(const RecordSpec* specs, size_t count) : specs_(specs, specs + count) {}

    // The kind read by `command` (nullptr: none).
    const RecordSpec* ByRead(uint32_t command) const {
        for (const RecordSpec& s : specs_)
            if (s.read == command) return &s;
        return nullptr;
    }
    // The kind written by `command` with `bytes` bytes; when several kinds
    // share the write command, the one of that size.
    const RecordSpec* ByWrite(uint32_t command, size_t bytes) const {
        const RecordSpec* any = nullptr;
        for (const RecordSpec& s : specs_) {
            if (s.write != command || command == 0) continue;
            if (s.bytes == bytes) return &s;
            if (any == nullptr) any = &s;
        }
        return any;
    }

    std::vector<uint8_t> Read(const RecordSpec& spec, int key, const DeviceFacts& facts) {
        auto it = stored_.find({spec.read, key});
        if (it != stored_.end()) return it->second;
        std::vector<uint8_t> rec(spec.bytes, 0);
        if (spec.fill != nullptr) spec.fill(rec.data(), key, facts);
        return rec;
    }
    // Stores the written bytes (cut or zero-padded to the record size).
    void Write(const RecordSpec& spec, int key, const uint8_t* data, size_t bytes,
               const DeviceFacts& facts) {
        std::vector<uint8_t> rec = Read(spec, key, facts);
        std::memcpy(rec.data(), data, std::min<size_t>(bytes, rec.size()));
        stored_[{spec.read, key}] = std::move(rec);
    }
    void Clear() { stored_.clear(); }

private:
    std::vector<RecordSpec> specs_;
    std::map<std::pair<uint32_t, int>, std::vector<uint8_t>> stored_;
};

}  // namespace vendor_emu
