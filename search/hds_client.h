// HDS search client of the QV maker: a UDP socket on port 8004 (address
// reuse) in the group 239.255.255.250; requests go to the group on port 8002.
//
// Threads: one receive thread, started by Start and joined by Stop, calls the
// device function for every device reply or announcement. Search and Command
// may be called from any thread (the sequence number is locked).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "qvnet/hds_message.h"

namespace zynsearch {

class HdsClient {
public:
    using DeviceFn = std::function<void(const qvnet::HdsDevice&)>;

    HdsClient() = default;
    ~HdsClient() { Stop(); }
    HdsClient(const HdsClient&) = delete;
    HdsClient& operator=(const HdsClient&) = delete;

    // False when already started or when the socket, bind or membership fails.
    bool Start(DeviceFn on_device);
    void Stop();
    bool running() const { return fd_ >= 0; }

    // False before Start, or when the send fails.
    bool Search();
    // `device_id` must be the whole 32-character id; anything else is refused.
    bool Command(const std::string& device_id, const std::string& command_text);

    std::string client_id() const { return client_id_; }

private:
    bool Send(const std::string& message);
    void Receive();

    int fd_ = -1;
    int wake_[2] = {-1, -1};
    std::string client_id_;  // set by Start, read-only while running
    DeviceFn on_device_;     // set by Start, read-only while running
    std::mutex send_mu_;
    qvnet::HdsSequence sequence_;  // guarded by send_mu_
    std::thread thread_;
};

}  // namespace zynsearch
