// Emulated I8_NetSDK: discovery on a thread of its own, logins, reboot,
// restore, change and timed upgrades on the virtual devices.
#include <cstdio>
#include <cstring>
#include <map>

#include "vendors/emu/virtual_devices.h"
#include "vendors/i8_netsdk.h"

using vendor_emu::Device;
using vendor_emu::Store;

namespace {

struct Session {
    std::string ip;
    int port;
};

std::mutex g_mu;
I8DiscoveryCallback g_callback = nullptr;       // guarded by g_mu
void* g_user = nullptr;                         // guarded by g_mu
std::map<int, Session> g_sessions;              // guarded by g_mu
std::map<int, vendor_emu::Upgrade> g_upgrades;  // guarded by g_mu
int g_next_handle = 0;                          // guarded by g_mu
vendor_emu::Worker g_discovery;

void Copy(char* field, size_t size, const std::string& text) {
    std::strncpy(field, text.c_str(), size - 1);
}

I8DiscoveryRecord ToRecord(const Device& d) {
    I8DiscoveryRecord r{};
    Copy(r.ip, sizeof r.ip, d.Text("ip"));
    Copy(r.mask, sizeof r.mask, d.Text("mask"));
    Copy(r.gateway, sizeof r.gateway, d.Text("gateway"));
    auto mac = d.Mac();
    std::memcpy(r.mac, mac.data(), 6);
    r.data_port = static_cast<uint16_t>(d.Int("data_port", 8000));
    r.web_port = static_cast<uint16_t>(d.Int("web_port", 80));
    Copy(r.identity, sizeof r.identity, d.Text("id"));
    Copy(r.model, sizeof r.model, d.Text("model"));
    return r;
}

std::string Text(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

}  // namespace

const char* vendor_emu::LibraryMaker() {
    return "i8";
}

ZYN_VENDOR_EXPORT int I8_NET_DVR_Init(void) {
    Store::Instance().Log("I8_NET_DVR_Init()");
    return 1;
}

ZYN_VENDOR_EXPORT int I8_NET_DVR_StopDiscoveryIPC(void) {
    Store::Instance().Log("I8_NET_DVR_StopDiscoveryIPC()");
    g_discovery.Stop();
    return 1;
}

ZYN_VENDOR_EXPORT int I8_NET_DVR_Cleanup(void) {
    Store::Instance().Log("I8_NET_DVR_Cleanup()");
    g_discovery.Stop();
    std::lock_guard<std::mutex> lock(g_mu);
    g_sessions.clear();
    g_upgrades.clear();
    return 1;
}

ZYN_VENDOR_EXPORT int I8_NET_DVR_SetDiscoveryCallBack(I8DiscoveryCallback callback, void* user) {
    Store::Instance().Log(std::string("I8_NET_DVR_SetDiscoveryCallBack(") +
                          (callback ? "callback" : "null") + ")");
    std::lock_guard<std::mutex> lock(g_mu);
    g_callback = callback;
    g_user = user;
    return 1;
}

ZYN_VENDOR_EXPORT int I8_NET_DVR_StartDiscoveryIPC(void) {
    Store::Instance().Log("I8_NET_DVR_StartDiscoveryIPC()");
    g_discovery.Start([](vendor_emu::Worker& w) {
        for (const Device& d : Store::Instance().Devices()) {
            if (!w.Wait(10)) return;
            I8DiscoveryCallback cb;
            void* user;
            {
                std::lock_guard<std::mutex> lock(g_mu);
                cb = g_callback;
                user = g_user;
            }
            I8DiscoveryRecord r = ToRecord(d);
            if (cb) cb(&r, user);
        }
    });
    return 1;
}

ZYN_VENDOR_EXPORT int I8_NET_DVR_ModifyIPC(const I8DiscoveryRecord* record) {
    if (!record) return 0;
    Store& store = Store::Instance();
    store.SetLastBlock(record, sizeof *record);
    auto mac = record->mac;
    char mac_text[20];
    std::snprintf(mac_text, sizeof mac_text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1],
                  mac[2], mac[3], mac[4], mac[5]);
    store.Log("I8_NET_DVR_ModifyIPC(" + Text(record->ip, 16) + "," + Text(record->identity, 48) +
              "," + Text(record->model, 32) + ")");
    // The device is found by its identity (its address is what changes).
    bool found = false;
    for (size_t i = 0; !found && i < store.Devices().size(); ++i) {
        store.WithIndex(i, [&](Device& d) {
            if (d.Text("id") != Text(record->identity, 48)) return;
            found = true;
            d.fields["ip"] = Text(record->ip, 16);
            d.fields["mask"] = Text(record->mask, 16);
            d.fields["gateway"] = Text(record->gateway, 16);
            d.fields["mac"] = mac_text;
            d.fields["data_port"] = std::to_string(record->data_port);
            d.fields["web_port"] = std::to_string(record->web_port);
        });
    }
    return found ? 1 : 0;
}

