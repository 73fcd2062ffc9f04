// zynvs get / set / ptz / reboot / upgrade / records: one device command each.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <ctime>
#include <iterator>
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
#include "zynvs/wire/param_fields.h"
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

// Base and network belong to the whole device; the other groups to a channel.
bool PerChannel(const Group& g) {
    return g.info.group != wire::ParamGroup::kBase && g.info.group != wire::ParamGroup::kNetwork;
}

const Group* FindGroup(const std::string& name) {
    for (const auto& g : kGroups)
        if (name == g.info.name) return &g;
    return nullptr;
}

std::string GroupList() {
    std::string text = "groups (record bytes):";
    for (const auto& g : kGroups)
        text += std::string(" ") + g.info.name + "(" + std::to_string(g.info.record_bytes) + ")";
    return text;
}

// "name value" lines of every field of the group.
void PrintFields(const Group& g, const uint8_t* record) {
    for (const wire::ParamField& f : wire::kParamFields)
        if (f.group == g.info.group)
            std::printf("  %-18s %s\n", f.name, wire::FormatField(record, f).c_str());
}

std::string FieldList(const Group& g) {
    std::string text = std::string(g.info.name) + " fields:";
    for (const wire::ParamField& f : wire::kParamFields)
        if (f.group == g.info.group)
            text += std::string(" ") + f.name + (f.read_only ? "(read-only)" : "");
    return text;
}

std::string FieldGroups() {
    std::string text = "groups with named fields:";
    for (const auto& g : kGroups)
        if (wire::GroupHasFields(g.info.group)) text += std::string(" ") + g.info.name;
    return text;
}

// Writes "field=value" into the record; an error text naming the field, or empty.
std::string Assign(const Group& g, const std::string& assignment, uint8_t* record) {
    const std::size_t eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0) return "'" + assignment + "' is not FIELD=VALUE";
    const std::string name = assignment.substr(0, eq), value = assignment.substr(eq + 1);
    const wire::ParamField* f = wire::FindField(g.info.group, name);
    if (f == nullptr) return "unknown field '" + name + "'; " + FieldList(g);
    if (f->read_only) return "field '" + name + "' is read-only";
    if (!wire::ParseField(value, *f, record))
        return "bad value '" + value + "' for " + name + " (wants " + wire::FieldSyntax(*f) + ")";
    return {};
}

}  // namespace

int CommandGet(const std::vector<std::string>& args) {
    DeviceOptions dev;
    std::string group, out;
    bool hex = false;
    OptionParser p("get", "GROUP [--hex] [--channel C] [--out FILE] [device options]",
                   "Reads one parameter group of the device: its fields by name, a hex dump, "
                   "or the record to a file.");
    p.Positional("GROUP", &group, "parameter group, see below");
    p.Flag("--hex", &hex, "a hex dump of the record instead of its fields");
    p.Text("--out", &out, "FILE", "write the record to FILE instead of printing it");
    AddDeviceOptions(&p, &dev, ChannelUse::kOne);
    p.Note(GroupList() +
           "\nbase and network belong to the whole device; the others to --channel.\n" +
           FieldGroups() + "; the others are shown in hex.");
    if (int rc = p.Parse(args); rc >= 0) return rc;
    const Group* g = FindGroup(group);
    if (g == nullptr) return p.UsageError("unknown group '" + group + "'; " + GroupList());
    DeviceSession session(dev, "get");
    if (!session.ok()) return kExitFailed;
    if (PerChannel(*g) && !session.CheckChannels(dev.channels)) return kExitUsage;
    std::vector<uint8_t> record(static_cast<std::size_t>(g->info.record_bytes));
    if (g->get(session.id(), dev.channel(), record.data()) != 1) {
        std::fprintf(stderr, "zynvs get: the device refused or did not answer\n");
        return kExitFailed;
    }
    if (!out.empty()) {
        std::string why;
        if (!WriteFile(out, record.data(), record.size(), &why)) {
            std::fprintf(stderr, "zynvs get: cannot write %s: %s\n", out.c_str(), why.c_str());
            return kExitFailed;
        }
        std::printf("%s: %d bytes written to %s\n", g->info.name, g->info.record_bytes,
                    out.c_str());
        return kExitOk;
    }
    if (PerChannel(*g))
        std::printf("%s (channel %d, %d bytes):\n", g->info.name, dev.channel(),
                    g->info.record_bytes);
    else
        std::printf("%s (%d bytes):\n", g->info.name, g->info.record_bytes);
    if (hex || !wire::GroupHasFields(g->info.group))
        HexDump(record.data(), record.size());
    else
        PrintFields(*g, record.data());
    return kExitOk;
}

