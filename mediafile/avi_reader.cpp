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

bool AviChunkReader::ReadData(const AviChunk& chunk, uint8_t* out) {
    return ReadAt(file_, chunk.offset + 8, out, chunk.length);
}

}  // namespace mediafile
