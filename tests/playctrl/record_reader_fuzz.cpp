// Fuzz entry for the recording readers (native and AVI, as a file port opens
// them): header, time index, record reading, the step-back scan and frame
// reassembly. Built as a libFuzzer target with
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
    OpenedRecording opened = OpenRecording(f, RecordBuffer());
    if (!opened.reader) std::abort();
    if (opened.format == RecordingFormat::kNative && opened.records_start != start) std::abort();
    start = opened.records_start;
    MediaReader& reader = *opened.reader;
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
            Port().Reassemble(info.header, info.payload, static_cast<uint32_t>(info.length),
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
namespace {
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutTag(std::vector<uint8_t>& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(tag[i]));
}

// A RIFF AVI with header lists and "movi" chunks whose sizes are mostly
// right and sometimes anything.
std::vector<uint8_t> AviShaped(std::mt19937& rng) {
    auto size = [&](uint32_t right) { return rng() % 8 ? right : static_cast<uint32_t>(rng()); };
    std::vector<uint8_t> strl;
    PutTag(strl, "strl");
    PutTag(strl, "strh");
    Put32(strl, size(56));
    PutTag(strl, rng() % 2 ? "auds" : "vids");
    for (int k = 0; k < 52; ++k) strl.push_back(static_cast<uint8_t>(rng() % 4 ? 0 : rng()));
    PutTag(strl, "strf");
    Put32(strl, size(18));
    const uint8_t wave[18] = {7, 0, 1, 0, 0x40, 0x1F, 0, 0, 0, 0, 0, 0, 1, 0, 8, 0, 0, 0};
    strl.insert(strl.end(), wave, wave + 18);
    std::vector<uint8_t> hdrl;
    PutTag(hdrl, "hdrl");
    PutTag(hdrl, "avih");
    Put32(hdrl, size(56));
    for (int k = 0; k < 56; ++k) hdrl.push_back(static_cast<uint8_t>(rng() % 4 ? 0 : rng()));
    for (int s = 0; s < 2; ++s) {
        PutTag(hdrl, "LIST");
        Put32(hdrl, size(static_cast<uint32_t>(strl.size())));
        hdrl.insert(hdrl.end(), strl.begin(), strl.end());
    }
    std::vector<uint8_t> b;
    PutTag(b, "RIFF");
    Put32(b, 0xFFFFFFFFu);
    PutTag(b, "AVI ");
    PutTag(b, "LIST");
    Put32(b, size(static_cast<uint32_t>(hdrl.size())));
    b.insert(b.end(), hdrl.begin(), hdrl.end());
    PutTag(b, "LIST");
    Put32(b, 0xFFFFFFFFu);
    PutTag(b, "movi");
    const char* tags[] = {"00dc", "01wb", "00db", "JUNK", "02wb", "idx1"};
    const int chunks = static_cast<int>(rng() % 10);
    for (int c = 0; c < chunks; ++c) {
        PutTag(b, tags[rng() % 6]);
        const uint32_t n = rng() % 300;
        Put32(b, size(n));
        for (uint32_t k = 0; k < n; ++k) b.push_back(static_cast<uint8_t>(rng()));
        if (n & 1) b.push_back(0);
    }
    return b;
}
}  // namespace

// Standalone: random, record-shaped and AVI-shaped inputs, each in an exactly
// sized heap block so that overreads are caught by sanitizers.
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
        if (rng() % 3 == 0) buf = AviShaped(rng);
        buf.resize(rng() % (buf.size() + 1));  // cut anywhere
        auto* exact = static_cast<uint8_t*>(std::malloc(buf.size() ? buf.size() : 1));
        if (!buf.empty()) std::memcpy(exact, buf.data(), buf.size());
        LLVMFuzzerTestOneInput(exact, buf.size());
        std::free(exact);
    }
    return 0;
}
#endif
