// The answer side of a record-file query, shared by the device kinds that
// list recordings: the host's callback, and the entries handed to it so far
// against the total the device announced (the last one is flagged).
#pragma once

#include <cstdint>
#include <cstring>
#include <mutex>

#include "zynvs/ZynDecodeKit.h"
#include "zynvs/wire/layouts.h"

namespace zyn {

class RecordListing {
public:
    // A new query: later entries go to `cb`, counted from zero.
    void Begin(RecordInfoCallback cb, void* user) {
        std::lock_guard<std::mutex> lock(mutex_);
        cb_ = cb;
        user_ = user;
        delivered_ = 0;
    }

    // One list message from the device; entries it does not actually hold
    // are not delivered.
    void OnEntries(const uint8_t* payload, uint16_t length) {
        using List = wire::RecordList;
        constexpr std::size_t kEntryBytes = wire::RecordEntry::kBytes;
        if (payload == nullptr || length < List::kHeaderBytes) return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (cb_ == nullptr) return;
        const List list(payload);
        const int count = list.count();
        const int total = list.total();
        for (int i = 0; i < count; ++i) {
            if (List::kHeaderBytes + (i + 1) * kEntryBytes > length) break;
            ++delivered_;
            uint8_t entry[kEntryBytes];
            std::memcpy(entry, list.entries() + i * kEntryBytes, kEntryBytes);
            cb_(entry, delivered_ >= total ? 1 : 0, user_);
        }
    }

private:
    std::mutex mutex_;  // held while the callback runs
    RecordInfoCallback cb_ = nullptr;
    void* user_ = nullptr;
    int delivered_ = 0;
};

}  // namespace zyn
