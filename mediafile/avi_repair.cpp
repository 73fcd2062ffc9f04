#include "mediafile/avi_repair.h"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "mediafile/avi_reader.h"
#include "mediafile/riff_writer.h"
#include "zynvs/wire/byte_order.h"

namespace mediafile {
namespace {

using zyn::wire::LoadLe32;
using zyn::wire::StoreLe32;

constexpr uint32_t kAvihHasIndex = 0x10;
constexpr std::size_t kKeyProbeBytes = 4096;  // where a key frame's NAL units are looked for

bool Tag(const uint8_t* p, const char* tag) {
    return std::memcmp(p, tag, 4) == 0;
}

struct File {
    std::FILE* f = nullptr;
    ~File() {
        if (f) std::fclose(f);
    }
};

bool WriteAt(std::FILE* f, uint64_t at, const void* data, std::size_t n) {
    return fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0 && std::fwrite(data, 1, n, f) == n;
}

AviRepairReport Fail(AviRepairReport r, const std::string& why) {
    r.ok = false;
    r.error = why;
    return r;
}

}  // namespace

bool H264HasKeyFrame(const uint8_t* data, std::size_t length) {
    for (std::size_t i = 0; i + 3 < length; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            const int type = data[i + 3] & 0x1F;
            if (type == 5 || type == 7) return true;
            i += 2;
        }
    }
    return false;
}

AviRepairReport RepairAvi(const std::string& path) {
    AviRepairReport r;
    File file;
    file.f = std::fopen(path.c_str(), "r+b");
    if (file.f == nullptr) return Fail(r, std::strerror(errno));
    std::FILE* f = file.f;
    AviChunkReader reader;
    std::string error;
    if (!reader.Open(f, &error)) return Fail(r, error);
    const uint64_t size = reader.file_size();
    const uint64_t movi_list = reader.movi_list();
    std::vector<uint8_t>& hdrl = reader.header_list();

    // The sample chunks up to the last whole one, and their index.
    RiffBytes index;
    std::vector<uint8_t> probe(kKeyProbeBytes);
    AviChunk chunk;
    while (reader.Next(&chunk)) {
        uint32_t flags = kAviKeyFrameFlag;
        if (chunk.video()) {
            const std::size_t look = chunk.length < probe.size() ? chunk.length : probe.size();
            AviChunk head = chunk;
            head.length = static_cast<uint32_t>(look);
            if (!reader.ReadData(head, probe.data()) || !H264HasKeyFrame(probe.data(), look))
                flags = 0;
            ++r.video_chunks;
        } else {
            ++r.audio_chunks;
        }
        index.Raw(chunk.tag, 4);
        index.U32(flags);
        index.U32(static_cast<uint32_t>(chunk.offset));
        index.U32(chunk.length);
    }
    const uint64_t end = reader.end();
    if (end > 0xFFFFFFFFull - 8 - index.size()) return Fail(r, "too large for an AVI index");

    // Cut what follows the last whole chunk, then append the index.
    std::fflush(f);
    if (ftruncate(fileno(f), static_cast<off_t>(end)) != 0) return Fail(r, std::strerror(errno));
    r.cut_bytes = size > end ? size - end : 0;
    uint8_t idx_head[8];
    std::memcpy(idx_head, "idx1", 4);
    StoreLe32(idx_head + 4, static_cast<uint32_t>(index.size()));
    if (!WriteAt(f, end, idx_head, sizeof idx_head) ||
        (index.size() > 0 && std::fwrite(index.data(), 1, index.size(), f) != index.size()))
        return Fail(r, std::strerror(errno ? errno : EIO));
    const uint64_t file_size = end + sizeof idx_head + index.size();

    // Sizes and counts: RIFF, movi, avih (flags, total frames), each strh's length.
    uint8_t v[4];
    StoreLe32(v, static_cast<uint32_t>(file_size - 8));
    bool ok = WriteAt(f, 4, v, 4);
    StoreLe32(v, static_cast<uint32_t>(end - movi_list - 8));
    ok = ok && WriteAt(f, movi_list + 4, v, 4);
    // hdrl holds "avih" (8 + 56) and then "strl" lists.
    if (hdrl.size() >= 8 + 56 && Tag(hdrl.data(), "avih")) {
        StoreLe32(hdrl.data() + 8 + 12, LoadLe32(hdrl.data() + 8 + 12) | kAvihHasIndex);
        StoreLe32(hdrl.data() + 8 + 16, r.video_chunks);
    }
    for (std::size_t p = 0; p + 12 + 8 + 48 <= hdrl.size();) {
        const uint32_t n = LoadLe32(hdrl.data() + p + 4);
        if (Tag(hdrl.data() + p, "LIST") && Tag(hdrl.data() + p + 8, "strl") &&
            Tag(hdrl.data() + p + 12, "strh")) {
            uint8_t* strh = hdrl.data() + p + 20;
            uint32_t length = 0;
            if (Tag(strh, "vids")) {
                length = r.video_chunks;
            } else if (Tag(strh, "auds")) {
                // Audio counts samples of the stream's sample size; chunks of
                // whole blocks are added up from the index.
                const uint32_t sample = LoadLe32(strh + 44);
                uint64_t bytes = 0;
                for (std::size_t e = 0; e + 16 <= index.size(); e += 16) {
                    if (index.data()[e + 2] == 'w') bytes += LoadLe32(index.data() + e + 12);
                }
                length = static_cast<uint32_t>(sample ? bytes / sample : r.audio_chunks);
            }
            StoreLe32(strh + 32, length);
        }
        p += 8 + uint64_t{n} + (n & 1);
    }
    ok = ok && WriteAt(f, 24, hdrl.data(), hdrl.size());
    ok = std::fflush(f) == 0 && ok;
    if (!ok) return Fail(r, std::strerror(errno ? errno : EIO));
    r.file_bytes = file_size;
    r.ok = true;
    return r;
}

}  // namespace mediafile
