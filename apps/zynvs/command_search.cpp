// zynvs search: LAN search by multicast; prints every device that answers.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "apps/zynvs/commands.h"
#include "apps/zynvs/console.h"
#include "apps/zynvs/options.h"
#include "tools/devsim/protocol.h"
#include "zynvs/ZynDecodeKit.h"

namespace zynvs_app {
namespace {
std::mutex g_mutex;
std::set<std::string> g_seen;
int g_malformed = 0;

std::string Address(const uint8_t* p) {
    uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
    char buf[20];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", v >> 24, (v >> 16) & 255, (v >> 8) & 255,
                  v & 255);
    return buf;
}

void ZYNVS_CALL OnSearch(unsigned short command, unsigned int length, void* payload, void*) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (payload == nullptr) {
        ++g_malformed;
        return;
    }
    if (command != devsim::kCmdSearchReply || length < devsim::kSearchReplyBytes) return;
    const auto* p = static_cast<const uint8_t*>(payload);
    char mac[20];
    const uint8_t* m = p + devsim::search::kMac;
    std::snprintf(mac, sizeof mac, "%02X:%02X:%02X:%02X:%02X:%02X", m[0], m[1], m[2], m[3], m[4],
                  m[5]);
    if (!g_seen.insert(mac).second) return;
    char name[21] = {}, serial[25] = {}, firmware[25] = {};
    std::memcpy(name, p + devsim::search::kName, 20);
    std::memcpy(serial, p + devsim::search::kSerial, 24);
    std::memcpy(firmware, p + devsim::search::kFirmwareText, 24);
    const unsigned port =
        p[devsim::search::kControlPort] | (p[devsim::search::kControlPort + 1] << 8);
    const unsigned sport =
        p[devsim::search::kStreamPort] | (p[devsim::search::kStreamPort + 1] << 8);
    std::printf("%-20s %-17s %s/%s gw %s  ports %u/%u  %u ch  serial %s  fw %s\n", name, mac,
                Address(p + devsim::search::kAddress).c_str(),
                Address(p + devsim::search::kMask).c_str(),
                Address(p + devsim::search::kGateway).c_str(), port, sport,
                p[devsim::search::kChannelCount], serial, firmware);
    std::fflush(stdout);
}
}  // namespace

int CommandSearch(const std::vector<std::string>& args) {
    int seconds = 3;
    OptionParser p("search", "[--seconds N]",
                   "Finds devices on the LAN by multicast (224.0.1.10); run it inside a private\n"
                   "network namespace when trying it out.");
    p.Int("--seconds", &seconds, 1, 600, "how long to listen for answers");
    if (int rc = p.Parse(args); rc >= 0) return rc;
    ZYNVS_RegisterSearchCallBack(OnSearch, nullptr);
    std::fprintf(stderr, "searching for %d s ...\n", seconds);
    // One request now and one a second later, in case the first was missed.
    for (int t = 0; t < seconds * 10 && !StopRequested(); ++t) {
        if (t % 10 == 0 && t <= 10) ZYNVS_Search();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ZYNVS_StopSearch();
    std::lock_guard<std::mutex> lock(g_mutex);
    std::printf("%zu device(s) found", g_seen.size());
    if (g_malformed) std::printf(", %d malformed answer(s) ignored", g_malformed);
    std::printf("\n");
    return 0;
}
}  // namespace zynvs_app
