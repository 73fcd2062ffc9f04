// Fuzz entry for the search datagram handler. Built as a libFuzzer target with
// -DZYNVS_LIBFUZZER (clang), otherwise as a standalone driver that feeds a
// bounded number of random datagrams of every length from 0 to past the
// 1400-byte receive buffer, and some far longer ones.
#include "decodekit/platform/search_dvs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

using decodekit::kSearchPacketBytes;

namespace {

[[noreturn]] void fail(const char* what, std::size_t size) {
    std::fprintf(stderr, "search datagram handler: %s (datagram of %zu bytes)\n", what, size);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // An exact-size copy, so that a sanitizer sees any read past the datagram.
    std::unique_ptr<uint8_t[]> copy(size ? new uint8_t[size] : nullptr);
    if (size) std::memcpy(copy.get(), data, size);
    static CPacket packet;
    const auto d = decodekit::ParseSearchDatagram(copy.get(), size, packet);

    if (size < 2 || data[0] != 0x11 || data[1] != 0x11) {
        if (d.command != 0 || d.length != 65535 || d.payload) fail("bad sync not reported", size);
        return 0;
    }
    const std::size_t n = size >= 8 ? static_cast<std::size_t>(data[6] | (data[7] << 8)) : 0;
    if (size < 8 || n + 8 > size || n > kSearchPacketBytes) {
        if (d.command != 0 || d.length != 0 || d.payload) fail("short datagram not reported", size);
        return 0;
    }
    if (d.payload != packet.Buffer() || d.length != n ||
        d.command != static_cast<uint16_t>(data[2] | (data[3] << 8))) {
        fail("wrong result for a whole datagram", size);
    }
    if (n && std::memcmp(packet.Buffer(), data + 8, n) != 0) fail("payload not copied", size);
    return 0;
}

#ifndef ZYNVS_LIBFUZZER
int main(int argc, char** argv) {
    const long rounds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
    std::mt19937 rng(argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1u);
    std::vector<uint8_t> buf(70000);
    auto fill = [&](std::size_t len) {
        for (std::size_t i = 0; i < len; ++i) buf[i] = static_cast<uint8_t>(rng());
    };
    auto run = [&](std::size_t len, int shape) {
        fill(len);
        if (shape >= 1 && len >= 2) buf[0] = buf[1] = 0x11;
        if (shape >= 2 && len >= 8) {
            // Announced length just fitting, one too long, or far too long.
            const std::size_t body = len - 8;
            const std::size_t n = shape == 2 ? body : shape == 3 ? body + 1 : 65535;
            buf[6] = static_cast<uint8_t>(n);
            buf[7] = static_cast<uint8_t>(n >> 8);
        }
        LLVMFuzzerTestOneInput(buf.data(), len);
    };
    long done = 0;
    // Every length through the receive buffer and a little past it, every shape.
    for (std::size_t len = 0; len <= 1500 && done < rounds; ++len) {
        for (int shape = 0; shape < 5; ++shape, ++done) run(len, shape);
    }
    // Longer than the packet buffer: announced lengths up to 65535.
    for (std::size_t len : {4095u, 4096u, 4103u, 4104u, 4105u, 65542u, 65543u, 70000u}) {
        for (int shape = 0; shape < 5; ++shape, ++done) run(len, shape);
    }
    std::uniform_int_distribution<std::size_t> any_len(0, 1600);
    std::uniform_int_distribution<int> any_shape(0, 4);
    while (done < rounds) {
        run(any_len(rng), any_shape(rng));
        ++done;
    }
    std::printf("search datagram handler: %ld datagrams handled\n", done);
    return 0;
}
#endif
