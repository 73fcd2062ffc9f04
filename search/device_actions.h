// Change, reboot, restore and upgrade of one found device, by maker type.
// Every call works on a copy of the row's record and gives the English text
// of the message to show ("" for none).
//
// Threads: the calls block (logins, connections: up to a few seconds); the
// window runs them off its own thread. An UpgradeJob's progress listener runs
// on the library's thread and must only hand the step on.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "search/hds_client.h"
#include "search/net_device_addr.h"
#include "search/vendor_set.h"

namespace zynsearch {

// Accounts the tool uses.
constexpr const char* kDefaultUser = "admin";
constexpr const char* kQvPassword = "vupra";  // QV command client and the JS maker
constexpr const char* kCamSearchPassword = "570431";
constexpr const char* kJsStream = "1/1080p";

class DeviceActions {
public:
    // `hds`: the QV adapter's running client (network changes of QV devices); may be null.
    DeviceActions(std::shared_ptr<VendorSet> vendors, HdsClient* hds)
        : v_(std::move(vendors)), hds_(hds) {}

    // `edited` is the row's record with the dialog's values written in;
    // `current_ip` the address the device has now (where a maker logs in
    // before changing it; empty: the edited one).
    std::string Modify(const _stNetDeviceAddr& edited, const std::string& current_ip = {});
    std::string Reboot(const _stNetDeviceAddr& record);
    std::string Restore(const _stNetDeviceAddr& record);

    // The QV network change text for the device (empty when a value is not a
    // valid address or MAC).
    static std::string NetconfCommand(const _stNetDeviceAddr& edited);

private:
    std::shared_ptr<VendorSet> v_;
    HdsClient* hds_;
};

struct UpgradeStep {
    std::string message;  // message box text, "" none
    std::string status;   // status line, "" unchanged
    int progress = -1;    // bar value, -1 unchanged
    bool show_bar = false;
    bool finished = true;  // no more polling
    int poll_ms = 0;       // poll again after this long (when not finished)
};

class UpgradeJob {
public:
    UpgradeJob(std::shared_ptr<VendorSet> vendors, const _stNetDeviceAddr& record);
    ~UpgradeJob();
    UpgradeJob(const UpgradeJob&) = delete;
    UpgradeJob& operator=(const UpgradeJob&) = delete;

    // For the NetSDK maker's progress callback (library thread).
    void SetProgressListener(std::function<void(const UpgradeStep&)> listener);
    // Shorter poll intervals for tests (default 500 ms I8, 8000 ms CamSearch).
    void SetPollIntervals(int i8_ms, int cam_search_ms);

    UpgradeStep Start(const std::string& path, const std::string& user,
                      const std::string& password);
    UpgradeStep Poll();

private:
    static void OnNetSdkProgress(int handle, int progress, void* self);
    void Finish();

    std::shared_ptr<VendorSet> v_;
    _stNetDeviceAddr record_;
    int i8_poll_ms_ = 500, cam_poll_ms_ = 8000;
    int login_ = -1;
    int upgrade_handle_ = -1;
    // The library keeps a pointer to this until it signals it; an unsignalled
    // event is left allocated when the job goes (it may still be written).
    NetClientEvent* done_ = new NetClientEvent{0};
    bool cam_started_ = false;
    std::mutex listener_mu_;
    std::function<void(const UpgradeStep&)> listener_;  // guarded by listener_mu_
};

}  // namespace zynsearch
