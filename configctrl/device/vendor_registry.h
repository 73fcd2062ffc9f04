// Live devices that vendor callbacks may reach. A vendor callback carries
// the device as its user pointer; the trampoline dispatches only while the
// device is registered, under the registry's lock, so a device that has
// unregistered (in its destructor) is never called again. Consequence: a
// host event callback must not destroy its device.
#pragma once

#include <algorithm>
#include <mutex>
#include <vector>

namespace configctrl {

template <typename T>
class LiveRegistry {
public:
    void Add(T* p) {
        std::lock_guard<std::recursive_mutex> lock(mu_);
        live_.push_back(p);
    }
    void Remove(T* p) {
        std::lock_guard<std::recursive_mutex> lock(mu_);
        live_.erase(std::remove(live_.begin(), live_.end(), p), live_.end());
    }
    // Runs fn(device) when `user` is a live device.
    template <typename Fn>
    void With(void* user, Fn fn) {
        std::lock_guard<std::recursive_mutex> lock(mu_);
        auto* p = static_cast<T*>(user);
        if (std::find(live_.begin(), live_.end(), p) != live_.end()) fn(*p);
    }

private:
    // Recursive: a callback may run vendor calls that call back synchronously.
    std::recursive_mutex mu_;
    std::vector<T*> live_;  // guarded by mu_
};

}  // namespace configctrl