int CommandSet(const std::vector<std::string>& args) {
    DeviceOptions dev;
    std::string group, file, hex;
    std::vector<std::string> assignments;
    OptionParser p("set",
                   "GROUP (FIELD=VALUE ... | --in FILE | --hex BYTES) [--channel C] "
                   "[device options]",
                   "Writes one parameter group of the device: single fields (the rest of the "
                   "record is kept), or the whole record from a file or hex bytes.");
    p.Positional("GROUP", &group, "parameter group, see below");
    p.PositionalList("FIELD=VALUE", &assignments, "fields to change, by name (see zynvs get)");
    p.Text("--in", &file, "FILE", "the record, exactly as many bytes as the group has");
    p.Text("--hex", &hex, "BYTES", "the record as hex bytes (spaces, ':' and ',' ignored)");
    AddDeviceOptions(&p, &dev, ChannelUse::kOne);
    p.Note(GroupList() + "\n" + FieldGroups() +
           "\nexample: zynvs set video resolution=720p bitrate=2048 fps=25 gop=50");
    if (int rc = p.Parse(args); rc >= 0) return rc;
    const Group* g = FindGroup(group);
    if (g == nullptr) return p.UsageError("unknown group '" + group + "'; " + GroupList());
    const int sources = !file.empty() + !hex.empty() + !assignments.empty();
    if (sources != 1) return p.UsageError("give FIELD=VALUE pairs, --in FILE or --hex BYTES");
    std::vector<uint8_t> record(static_cast<std::size_t>(g->info.record_bytes));
    if (!assignments.empty()) {
        if (!wire::GroupHasFields(g->info.group))
            return p.UsageError("the " + std::string(g->info.name) +
                                " group has no named fields; use --in or --hex");
        for (const std::string& a : assignments)  // checked before the device is asked
            if (std::string why = Assign(*g, a, record.data()); !why.empty())
                return p.UsageError(why);
    }
    if (!file.empty() && !ReadFile(file, &record))
        return p.UsageError("cannot read " + file + ": " + std::strerror(errno));
    if (!hex.empty() && !ParseHex(hex, &record))
        return p.UsageError("--hex wants pairs of hex digits");
    if (record.size() != static_cast<std::size_t>(g->info.record_bytes))
        return p.UsageError("a " + std::string(g->info.name) + " record is " +
                            std::to_string(g->info.record_bytes) + " bytes, not " +
                            std::to_string(record.size()));
    DeviceSession session(dev, "set");
    if (!session.ok()) return kExitFailed;
    if (PerChannel(*g) && !session.CheckChannels(dev.channels)) return kExitUsage;
    if (!assignments.empty()) {  // read, change the named fields, write back
        if (g->get(session.id(), dev.channel(), record.data()) != 1) {
            std::fprintf(stderr, "zynvs set: the device refused or did not answer the read\n");
            return kExitFailed;
        }
        for (const std::string& a : assignments) Assign(*g, a, record.data());
    }
    if (g->set(session.id(), dev.channel(), record.data()) != 1) {
        std::fprintf(stderr, "zynvs set: the device refused or did not answer\n");
        return kExitFailed;
    }
    if (!assignments.empty()) {
        std::printf("%s:", g->info.name);
        for (const std::string& a : assignments) std::printf(" %s", a.c_str());
        std::printf(" set");
    } else {
        std::printf("%s: %d bytes set", g->info.name, g->info.record_bytes);
    }
    if (PerChannel(*g))
        std::printf(" on channel %d\n", dev.channel());
    else
        std::printf("\n");
    return kExitOk;
}

int CommandPtz(const std::vector<std::string>& args) {
    DeviceOptions dev;
    int command = -1, speed = 5, extra = 0;
    OptionParser p("ptz", "--command N [--speed S] [--extra E] [--channel C] [device options]",
                   "Sends one pan/tilt/zoom command to a channel.");
    p.Int("--command", &command, 0, 255, "command code (required)");
    p.Int("--speed", &speed, 0, 255, "speed byte");
    p.Int("--extra", &extra, 0, 255, "extra byte (preset number, ...)");
    AddDeviceOptions(&p, &dev, ChannelUse::kOne);
    if (int rc = p.Parse(args); rc >= 0) return rc;
    if (!p.Given("--command")) return p.UsageError("--command is missing");
    DeviceSession session(dev, "ptz");
    if (!session.ok()) return kExitFailed;
    if (!session.CheckChannels(dev.channels)) return kExitUsage;
    const int ok = ZYNVS_PTZControl(session.id(), dev.channel(), command, speed, extra);
    std::printf("ptz command %d speed %d on channel %d: %s\n", command, speed, dev.channel(),
                ok ? "done" : "refused");
    return ok ? kExitOk : kExitFailed;
}

