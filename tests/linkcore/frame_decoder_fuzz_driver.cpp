// Bounded fuzz run of the framing code for every test run: random streams
// of valid messages, then mutated (bit flips, cuts, inserted bytes, broken
// sync), fed through the fuzz entry. Usage: driver [iterations] [seed]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "frame_decoder_fuzz.h"
#include "linkcore/frame_decoder.h"

int main(int argc, char** argv) {
    const long iterations = argc > 1 ? std::atol(argv[1]) : 200000;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 20240611u;
    std::mt19937 rng(seed);
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    std::vector<uint8_t> input;
    for (long it = 0; it < iterations; ++it) {
        input.clear();
        input.push_back(static_cast<uint8_t>(rng()));
        input.push_back(static_cast<uint8_t>(pick(8) == 0 ? 0x80 | rng() : rng() & 0x7F));
        const uint32_t count = pick(6);
        for (uint32_t m = 0; m < count; ++m) {
            uint8_t header[linkcore::kHeaderBytes];
            // Mostly small payloads, now and then a larger one, rarely the largest.
            const uint32_t size_class = pick(1000);
            const uint16_t len = static_cast<uint16_t>(
                size_class < 2 ? 65535 - pick(3) : size_class < 100 ? pick(2048) : pick(64));
            linkcore::EncodeHeader(header, static_cast<uint16_t>(rng()), static_cast<uint16_t>(rng()), len);
            input.insert(input.end(), header, header + sizeof(header));
            for (uint16_t i = 0; i < len; ++i) input.push_back(static_cast<uint8_t>(rng()));
        }
        const uint32_t mutations = pick(4);
        for (uint32_t k = 0; k < mutations && input.size() > 2; ++k) {
            const std::size_t at = 2 + pick(static_cast<uint32_t>(input.size() - 2));
            switch (pick(4)) {
                case 0: input[at] ^= static_cast<uint8_t>(1u << pick(8)); break;
                case 1: input.resize(at); break;
                case 2: input.insert(input.begin() + static_cast<long>(at), static_cast<uint8_t>(rng())); break;
                default: input[at] = linkcore::kSync; break;
            }
        }
        FuzzFrameDecoder(input.data(), input.size());
    }
    std::printf("frame decoder fuzz: %ld inputs, seed %u: no difference\n", iterations, seed);
    return 0;
}