ZYN_VENDOR_EXPORT int I8_NET_DVR_Login(const char* ip, int port, const char* user,
                                       const char* password) {
    Store& store = Store::Instance();
    store.Log("I8_NET_DVR_Login(" + vendor_emu::Quote(ip) + "," + std::to_string(port) + "," +
              vendor_emu::Quote(user) + "," + vendor_emu::Quote(password) + ")");
    if (!ip || !user || !password) return -1;
    bool ok = false;
    store.With(ip, port, [&](Device& d) {
        ok = d.Text("login") != "fail" && d.Text("user") == user && d.Text("password") == password;
    });
    if (!ok) return -1;
    std::lock_guard<std::mutex> lock(g_mu);
    g_sessions[g_next_handle] = {ip, port};
    return g_next_handle++;
}

ZYN_VENDOR_EXPORT int I8_NET_DVR_Logout(int handle) {
    Store::Instance().Log("I8_NET_DVR_Logout(" + std::to_string(handle) + ")");
    std::lock_guard<std::mutex> lock(g_mu);
    return g_sessions.erase(handle) ? 1 : 0;
}

namespace {

bool Act(int handle, const char* counter) {
    Session s;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        auto it = g_sessions.find(handle);
        if (it == g_sessions.end()) return false;
        s = it->second;
    }
    return Store::Instance().With(s.ip, s.port, [&](Device& d) { d.Bump(counter); });
}

}  // namespace

ZYN_VENDOR_EXPORT int I8_NET_DVR_RebootDVR(int handle) {
    Store::Instance().Log("I8_NET_DVR_RebootDVR(" + std::to_string(handle) + ")");
    return Act(handle, "reboots") ? 1 : 0;
}

ZYN_VENDOR_EXPORT int I8_NET_DVR_RestoreConfig(int handle) {
    Store::Instance().Log("I8_NET_DVR_RestoreConfig(" + std::to_string(handle) + ")");
    return Act(handle, "restores") ? 1 : 0;
}

ZYN_VENDOR_EXPORT int I8_NET_DVR_Upgrade(int handle, const char* path) {
    Store::Instance().Log("I8_NET_DVR_Upgrade(" + std::to_string(handle) + "," +
                          vendor_emu::Quote(path) + ")");
    Session s;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        auto it = g_sessions.find(handle);
        if (it == g_sessions.end() || !path) return -1;
        s = it->second;
    }
    vendor_emu::Upgrade up{std::chrono::steady_clock::now()};
    if (!Store::Instance().With(s.ip, s.port, [&](Device& d) {
            up.duration_ms = d.Int("upgrade_ms", 3000);
            up.final_state = d.Int("upgrade_state", 1);
            d.Bump("upgrades");
        }))
        return -1;
    std::lock_guard<std::mutex> lock(g_mu);
    g_upgrades[handle] = up;
    return handle;
}

ZYN_VENDOR_EXPORT int I8_NET_DVR_GetUpgradeProgress(int upgrade_handle) {
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_upgrades.find(upgrade_handle);
    return it == g_upgrades.end() ? -1 : it->second.Progress();
}

ZYN_VENDOR_EXPORT int I8_NET_DVR_GetUpgradeState(int upgrade_handle) {
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_upgrades.find(upgrade_handle);
    if (it == g_upgrades.end()) return -1;
    return it->second.Done() ? it->second.final_state : 2;
}

ZYN_VENDOR_EXPORT int I8_NET_DVR_CloseUpgradeHandle(int upgrade_handle) {
    Store::Instance().Log("I8_NET_DVR_CloseUpgradeHandle(" + std::to_string(upgrade_handle) + ")");
    std::lock_guard<std::mutex> lock(g_mu);
    return g_upgrades.erase(upgrade_handle) ? 1 : 0;
}
