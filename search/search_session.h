// One search of the main window: the adapters' callback queues records; the
// search thread asks every adapter to search, then turns queued records into
// rows (dropping a record whose identity text a row already has) until it is
// stopped. The thread waits on the queue; it never spins.
//
// Threads: Callback may run on any thread. Start and Stop come from one
// owner thread. The row function runs on the search thread and must only
// hand the row on (the window posts it to its own thread).
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "search/av_library.h"

namespace zynsearch {

class SearchSession {
public:
    using RowFn = std::function<void(const _stNetDeviceAddr& record, int row_number)>;

    // Adapters in the order they are asked to search; not owned.
    explicit SearchSession(std::vector<CAVLibrary*> adapters);
    ~SearchSession();
    SearchSession(const SearchSession&) = delete;
    SearchSession& operator=(const SearchSession&) = delete;

    // The adapters' callback (user value: the session). Queues records of
    // maker types 1, 2, 3, 5, 9, 10 and 11; ignores the rest.
    static void Callback(void* user, const _stNetDeviceAddr* record);

    // Clears the rows and starts the search thread (stopping a running one).
    void Start(RowFn on_row);
    // Sets the stop flag, wakes the thread and joins it; it ends after its
    // current record. Queued records stay for the next search.
    void Stop();
    bool running() const { return thread_.joinable(); }

    std::vector<_stNetDeviceAddr> Rows() const;
    size_t queued() const;
    // Waits until the thread has no queued record left to take or the
    // deadline passes (for scripts and tests).
    bool WaitIdle(int timeout_ms) const;

private:
    void Run(RowFn on_row);
    void Push(const _stNetDeviceAddr& record);

    std::vector<CAVLibrary*> adapters_;
    mutable std::mutex mu_;
    mutable std::condition_variable cv_;
    std::deque<_stNetDeviceAddr> queue_;  // guarded by mu_
    std::vector<_stNetDeviceAddr> rows_;  // guarded by mu_
    bool adapters_asked_ = false;         // guarded by mu_
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

bool SameIdentity(const _stNetDeviceAddr& a, const _stNetDeviceAddr& b);

}  // namespace zynsearch
