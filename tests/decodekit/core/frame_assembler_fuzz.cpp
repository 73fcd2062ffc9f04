// Fuzz entry for the live frame assembler. The input is cut into fragments
// (two bytes give each message's size); every completed frame must be exactly
// the data collected since its index 0, in order, within the buffer. Built
// as a libFuzzer target with clang (-DZYNVS_FUZZ=ON) and always as a bounded
// standalone run in the suite.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "decodekit/core/frame_assembler.h"
#include "zynvs/wire/layouts.h"

namespace {
namespace wire = zyn::wire;
constexpr std::size_t kCapacity = 4096;

void Check(bool ok) {
    if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (auto layout : {zyn::FrameAssembler::Layout::kRecord, zyn::FrameAssembler::Layout::kBare}) {
        const std::size_t head =
            layout == zyn::FrameAssembler::Layout::kRecord ? wire::kFrameRecordHeaderBytes : 0;
        std::atomic<uint64_t> dropped{0};
        zyn::FrameAssembler a(kCapacity, layout, &dropped);
        // Model: the data since the last index 0, and whether it is still a frame.
        std::vector<uint8_t> model;
        bool model_open = false;
        std::size_t at = 0;
        while (at + 2 <= size) {
            const std::size_t want = (data[at] | (data[at + 1] << 8)) % 1200;
            at += 2;
            const std::size_t n = std::min(want, size - at);
            // Each message in an exactly sized block, so overreads are caught.
            auto* message = static_cast<uint8_t*>(std::malloc(n ? n : 1));
            if (n) std::memcpy(message, data + at, n);
            at += n;
            const auto r = a.Add(message, n);
            if (n < wire::kFragmentHeaderBytes) {
                Check(r == zyn::FrameAssembler::Result::kIgnored);
            } else {
                const wire::FragmentHeader h(message);
                const std::size_t len =
                    std::min<std::size_t>(h.fragment_length(), n - wire::kFragmentHeaderBytes);
                if (h.fragment_index() == 0) {
                    model.clear();
                    model_open = true;
                }
                if (model_open) model.insert(model.end(), message + 24, message + 24 + len);
                if (r == zyn::FrameAssembler::Result::kComplete) {
                    Check(model_open && a.frame_bytes() == head + model.size());
                    Check(a.frame_bytes() <= kCapacity && a.data_bytes() == model.size());
                    Check(model.empty() ||
                          std::memcmp(a.frame() + head, model.data(), model.size()) == 0);
                    model_open = false;
                } else if (r == zyn::FrameAssembler::Result::kDropped ||
                           r == zyn::FrameAssembler::Result::kIgnored) {
                    if (r == zyn::FrameAssembler::Result::kIgnored) Check(!a.open());
                    model_open = false;
                }
            }
            std::free(message);
        }
    }
    return 0;
}

#ifndef ZYNVS_LIBFUZZER
// Standalone: streams of well-formed fragments of random frames, then mutated
// (bit flips, dropped or repeated fragments, lying lengths).
int main(int argc, char** argv) {
    const long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
    std::mt19937 rng(20240611u);
    std::vector<uint8_t> input;
    for (long run = 0; run < runs; ++run) {
        input.clear();
        const int frames = static_cast<int>(rng() % 4) + 1;
        for (int f = 0; f < frames; ++f) {
            const uint32_t total = rng() % 5000;
            const uint32_t piece = rng() % 900 + 1;
            uint32_t sent = 0;
            for (uint8_t index = 0; sent < total || index == 0; ++index) {
                const uint32_t n = std::min(piece, total - sent);
                uint8_t header[wire::kFragmentHeaderBytes] = {};
                const wire::MutableFragmentHeader h(header);
                h.set_fragment_index(index);
                h.set_total_length(total);
                h.set_fragment_length(static_cast<uint16_t>(rng() % 16 == 0 ? rng() : n));
                const uint32_t size = wire::kFragmentHeaderBytes + n;
                input.push_back(static_cast<uint8_t>(size));
                input.push_back(static_cast<uint8_t>(size >> 8));
                input.insert(input.end(), header, header + sizeof header);
                for (uint32_t i = 0; i < n; ++i) input.push_back(static_cast<uint8_t>(rng()));
                sent += n;
                if (n == 0) break;
            }
        }
        for (uint32_t k = rng() % 4; k > 0 && !input.empty(); --k)
            input[rng() % input.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    return 0;
}
#endif
