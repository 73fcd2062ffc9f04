// A host callback that library threads call and host threads replace; every
// callback of the SDK and of the player sits in one.
//
// The guarantee: when Set() returns, no call of the callback it replaced is
// running and none will start, so the host may free the old user data at once.
// Set() on a thread that is itself inside a call through this slot returns
// at once instead: it cannot wait for its own call (and then does not wait
// for calls on other threads either). No lock is held while the callback
// runs.
//
// A caller takes a Hold (a copy of callback, user value and channel); while
// the Hold lives, a Set() on another thread waits for it. Calls through a
// slot may come from several threads at once.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace renderkit {

template <typename Fn>
class CallbackSlot {
    struct Holder {
        std::thread::id thread;  // the thread that took the Hold
        uint64_t generation = 0;
    };

public:
    class Hold {
    public:
        Hold() = default;
        Hold(Hold&& o) noexcept
            : fn(o.fn),
              user(o.user),
              channel(o.channel),
              slot_(std::exchange(o.slot_, nullptr)),
              holder_(o.holder_) {}
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        Hold& operator=(Hold&&) = delete;
        ~Hold() {
            if (slot_ != nullptr) slot_->Release(holder_);
        }

        Fn fn = nullptr;  // null: no callback set
        void* user = nullptr;
        int channel = 0;

    private:
        friend class CallbackSlot;
        CallbackSlot* slot_ = nullptr;
        Holder holder_;
    };

    CallbackSlot() = default;
    CallbackSlot(const CallbackSlot&) = delete;
    CallbackSlot& operator=(const CallbackSlot&) = delete;

    void Set(Fn fn, void* user, int channel = 0) {
        const std::thread::id self = std::this_thread::get_id();
        std::unique_lock lock(mutex_);
        fn_ = fn;
        user_ = user;
        channel_ = channel;
        const uint64_t replaced_before = ++generation_;
        const auto by_self = [&](const Holder& h) { return h.thread == self; };
        if (std::any_of(holders_.begin(), holders_.end(), by_self)) return;
        done_.wait(lock, [&] {
            return std::none_of(holders_.begin(), holders_.end(),
                                [&](const Holder& h) { return h.generation < replaced_before; });
        });
    }

    bool is_set() const {
        std::lock_guard lock(mutex_);
        return fn_ != nullptr;
    }

    // The current callback for one call (fn null when none is set; such a
    // Hold holds nothing).
    Hold Take() {
        Hold h;
        std::lock_guard lock(mutex_);
        if (fn_ == nullptr) return h;
        h.fn = fn_;
        h.user = user_;
        h.channel = channel_;
        h.slot_ = this;
        h.holder_ = {std::this_thread::get_id(), generation_};
        holders_.push_back(h.holder_);
        return h;
    }

    // Calls call(fn, user, channel) when a callback is set. Returns whether it did.
    template <typename Call>
    bool Invoke(Call&& call) {
        Hold h = Take();
        if (h.fn == nullptr) return false;
        call(h.fn, h.user, h.channel);
        return true;
    }

private:
    void Release(const Holder& holder) {
        {
            std::lock_guard lock(mutex_);
            auto it = std::find_if(holders_.begin(), holders_.end(), [&](const Holder& h) {
                return h.thread == holder.thread && h.generation == holder.generation;
            });
            if (it != holders_.end()) holders_.erase(it);
        }
        done_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable done_;
    // -- guarded by mutex_
    Fn fn_ = nullptr;
    void* user_ = nullptr;
    int channel_ = 0;
    uint64_t generation_ = 0;
    std::vector<Holder> holders_;  // one entry per live Hold
};

}  // namespace renderkit
