// Fuzz entry for the recording reader and the frame assembler. Built as a
// libFuzzer target with clang (-DZYNVS_FUZZ=ON) and always as a bounded
// standalone run in the suite: random recordings (headers, video and audio
// records, fragments, time extensions, oversized lengths), then mutated (bit
// flips, cuts, inserted bytes and prefixes). Every input is read through
// sources that hand out bytes in odd-sized pieces and checked against a
// straightforward whole-buffer reference parse; any difference aborts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "playctrl/convert/convert_job.h"
#include "mediafile/frame_assembler.h"
#include "mediafile/record_reader.h"

namespace {

using namespace mediafile;

// Hands out at most `piece` bytes per call.
class PieceSource final : public ByteSource {
public:
    PieceSource(const uint8_t* data, std::size_t size, std::size_t piece)
        : data_(data), size_(size), piece_(piece ? piece : 1) {}
    std::size_t Read(uint8_t* dst, std::size_t bytes) override {
        const std::size_t n = std::min({bytes, piece_, size_ - at_});
        if (n) std::memcpy(dst, data_ + at_, n);
        at_ += n;
        return n;
    }
    bool Seek(uint64_t position) override {
        at_ = position < size_ ? position : size_;
        return true;
    }

private:
    const uint8_t* data_;
    std::size_t size_, piece_, at_ = 0;
};

struct RefRecord {
    std::size_t offset, payload_at, length;
    char kind;
};

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The layout read the simple way.
std::vector<RefRecord> ReferenceParse(const uint8_t* d, std::size_t n, std::size_t start) {
    std::vector<RefRecord> out;
    std::size_t pos = start;
    for (;;) {
        std::size_t i = pos;
        while (i + 4 <= n && std::memcmp(d + i, "XCXB", 4) != 0) ++i;
        if (i + 4 > n || i + 6 > n) return out;
        const char kind = static_cast<char>(d[i + 4]);
        pos = i + 6;
        if (kind != 'V' && kind != 'A') continue;
        if (pos + 24 > n) return out;
        const uint8_t* h = d + pos;
        pos += 24;
        std::size_t length = (kind == 'V' && h[7] == 1) ? Le32(h + 12) : (h[22] | (h[23] << 8));
        if (kind == 'V' && h[5] == 3) {
            if (pos + 8 > n) return out;
            pos += 8;
        }
        if (kind == 'V' && length >= kFrameBufferBytes) continue;
        if (pos + length > n) return out;
        out.push_back({i, pos, length, kind});
        pos += length;
    }
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "record reader fuzz: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const RecordingHeader header = ParseRecordingHeader(data, size);
    const std::size_t start = header.valid ? kRecordingHeaderBytes : 0;
    const std::vector<RefRecord> want = ReferenceParse(data, size, start);
    const std::size_t piece = size ? 1 + (data[size / 2] * 37u + size) % 4096 : 1;
    for (const std::size_t p : {piece, std::size_t{1} << 20}) {
        PieceSource source(data + start, size - start, p);
        RecordReader reader(source, start);
        FrameAssembler frames;
        std::vector<uint8_t> expect_frame;  // reference reassembly
        MediaRecord rec;
        std::size_t k = 0;
        while (reader.Next(&rec)) {
            Check(k < want.size(), "more records than the reference");
            const RefRecord& r = want[k++];
            Check(rec.offset == r.offset && rec.kind == r.kind && rec.length == r.length,
                  "record differs");
            Check(std::memcmp(rec.payload, data + r.payload_at, r.length) == 0, "payload differs");
            Check(std::memcmp(rec.header, data + r.offset + 6, kMediaHeaderBytes) == 0,
                  "header differs");
            Check(reader.bytes_read() == r.payload_at + r.length, "position differs");
            if (rec.kind != 'V') continue;
            const int index = rec.header[6], count = rec.header[7];
            if (index == 0) expect_frame.clear();
            if (expect_frame.size() + rec.length > kFrameBufferBytes) expect_frame.clear();
            expect_frame.insert(expect_frame.end(), rec.payload, rec.payload + rec.length);
            const bool complete = frames.Add(rec.header, rec.payload, rec.length);
            Check(complete == (count == index + 1), "completion differs");
            if (complete) {
                Check(frames.frame_bytes() == expect_frame.size() &&
                          (expect_frame.empty() || std::memcmp(frames.frame(), expect_frame.data(),
                                                               expect_frame.size()) == 0),
                      "frame differs");
                expect_frame.clear();
            }
        }
        Check(k == want.size(), "fewer records than the reference");
        Check(reader.bytes_read() == size, "did not read to the end");
    }
    return 0;
}

#ifndef ZYNVS_LIBFUZZER
namespace {

void PutLe(std::vector<uint8_t>& b, std::size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

int main(int argc, char** argv) {
    const long iterations = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
    const unsigned seed =
        argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 20240807u;
    std::mt19937 rng(seed);
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    std::vector<uint8_t> in;
    for (long it = 0; it < iterations; ++it) {
        in.clear();
        if (pick(3) != 0) {
            in.resize(kRecordingHeaderBytes, 0);
            std::memcpy(in.data(), "ZYNIPCFH", 8);
            in[11] = 1;
            if (pick(10) == 0) in[8] = 'X';  // magic without its zero byte
        }
        const uint32_t records = pick(12);
        for (uint32_t r = 0; r < records; ++r) {
            const bool video = pick(3) != 0;
            std::size_t length = pick(100) < 3 ? 60000 + pick(5000) : pick(300);
            std::vector<uint8_t> rec(30, 0);
            std::memcpy(rec.data(), video ? "XCXBV" : "XCXBA", 5);
            uint8_t* h = rec.data() + 6;
            h[4] = pick(2) ? 7 : 1;
            h[5] = video && pick(4) == 0 ? 3 : 0;
            h[6] = static_cast<uint8_t>(pick(4) == 0 ? pick(3) : 0);
            h[7] = static_cast<uint8_t>(pick(4) == 0 ? pick(4) : 1);
            uint32_t total = static_cast<uint32_t>(length);
            if (video && pick(40) == 0)
                total = static_cast<uint32_t>(kFrameBufferBytes) + pick(3) - 1;
            PutLe(rec, 6 + 12, total, 4);
            PutLe(rec, 6 + 22, static_cast<uint32_t>(length), 2);
            const bool single = h[7] == 1;  // h is not valid after the resize
            if (h[5] == 3) rec.resize(rec.size() + 8, 0x5A);
            const std::size_t body =
                (video && single) ? std::min<std::size_t>(total, 70000) : length;
            for (std::size_t i = 0; i < body; ++i) rec.push_back(static_cast<uint8_t>(rng()));
            in.insert(in.end(), rec.begin(), rec.end());
            if (pick(5) == 0) {
                const uint32_t junk = pick(8);
                for (uint32_t j = 0; j < junk; ++j) in.push_back("XCB\0V"[pick(5)]);
            }
        }
        const uint32_t mutations = pick(4);
        for (uint32_t m = 0; m < mutations && !in.empty(); ++m) {
            const std::size_t at = pick(static_cast<uint32_t>(in.size()));
            switch (pick(4)) {
                case 0:
                    in[at] ^= static_cast<uint8_t>(1u << pick(8));
                    break;
                case 1:
                    in.resize(at);
                    break;
                case 2:
                    in.insert(in.begin() + static_cast<long>(at), static_cast<uint8_t>(rng()));
                    break;
                default: {
                    static const char kPrefix[] = "XCXBV";
                    in.insert(in.begin() + static_cast<long>(at), kPrefix, kPrefix + 4 + pick(2));
                }
            }
        }
        // An exactly sized heap block, so that overreads show under sanitizers.
        std::vector<uint8_t> exact(in.begin(), in.end());
        LLVMFuzzerTestOneInput(exact.data(), exact.size());
    }
    std::printf("record reader fuzz: %ld inputs, seed %u: no difference\n", iterations, seed);
    return 0;
}
#endif