int CommandReboot(const std::vector<std::string>& args) {
    DeviceOptions dev;
    OptionParser p("reboot", "[device options]", "Restarts the device.");
    AddDeviceOptions(&p, &dev, ChannelUse::kNone);
    if (int rc = p.Parse(args); rc >= 0) return rc;
    DeviceSession session(dev, "reboot");
    if (!session.ok()) return kExitFailed;
    const int ok = ZYNVS_RebootDevice(session.id());
    std::printf("reboot: %s\n", ok ? "the device is restarting" : "no answer");
    return ok ? kExitOk : kExitFailed;
}

int CommandUpgrade(const std::vector<std::string>& args) {
    DeviceOptions dev;
    std::string path;
    int chunk = 1020;
    OptionParser p("upgrade", "FILE [--chunk N] [device options]",
                   "Sends a firmware image to the device in chunks.");
    p.Positional("FILE", &path, "the firmware image");
    p.Int("--chunk", &chunk, 1, 1020, "bytes per chunk");
    AddDeviceOptions(&p, &dev, ChannelUse::kNone);
    if (int rc = p.Parse(args); rc >= 0) return rc;
    std::vector<uint8_t> image;
    if (!ReadFile(path, &image))
        return p.UsageError("cannot read " + path + ": " + std::strerror(errno));
    if (image.empty()) return p.UsageError(path + " is empty");
    DeviceSession session(dev, "upgrade");
    if (!session.ok()) return kExitFailed;
    uint8_t request[wire::UpgradeRequest::kBytes] = {};
    const wire::MutableUpgradeRequest r(request);
    r.set_image_bytes(static_cast<uint32_t>(image.size()));
    r.set_crc32(wire::Crc32(image.data(), image.size()));
    r.set_chunk_bytes(static_cast<uint32_t>(chunk));
    std::string base = path.substr(path.find_last_of('/') + 1);
    std::snprintf(reinterpret_cast<char*>(r.file_name()), r.kFileNameBytes, "%s", base.c_str());
    if (ZYNVS_UpdateRequest(session.id(), 0, request) != 1) {
        std::fprintf(stderr, "zynvs upgrade: the device refused the upgrade\n");
        return kExitFailed;
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
            return kExitFailed;
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

// Record file types as the device names them (0 asks for any).
const char* const kRecordTypes[] = {"any", "timer", "alarm", "manual"};

const char* RecordTypeName(unsigned type) {
    return type < std::size(kRecordTypes) ? kRecordTypes[type] : "unknown";
}

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
    std::printf("  ch%u %-6s %s .. %s  %10u bytes  %s\n", e.channel(),
                RecordTypeName(e.file_type()), a, b, e.size_bytes(), name);
    ++g_records_seen;
    if (last) g_records_last = true;
}
}  // namespace

int CommandRecords(const std::vector<std::string>& args) {
    DeviceOptions dev;
    int channel = -1, type = 0;
    OptionParser p("records", "[--channel C] [--type T] [device options]",
                   "Lists the record files the device holds.");
    p.Int("--channel", &channel, -1, 255, "channel, -1 for all channels");
    p.Int("--type", &type, 0, 3, "file type: 0 any, 1 timer, 2 alarm, 3 manual");
    AddDeviceOptions(&p, &dev, ChannelUse::kNone);
    if (int rc = p.Parse(args); rc >= 0) return rc;
    DeviceSession session(dev, "records");
    if (!session.ok()) return kExitFailed;
    if (channel >= 0 && !session.CheckChannels({channel})) return kExitUsage;
    uint8_t query[wire::RecordQuery::kBytes] = {};
    wire::MutableRecordQuery(query).set_channel(
        static_cast<uint8_t>(channel < 0 ? wire::RecordQuery::kAllChannels : channel));
    wire::MutableRecordQuery(query).set_file_type(static_cast<uint8_t>(type));
    std::printf("record files on the device (%s):\n", type ? RecordTypeName(type) : "all types");
    if (ZYNVS_QueryRecInfo(session.id(), query, OnRecord, nullptr) != 1) {
        std::fprintf(stderr, "zynvs records: the device refused the query\n");
        return kExitFailed;
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
    return g_records_last || g_records_seen == 0 ? kExitOk : kExitFailed;
}
}  // namespace zynvs_app
