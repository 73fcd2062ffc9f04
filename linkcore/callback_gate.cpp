#include "linkcore/callback_gate.h"

namespace linkcore::detail {

void CallbackGate::Register(int id, LinkCallback callback, void* user) {
    std::lock_guard<std::mutex> lock(mutex_);
    target_.callback = callback;
    target_.user = user;
    target_.id = id;
}

bool CallbackGate::Enter(uint64_t epoch, Target* target) {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(mutex_);
    if (depth_ > 0 && runner_ == self) {
        // Nested on the thread that already delivers (a handler finishing a
        // connection from inside its own read batch).
        if (!Current(epoch)) return false;
        ++depth_;
        *target = target_;
        return true;
    }
    idle_.wait(lock, [&] { return depth_ == 0 || !Current(epoch); });
    if (!Current(epoch)) return false;
    runner_ = self;
    depth_ = 1;
    ++batch_seq_;
    *target = target_;
    return true;
}

void CallbackGate::Leave() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--depth_ == 0) {
        runner_ = std::thread::id();
        idle_.notify_all();
    }
}

void CallbackGate::WaitIdleLocked(std::unique_lock<std::mutex>& lock) {
    const std::thread::id self = std::this_thread::get_id();
    // A Close from inside the callback must not wait for itself.
    if (depth_ == 0 || runner_ == self) return;
    // Wait only for the batch running now; a later one belongs to a newer
    // epoch or started after the caller's change was made.
    const uint64_t running = batch_seq_;
    idle_.wait(lock, [&] { return depth_ == 0 || batch_seq_ != running; });
}

uint64_t CallbackGate::EndEpoch() {
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t next = epoch_.load(std::memory_order_relaxed) + 1;
    epoch_.store(next, std::memory_order_release);
    // Handlers of the old epoch waiting in Enter give up now.
    idle_.notify_all();
    WaitIdleLocked(lock);
    return next;
}

void CallbackGate::WaitIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitIdleLocked(lock);
}

bool GateBatch::Deliver(int id, uint16_t command, uint16_t second_word, const uint8_t* payload,
                        uint16_t length) {
    if (!live()) return false;
    if (target_.callback != nullptr) {
        try {
            target_.callback(gate_.link_kind_, id, command, second_word, payload, length,
                             target_.user);
        } catch (...) {
            // A host exception must not unwind through the I/O thread.
        }
    }
    return live();
}

}  // namespace linkcore::detail
