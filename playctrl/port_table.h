// The process-wide port table: port numbers 1..9999 to ports, and the one
// recursive table lock that every per-port export holds for its whole run.
// Created when the library is loaded; at unload every port still open is
// stopped and released.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "playctrl/image_draw.h"

namespace playctrl {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 9999;

class PortTable {
public:
    static PortTable& Instance();

    std::recursive_mutex& mutex() { return mutex_; }

    // The lowest free number, or -1 when all 9999 are taken. Takes the lock.
    int LowestFreeNumber() const;
    // Gives the port the lowest free number and enters it, in one step under
    // the lock. The number, or -1 when none is free (the port is not entered).
    int Add(std::shared_ptr<CImageDraw> port);
    // Tests: enters a port under a given number (replacing what is there).
    void AddAs(int number, std::shared_ptr<CImageDraw> port);
    std::shared_ptr<CImageDraw> Find(int number) const;
    std::shared_ptr<CImageDraw> Remove(int number);
    std::size_t size() const;
    // Removes and shuts down every port.
    void Clear();

    ~PortTable();

private:
    PortTable() = default;
    mutable std::recursive_mutex mutex_;
    std::map<int, std::shared_ptr<CImageDraw>> ports_;  // guarded by mutex_
};

}  // namespace playctrl
