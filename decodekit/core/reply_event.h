// An auto-reset event: Set wakes one Wait (or the next one), Wait consumes it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace zyn {
class ReplyEvent {
public:
    void Set() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            signalled_ = true;
        }
        cv_.notify_one();
    }
    void Reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = false;
    }
    // True when the event was set within timeout_ms; the event is then reset.
    bool Wait(unsigned timeout_ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        bool got = cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                [this] { return signalled_; });
        signalled_ = false;
        return got;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;  // guarded by mutex_
};
}  // namespace zyn
