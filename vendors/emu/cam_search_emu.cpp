// Emulated CamSearch: discovery on a thread of its own (ordinals 3 and 4),
// network change (ordinal 5) on the virtual devices.
#include <cstdio>
#include <cstring>

#include "vendors/cam_search.h"
#include "vendors/emu/virtual_devices.h"

using vendor_emu::Device;
using vendor_emu::Store;

namespace {
vendor_emu::Worker g_discovery;

void Deliver(CamSearchCallback cb) {
    g_discovery.Start([cb](vendor_emu::Worker& w) {
        for (const Device& d : Store::Instance().Devices()) {
            if (!w.Wait(10)) return;
            auto mac = d.Mac();
            cb(nullptr, d.Text("name").c_str(), d.Text("ip").c_str(), mac.data(),
               d.Int("web_port", 80), d.Int("data_port", 5000), d.Text("mask").c_str(),
               d.Text("gateway").c_str(), d.Text("model").c_str(), d.Text("version").c_str(),
               static_cast<uint16_t>(d.Int("extra1")), d.Int("channels", 1));
        }
    });
}
}  // namespace

const char* vendor_emu::LibraryMaker() {
    return "camsearch";
}

ZYN_VENDOR_EXPORT int CamSearch_Ord1(void*) {
    Store::Instance().Log("CamSearch_Ord1()");
    return 1;
}

ZYN_VENDOR_EXPORT int CamSearch_Ord2(void*) {
    Store::Instance().Log("CamSearch_Ord2()");
    g_discovery.Stop();
    return 1;
}

ZYN_VENDOR_EXPORT int CamSearch_Ord3(void*, int wait_ms, CamSearchCallback cb, int flags) {
    Store::Instance().Log("CamSearch_Ord3(" + std::to_string(wait_ms) + "," +
                          std::to_string(flags) + ")");
    return cb ? 1 : 0;  // prepares; ordinal 4 searches
}

ZYN_VENDOR_EXPORT int CamSearch_Ord4(int wait_ms, CamSearchCallback cb, int flags) {
    Store::Instance().Log("CamSearch_Ord4(" + std::to_string(wait_ms) + "," +
                          std::to_string(flags) + ")");
    if (!cb) return 0;
    Deliver(cb);
    return 1;
}

ZYN_VENDOR_EXPORT int CamSearch_Ord5(const char* match_mask, const uint8_t* mac, const char* name,
                                     const char* ip, const char* mask, const char* gateway,
                                     const char* group, const char* ip2, int web_port,
                                     int data_port, int port3, int flags) {
    using vendor_emu::Quote;
    char mac_text[20] = "(null)";
    if (mac)
        std::snprintf(mac_text, sizeof mac_text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1],
                      mac[2], mac[3], mac[4], mac[5]);
    Store& store = Store::Instance();
    store.Log("CamSearch_Ord5(" + Quote(match_mask) + "," + mac_text + "," + Quote(name) + "," +
              Quote(ip) + "," + Quote(mask) + "," + Quote(gateway) + "," + Quote(group) + "," +
              Quote(ip2) + "," + std::to_string(web_port) + "," + std::to_string(data_port) + "," +
              std::to_string(port3) + "," + std::to_string(flags) + ")");
    if (!mac || !ip || !mask || !gateway) return 0;
    bool found = false;
    for (size_t i = 0; i < store.Devices().size(); ++i)
        store.WithIndex(i, [&](Device& d) {
            if (d.Text("mac") != mac_text) return;
            found = true;
            d.fields["ip"] = ip;
            d.fields["mask"] = mask;
            d.fields["gateway"] = gateway;
            d.fields["web_port"] = std::to_string(web_port);
            d.fields["data_port"] = std::to_string(data_port);
        });
    return found ? 1 : 0;
}
