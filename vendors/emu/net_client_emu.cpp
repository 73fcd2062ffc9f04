// Emulated NetClient: reboot (37), restore (53) and upgrade (35, 36) of the
// CamSearch maker's virtual devices.
#include "vendors/cam_search.h"
#include "vendors/emu/virtual_devices.h"

using vendor_emu::Device;
using vendor_emu::Store;

namespace {
vendor_emu::Worker g_upgrade;
std::atomic<int> g_result{-1};

std::string Args(const char* a, const char* b, const char* c, const char* d, int port) {
    using vendor_emu::Quote;
    return Quote(a) + "," + Quote(b) + "," + Quote(c) + "," + Quote(d) + "," + std::to_string(port);
}

int Act(const char* ip, const char* user, const char* password, int port, const char* counter) {
    if (!ip || !user || !password) return 0;
    bool ok = false;
    Store::Instance().With(ip, port, [&](Device& d) {
        ok = d.Text("login") != "fail" && d.Text("user") == user && d.Text("password") == password;
        if (ok) d.Bump(counter);
    });
    return ok ? 1 : 0;
}
}  // namespace

const char* vendor_emu::LibraryMaker() {
    return "camsearch";
}

ZYN_VENDOR_EXPORT int NetClient_Ord37(const char* name, const char* ip, const char* user,
                                      const char* password, int port) {
    Store::Instance().Log("NetClient_Ord37(" + Args(name, ip, user, password, port) + ")");
    return Act(ip, user, password, port, "reboots");
}

ZYN_VENDOR_EXPORT int NetClient_Ord53(const char* name, const char* ip, const char* user,
                                      const char* password, int port) {
    Store::Instance().Log("NetClient_Ord53(" + Args(name, ip, user, password, port) + ")");
    return Act(ip, user, password, port, "restores");
}

ZYN_VENDOR_EXPORT int NetClient_Ord35(const char* ip, const char* user, const char* password,
                                      const char* path, NetClientEvent* done, int port, int flags) {
    Store::Instance().Log("NetClient_Ord35(" + Args(ip, user, password, path, port) + "," +
                          std::to_string(flags) + ")");
    if (!done || !path || !Act(ip, user, password, port, "upgrades")) return -1;
    int duration_ms = 3000, final_state = 1;
    Store::Instance().With(ip, port, [&](Device& d) {
        duration_ms = d.Int("upgrade_ms", 3000);
        final_state = d.Int("upgrade_state", 1);
    });
    g_result = -1;
    __atomic_store_n(&done->signalled, 0, __ATOMIC_SEQ_CST);
    g_upgrade.Start([=](vendor_emu::Worker& w) {
        if (!w.Wait(duration_ms)) return;
        g_result = final_state == 1 ? 0 : final_state;
        __atomic_store_n(&done->signalled, 1, __ATOMIC_SEQ_CST);
    });
    return 0;
}

ZYN_VENDOR_EXPORT int NetClient_Ord36(void) {
    Store::Instance().Log("NetClient_Ord36()");
    return g_result;
}
