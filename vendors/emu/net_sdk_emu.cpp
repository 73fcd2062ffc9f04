// Emulated NetSDK: synchronous search (ordinal 40) into 240-byte entries,
// logins, reboot, restore, network change and upgrades with progress.
#include <cstring>
#include <map>

#include "vendors/emu/virtual_devices.h"
#include "vendors/net_sdk.h"

using vendor_emu::Device;
using vendor_emu::Store;

namespace {
std::mutex g_mu;
std::map<int, std::pair<std::string, int>> g_sessions;  // guarded by g_mu
int g_next_handle = 1;                                  // guarded by g_mu
vendor_emu::Worker g_upgrade;

bool Session(int handle, std::string* ip, int* port) {
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_sessions.find(handle);
    if (it == g_sessions.end()) return false;
    *ip = it->second.first;
    *port = it->second.second;
    return true;
}

std::string Dotted(const uint8_t b[4]) {
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
           std::to_string(b[3]);
}
}  // namespace

const char* vendor_emu::LibraryMaker() {
    return "netsdk";
}

ZYN_VENDOR_EXPORT int NetSDK_Ord1(int flags, void*) {
    Store::Instance().Log("NetSDK_Ord1(" + std::to_string(flags) + ")");
    return 1;
}

ZYN_VENDOR_EXPORT int NetSDK_Ord2(void*) {
    Store::Instance().Log("NetSDK_Ord2()");
    g_upgrade.Stop();
    return 1;
}

ZYN_VENDOR_EXPORT int NetSDK_Ord40(void* entries, void* entries2, int capacity_bytes, int* bytes,
                                   int wait_ms) {
    Store::Instance().Log("NetSDK_Ord40(" + std::to_string(capacity_bytes) + "," +
                          std::to_string(wait_ms) + ")");
    (void)entries2;
    if (!entries || !bytes || capacity_bytes < 0) return 0;
    auto devices = Store::Instance().Devices();
    size_t max = static_cast<size_t>(capacity_bytes) / sizeof(NetSdkSearchEntry);
    size_t n = std::min(max, devices.size());
    auto* out = static_cast<NetSdkSearchEntry*>(entries);
    for (size_t i = 0; i < n; ++i) {
        const Device& d = devices[i];
        NetSdkSearchEntry e{};
        std::string name = d.Text("name");  // may fill all 32 bytes, unterminated
        std::memcpy(e.name, name.data(), std::min(name.size(), sizeof e.name));
        vendor_emu::ParseIpv4(d.Text("ip"), e.ip);
        vendor_emu::ParseIpv4(d.Text("mask"), e.mask);
        vendor_emu::ParseIpv4(d.Text("gateway"), e.gateway);
        e.web_port = static_cast<uint16_t>(d.Int("web_port", 80));
        e.data_port = static_cast<uint16_t>(d.Int("data_port", 34567));
        e.extra1 = d.Int("extra1");
        e.extra2 = d.Int("extra2");
        std::strncpy(e.mac, d.Text("mac").c_str(), sizeof e.mac - 1);
        std::memcpy(out + i, &e, sizeof e);
    }
    *bytes = static_cast<int>(n * sizeof(NetSdkSearchEntry));
    return 1;
}

ZYN_VENDOR_EXPORT int NetSDK_Ord5(const char* ip, int port, const char* user, const char* password,
                                  int* error) {
    using vendor_emu::Quote;
    Store::Instance().Log("NetSDK_Ord5(" + Quote(ip) + "," + std::to_string(port) + "," +
                          Quote(user) + "," + Quote(password) + ")");
    bool ok = false;
    if (ip && user && password)
        Store::Instance().With(ip, port, [&](Device& d) {
            ok = d.Text("login") != "fail" && d.Text("user") == user &&
                 d.Text("password") == password;
        });
    if (error) *error = ok ? 0 : 1;
    if (!ok) return 0;
    std::lock_guard<std::mutex> lock(g_mu);
    g_sessions[g_next_handle] = {ip, port};
    return g_next_handle++;
}

