// Emulated JSNetProtocol: search results posted to the window as message
// 1130 texts from a thread of the library; one login session at a time.
#include <cstring>

#include "vendors/emu/virtual_devices.h"
#include "vendors/js_net_protocol.h"

using vendor_emu::Device;
using vendor_emu::Store;

namespace {
std::mutex g_mu;
std::string g_ip;  // the logged-in device, guarded by g_mu
int g_port = 0;    // guarded by g_mu
vendor_emu::Worker g_search;

std::string SearchText(const Device& d) {
    return "DEVICE-NAME=" + d.Text("name") + " DEVICE-MAC=" + d.Text("mac") +
           " DEVICE-IP=" + d.Text("ip") + " DEVICE-SUBMASK=" + d.Text("mask") +
           " DEVICE-GATEWAY=" + d.Text("gateway") + " DEVICE-ID=" + d.Text("id") +
           " DEVICE-CHANNELS=" + std::to_string(d.Int("channels", 1)) +
           " DEVICE-RTSPPORT=" + std::to_string(d.Int("data_port", 554)) +
           " DEVICE-WEBPORT=" + std::to_string(d.Int("web_port", 80));
}

int WithSession(const char* counter) {
    std::string ip;
    int port;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        ip = g_ip;
        port = g_port;
    }
    if (ip.empty()) return -1;
    return Store::Instance().With(ip, port, [&](Device& d) { d.Bump(counter); }) ? 0 : -1;
}
}  // namespace

const char* vendor_emu::LibraryMaker() {
    return "js";
}

ZYN_VENDOR_EXPORT int JSNetProtocol_Ord2(void*) {
    Store::Instance().Log("JSNetProtocol_Ord2()");
    return 0;
}

ZYN_VENDOR_EXPORT int JSNetProtocol_Ord3(void) {
    Store::Instance().Log("JSNetProtocol_Ord3()");
    g_search.Stop();
    return 0;
}

ZYN_VENDOR_EXPORT int JSNetProtocol_Ord24(void*, int on, JsWindow* window, unsigned message) {
    Store::Instance().Log("JSNetProtocol_Ord24(" + std::to_string(on) + "," +
                          std::to_string(message) + ")");
    g_search.Stop();
    if (!on) return 0;
    if (!window || !window->post) return -1;
    JsWindow w = *window;
    g_search.Start([w, message](vendor_emu::Worker& worker) {
        for (const Device& d : Store::Instance().Devices()) {
            if (!worker.Wait(10)) return;
            w.post(w.context, message, SearchText(d).c_str());
        }
    });
    return 0;
}

ZYN_VENDOR_EXPORT int JSNetProtocol_Ord5(const char* ip, int port, const char* stream, int flag,
                                         const char* user, const char* password, JsWindow*) {
    using vendor_emu::Quote;
    Store::Instance().Log("JSNetProtocol_Ord5(" + Quote(ip) + "," + std::to_string(port) + "," +
                          Quote(stream) + "," + std::to_string(flag) + "," + Quote(user) + "," +
                          Quote(password) + ")");
    bool ok = false;
    if (ip && user && password)
        Store::Instance().With(ip, port, [&](Device& d) {
            ok = d.Text("login") != "fail" && d.Text("user") == user &&
                 d.Text("password") == password;
        });
    if (!ok) return -1;
    std::lock_guard<std::mutex> lock(g_mu);
    g_ip = ip;
    g_port = port;
    return 0;
}

ZYN_VENDOR_EXPORT int JSNetProtocol_Ord6(void) {
    Store::Instance().Log("JSNetProtocol_Ord6()");
    std::lock_guard<std::mutex> lock(g_mu);
    g_ip.clear();
    return 0;
}

ZYN_VENDOR_EXPORT int JSNetProtocol_Ord44(char* ip, char* mac, char* mask, char* gateway) {
    Store::Instance().Log("JSNetProtocol_Ord44()");
    std::string sip;
    int port;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        sip = g_ip;
        port = g_port;
    }
    if (sip.empty() || !ip || !mac || !mask || !gateway) return -1;
    bool found = Store::Instance().With(sip, port, [&](Device& d) {
        std::strncpy(ip, d.Text("ip").c_str(), 31);
        std::strncpy(mac, d.Text("mac").c_str(), 31);
        std::strncpy(mask, d.Text("mask").c_str(), 31);
        std::strncpy(gateway, d.Text("gateway").c_str(), 31);
    });
    return found ? 0 : -1;
}

ZYN_VENDOR_EXPORT int JSNetProtocol_Ord45(const char* ip, const char* mac, const char* mask,
                                          const char* gateway) {
    using vendor_emu::Quote;
    Store::Instance().Log("JSNetProtocol_Ord45(" + Quote(ip) + "," + Quote(mac) + "," +
                          Quote(mask) + "," + Quote(gateway) + ")");
    std::string sip;
    int port;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        sip = g_ip;
        port = g_port;
    }
    if (sip.empty() || !ip || !mac || !mask || !gateway) return -1;
    bool found = Store::Instance().With(sip, port, [&](Device& d) {
        d.fields["ip"] = ip;
        d.fields["mac"] = mac;
        d.fields["mask"] = mask;
        d.fields["gateway"] = gateway;
    });
    return found ? 0 : -1;
}

ZYN_VENDOR_EXPORT int JSNetProtocol_Ord50(void) {
    Store::Instance().Log("JSNetProtocol_Ord50()");
    return WithSession("restores");
}

ZYN_VENDOR_EXPORT int JSNetProtocol_Ord51(void) {
    Store::Instance().Log("JSNetProtocol_Ord51()");
    return WithSession("reboots");
}

ZYN_VENDOR_EXPORT int JSNetProtocol_Ord65(const char* path) {
    Store::Instance().Log("JSNetProtocol_Ord65(" + vendor_emu::Quote(path) + ")");
    return path ? WithSession("upgrades") : -1;
}

ZYN_VENDOR_EXPORT int JSNetProtocol_Ord87(int wait_ms) {
    Store::Instance().Log("JSNetProtocol_Ord87(" + std::to_string(wait_ms) + ")");
    std::lock_guard<std::mutex> lock(g_mu);
    return g_ip.empty() ? -1 : 0;
}
