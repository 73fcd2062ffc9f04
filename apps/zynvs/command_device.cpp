// zynvs get / set / ptz / reboot / upgrade / records: one device command each.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "apps/zynvs/commands.h"
#include "apps/zynvs/device_session.h"
#include "zynvs/ZynDecodeKit.h"
#include "zynvs/wire/crc32.h"
#include "zynvs/wire/layouts.h"
#include "zynvs/wire/param_groups.h"

namespace zynvs_app {
namespace {
namespace wire = zyn::wire;

using ParamCall = int (*)(int id, int ch, void* rec);

// A parameter group of the wire table and its getter and setter exports.
struct Group {
    const wire::ParamGroupInfo& info;
    ParamCall get;
    ParamCall set;
};

const Group kGroups[] = {
    {wire::GroupInfo(wire::ParamGroup::kBase),
     [](int id, int, void* r) { return ZYNVS_GetBaseParam(id, r); },
     [](int id, int, void* r) { return ZYNVS_SetBaseParam(id, r); }},
    {wire::GroupInfo(wire::ParamGroup::kVideo), ZYNVS_GetVideoParam, ZYNVS_SetVideoParam},
    {wire::GroupInfo(wire::ParamGroup::kAudio), ZYNVS_GetAudioParam, ZYNVS_SetAudioParam},
    {wire::GroupInfo(wire::ParamGroup::kRs), ZYNVS_GetRSParam, ZYNVS_SetRSParam},
    {wire::GroupInfo(wire::ParamGroup::kMotion), ZYNVS_GetMotionParam, ZYNVS_SetMotionParam},
    {wire::GroupInfo(wire::ParamGroup::kSensor), ZYNVS_GetSensorParam, ZYNVS_SetSensorParam},
    {wire::GroupInfo(wire::ParamGroup::kMask), ZYNVS_GetMaskParam, ZYNVS_SetMaskParam},
    {wire::GroupInfo(wire::ParamGroup::kVLoss), ZYNVS_GetVLossParam, ZYNVS_SetVLossParam},
    {wire::GroupInfo(wire::ParamGroup::kRecord), ZYNVS_GetRecordParam, ZYNVS_SetRecordParam},
    {wire::GroupInfo(wire::ParamGroup::kNetwork),
     [](int id, int, void* r) { return ZYNVS_GetNetworkParam(id, r); },
     [](int id, int, void* r) { return ZYNVS_SetNetworkParam(id, r); }},
    {wire::GroupInfo(wire::ParamGroup::kPan), ZYNVS_GetPanParam, ZYNVS_SetPanParam},
    {wire::GroupInfo(wire::ParamGroup::kCapture), ZYNVS_GetCaptureParam, ZYNVS_SetCaptureParam},
    {wire::GroupInfo(wire::ParamGroup::kWifi), ZYNVS_GetWifiParam, ZYNVS_SetWifiParam},
    {wire::GroupInfo(wire::ParamGroup::k3G), ZYNVS_Get3GParam, ZYNVS_Set3GParam},
    {wire::GroupInfo(wire::ParamGroup::kFtp), ZYNVS_GetFtpParam, ZYNVS_SetFtpParam},
    {wire::GroupInfo(wire::ParamGroup::kMail), ZYNVS_GetMailParam, ZYNVS_SetMailParam},
};
static_assert(std::size(kGroups) == wire::kParamGroupCount, "every group has its exports");

const Group* FindGroup(const std::string& name) {
    for (const auto& g : kGroups)
        if (name == g.info.name) return &g;
    return nullptr;
}

void ListGroups() {
    std::fprintf(stderr, "groups:");
    for (const auto& g : kGroups) std::fprintf(stderr, " %s(%d)", g.info.name, g.info.record_bytes);
    std::fprintf(stderr, "\n");
}

// Takes "--name value" out of args; returns the value or def.
std::string TakeValue(std::vector<std::string>* args, const char* name, const std::string& def) {
    for (std::size_t i = 0; i + 1 < args->size(); ++i) {
        if ((*args)[i] == name) {
            std::string v = (*args)[i + 1];
            args->erase(args->begin() + static_cast<long>(i),
                        args->begin() + static_cast<long>(i) + 2);
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

}  // namespace

int CommandGet(const std::vector<std::string>& in) {
    auto args = in;
    DeviceOptions dev;
    if (!TakeDeviceOptions(&args, &dev, "get")) return 2;
    std::string out = TakeValue(&args, "--out", "");
    if (args.size() != 1 || !FindGroup(args[0])) {
        std::fprintf(stderr,
                     "usage: zynvs get GROUP [--channel C] [--out FILE] [device options]\n");
        ListGroups();
        return 2;
    }
    const Group& g = *FindGroup(args[0]);
    DeviceSession session(dev);
    if (!session.ok()) return 1;
    std::vector<uint8_t> record(static_cast<std::size_t>(g.info.record_bytes));
    if (g.get(session.id(), dev.channel, record.data()) != 1) {
        std::fprintf(stderr, "zynvs get: the device refused or did not answer\n");
        return 1;
    }
    if (!out.empty()) {
        if (!WriteFile(out, record.data(), record.size())) {
            std::fprintf(stderr, "zynvs get: cannot write %s\n", out.c_str());
            return 1;
        }
        std::printf("%s: %d bytes written to %s\n", g.info.name, g.info.record_bytes, out.c_str());
    } else {
        std::printf("%s (channel %d, %d bytes):\n", g.info.name, dev.channel, g.info.record_bytes);
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
        std::fprintf(
            stderr,
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
    if (record.size() != static_cast<std::size_t>(g.info.record_bytes)) {
        std::fprintf(stderr, "zynvs set: a %s record is %d bytes, got %zu\n", g.info.name,
                     g.info.record_bytes, record.size());
        return 2;
    }
    DeviceSession session(dev);
    if (!session.ok()) return 1;
    if (g.set(session.id(), dev.channel, record.data()) != 1) {
        std::fprintf(stderr, "zynvs set: the device refused or did not answer\n");
        return 1;
    }
    std::printf("%s: %d bytes set on channel %d\n", g.info.name, g.info.record_bytes, dev.channel);
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
        std::fprintf(stderr,
                     "usage: zynvs ptz --command N [--speed S] [--extra E] [--channel C] [device "
                     "options]\n");
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
    uint8_t request[wire::UpgradeRequest::kBytes] = {};
    const wire::MutableUpgradeRequest r(request);
    r.set_image_bytes(static_cast<uint32_t>(image.size()));
    r.set_crc32(wire::Crc32(image.data(), image.size()));
    r.set_chunk_bytes(static_cast<uint32_t>(chunk));
    std::string base = args[0].substr(args[0].find_last_of('/') + 1);
    std::snprintf(reinterpret_cast<char*>(r.file_name()), r.kFileNameBytes, "%s", base.c_str());
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
        uint8_t header[wire::UpgradeChunk::kHeaderBytes];
        wire::MutableUpgradeChunk(header).set_chunk_word(static_cast<uint16_t>(index));
        wire::MutableUpgradeChunk(header).set_chunk_length(static_cast<uint16_t>(n));
        if (ZYNVS_UpdateFile(session.id(), 0, header, image.data() + sent) != 1) {
            std::fprintf(stderr, "\nzynvs upgrade: chunk %d refused at %zu of %zu bytes\n", index,
                         sent, image.size());
            return 1;
        }
        sent += n;
        ++index;
        const int percent = static_cast<int>(100.0 * sent / image.size());
        if (tty)
            std::fprintf(stderr, "\rupgrade: %zu / %zu bytes (%d%%)", sent, image.size(), percent);
        else if (percent / 10 != last_decile)
            std::fprintf(stderr, "upgrade: %d%%\n", percent);
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
    const wire::RecordEntry e(static_cast<const uint8_t*>(entry));
    char name[wire::RecordEntry::kNameBytes + 1] = {};
    std::memcpy(name, e.name(), e.kNameBytes);
    std::time_t start = e.start_time();
    std::time_t end = e.end_time();
    char a[32], b[32];
    std::strftime(a, sizeof a, "%Y-%m-%d %H:%M:%S", std::gmtime(&start));
    std::strftime(b, sizeof b, "%H:%M:%S", std::gmtime(&end));
    std::lock_guard<std::mutex> lock(g_records_mutex);
    std::printf("  ch%u type %u  %s .. %s  %10u bytes  %s\n", e.channel(), e.file_type(), a, b,
                e.size_bytes(), name);
    ++g_records_seen;
    if (last) g_records_last = true;
}
}  // namespace

int CommandRecords(const std::vector<std::string>& in) {
    auto args = in;
    DeviceOptions dev;
    dev.channel = wire::RecordQuery::kAllChannels;
    if (!TakeDeviceOptions(&args, &dev, "records")) return 2;
    int type = std::atoi(TakeValue(&args, "--type", "0").c_str());
    if (!NoLeftovers(args, "records")) return 2;
    DeviceSession session(dev);
    if (!session.ok()) return 1;
    uint8_t query[wire::RecordQuery::kBytes] = {};
    wire::MutableRecordQuery(query).set_channel(static_cast<uint8_t>(dev.channel));
    wire::MutableRecordQuery(query).set_file_type(static_cast<uint8_t>(type));
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
