// Frame records as the live path builds them, and a reader for the AVI files
// of the recording writer, written from the file layout (not from the writer).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace platform_test {

using Bytes = std::vector<uint8_t>;

inline uint32_t le32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline uint16_t le16(const Bytes& b, std::size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::string tag_at(const Bytes& b, std::size_t at) {
    return at + 4 <= b.size() ? std::string(b.begin() + at, b.begin() + at + 4) : std::string();
}
inline void set32(Bytes& b, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// "XCXBV", one byte 0, the 24-byte fragment header of a complete frame
// (fragment count 1, frame type at byte 4), then the data.
inline Bytes frame_record(uint8_t frame_type, uint32_t frame_number, const Bytes& data) {
    Bytes r(30 + data.size(), 0);
    std::memcpy(r.data(), "XCXBV", 5);
    uint8_t* h = r.data() + 6;
    h[1] = 0;           // channel
    h[3] = 0;           // main stream
    h[4] = frame_type;  // 7 = key frame
    h[6] = 0;           // fragment index
    h[7] = 1;           // byte 7 set to 1 in complete-frame copies
    set32(r, 6 + 8, frame_number);
    set32(r, 6 + 12, static_cast<uint32_t>(data.size()));
    set32(r, 6 + 16, 1700000000u + frame_number / 25);
    r[6 + 20] = static_cast<uint8_t>((frame_number % 25) * 40);
    r[6 + 21] = static_cast<uint8_t>(((frame_number % 25) * 40) >> 8);
    const uint16_t fragment = static_cast<uint16_t>(data.size() > 0xFFFF ? 0xFFFF : data.size());
    r[6 + 22] = static_cast<uint8_t>(fragment);
    r[6 + 23] = static_cast<uint8_t>(fragment >> 8);
    if (!data.empty()) std::memcpy(r.data() + 30, data.data(), data.size());
    return r;
}

// The 224-byte AVI header for the given counts, from the layout table.
inline Bytes expected_avi_header(uint32_t frames, uint32_t riff_size, uint32_t movi_size) {
    Bytes h(224, 0);
    auto tag = [&](std::size_t at, const char* t) { std::memcpy(&h[at], t, 4); };
    // clang-format off
    tag(0, "RIFF");   set32(h, 4, riff_size);     tag(8, "AVI ");
    tag(12, "LIST");  set32(h, 16, 192);          tag(20, "hdrl");
    tag(24, "avih");  set32(h, 28, 56);
    set32(h, 32, 40000);      set32(h, 36, 0xFFFFFFFF); set32(h, 40, 0);
    set32(h, 44, 0x910);      set32(h, 48, frames);     set32(h, 52, 0);
    set32(h, 56, 1);          set32(h, 60, 1000000);    set32(h, 64, 0);   set32(h, 68, 0);
    tag(88, "LIST");  set32(h, 92, 116);          tag(96, "strl");
    tag(100, "strh"); set32(h, 104, 56);          tag(108, "vids");  tag(112, "h264");
    set32(h, 128, 1000);      set32(h, 132, 25000);     set32(h, 140, frames);
    set32(h, 144, 0x100000);  set32(h, 148, 0xFFFFFFFF);
    tag(164, "strf"); set32(h, 168, 40);          set32(h, 172, 40);
    h[184] = 1;       h[186] = 24;                tag(188, "h264");
    tag(212, "LIST"); set32(h, 216, movi_size);   tag(220, "movi");
    // clang-format on
    return h;
}

struct AviEntry {
    uint32_t flags = 0;
    uint32_t offset = 0;
    uint32_t length = 0;
};

struct ParsedAvi {
    bool ok = false;
    std::string error;
    std::vector<uint32_t> chunk_offsets;  // of each "00dc" tag
    std::vector<Bytes> frames;
    std::vector<AviEntry> index;
    uint32_t header_frames = 0;
};

// Walks the movi list by its size, then reads idx1; checks that the index
// names every chunk in order with the right length.
inline ParsedAvi parse_avi(const Bytes& f) {
    ParsedAvi p;
    auto fail = [&](const std::string& e) {
        p.error = e;
        return p;
    };
    if (f.size() < 232 || tag_at(f, 0) != "RIFF" || tag_at(f, 220) != "movi") return fail("header");
    if (le32(f, 4) != f.size() - 8) return fail("RIFF size");
    p.header_frames = le32(f, 48);
    if (le32(f, 140) != p.header_frames) return fail("strh length");
    const std::size_t movi_end = 220 + static_cast<std::size_t>(le32(f, 216));
    std::size_t at = 224;
    while (at < movi_end) {
        if (at + 8 > movi_end || tag_at(f, at) != "00dc") return fail("chunk tag");
        const uint32_t len = le32(f, at + 4);
        if (at + 8 + len > movi_end) return fail("chunk past movi");
        p.chunk_offsets.push_back(static_cast<uint32_t>(at));
        p.frames.emplace_back(f.begin() + at + 8, f.begin() + at + 8 + len);
        at += 8 + len + (len & 1);
        if ((len & 1) && f[at - 1] != 0) return fail("pad byte");
    }
    if (at != movi_end) return fail("movi size");
    if (tag_at(f, at) != "idx1") return fail("no idx1");
    const uint32_t idx_bytes = le32(f, at + 4);
    if (at + 8 + idx_bytes != f.size()) return fail("idx1 size");
    for (std::size_t e = at + 8; e < f.size(); e += 16) {
        if (tag_at(f, e) != "00dc") return fail("index tag");
        p.index.push_back({le32(f, e + 4), le32(f, e + 8), le32(f, e + 12)});
    }
    if (p.index.size() != p.chunk_offsets.size()) return fail("index count");
    if (p.header_frames != p.index.size()) return fail("header frame count");
    for (std::size_t i = 0; i < p.index.size(); ++i) {
        if (p.index[i].offset != p.chunk_offsets[i]) return fail("index offset");
        if (p.index[i].length != p.frames[i].size()) return fail("index length");
    }
    p.ok = true;
    return p;
}

}  // namespace platform_test
