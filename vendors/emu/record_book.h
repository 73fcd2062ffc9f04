// Configuration records of one emulated device: each record kind has a read
// command, a write command, a size and a default; a write stores the bytes
// that a later read of the same kind and key (a channel, or 0) returns.
// Header-only; used by the emulated vendor libraries and by the emulator's
// QV devices. Not thread-safe: the owner's lock guards it.
//
// Kept between runs: when the environment variable ZYN_VENDOR_STATE names a
// folder, a book made with a name loads DIR/NAME.rec and saves every change
// there (written beside it and renamed over it). A file that is not a whole,
// valid book is reported on stderr and ignored; the book starts empty.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
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
    // `name` (e.g. "AntsNetSDK-127.0.0.71-8000"): the state file's name;
    // empty keeps the records in this process only.
    RecordBook(const RecordSpec* specs, size_t count, std::string name = {})
        : specs_(specs, specs + count) {
        const char* dir = std::getenv("ZYN_VENDOR_STATE");
        if (dir != nullptr && *dir != 0 && !name.empty()) {
            path_ = std::string(dir) + "/" + name + ".rec";
            Load();
        }
    }

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
        Save();
    }
    void Clear() {
        stored_.clear();
        Save();
    }

private:
    // File: "ZYNRECS1", a 32-bit count, then per record its read command,
    // key and size (32 bits each, little-endian) and its bytes.
    static constexpr char kMagic[9] = "ZYNRECS1";

    static void Put32(std::string& out, uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
    }

    void Load() {
        std::ifstream in(path_, std::ios::binary);
        if (!in) return;  // nothing kept yet
        const std::string all((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
        auto bytes = reinterpret_cast<const uint8_t*>(all.data());
        size_t at = 8;
        auto fail = [&](const char* why) {
            std::fprintf(stderr, "vendor state %s: %s; ignored\n", path_.c_str(), why);
            stored_.clear();
        };
        if (all.size() < 12 || all.compare(0, 8, kMagic) != 0) return fail("not a record file");
        const uint32_t count = GetU32(bytes + at);
        at += 4;
        for (uint32_t i = 0; i < count; ++i) {
            if (all.size() - at < 12) return fail("truncated");
            const uint32_t read = GetU32(bytes + at);
            const auto key = static_cast<int>(GetU32(bytes + at + 4));
            const uint32_t size = GetU32(bytes + at + 8);
            at += 12;
            const RecordSpec* spec = ByRead(read);
            if (spec == nullptr || spec->bytes != size) return fail("unknown record or wrong size");
            if (all.size() - at < size) return fail("truncated");
            stored_[{read, key}].assign(bytes + at, bytes + at + size);
            at += size;
        }
        if (at != all.size()) return fail("trailing bytes");
    }

    void Save() const {
        if (path_.empty()) return;
        std::string out(kMagic, 8);
        Put32(out, static_cast<uint32_t>(stored_.size()));
        for (const auto& [id, rec] : stored_) {
            Put32(out, id.first);
            Put32(out, static_cast<uint32_t>(id.second));
            Put32(out, static_cast<uint32_t>(rec.size()));
            out.append(reinterpret_cast<const char*>(rec.data()), rec.size());
        }
        const std::string temp = path_ + ".tmp" + std::to_string(getpid());
        bool saved = false;
        if (std::FILE* f = std::fopen(temp.c_str(), "wb")) {
            saved = std::fwrite(out.data(), 1, out.size(), f) == out.size();
            saved = std::fclose(f) == 0 && saved;
        }
        if (!saved || std::rename(temp.c_str(), path_.c_str()) != 0) {
            std::fprintf(stderr, "vendor state %s: cannot save\n", path_.c_str());
            std::remove(temp.c_str());
        }
    }

    std::vector<RecordSpec> specs_;
    std::map<std::pair<uint32_t, int>, std::vector<uint8_t>> stored_;
    std::string path_;  // empty: not kept between runs
};

}  // namespace vendor_emu
