// Fuzz entry for CPacket::Parse. Built as a libFuzzer target with clang
// (-DZYNVS_FUZZ=ON) and always as a bounded standalone run in the suite.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "decodekit/platform/packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CPacket packet;
    uint16_t command = 0, second = 0, length = 0;
    const uint8_t* payload = packet.Parse(data, size, &command, &second, &length);
    if (payload) {
        if (8u + length > size) std::abort();
        if (std::memcmp(payload, data + 8, length) != 0) std::abort();
        std::size_t n = 0;
        const uint8_t* rebuilt = packet.Build(command, second, data + 8, length, &n);
        if (!rebuilt || n != 8u + length || std::memcmp(rebuilt + 2, data + 2, 6) != 0)
            std::abort();
    } else if (command != 0) {
        std::abort();
    }
    return 0;
}

#ifndef ZYNVS_LIBFUZZER
// Standalone: a bounded number of random and mutated inputs, each in an
// exactly sized heap block so that overreads are caught by sanitizers.
int main(int argc, char** argv) {
    const long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 200000;
    std::mt19937 rng(12345);
    for (long i = 0; i < runs; ++i) {
        std::size_t n = rng() % (i % 7 == 0 ? 5000 : 80);
        std::vector<uint8_t> buf(n);
        for (auto& b : buf) b = static_cast<uint8_t>(rng());
        if (n >= 8 && rng() % 2) {
            buf[0] = buf[1] = 0x11;
            uint16_t len = static_cast<uint16_t>(rng() % 3 == 0 ? n - 8 : rng() % (n + 4));
            buf[6] = static_cast<uint8_t>(len);
            buf[7] = static_cast<uint8_t>(len >> 8);
        }
        auto* exact = static_cast<uint8_t*>(std::malloc(n ? n : 1));
        if (n) std::memcpy(exact, buf.data(), n);
        LLVMFuzzerTestOneInput(exact, n);
        std::free(exact);
    }
    return 0;
}
#endif
