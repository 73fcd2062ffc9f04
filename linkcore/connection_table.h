// The connections of one server opening, by handle: the bookkeeping the TCP
// and the UDP server share.
//
// Handles count up (positive, wrapping to 1) and skip live ones, so a closed
// connection's handle is not handed out again for a long time. The counter
// belongs to the server object and survives reopening.
//
// CloseAll (at Shutdown) takes every entry out and closes the table in one
// locked step: an entry added by an I/O handler that raced with the shutdown
// is refused instead of landing in a table nobody looks at any more.
//
// With kIndexed the values are keys too (a UDP sender's endpoint), and Add
// finds the handle of a value already entered.
#pragma once

#include <atomic>
#include <climits>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace linkcore::detail {

template <typename Value, bool kIndexed = false>
class ConnectionTable {
public:
    using Entries = std::vector<std::pair<int, Value>>;

    explicit ConnectionTable(std::shared_ptr<std::atomic<int>> next_handle,
                             std::size_t max_entries = SIZE_MAX)
        : next_handle_(std::move(next_handle)), max_entries_(max_entries) {}
    ConnectionTable(const ConnectionTable&) = delete;
    ConnectionTable& operator=(const ConnectionTable&) = delete;

    // Enters make(handle) under a new handle. Returns 0 (make not called)
    // when the table is closed or full.
    template <typename Make>
    int Emplace(Make&& make) {
        static_assert(!kIndexed, "indexed tables enter values with Add");
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || by_handle_.size() >= max_entries_) return 0;
        const int handle = NextFreeHandle();
        by_handle_.emplace(handle, make(handle));
        return handle;
    }

    // Indexed tables: the handle of value, entered now if it is new (*is_new
    // says which). 0 when the table is closed or full.
    int Add(const Value& value, bool* is_new) {
        static_assert(kIndexed, "plain tables enter values with Emplace");
        *is_new = false;
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return 0;
        auto it = index_.find(value);
        if (it != index_.end()) return it->second;
        if (by_handle_.size() >= max_entries_) return 0;
        const int handle = NextFreeHandle();
        by_handle_.emplace(handle, value);
        index_.emplace(value, handle);
        *is_new = true;
        return handle;
    }

    bool Find(int handle, Value* out) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = by_handle_.find(handle);
        if (it == by_handle_.end()) return false;
        if (out != nullptr) *out = it->second;
        return true;
    }

    // Takes an entry out (only when it holds *expected, if given).
    bool Remove(int handle, Value* out = nullptr, const Value* expected = nullptr) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = by_handle_.find(handle);
        if (it == by_handle_.end() || (expected != nullptr && !(it->second == *expected))) {
            return false;
        }
        if (out != nullptr) *out = it->second;
        if constexpr (kIndexed) index_.erase(it->second);
        by_handle_.erase(it);
        return true;
    }

    // Takes every entry out; later Adds are refused.
    Entries CloseAll() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        Entries all(by_handle_.begin(), by_handle_.end());
        by_handle_.clear();
        if constexpr (kIndexed) index_.clear();
        return all;
    }

    int Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<int>(by_handle_.size());
    }

private:
    int NextFreeHandle() {  // mutex_
        for (;;) {
            int h = next_handle_->fetch_add(1);
            if (h <= 0 || h == INT_MAX) {
                next_handle_->store(2);
                h = 1;
            }
            if (by_handle_.find(h) == by_handle_.end()) return h;
        }
    }

    struct NoIndex {};
    const std::shared_ptr<std::atomic<int>> next_handle_;
    const std::size_t max_entries_;
    std::mutex mutex_;
    bool closed_ = false;                          // mutex_
    std::unordered_map<int, Value> by_handle_;     // mutex_
    std::conditional_t<kIndexed, std::map<Value, int>, NoIndex> index_;  // mutex_
};

}  // namespace linkcore::detail
