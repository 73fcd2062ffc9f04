// CallbackSlot: replacing a callback waits for every running call of the old
// one (on any thread), and never for the caller's own call.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "renderkit/callback_slot.h"

namespace {

using Fn = void (*)(void* user);
using Slot = renderkit::CallbackSlot<Fn>;

// Calls of the old callback block until released.
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    int inside = 0;
    int released = 0;

    static void Old(void* user) {
        auto* g = static_cast<Gate*>(user);
        std::unique_lock lock(g->mutex);
        const int ticket = g->inside++;
        g->cv.notify_all();
        g->cv.wait(lock, [&] { return g->released > ticket; });
    }
    void Release() {
        std::lock_guard lock(mutex);
        ++released;
        cv.notify_all();
    }
    bool WaitInside(int n) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(5), [&] { return inside >= n; });
    }
};

void New(void* user) {
    static_cast<std::atomic<int>*>(user)->fetch_add(1);
}

bool Eventually(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

class CallbackSlotCallers : public ::testing::TestWithParam<int> {};

TEST_P(CallbackSlotCallers, SetReturnsOnlyAfterEveryRunningCallOfTheOldOne) {
    const int callers = GetParam();
    Slot slot;
    Gate gate;
    int new_calls = 0;
    slot.Set(&Gate::Old, &gate);
    std::vector<std::thread> threads;
    for (int i = 0; i < callers; ++i) {
        threads.emplace_back([&] { slot.Invoke([](Fn fn, void* user, int) { fn(user); }); });
    }
    ASSERT_TRUE(gate.WaitInside(callers));

    std::atomic<bool> set_returned{false};
    std::thread setter([&] {
        slot.Set(&New, &new_calls);
        set_returned = true;
    });
    // Once the new callback is handed out, Set has made the switch and must
    // now be waiting for the old calls (holders of the new one do not count).
    ASSERT_TRUE(Eventually([&] { return slot.Take().fn == &New; }));
    for (int i = 0; i < callers; ++i) {
        EXPECT_FALSE(set_returned.load())
            << "returned with " << callers - i << " old calls running";
        gate.Release();
    }
    setter.join();
    for (auto& t : threads) t.join();
    EXPECT_TRUE(set_returned.load());
    slot.Invoke([](Fn fn, void* user, int) { fn(user); });
    EXPECT_EQ(new_calls, 1);
    EXPECT_EQ(gate.inside, callers);  // nothing reached the old callback later
}

INSTANTIATE_TEST_SUITE_P(Threads, CallbackSlotCallers, ::testing::Values(1, 3));

TEST(CallbackSlot, SetFromInsideTheCallbackDoesNotWaitForItself) {
    Slot slot;
    struct Ctx {
        Slot* slot;
        int calls = 0;
    } ctx{&slot};
    slot.Set(
        [](void* user) {
            auto* c = static_cast<Ctx*>(user);
            ++c->calls;
            c->slot->Set(nullptr, nullptr);  // would deadlock if it waited for this call
        },
        &ctx);
    EXPECT_TRUE(slot.Invoke([](Fn fn, void* user, int) { fn(user); }));
    EXPECT_FALSE(slot.Invoke([](Fn fn, void* user, int) { fn(user); }));
    EXPECT_EQ(ctx.calls, 1);
}

}  // namespace
