// The fence between one Linkcore object and its host callback.
//
// Every object owns one gate. Its I/O handlers deliver through a GateBatch:
// entering a batch waits while another thread is inside a batch of the same
// object, so the object's callbacks never overlap. Close() ends the current
// epoch: handlers of the old epoch stop delivering, and Close waits for a
// batch running on another thread to finish (never for the calling thread's
// own batch, so Close from inside the callback returns at once). After Close
// returns, no callback of the old epoch runs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "linkcore/linkcore.h"

namespace linkcore::detail {

class CallbackGate {
public:
    explicit CallbackGate(int link_kind) : link_kind_(link_kind) {}
    CallbackGate(const CallbackGate&) = delete;
    CallbackGate& operator=(const CallbackGate&) = delete;

    void Register(int id, LinkCallback callback, void* user);

    uint64_t epoch() const { return epoch_.load(std::memory_order_acquire); }
    bool Current(uint64_t epoch) const { return this->epoch() == epoch; }

    // Ends the current epoch and waits until no batch runs on another thread.
    // Returns the new epoch.
    uint64_t EndEpoch();
    // Waits until no batch runs on another thread (the epoch stays).
    void WaitIdle();

private:
    friend class GateBatch;
    struct Target {
        LinkCallback callback = nullptr;
        void* user = nullptr;
        int id = 0;
    };
    bool Enter(uint64_t epoch, Target* target);
    void Leave();
    void WaitIdleLocked(std::unique_lock<std::mutex>& lock);

    const int link_kind_;
    std::mutex mutex_;
    std::condition_variable idle_;
    std::atomic<uint64_t> epoch_{1};  // written under mutex_, read anywhere
    Target target_;                   // mutex_
    std::thread::id runner_;          // mutex_: thread inside a batch, or none
    int depth_ = 0;                   // mutex_: nested batches of runner_
    uint64_t batch_seq_ = 0;          // mutex_: counts top-level batches
};

// One run of deliveries by an I/O handler. Test with operator bool: false if
// the epoch had already ended (nothing may be delivered then).
class GateBatch {
public:
    GateBatch(CallbackGate& gate, uint64_t epoch) : gate_(gate), epoch_(epoch) {
        entered_ = gate_.Enter(epoch_, &target_);
    }
    ~GateBatch() {
        if (entered_) gate_.Leave();
    }
    GateBatch(const GateBatch&) = delete;
    GateBatch& operator=(const GateBatch&) = delete;

    explicit operator bool() const { return entered_; }
    // Whether the epoch is still current (Close not called yet).
    bool live() const { return entered_ && gate_.Current(epoch_); }
    // The id given to RegisterCallback (clients pass it as the second argument).
    int registered_id() const { return target_.id; }

    // Runs the host callback unless the epoch has ended. Returns live()
    // afterwards, so a caller stops as soon as the callback closed the object.
    bool Deliver(int id, uint16_t command, uint16_t second_word, const uint8_t* payload,
                 uint16_t length);

private:
    CallbackGate& gate_;
    const uint64_t epoch_;
    CallbackGate::Target target_;
    bool entered_ = false;
};

}  // namespace linkcore::detail
