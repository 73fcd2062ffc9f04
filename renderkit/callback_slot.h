// A host callback that one library thread calls and other threads replace.
// Set() returns only when no call of the previous callback is running (unless
// Set is called from inside such a call), so a host may free its user data
// right after unregistering. No lock is held while the callback runs.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace renderkit {

template <typename Fn>
class CallbackSlot {
public:
    void Set(Fn fn, void* user, int channel = 0) {
        std::unique_lock lock(mutex_);
        if (calling_ != 0 && caller_ != std::this_thread::get_id()) {
            done_.wait(lock, [&] { return calling_ == 0; });
        }
        fn_ = fn;
        user_ = user;
        channel_ = channel;
    }

    bool is_set() const {
        std::lock_guard lock(mutex_);
        return fn_ != nullptr;
    }

    // Calls call(fn, user, channel) when a callback is set. Returns whether it did.
    template <typename Call>
    bool Invoke(Call&& call) {
        Fn fn;
        void* user;
        int channel;
        {
            std::lock_guard lock(mutex_);
            if (fn_ == nullptr) return false;
            fn = fn_;
            user = user_;
            channel = channel_;
            ++calling_;
            caller_ = std::this_thread::get_id();
        }
        call(fn, user, channel);
        {
            std::lock_guard lock(mutex_);
            --calling_;
        }
        done_.notify_all();
        return true;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable done_;
    // -- guarded by mutex_
    Fn fn_ = nullptr;
    void* user_ = nullptr;
    int channel_ = 0;
    int calling_ = 0;
    std::thread::id caller_;
};

}  // namespace renderkit
