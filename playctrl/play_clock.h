// The clock that paces file playback. Each port has one; tests give a port a
// fake clock so that pacing is checked without real waiting.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace playctrl {

class PlayClock {
public:
    virtual ~PlayClock() = default;
    // Milliseconds on a monotonic scale (the tick count of the pacing rules).
    virtual int64_t now_ms() = 0;
    // Returns when now_ms() >= t_ms, or earlier after Wake().
    virtual void sleep_until(int64_t t_ms) = 0;
    // Ends a sleep in progress (or the next one) early; used when playback
    // stops. May be called from any thread.
    virtual void Wake() {}
};

// The real clock: std::chrono::steady_clock. Thread-safe.
class SteadyPlayClock final : public PlayClock {
public:
    int64_t now_ms() override;
    void sleep_until(int64_t t_ms) override;
    void Wake() override;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool woken_ = false;  // guarded by mutex_; consumed by the next sleep
};

}  // namespace playctrl
