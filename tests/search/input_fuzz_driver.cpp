// Bounded fuzz run of the search tool's parsers for every test run: valid
// inputs of each kind, mutated (bit flips, cuts, inserted and repeated
// bytes). Usage: driver [iterations] [seed]
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "qvnet/hds_message.h"
#include "qvnet/qv_message.h"
#include "tests/search/input_fuzz.h"

int main(int argc, char** argv) {
    const long iterations = argc > 1 ? std::atol(argv[1]) : 100000;
    std::mt19937 rng(argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 20261208u);
    const std::string client(32, 'A');
    std::vector<std::string> seeds = {
        "HDS/1.0 200 OK\r\nCSeq:1\r\nClient-ID:" + client +
            "\r\nContent-Type:text/HDP\r\nContent-Length:60\r\n\r\nIP=127.0.0.20\r\nMAC=00:51:56:"
            "00:00:01\r\nDevice-ID=QV0123456789ABCDEFGHIJKLMNOPQRST\r\ncam-count=4\r\n",
        std::string(reinterpret_cast<const char*>(
                        qvnet::BuildRequest(1, "admin", "vupra", nullptr, 0).data()),
                    88),
        "DEVICE-NAME=cam DEVICE-MAC=00:12:61:00:00:01 DEVICE-IP=127.0.0.61 DEVICE-ID=JS1 "
        "DEVICE-CHANNELS=4 DEVICE-RTSPPORT=554 DEVICE-WEBPORT=80",
        std::string(480, 'N'),
        std::string(128, '\x7f'),
    };
    std::vector<uint8_t> input;
    for (long it = 0; it < iterations; ++it) {
        uint8_t kind = static_cast<uint8_t>(rng() % seeds.size());
        input.assign(1, kind);
        input.insert(input.end(), seeds[kind].begin(), seeds[kind].end());
        for (uint32_t k = rng() % 6; k > 0 && input.size() > 1; --k) {
            size_t at = 1 + rng() % (input.size() - 1);
            switch (rng() % 4) {
                case 0:
                    input[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
                    break;
                case 1:
                    input.resize(at);
                    break;
                case 2:
                    input.insert(input.begin() + static_cast<long>(at),
                                 static_cast<uint8_t>(rng()));
                    break;
                case 3:
                    input.insert(input.begin() + static_cast<long>(at), rng() % 200, input[at]);
                    break;
            }
        }
        SearchInputFuzz(input.data(), input.size());
    }
    return 0;
}