ZYN_VENDOR_EXPORT int NetSDK_Ord7(int handle) {
    Store::Instance().Log("NetSDK_Ord7(" + std::to_string(handle) + ")");
    g_upgrade.Stop();  // a logout ends the session's upgrade reports
    std::lock_guard<std::mutex> lock(g_mu);
    return g_sessions.erase(handle) ? 1 : 0;
}

ZYN_VENDOR_EXPORT int NetSDK_Ord39(int handle, int flags, int wait_ms) {
    Store::Instance().Log("NetSDK_Ord39(" + std::to_string(handle) + "," + std::to_string(flags) +
                          "," + std::to_string(wait_ms) + ")");
    std::string ip;
    int port;
    if (!Session(handle, &ip, &port)) return 0;
    return Store::Instance().With(ip, port, [](Device& d) { d.Bump("reboots"); }) ? 1 : 0;
}

ZYN_VENDOR_EXPORT int NetSDK_Ord12(const uint8_t* selection, int handle, int command, int channel,
                                   int selection_bytes, int wait_ms) {
    Store::Instance().Log("NetSDK_Ord12(" + std::to_string(handle) + "," + std::to_string(command) +
                          "," + std::to_string(channel) + "," + std::to_string(selection_bytes) +
                          "," + std::to_string(wait_ms) + ")");
    std::string ip;
    int port;
    if (!selection || selection_bytes != 10 || !Session(handle, &ip, &port)) return 0;
    Store::Instance().SetLastBlock(selection, 10);
    return Store::Instance().With(ip, port, [](Device& d) { d.Bump("restores"); }) ? 1 : 0;
}

ZYN_VENDOR_EXPORT int NetSDK_Ord13(int device, int command, int channel,
                                   const NetSdkNetworkBlock* block, int bytes, int wait_ms) {
    Store& store = Store::Instance();
    store.Log("NetSDK_Ord13(" + std::to_string(device) + "," + std::to_string(command) + "," +
              std::to_string(channel) + "," + std::to_string(bytes) + "," +
              std::to_string(wait_ms) + ")");
    if (!block || bytes != static_cast<int>(sizeof *block)) return 0;
    store.SetLastBlock(block, sizeof *block);
    std::string mac(block->mac, strnlen(block->mac, sizeof block->mac));
    bool found = false;
    for (size_t i = 0; i < store.Devices().size(); ++i)
        store.WithIndex(i, [&](Device& d) {
            if (d.Text("mac") != mac) return;
            found = true;
            d.fields["ip"] = Dotted(block->ip);
            d.fields["mask"] = Dotted(block->mask);
            d.fields["gateway"] = Dotted(block->gateway);
            d.fields["web_port"] = std::to_string(block->web_port);
            d.fields["data_port"] = std::to_string(block->data_port);
        });
    return found ? 1 : 0;
}

ZYN_VENDOR_EXPORT int NetSDK_Ord34(int handle, const char* path, int flags,
                                   NetSdkProgressCallback cb, void* user) {
    Store::Instance().Log("NetSDK_Ord34(" + std::to_string(handle) + "," + vendor_emu::Quote(path) +
                          "," + std::to_string(flags) + ")");
    std::string ip;
    int port;
    if (!path || !cb || !Session(handle, &ip, &port)) return 0;
    int duration_ms = 3000;
    Store::Instance().With(ip, port, [&](Device& d) {
        duration_ms = d.Int("upgrade_ms", 3000);
        d.Bump("upgrades");
    });
    g_upgrade.Start([=](vendor_emu::Worker& w) {
        for (int step = 1; step <= 10; ++step) {
            if (!w.Wait(duration_ms / 10)) return;
            cb(handle, step * 10, user);
        }
    });
    return 1;
}
