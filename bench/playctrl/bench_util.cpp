#include "bench/playctrl/bench_util.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace pc_bench {
namespace {
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
}  // namespace

std::string TempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/" + name;
}

SyntheticRecording WriteRecording(const std::string& path, int seconds, double bits_per_second) {
    SyntheticRecording r;
    r.path = path;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + path);
    uint8_t header[512] = {};
    std::memcpy(header, "ZYNIPCFH", 8);
    header[11] = 1;
    Put32(header + 160, 1700000000);
    Put32(header + 164, 1700000000 + static_cast<uint32_t>(seconds));
    std::fwrite(header, 1, sizeof header, f);
    // Per group of 25 frames: one key frame of 5 units, 24 others of 1 unit.
    const double bytes_per_group = bits_per_second / 8.0;
    const std::size_t unit = static_cast<std::size_t>(bytes_per_group / 29.0);
    std::vector<uint8_t> payload(unit * 5);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(0x10 + i % 0x40);
    uint8_t head[30];
    const uint32_t frames = static_cast<uint32_t>(seconds) * 25;
    for (uint32_t n = 0; n < frames; ++n) {
        const bool key = n % 25 == 0;
        const uint32_t len = static_cast<uint32_t>(key ? unit * 5 : unit);
        std::memset(head, 0, sizeof head);
        std::memcpy(head, "XCXBV", 5);
        head[6 + 4] = key ? 7 : 8;
        head[6 + 7] = 1;
        Put32(head + 6 + 8, n);
        Put32(head + 6 + 12, len);
        const uint32_t ms = n * 40;
        Put32(head + 6 + 16, 1700000000 + ms / 1000);
        head[6 + 20] = static_cast<uint8_t>(ms % 1000);
        head[6 + 21] = static_cast<uint8_t>((ms % 1000) >> 8);
        std::fwrite(head, 1, sizeof head, f);
        std::fwrite(payload.data(), 1, len, f);
        r.bytes += sizeof head + len;
    }
    r.bytes += sizeof header;
    r.frames = frames;
    if (std::fclose(f) != 0) throw std::runtime_error("write failed: " + path);
    return r;
}

void DropFromCache(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

uint64_t FreadAll(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::vector<uint8_t> buf(64 * 1024);
    uint64_t total = 0;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) total += n;
    std::fclose(f);
    return total;
}

}  // namespace pc_bench
