#include "mediafile/avi_reader.h"

#include <sys/types.h>

#include <cstring>

#include "zynvs/wire/byte_order.h"

namespace mediafile {
namespace {

constexpr uint32_t kHeaderLimitBytes = 1 << 20;  // a larger header list is not an AVI we read

bool Tag(const uint8_t* p, const char* tag) {
    return std::memcmp(p, tag, 4) == 0;
}

bool ReadAt(std::FILE* f, uint64_t at, void* out, std::size_t n) {
    return fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0 && std::fread(out, 1, n, f) == n;
}

}  // namespace

bool LooksLikeAvi(const uint8_t* data, std::size_t size) {
    return data != nullptr && size >= 12 && Tag(data, "RIFF") && Tag(data + 8, "AVI ");
}

bool AviChunkReader::Open(std::FILE* file, std::string* error) {
    auto fail = [&](const char* why) {
        if (error) *error = why;
        return false;
    };
    file_ = file;
    if (file_ == nullptr || fseeko(file_, 0, SEEK_END) != 0) return fail("cannot read the file");
    size_ = static_cast<uint64_t>(ftello(file_));
    uint8_t head[12];
    if (!ReadAt(file_, 0, head, sizeof head) || !LooksLikeAvi(head, sizeof head))
        return fail("not an AVI file");
    uint8_t list[12];
    if (!ReadAt(file_, 12, list, sizeof list) || !Tag(list, "LIST") || !Tag(list + 8, "hdrl"))
        return fail("no AVI header list");
    const uint32_t hdrl_bytes = zyn::wire::LoadLe32(list + 4);
    if (hdrl_bytes < 4 || hdrl_bytes > kHeaderLimitBytes || 20 + uint64_t{hdrl_bytes} > size_)
        return fail("AVI header list of a bad size");
    hdrl_.resize(hdrl_bytes - 4);
    if (!ReadAt(file_, 24, hdrl_.data(), hdrl_.size())) return fail("AVI header cut short");
    // Other chunks ("JUNK") may stand between the header list and "movi".
    uint64_t at = 20 + uint64_t{hdrl_bytes} + (hdrl_bytes & 1);
    while (at + 12 <= size_ && ReadAt(file_, at, list, sizeof list)) {
        if (Tag(list, "LIST") && Tag(list + 8, "movi")) {
            movi_list_ = at;
            end_ = at + 12;
            return true;
        }
        const uint32_t n = zyn::wire::LoadLe32(list + 4);
        at += 8 + uint64_t{n} + (n & 1);
    }
    return fail("no movi list");
}

bool AviChunkReader::Next(AviChunk* chunk) {
    uint8_t head[8];
    while (end_ + 8 <= size_ && ReadAt(file_, end_, head, sizeof head)) {
        const uint32_t n = zyn::wire::LoadLe32(head + 4);
        const uint64_t next = end_ + 8 + n + (n & 1);
        // Cut off by the end of the file (a missing last pad byte is no loss).
        if (next > size_ + (n & 1)) return false;
        AviChunk c;
        std::memcpy(c.tag, head, 4);
        c.offset = end_;
        c.length = n;
        if (!c.video() && !c.audio() && !Tag(head, "JUNK")) return false;
        end_ = next > size_ ? size_ : next;
        if (Tag(head, "JUNK")) continue;
        *chunk = c;
        return true;
    }
    return false;
}

AviHeader ParseAviHeader(const std::vector<uint8_t>& hdrl) {
    using zyn::wire::LoadLe16;
    using zyn::wire::LoadLe32;
    AviHeader h;
    const uint8_t* p = hdrl.data();
    const std::size_t n = hdrl.size();
    // "avih" (56 bytes), then one "LIST" "strl" per stream: "strh", "strf", ...
    for (std::size_t at = 0; at + 8 <= n;) {
        const uint32_t bytes = LoadLe32(p + at + 4);
        if (bytes > n - at - 8) break;
        const uint8_t* data = p + at + 8;
        if (Tag(p + at, "avih") && bytes >= 40) {
            h.microseconds_per_frame = LoadLe32(data);
            h.width = LoadLe32(data + 32);
            h.height = LoadLe32(data + 36);
        } else if (Tag(p + at, "LIST") && bytes >= 4 && Tag(data, "strl")) {
            AviStream s;
            for (std::size_t in = 4; in + 8 <= bytes;) {
                const uint32_t m = LoadLe32(data + in + 4);
                if (m > bytes - in - 8) break;
                const uint8_t* d = data + in + 8;
                if (Tag(data + in, "strh") && m >= 4) {
                    s.video = Tag(d, "vids");
                    s.audio = Tag(d, "auds");
                } else if (Tag(data + in, "strf") && s.video && m >= 12 && h.width == 0) {
                    h.width = LoadLe32(d + 4);
                    h.height = LoadLe32(d + 8);
                } else if (Tag(data + in, "strf") && s.audio && m >= 16) {
                    s.format_tag = LoadLe16(d);
                    s.channels = LoadLe16(d + 2);
                    s.sample_rate = LoadLe32(d + 4);
                    s.bits_per_sample = LoadLe16(d + 14);
                }
                in += 8 + uint64_t{m} + (m & 1);
            }
            h.streams.push_back(s);
        }
        at += 8 + uint64_t{bytes} + (bytes & 1);
    }
    return h;
}

int AviStreamNumber(const char (&tag)[4]) {
    const auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : -1; };
    const int hi = digit(tag[0]);
    const int lo = digit(tag[1]);
    return hi < 0 || lo < 0 ? -1 : hi * 10 + lo;
}

bool AviChunkReader::ReadData(const AviChunk& chunk, uint8_t* out) {
    return ReadAt(file_, chunk.offset + 8, out, chunk.length);
}

}  // namespace mediafile
