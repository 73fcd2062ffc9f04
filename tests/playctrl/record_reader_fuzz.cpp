// Fuzz entry for the recording reader: header, time index, record reading,
// the step-back scan and frame reassembly. Built as a libFuzzer target with
// clang (-DZYNVS_FUZZ=ON) and always as a bounded standalone run in the suite.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "playctrl/image_draw.h"

using namespace playctrl;
using namespace mediafile;

namespace {
uint8_t* RecordBuffer() {
    static std::unique_ptr<uint8_t[]> buffer(new uint8_t[kFrameBufferBytes]);
    return buffer.get();
}
CImageDraw& Port() {
    // Never started: frames handed on are refused by its video object.
    static CImageDraw port(CImageDraw::Kind::kStream, 0, nullptr);
    return port;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::vector<uint8_t> copy(data, data + size);
    std::FILE* f = fmemopen(copy.data(), copy.size(), "rb");
    if (f == nullptr) return 0;
    const RecordingHeader header = ParseRecordingHeader(data, size);
    uint64_t start = 0;
    if (header.valid) {
        if (HeaderHasTimeIndex(header, size)) {
            const auto index =
                ReadTimeIndex(f, kRecordingHeaderBytes + uint64_t{header.index_position}, size);
            if (index.size() > kMaxIndexEntries) std::abort();
        }
        start = kRecordingHeaderBytes;
    }
    std::fseek(f, static_cast<long>(start), SEEK_SET);
    FileByteSource source(f);
    RecordReader reader(source, start, RecordBuffer());
    MediaRecord info;
    uint32_t last_number = 0;
    for (int records = 0; records < 100000; ++records) {
        const uint64_t before = reader.position();
        const RecordKind kind = reader.ReadRecord(&info, nullptr);
        if (reader.position() > size || reader.position() < before) std::abort();
        if (kind == RecordKind::kEnd) break;
        if (info.offset < before || info.offset + kPrefixBytes > reader.position()) std::abort();
        if (!info.complete) continue;
        if (info.length > size) std::abort();
        if (kind == RecordKind::kVideo) {
            if (info.length >= kFrameBufferBytes) std::abort();
            last_number = wire::FragmentHeader(info.header).frame_number();
            Port().Reassemble(info.header, reader.payload(), static_cast<uint32_t>(info.length),
                              last_number);
        }
    }
    // Frame starts learnt backwards from the middle: never past the query,
    // never outside the file.
    FrameIndex index(start);
    index.ReadingFrom(size / 2);
    const auto previous = index.Previous(size / 2 + 1, reader);
    if (previous && previous->offset > size / 2) std::abort();
    const auto key = index.KeyAtOrBefore(previous ? previous->offset : size / 2, reader);
    if (key && key->offset >= size) std::abort();
    std::fclose(f);
    return 0;
}

#ifndef ZYNVS_LIBFUZZER
// Standalone: random and record-shaped inputs, each in an exactly sized heap
// block so that overreads are caught by sanitizers.
int main(int argc, char** argv) {
    const long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
    std::mt19937 rng(4711);
    const char* prefixes[] = {"XCXBV", "XCXBA", "XCXB", "XCX", "ZYNIPCFH"};
    for (long i = 0; i < runs; ++i) {
        std::vector<uint8_t> buf;
        const int pieces = 1 + static_cast<int>(rng() % 12);
        if (rng() % 3 == 0) {
            buf.assign(512, 0);
            std::memcpy(buf.data(), "ZYNIPCFH", 8);
            for (int k = 160; k < 172; ++k) buf[k] = static_cast<uint8_t>(rng() % 4 ? 0 : rng());
        }
        for (int p = 0; p < pieces; ++p) {
            const char* pre = prefixes[rng() % 5];
            buf.insert(buf.end(), pre, pre + std::strlen(pre));
            buf.push_back(static_cast<uint8_t>(rng()));
            std::vector<uint8_t> head(24);
            for (auto& b : head) b = static_cast<uint8_t>(rng());
            head[5] = rng() % 2 ? 3 : head[5];
            head[7] = rng() % 2 ? 1 : head[7];
            const uint32_t len = rng() % 4 ? rng() % 200 : rng();
            std::memcpy(&head[12], &len, 4);
            head[22] = static_cast<uint8_t>(len);
            head[23] = static_cast<uint8_t>(len >> 8);
            buf.insert(buf.end(), head.begin(), head.end());
            const std::size_t body = rng() % 220;
            for (std::size_t k = 0; k < body; ++k) buf.push_back(static_cast<uint8_t>(rng()));
        }
        buf.resize(rng() % (buf.size() + 1));  // cut anywhere
        auto* exact = static_cast<uint8_t*>(std::malloc(buf.size() ? buf.size() : 1));
        if (!buf.empty()) std::memcpy(exact, buf.data(), buf.size());
        LLVMFuzzerTestOneInput(exact, buf.size());
        std::free(exact);
    }
    return 0;
}
#endif
