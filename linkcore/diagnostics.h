// Process-wide counters of events that Linkcore handles without telling the
// caller through a result (tests and benchmarks read them).
#pragma once

#include <atomic>
#include <cstdint>

namespace linkcore {

struct Counters {
    std::atomic<uint64_t> sync_losses{0};           // streams closed for a bad header
    std::atomic<uint64_t> send_timeouts{0};         // client sends given up on a stalled peer
    std::atomic<uint64_t> send_queue_overflows{0};  // server sends refused: queue full
    std::atomic<uint64_t> datagrams_dropped{0};     // malformed or unwanted datagrams
};

Counters& GetCounters();

}  // namespace linkcore
