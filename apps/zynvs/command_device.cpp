// zynvs get / set / ptz / reboot / upgrade / records: one device command each.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "apps/zynvs/commands.h"
#include "apps/zynvs/device_session.h"
#include "tools/devsim/protocol.h"
#include "zynvs/ZynDecodeKit.h"

namespace zynvs_app {
namespace {
struct Group {
    const char* name;
    int bytes;
    int (*get)(int id, int ch, void* rec);
    int (*set)(int id, int ch, void* rec);
};

const Group kGroups[] = {
    {"base", 88, [](int id, int, void* r) { return ZYNVS_GetBaseParam(id, r); },
     [](int id, int, void* r) { return ZYNVS_SetBaseParam(id, r); }},
    {"video", 92, ZYNVS_GetVideoParam, ZYNVS_SetVideoParam},
    {"audio", 4, ZYNVS_GetAudioParam, ZYNVS_SetAudioParam},
    {"rs", 8, ZYNVS_GetRSParam, ZYNVS_SetRSParam},
    {"motion", 304, ZYNVS_GetMotionParam, ZYNVS_SetMotionParam},
    {"sensor", 72, ZYNVS_GetSensorParam, ZYNVS_SetSensorParam},
    {"mask", 80, ZYNVS_GetMaskParam, ZYNVS_SetMaskParam},
    {"vloss", 8, ZYNVS_GetVLossParam, ZYNVS_SetVLossParam},
    {"record", 72, ZYNVS_GetRecordParam, ZYNVS_SetRecordParam},
    {"network", 328, [](int id, int, void* r) { return ZYNVS_GetNetworkParam(id, r); },
     [](int id, int, void* r) { return ZYNVS_SetNetworkParam(id, r); }},
    {"pan", 4, ZYNVS_GetPanParam, ZYNVS_SetPanParam},
    {"capture", 84, ZYNVS_GetCaptureParam, ZYNVS_SetCaptureParam},
    {"wifi", 264, ZYNVS_GetWifiParam, ZYNVS_SetWifiParam},
    {"3g", 25, ZYNVS_Get3GParam, ZYNVS_Set3GParam},
    {"ftp", 200, ZYNVS_GetFtpParam, ZYNVS_SetFtpParam},
    {"mail", 516, ZYNVS_GetMailParam, ZYNVS_SetMailParam},
};

const Group* FindGroup(const std::string& name) {
    for (const auto& g : kGroups)
        if (name == g.name) return &g;
    return nullptr;
}

void ListGroups() {
    std::fprintf(stderr, "groups:");
    for (const auto& g : kGroups) std::fprintf(stderr, " %s(%d)", g.name, g.bytes);
    std::fprintf(stderr, "\n");
}

// Takes "--name value" out of args; returns the value or def.
std::string TakeValue(std::vector<std::string>* args, const char* name, const std::string& def) {
    for (std::size_t i = 0; i + 1 < args->size(); ++i) {
        if ((*args)[i] == name) {
            std::string v = (*args)[i + 1];
            args->erase(args->begin() + static_cast<long>(i), args->begin() + static_cast<long>(i) + 2);
            return v;
        }
    }
    return def;
}

bool NoLeftovers(const std::vector<std::string>& args, const char* command) {
    if (args.empty()) return true;
    std::fprintf(stderr, "zynvs %s: unexpected '%s'\n", command, args.front().c_str());
    return false;
}

uint32_t Crc32(const uint8_t* data, std::size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t GetLe32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
}  // namespace

int CommandGet(const std::vector<std::string>& in) {
    auto args = in;
    DeviceOptions dev;
    if (!TakeDeviceOptions(&args, &dev, "get")) return 2;
    std::string out = TakeValue(&args, "--out", "");
    if (args.size() != 1 || !FindGroup(args[0])) {
        std::fprintf(stderr, "usage: zynvs get GROUP [--channel C] [--out FILE] [device options]\n");
        ListGroups();
        return 2;
    }
    const Group& g = *FindGroup(args[0]);
    DeviceSession session(dev);
    if (!session.ok()) return 1;
    std::vector<uint8_t> record(static_cast<std::size_t>(g.bytes));
    if (g.get(session.id(), dev.channel, record.data()) != 1) {
        std::fprintf(stderr, "zynvs get: the device refused or did not answer\n");
        return 1;
    }
    if (!out.empty()) {
        if (!WriteFile(out, record.data(), record.size())) {
            std::fprintf(stderr, "zynvs get: cannot write %s\n", out.c_str());
            return 1;
        }
        std::printf("%s: %d bytes written to %s\n", g.name, g.bytes, out.c_str());
    } else {
        std::printf("%s (channel %d, %d bytes):\n", g.name, dev.channel, g.bytes);
        HexDump(record.data(), record.size());
    }
    return 0;
}

int CommandSet(const std::vector<std::string>& in) {
    auto args = in;
    DeviceOptions dev;
    if (!TakeDeviceOptions(&args, &dev, "set")) return 2;
    std::string file = TakeValue(&args, "--in", "");
    std::string hex = TakeValue(&args, "--hex", "");
    if (args.size() != 1 || !FindGroup(args[0]) || (file.empty() == hex.empty())) {
        std::fprintf(stderr,
                     "usage: zynvs set GROUP (--in FILE | --hex BYTES) [--channel C] [device options]\n");
        ListGroups();
        return 2;
    }
    const Group& g = *FindGroup(args[0]);
    std::vector<uint8_t> record;
    if (!file.empty() ? !ReadFile(file, &record) : !ParseHex(hex, &record)) {
        std::fprintf(stderr, "zynvs set: cannot read the record\n");
        return 2;
    }
    if (record.size() != static_cast<std::size_t>(g.bytes)) {
        std::fprintf(stderr, "zynvs set: a %s record is %d bytes, got %zu\n", g.name, g.bytes,
                     record.size());
        return 2;
    }
    DeviceSession session(dev);
    if (!session.ok()) return 1;
    if (g.set(session.id(), dev.channel, record.data()) != 1) {
        std::fprintf(stderr, "zynvs set: the device refused or did not answer\n");
        return 1;
    }
    std::printf("%s: %d bytes set on channel %d\n", g.name, g.bytes, dev.channel);
    return 0;
}

int CommandPtz(const std::vector<std::string>& in) {
    auto args = in;
    DeviceOptions dev;
    if (!TakeDeviceOptions(&args, &dev, "ptz")) return 2;
    int command = std::atoi(TakeValue(&args, "--command", "-1").c_str());
    int speed = std::atoi(TakeValue(&args, "--speed", "5").c_str());
    int extra = std::atoi(TakeValue(&args, "--extra", "0").c_str());
    if (command < 0 || command > 255 || !NoLeftovers(args, "ptz")) {
        std::fprintf(stderr, "usage: zynvs ptz --command N [--speed S] [--extra E] [--channel C] [device options]\n");
        return 2;
    }
    DeviceSession session(dev);
    if (!session.ok()) return 1;
    int ok = ZYNVS_PTZControl(session.id(), dev.channel, command, speed, extra);
    std::printf("ptz command %d speed %d on channel %d: %s\n", command, speed, dev.channel,
                ok ? "done" : "refused");
    return ok ? 0 : 1;
}

int CommandReboot(const std::vector<std::string>& in) {
    auto args = in;
    DeviceOptions dev;
    if (!TakeDeviceOptions(&args, &dev, "reboot") || !NoLeftovers(args, "reboot")) return 2;
    DeviceSession session(dev);
    if (!session.ok()) return 1;
    int ok = ZYNVS_RebootDevice(session.id());
    std::printf("reboot: %s\n", ok ? "the device is restarting" : "no answer");
    return ok ? 0 : 1;
}

int CommandUpgrade(const std::vector<std::string>& in) {
    auto args = in;
    DeviceOptions dev;
    if (!TakeDeviceOptions(&args, &dev, "upgrade")) return 2;
    int chunk = std::atoi(TakeValue(&args, "--chunk", "1020").c_str());
    if (args.size() != 1 || chunk < 1 || chunk > 1020) {
        std::fprintf(stderr, "usage: zynvs upgrade FILE [--chunk 1..1020] [device options]\n");
        return 2;
    }
    std::vector<uint8_t> image;
    if (!ReadFile(args[0], &image) || image.empty()) {
        std::fprintf(stderr, "zynvs upgrade: cannot read %s\n", args[0].c_str());
        return 2;
    }
    DeviceSession session(dev);
    if (!session.ok()) return 1;
    uint8_t request[devsim::kUpgradeRequestBytes] = {};
    PutLe32(request + devsim::upgrade::kImageBytes, static_cast<uint32_t>(image.size()));
    PutLe32(request + devsim::upgrade::kCrc32, Crc32(image.data(), image.size()));
    PutLe32(request + devsim::upgrade::kChunkBytes, static_cast<uint32_t>(chunk));
    std::string base = args[0].substr(args[0].find_last_of('/') + 1);
    std::snprintf(reinterpret_cast<char*>(request + devsim::upgrade::kFileName), 32, "%s",
                  base.c_str());
    if (ZYNVS_UpdateRequest(session.id(), 0, request) != 1) {
        std::fprintf(stderr, "zynvs upgrade: the device refused the upgrade\n");
        return 1;
    }
    std::size_t sent = 0;
    int index = 0;
    const bool tty = isatty(fileno(stderr));
    int last_decile = -1;
    while (sent < image.size()) {
        std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(chunk), image.size() - sent);
        uint8_t header[4] = {static_cast<uint8_t>(index), static_cast<uint8_t>(index >> 8),
                             static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
        if (ZYNVS_UpdateFile(session.id(), 0, header, image.data() + sent) != 1) {
            std::fprintf(stderr, "\nzynvs upgrade: chunk %d refused at %zu of %zu bytes\n", index,
                         sent, image.size());
            return 1;
        }
        sent += n;
        ++index;
        const int percent = static_cast<int>(100.0 * sent / image.size());
        if (tty) std::fprintf(stderr, "\rupgrade: %zu / %zu bytes (%d%%)", sent, image.size(), percent);
        else if (percent / 10 != last_decile) std::fprintf(stderr, "upgrade: %d%%\n", percent);
        last_decile = percent / 10;
    }
    if (tty) std::fprintf(stderr, "\n");
    std::printf("upgrade: %zu bytes in %d chunks accepted\n", image.size(), index);
    return 0;
}

namespace {
std::mutex g_records_mutex;
int g_records_seen = 0;
bool g_records_last = false;

void ZYNVS_CALL OnRecord(void* entry, int last, void*) {
    const auto* e = static_cast<const uint8_t*>(entry);
    char name[65] = {};
    std::memcpy(name, e + devsim::entry::kName, 64);
    std::time_t start = GetLe32(e + devsim::entry::kStartTime);
    std::time_t end = GetLe32(e + devsim::entry::kEndTime);
    char a[32], b[32];
    std::strftime(a, sizeof a, "%Y-%m-%d %H:%M:%S", std::gmtime(&start));
    std::strftime(b, sizeof b, "%H:%M:%S", std::gmtime(&end));
    std::lock_guard<std::mutex> lock(g_records_mutex);
    std::printf("  ch%u type %u  %s .. %s  %10u bytes  %s\n", e[devsim::entry::kChannel],
                e[devsim::entry::kFileType], a, b, GetLe32(e + devsim::entry::kSizeBytes), name);
    ++g_records_seen;
    if (last) g_records_last = true;
}
}  // namespace

int CommandRecords(const std::vector<std::string>& in) {
    auto args = in;
    DeviceOptions dev;
    dev.channel = 0xFF;
    if (!TakeDeviceOptions(&args, &dev, "records")) return 2;
    int type = std::atoi(TakeValue(&args, "--type", "0").c_str());
    if (!NoLeftovers(args, "records")) return 2;
    DeviceSession session(dev);
    if (!session.ok()) return 1;
    uint8_t query[devsim::kRecordQueryBytes] = {};
    query[devsim::query::kChannel] = static_cast<uint8_t>(dev.channel);
    query[devsim::query::kFileType] = static_cast<uint8_t>(type);
    std::printf("record files on the device:\n");
    if (ZYNVS_QueryRecInfo(session.id(), query, OnRecord, nullptr) != 1) {
        std::fprintf(stderr, "zynvs records: query refused\n");
        return 1;
    }
    // Entries arrive on the receive thread; the last one says so.
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        {
            std::lock_guard<std::mutex> lock(g_records_mutex);
            if (g_records_last) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::lock_guard<std::mutex> lock(g_records_mutex);
    std::printf("%d file(s)%s\n", g_records_seen, g_records_last ? "" : " (list incomplete)");
    return g_records_last || g_records_seen == 0 ? 0 : 1;
}
}  // namespace zynvs_app
