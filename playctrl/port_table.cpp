#include "playctrl/port_table.h"

#include <vector>

namespace playctrl {

PortTable& PortTable::Instance() {
    static PortTable table;
    return table;
}

PortTable::~PortTable() {
    Clear();
}

int PortTable::LowestFreeNumber() const {
    std::lock_guard lock(mutex_);
    int expected = kFirstPort;
    for (const auto& [number, port] : ports_) {
        if (number < expected) continue;
        if (number != expected) break;
        ++expected;
    }
    return expected <= kLastPort ? expected : -1;
}

int PortTable::Add(std::shared_ptr<CImageDraw> port) {
    if (!port) return -1;
    std::lock_guard lock(mutex_);
    const int number = LowestFreeNumber();
    if (number < 0) return -1;
    port->set_port_number(number);
    ports_[number] = std::move(port);
    return number;
}

void PortTable::AddAs(int number, std::shared_ptr<CImageDraw> port) {
    std::lock_guard lock(mutex_);
    ports_[number] = std::move(port);
}

std::shared_ptr<CImageDraw> PortTable::Find(int number) const {
    std::lock_guard lock(mutex_);
    auto it = ports_.find(number);
    return it == ports_.end() ? nullptr : it->second;
}

std::shared_ptr<CImageDraw> PortTable::Remove(int number) {
    std::lock_guard lock(mutex_);
    auto it = ports_.find(number);
    if (it == ports_.end()) return nullptr;
    auto port = std::move(it->second);
    ports_.erase(it);
    return port;
}

std::size_t PortTable::size() const {
    std::lock_guard lock(mutex_);
    return ports_.size();
}

void PortTable::Clear() {
    std::vector<std::shared_ptr<CImageDraw>> ports;
    {
        std::lock_guard lock(mutex_);
        for (auto& [number, port] : ports_) ports.push_back(std::move(port));
        ports_.clear();
    }
    for (auto& port : ports) {
        if (port) port->Shutdown();
    }
}

}  // namespace playctrl
