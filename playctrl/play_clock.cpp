#include "playctrl/play_clock.h"

#include <chrono>

namespace playctrl {

int64_t SteadyPlayClock::now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SteadyPlayClock::sleep_until(int64_t t_ms) {
    using namespace std::chrono;
    const steady_clock::time_point deadline{milliseconds(t_ms)};
    std::unique_lock lock(mutex_);
    cv_.wait_until(lock, deadline, [&] { return woken_; });
    woken_ = false;
}

void SteadyPlayClock::Wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    cv_.notify_all();
}

}  // namespace playctrl
