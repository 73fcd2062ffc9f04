#include "search/search_session.h"

#include <chrono>

namespace zynsearch {

bool SameIdentity(const _stNetDeviceAddr& a, const _stNetDeviceAddr& b) {
    return std::strncmp(a.identity, b.identity, sizeof a.identity) == 0;
}

SearchSession::SearchSession(std::vector<CAVLibrary*> adapters) : adapters_(std::move(adapters)) {}

SearchSession::~SearchSession() {
    Stop();
    for (CAVLibrary* a : adapters_) a->SetCallback(nullptr, nullptr);
}

void SearchSession::Callback(void* user, const _stNetDeviceAddr* record) {
    if (!user || !record) return;
    switch (record->maker_type) {
        case 1:
        case 2:
        case 3:
        case 5:
        case 9:
        case 10:
        case 11:
            static_cast<SearchSession*>(user)->Push(*record);
            break;
        default:
            break;
    }
}

void SearchSession::Push(const _stNetDeviceAddr& record) {
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (queue_.size() >= 4096) return;  // a flood of replies loses the newest, never memory
        queue_.push_back(record);
    }
    cv_.notify_all();
}

void SearchSession::Start(RowFn on_row) {
    Stop();
    {
        std::lock_guard<std::mutex> lock(mu_);
        rows_.clear();
        adapters_asked_ = false;
    }
    stop_ = false;
    thread_ = std::thread([this, on_row = std::move(on_row)] { Run(on_row); });
}

void SearchSession::Stop() {
    stop_ = true;
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void SearchSession::Run(RowFn on_row) {
    for (CAVLibrary* a : adapters_) {
        if (stop_) break;
        a->SetCallback(&SearchSession::Callback, this);
        a->Search();
    }
    {
        std::lock_guard<std::mutex> lock(mu_);
        adapters_asked_ = true;
    }
    cv_.notify_all();
    std::unique_lock<std::mutex> lock(mu_);
    while (!stop_) {
        cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) break;
        _stNetDeviceAddr r = queue_.front();
        queue_.pop_front();
        if (r.identity[0] == 0) std::memcpy(r.identity, r.mac, sizeof r.mac);
        r.identity[sizeof r.identity - 1] = 0;
        bool seen = false;
        for (const _stNetDeviceAddr& row : rows_) seen = seen || SameIdentity(row, r);
        if (seen) continue;
        rows_.push_back(r);
        int number = static_cast<int>(rows_.size());
        lock.unlock();
        cv_.notify_all();
        if (on_row) on_row(r, number);
        lock.lock();
    }
}

std::vector<_stNetDeviceAddr> SearchSession::Rows() const {
    std::lock_guard<std::mutex> lock(mu_);
    return rows_;
}

size_t SearchSession::queued() const {
    std::lock_guard<std::mutex> lock(mu_);
    return queue_.size();
}

bool SearchSession::WaitIdle(int timeout_ms) const {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                        [this] { return adapters_asked_ && queue_.empty(); });
}

}  // namespace zynsearch
