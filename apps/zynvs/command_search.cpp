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
#include "zynvs/ZynDecodeKit.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"

namespace zynvs_app {
namespace {
std::mutex g_mutex;
std::set<std::string> g_seen;
int g_malformed = 0;

std::string Address(uint32_t v) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", v >> 24, (v >> 16) & 255, (v >> 8) & 255,
                  v & 255);
    return buf;
}

void ZYNVS_CALL OnSearch(unsigned short command, unsigned int length, void* payload, void*) {
    using Answer = zyn::wire::SearchAnswer;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (payload == nullptr) {
        ++g_malformed;
        return;
    }
    if (command != zyn::wire::kSearchReply || length < Answer::kBytes) return;
    const Answer p(static_cast<const uint8_t*>(payload));
    char mac[20];
    const uint8_t* m = p.mac();
    std::snprintf(mac, sizeof mac, "%02X:%02X:%02X:%02X:%02X:%02X", m[0], m[1], m[2], m[3], m[4],
                  m[5]);
    if (!g_seen.insert(mac).second) return;
    char name[Answer::kNameBytes + 1] = {}, serial[Answer::kSerialBytes + 1] = {},
                                   firmware[Answer::kFirmwareBytes + 1] = {};
    std::memcpy(name, p.name(), Answer::kNameBytes);
    std::memcpy(serial, p.serial(), Answer::kSerialBytes);
    std::memcpy(firmware, p.firmware_text(), Answer::kFirmwareBytes);
    std::printf("%-20s %-17s %s/%s gw %s  ports %u/%u  %u ch  serial %s  fw %s\n", name, mac,
                Address(p.address()).c_str(), Address(p.mask()).c_str(),
                Address(p.gateway()).c_str(), p.control_port(), p.stream_port(), p.channel_count(),
                serial, firmware);
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
