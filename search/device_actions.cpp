#include "search/device_actions.h"

#include <fstream>

#include "qvnet/qv_client.h"
#include "zynvs/ZynDecodeKit.h"

namespace zynsearch {

namespace {

std::string Ip(const _stNetDeviceAddr& r) {
    return Text(r.ip);
}

bool SameSubnet(const uint8_t ip[4], const uint8_t mask[4], const uint8_t gw[4]) {
    for (int i = 0; i < 4; ++i)
        if ((ip[i] & mask[i]) != (gw[i] & mask[i])) return false;
    return true;
}

ModifyNetParaRecord ToZynRecord(const _stNetDeviceAddr& r) {
    ModifyNetParaRecord m{};
    CopyText(m.mac, r.mac, sizeof r.mac);
    CopyText(m.ip_address, r.ip, sizeof r.ip);
    CopyText(m.subnet_mask, r.mask, sizeof r.mask);
    CopyText(m.gateway, r.gateway, sizeof r.gateway);
    m.port = r.data_port;
    CopyText(m.text_d, r.device_name, sizeof r.device_name);
    m.byte_b = static_cast<uint8_t>(r.channel_count);
    m.word_w = 1;
    std::memcpy(m.text_e, r.identity, sizeof m.text_e);  // the serial, not necessarily terminated
    return m;
}

UpgradeStep Say(const std::string& message) {
    UpgradeStep s;
    s.message = message;
    return s;
}

UpgradeStep Status(const std::string& status) {
    UpgradeStep s;
    s.status = status;
    return s;
}

}  // namespace

std::string DeviceActions::NetconfCommand(const _stNetDeviceAddr& e) {
    uint8_t mac[6];
    if (!IsDottedIpv4(Text(e.ip)) || !IsDottedIpv4(Text(e.mask)) ||
        !IsDottedIpv4(Text(e.gateway)) || !ParseMac(Text(e.mac), mac))
        return {};
    return "netconf set -devname eth0 -ipaddr " + Text(e.ip) + " -netmask " + Text(e.mask) +
           " -gateway " + Text(e.gateway) + " -hwaddr " + FormatMac(mac);
}

std::string DeviceActions::Modify(const _stNetDeviceAddr& e, const std::string& current_ip) {
    switch (e.maker_type) {
        case kMakerZyn: {
            ModifyNetParaRecord m = ToZynRecord(e);
            return ZYNVS_ModifyNetPara(&m) ? "Successfully modified" : "Modification fails";
        }
        case kMakerCamSearch: {
            uint8_t mac[6] = {};
            if (!v_->cam_modify || !ParseMac(Text(e.mac), mac)) return {};
            std::string ip = Ip(e), mask = Text(e.mask), gw = Text(e.gateway);
            v_->cam_modify(mask.c_str(), mac, Text(e.device_name).c_str(), ip.c_str(), mask.c_str(),
                           gw.c_str(), "235.1.1.1", ip.c_str(), e.web_port, e.data_port, 6500, 0);
            return {};
        }
        case kMakerI8: {
            if (!v_->i8_modify) return {};
            I8DiscoveryRecord r{};
            CopyText(r.ip, e.ip, sizeof e.ip);
            CopyText(r.mask, e.mask, sizeof e.mask);
            CopyText(r.gateway, e.gateway, sizeof e.gateway);
            ParseMac(Text(e.mac), r.mac);
            r.data_port = e.data_port;
            r.web_port = e.web_port;
            std::memcpy(r.identity, e.identity, sizeof r.identity);
            CopyText(r.user, kDefaultUser);
            const char* channels = e.channel_count == 4    ? "04"
                                   : e.channel_count == 8  ? "08"
                                   : e.channel_count == 16 ? "16"
                                                           : nullptr;
            if (channels) CopyText(r.model, channels);
            v_->i8_modify(&r);
            return {};
        }
        case kMakerNetSdk: {
            NetSdkNetworkBlock b{};
            if (!ParseIpv4(Text(e.ip), b.ip) || !ParseIpv4(Text(e.mask), b.mask) ||
                !ParseIpv4(Text(e.gateway), b.gateway) || !SameSubnet(b.ip, b.mask, b.gateway))
                return "ConfigNet.SetGatewayFailed";
            if (!v_->ns_set_network) return {};
            CopyText(b.mac, e.mac, sizeof e.mac);
            b.web_port = e.web_port;
            b.data_port = e.data_port;
            b.extra1 = e.extra[0];
            b.extra2 = e.extra[1];
            b.channels = e.channel_count;
            v_->ns_set_network(e.extra[1], 20, -1, &b, sizeof b, 1000);
            return {};
        }
        case kMakerQv: {
            std::string text = NetconfCommand(e);
            std::string id = Text(e.identity);
            if (text.empty() || !hds_ || !hds_->Command(id, text)) return "Modification fails";
            return "Successfully modified";
        }
        case kMakerJs: {
            if (!v_->js_login || !v_->js_get_network || !v_->js_set_network) return {};
            std::string login_ip = current_ip.empty() ? Ip(e) : current_ip;
            int r = v_->js_login(login_ip.c_str(), e.data_port, kJsStream, 1, kDefaultUser,
                                 kQvPassword, nullptr);
            if (r == 0) {
                char ip[32] = {}, mac[32] = {}, mask[32] = {}, gw[32] = {};
                r = v_->js_get_network(ip, mac, mask, gw);
                if (r == 0)
                    r = v_->js_set_network(Ip(e).c_str(), Text(e.mac).c_str(), Text(e.mask).c_str(),
                                           Text(e.gateway).c_str());
                if (v_->js_logout) v_->js_logout();
            }
            return r == 0 ? "Successfully modified" : "Modification fails";
        }
        default:
            return {};
    }
}

std::string DeviceActions::Reboot(const _stNetDeviceAddr& d) {
    const char* ok = "Has restarted";
    const char* failed = "reboot failed";
    std::string ip = Ip(d);
    switch (d.maker_type) {
        case kMakerZyn: {
            ModifyNetParaRecord m = ToZynRecord(d);
            ZYNVS_Reboot(&m);
            return ok;
        }
        case kMakerCamSearch:
            if (!v_->nc_reboot) return failed;
            return v_->nc_reboot(Text(d.device_name).c_str(), ip.c_str(), kCamSearchPassword,
                                 kCamSearchPassword, d.data_port)
                       ? ok
                       : failed;
        case kMakerI8: {
            if (!v_->i8_login) return {};
            int h = v_->i8_login(ip.c_str(), d.data_port, kDefaultUser, "");
            if (h < 0) return {};
            int r = v_->i8_reboot ? v_->i8_reboot(h) : 0;
            if (v_->i8_logout) v_->i8_logout(h);
            return r ? ok : failed;
        }
        case kMakerNetSdk: {
            if (!v_->ns_login) return {};
            int err = 0;
            int h = v_->ns_login(ip.c_str(), d.data_port, kDefaultUser, "", &err);
            int r = h > 0 && v_->ns_reboot ? v_->ns_reboot(h, 0, 500) : 0;
            if (v_->ns_logout) v_->ns_logout(h);
            if (h <= 0) return {};
            return r ? ok : failed;
        }
        case kMakerQv:
            // The device restarts without answering: a closed connection is success.
            return qvnet::QvClient(ip, d.data_port, kDefaultUser, kQvPassword, 5000).Reboot() ==
                           qvnet::kBadReply
                       ? ok
                       : failed;
        case kMakerJs: {
            if (!v_->js_login || v_->js_login(ip.c_str(), d.data_port, kJsStream, 1, kDefaultUser,
                                              kQvPassword, nullptr) != 0)
                return {};
            int r = v_->js_reboot ? v_->js_reboot() : -1;
            if (v_->js_logout) v_->js_logout();
            return r == 0 ? ok : failed;
        }
        default:
            return {};
    }
}

std::string DeviceActions::Restore(const _stNetDeviceAddr& d) {
    const char* ok = "Defaul success";
    const char* failed = "Defaul failed";
    std::string ip = Ip(d);
    switch (d.maker_type) {
        case kMakerCamSearch:
            if (!v_->nc_restore) return failed;
            return v_->nc_restore(Text(d.device_name).c_str(), ip.c_str(), kCamSearchPassword,
                                  kCamSearchPassword, d.data_port)
                       ? ok
                       : failed;
        case kMakerI8: {
            if (!v_->i8_login) return {};
            int h = v_->i8_login(ip.c_str(), d.data_port, kDefaultUser, "");
            if (h < 0) return {};
            int r = v_->i8_restore ? v_->i8_restore(h) : 0;
            if (v_->i8_logout) v_->i8_logout(h);
            return r ? ok : failed;
        }
        case kMakerNetSdk: {
            if (!v_->ns_login) return {};
            int err = 0;
            int h = v_->ns_login(ip.c_str(), d.data_port, kDefaultUser, "", &err);
            if (h <= 0) return {};
            uint8_t all[10];
            std::memset(all, 0xFF, sizeof all);
            int r = v_->ns_restore ? v_->ns_restore(all, h, 33, 0, 10, 1000) : 0;
            if (v_->ns_logout) v_->ns_logout(h);
            return r ? ok : failed;
        }
        case kMakerQv:
            return qvnet::QvClient(ip, d.data_port, kDefaultUser, kQvPassword, 5000).Restore() ==
                           qvnet::kOk
                       ? ok
                       : failed;
        case kMakerJs: {
            if (!v_->js_login || v_->js_login(ip.c_str(), d.data_port, kJsStream, 1, kDefaultUser,
                                              kQvPassword, nullptr) != 0)
                return {};
            int r = v_->js_restore ? v_->js_restore() : -1;
            if (v_->js_logout) v_->js_logout();
            return r == 0 ? ok : failed;
        }
        default:  // the own devices have no restore without a login
            return {};
    }
}

// ---- upgrade -----------------------------------------------------------------------

UpgradeJob::UpgradeJob(std::shared_ptr<VendorSet> vendors, const _stNetDeviceAddr& record)
    : v_(std::move(vendors)), record_(record) {}

UpgradeJob::~UpgradeJob() {
    SetProgressListener(nullptr);
    Finish();
    if (!cam_started_ || __atomic_load_n(&done_->signalled, __ATOMIC_SEQ_CST)) delete done_;
}

void UpgradeJob::SetProgressListener(std::function<void(const UpgradeStep&)> listener) {
    std::lock_guard<std::mutex> lock(listener_mu_);
    listener_ = std::move(listener);
}

void UpgradeJob::SetPollIntervals(int i8_ms, int cam_search_ms) {
    i8_poll_ms_ = i8_ms;
    cam_poll_ms_ = cam_search_ms;
}

void UpgradeJob::Finish() {
    if (record_.maker_type == kMakerI8) {
        if (upgrade_handle_ >= 0 && v_->i8_close_upgrade) v_->i8_close_upgrade(upgrade_handle_);
        if (login_ >= 0 && v_->i8_logout) v_->i8_logout(login_);
    } else if (record_.maker_type == kMakerNetSdk) {
        if (login_ > 0 && v_->ns_logout) v_->ns_logout(login_);
    }
    upgrade_handle_ = login_ = -1;
}

UpgradeStep UpgradeJob::Start(const std::string& path, const std::string& user,
                              const std::string& password) {
    UpgradeStep s;
    std::string ip = Text(record_.ip);
    switch (record_.maker_type) {
        case kMakerI8: {
            std::ifstream f(path, std::ios::binary | std::ios::ate);
            if (!f) return Say("Open file failed or no this file");
            if (f.tellg() <= 0) return Say("Upgrade file is empty");
            if (!v_->i8_login || !v_->i8_upgrade) return Say("Upgrade failed");
            login_ = v_->i8_login(ip.c_str(), record_.data_port, user.c_str(), password.c_str());
            if (login_ < 0) return Say("Upgrade failed");
            upgrade_handle_ = v_->i8_upgrade(login_, path.c_str());
            if (upgrade_handle_ < 0) {
                Finish();
                return Say("Upgrade failed");
            }
            return {"",         "Status: Server is upgrading, please wait.....", 0, true, false,
                    i8_poll_ms_};
        }
        case kMakerCamSearch: {
            if (!v_->nc_upgrade || v_->nc_upgrade(ip.c_str(), user.c_str(), password.c_str(),
                                                  path.c_str(), done_, record_.data_port, 0) == -1)
                return Status("status:update fail");
            cam_started_ = true;
            return {"", "status:Is upgrading", -1, false, false, cam_poll_ms_};
        }
        case kMakerNetSdk: {
            int err = 0;
            if (!v_->ns_login || !v_->ns_upgrade) return Say("Upgrade failed");
            login_ =
                v_->ns_login(ip.c_str(), record_.data_port, user.c_str(), password.c_str(), &err);
            if (login_ <= 0 ||
                !v_->ns_upgrade(login_, path.c_str(), 0, &UpgradeJob::OnNetSdkProgress, this))
                return Say("Upgrade failed");
            // Progress arrives through the listener; no polling.
            return {"", "Status: Server is upgrading, please wait.....", 0, true, false, 0};
        }
        case kMakerJs: {
            if (!v_->js_login || !v_->js_upgrade_start || !v_->js_upgrade_wait)
                return Say("Upgrade failed");
            int r = v_->js_login(ip.c_str(), record_.data_port, kJsStream, 1, user.c_str(),
                                 password.c_str(), nullptr);
            if (r == 0) r = v_->js_upgrade_start(path.c_str());
            if (r == 0) r = v_->js_upgrade_wait(60000);
            if (v_->js_logout) v_->js_logout();
            return Say(r == 0 ? "update success" : "Upgrade failed");
        }
        default:  // the QV maker and the own devices have no upgrade here
            return s;
    }
}

UpgradeStep UpgradeJob::Poll() {
    if (record_.maker_type == kMakerI8 && upgrade_handle_ >= 0) {
        UpgradeStep s{"", "", -1, true, false, i8_poll_ms_};
        int progress = v_->i8_upgrade_progress ? v_->i8_upgrade_progress(upgrade_handle_) : -1;
        if (progress > 0) s.progress = progress;
        switch (v_->i8_upgrade_state ? v_->i8_upgrade_state(upgrade_handle_) : -1) {
            case 1:
                s.status = "Status:upgrade successfully";
                s.progress = 100;
                s.finished = true;
                break;
            case 2:
                s.status = "Status: Device is upgrading, please wait......";
                break;
            case 3:
                s.status = "Status: upgrade equipment failure";
                s.finished = true;
                break;
            case 4:
                s.status = "Status: network disconnection, status unknown";
                s.finished = true;
                break;
            case 5:
                s.status = "Status: the upgrade file does not match the language";
                s.finished = true;
                break;
            case -1:
                s.message = "Upgrade failed";
                s.finished = true;
                break;
            default:
                break;
        }
        if (s.finished) Finish();
        return s;
    }
    if (record_.maker_type == kMakerCamSearch) {
        if (!__atomic_load_n(&done_->signalled, __ATOMIC_SEQ_CST))
            return {"", "", -1, false, false, cam_poll_ms_};
        int n = v_->nc_upgrade_result ? v_->nc_upgrade_result() : -1;
        return Status(n == 0 ? "status:update success" : "status:update fail" + std::to_string(n));
    }
    return {};
}

void UpgradeJob::OnNetSdkProgress(int, int progress, void* self_ptr) {
    auto* self = static_cast<UpgradeJob*>(self_ptr);
    UpgradeStep s{"", "", progress, true, progress >= 100, 0};
    if (progress >= 100) {
        s.progress = 100;
        s.status = "Status:upgrade successfully";
    }
    std::lock_guard<std::mutex> lock(self->listener_mu_);
    if (self->listener_) self->listener_(s);
}

}  // namespace zynsearch
