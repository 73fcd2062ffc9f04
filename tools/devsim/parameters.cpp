// Parameter records: their defaults, and what the device does when one is set.
//
// Records are stored exactly as sent. Applied from them:
//  - base: the device name (device information, search answer);
//  - network: address, mask and gateway at once (what the device reports);
//    control and stream port at the next reboot;
//  - video: resolution, frame rate, bit rate and I-frame interval of the main
//    and sub stream of the channel; the loops are encoded again right after
//    the reply and every stream started later sends them. A record whose
//    coding fields are not all valid is stored but changes nothing.
#include <ctime>

#include "tools/devsim/device_impl.h"
#include "zynvs/wire/param_fields.h"

namespace devsim {
namespace {

using wire::Field;
using wire::FieldValue;
using wire::ParamField;
using wire::ParamGroup;
using wire::SetFieldText;
using wire::SetFieldValue;

void PutIp(uint8_t* record, const ParamField& f, uint32_t address) {
    for (int i = 0; i < 4; ++i)
        record[f.offset + i] = static_cast<uint8_t>(address >> (24 - 8 * i));
}

uint32_t GetIp(const uint8_t* record, const ParamField& f) {
    const uint8_t* p = record + f.offset;
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void Set(Bytes& r, ParamGroup g, const char* name, int64_t v) {
    SetFieldValue(r.data(), Field(g, name), v);
}

void FullWeek(Bytes& r, ParamGroup g) {
    for (const ParamField& f : wire::kParamFields)
        if (f.group == g && f.kind == wire::FieldKind::kSpan && f.name[3] == '1')
            wire::StoreLe16(r.data() + f.offset + 2, wire::kMinutesPerDay);
}

struct StreamFields {
    const ParamField& resolution;
    const ParamField& fps;
    const ParamField& bitrate;
    const ParamField& gop;
};

constexpr StreamFields kStreamFields[2] = {
    {Field(ParamGroup::kVideo, "resolution"), Field(ParamGroup::kVideo, "fps"),
     Field(ParamGroup::kVideo, "bitrate"), Field(ParamGroup::kVideo, "gop")},
    {Field(ParamGroup::kVideo, "sub_resolution"), Field(ParamGroup::kVideo, "sub_fps"),
     Field(ParamGroup::kVideo, "sub_bitrate"), Field(ParamGroup::kVideo, "sub_gop")},
};

}  // namespace

Bytes DeviceImpl::DefaultRecord(const ParamGroupInfo& g, int ch) const {
    if (!wire::GroupHasFields(g.group))
        return DefaultParamRecord(g, ch, ResolutionCode(cfg.main.width, cfg.main.height));
    Bytes r(g.record_bytes, 0);
    const ParamGroup G = g.group;
    switch (G) {
        case ParamGroup::kBase:
            SetFieldText(r.data(), Field(G, "name"), name);
            SetFieldText(r.data(), Field(G, "serial"), serial);
            Set(r, G, "device_id", cfg.device_id);
            Set(r, G, "channels", cfg.channel_count);
            Set(r, G, "alarm_inputs", cfg.channel_count);
            Set(r, G, "alarm_outputs", 1);
            Set(r, G, "firmware", cfg.firmware_version);
            break;
        case ParamGroup::kNetwork:
            PutIp(r.data(), Field(G, "dns1"), reported_gateway);
            Set(r, G, "http_port", 80);
            SetFieldText(r.data(), Field(G, "ntp_server"), "pool.ntp.org");
            Set(r, G, "ntp_interval", 60);
            break;  // addresses and ports: SyncIdentityRecords
        case ParamGroup::kVideo: {
            SetFieldText(r.data(), Field(G, "title"), "CH" + std::to_string(ch + 1));
            Set(r, G, "show_title", 1);
            Set(r, G, "show_time", 1);
            Set(r, G, "title_x", 16);
            Set(r, G, "title_y", 16);
            Set(r, G, "time_x", 16);
            Set(r, G, "time_y", 48);
            for (const char* f : {"brightness", "contrast", "saturation", "hue"}) Set(r, G, f, 128);
            Set(r, G, "quality", 3);
            Set(r, G, "sub_quality", 3);
            Set(r, G, "audio", cfg.audio ? 1 : 0);
            for (int kind = 0; kind < 2; ++kind) {
                const VideoSettings& v = kind == 0 ? cfg.main : cfg.sub;
                const StreamFields& f = kStreamFields[kind];
                SetFieldValue(r.data(), f.resolution, ResolutionCode(v.width, v.height));
                SetFieldValue(r.data(), f.fps, v.fps);
                SetFieldValue(r.data(), f.bitrate, v.bitrate_kbps);
                SetFieldValue(r.data(), f.gop, v.gop);
            }
            break;
        }
        case ParamGroup::kMotion:
            Set(r, G, "sensitivity", 3);
            Set(r, G, "hold", 10);
            Set(r, G, "grid_columns", wire::kMotionGridColumns);
            Set(r, G, "grid_rows", wire::kMotionGridRows);
            for (int row = 0; row < wire::kMotionGridRows; ++row)
                Set(r, G, ("row" + std::to_string(row)).c_str(), 0x3FFFFF);
            FullWeek(r, G);
            break;
        case ParamGroup::kSensor:
            Set(r, G, "hold", 10);
            FullWeek(r, G);
            break;
        case ParamGroup::kRecord:
            Set(r, G, "prerecord", 5);
            Set(r, G, "file_minutes", 30);
            Set(r, G, "overwrite", 1);
            FullWeek(r, G);
            break;
        case ParamGroup::kCapture:
            Set(r, G, "resolution", ResolutionCode(cfg.main.width, cfg.main.height));
            Set(r, G, "quality", 80);
            Set(r, G, "count", 1);
            Set(r, G, "interval", 60);
            FullWeek(r, G);
            break;
        case ParamGroup::kWifi:
            Set(r, G, "security", 3);
            Set(r, G, "dhcp", 1);
            break;
        default:
            break;
    }
    return r;
}

void DeviceImpl::ResetParams() {
    params.clear();
    for (const ParamGroupInfo& g : wire::kParamGroups) {
        int n = g.set_has_channel ? cfg.channel_count : 1;
        for (int ch = 0; ch < n; ++ch) params[{g.get_command, ch}] = DefaultRecord(g, ch);
    }
    SyncIdentityRecords();
    // Back to the configured video, whatever the default records can express.
    const auto before = video;
    for (int ch = 0; ch < 4; ++ch) {
        video[ch] = {cfg.main, cfg.sub};
        if (!SameVideo(video[ch], before[ch])) EncodeAgain(ch);
    }
}

void DeviceImpl::SyncIdentityRecords() {
    auto base = params.find({wire::GroupInfo(ParamGroup::kBase).get_command, 0});
    if (base != params.end())
        SetFieldText(base->second.data(), Field(ParamGroup::kBase, "name"), name);
    auto net = params.find({wire::GroupInfo(ParamGroup::kNetwork).get_command, 0});
    if (net == params.end()) return;
    uint8_t* r = net->second.data();
    const ParamGroup G = ParamGroup::kNetwork;
    PutIp(r, Field(G, "address"), reported_address);
    PutIp(r, Field(G, "mask"), reported_mask);
    PutIp(r, Field(G, "gateway"), reported_gateway);
    SetFieldValue(r, Field(G, "control_port"), control_port);
    SetFieldValue(r, Field(G, "stream_port"), stream_port);
}

bool DeviceImpl::PendingPorts(uint16_t* control, uint16_t* stream) const {
    auto net = params.find({wire::GroupInfo(ParamGroup::kNetwork).get_command, 0});
    if (net == params.end()) return false;
    const ParamField& cf = Field(ParamGroup::kNetwork, "control_port");
    const ParamField& sf = Field(ParamGroup::kNetwork, "stream_port");
    const uint8_t* r = net->second.data();
    if (!wire::FieldValid(r, cf) || !wire::FieldValid(r, sf)) return false;
    auto c = static_cast<uint16_t>(FieldValue(r, cf));
    auto s = static_cast<uint16_t>(FieldValue(r, sf));
    if (c == s || (c == control_port && s == stream_port)) return false;
    *control = c;
    *stream = s;
    return true;
}

void DeviceImpl::StoreParam(const ParamGroupInfo& g, int ch, Bytes record) {
    const int slot = g.set_has_channel ? ch : 0;
    const Bytes& r = params[{g.get_command, slot}] = std::move(record);
    switch (g.group) {
        case ParamGroup::kBase: {
            std::string new_name = wire::FieldText(r.data(), Field(ParamGroup::kBase, "name"));
            if (!new_name.empty() && new_name != name) {
                name = new_name;
                Event("device name now '" + name + "'");
            }
            break;
        }
        case ParamGroup::kNetwork: {
            const ParamGroup G = ParamGroup::kNetwork;
            reported_address = GetIp(r.data(), Field(G, "address"));
            reported_mask = GetIp(r.data(), Field(G, "mask"));
            reported_gateway = GetIp(r.data(), Field(G, "gateway"));
            uint16_t c = 0, s = 0;
            if (PendingPorts(&c, &s))
                Event("ports " + std::to_string(c) + "/" + std::to_string(s) +
                      " take effect at the next reboot");
            break;
        }
        case ParamGroup::kVideo:
            if (ApplyVideoRecord(slot, r)) EncodeAgain(slot);
            break;
        default:
            break;
    }
}

void DeviceImpl::FillLiveFields(const ParamGroupInfo& g, Bytes& record) const {
    if (g.group != ParamGroup::kBase || record.size() != g.record_bytes) return;
    const int64_t now = static_cast<int64_t>(std::time(nullptr)) + clock_offset_s;
    SetFieldValue(record.data(), Field(ParamGroup::kBase, "clock"), now < 0 ? 0 : now);
}

bool DeviceImpl::ApplyVideoRecord(int ch, const Bytes& record) {
    if (ch < 0 || ch >= 4 || record.size() != wire::GroupInfo(ParamGroup::kVideo).record_bytes)
        return false;
    std::array<VideoSettings, 2> next = {cfg.main, cfg.sub};
    for (int kind = 0; kind < 2; ++kind) {
        const StreamFields& f = kStreamFields[kind];
        for (const ParamField* field : {&f.resolution, &f.fps, &f.bitrate, &f.gop}) {
            if (!wire::FieldValid(record.data(), *field)) {
                Event("video of channel " + std::to_string(ch) + " unchanged: " + field->name +
                      " " + wire::FormatField(record.data(), *field) + " is out of range");
                return false;
            }
        }
        VideoSettings& v = next[kind];
        const auto code = static_cast<uint8_t>(FieldValue(record.data(), f.resolution));
        // A record that names the configured size keeps the configured one
        // exactly (the code cannot tell every size apart).
        const VideoSettings& configured = kind == 0 ? cfg.main : cfg.sub;
        if (code != ResolutionCode(configured.width, configured.height))
            SizeOfResolutionCode(code, &v.width, &v.height);
        v.fps = static_cast<int>(FieldValue(record.data(), f.fps));
        v.bitrate_kbps = static_cast<int>(FieldValue(record.data(), f.bitrate));
        v.gop = static_cast<int>(FieldValue(record.data(), f.gop));
    }
    if (SameVideo(next, video[ch])) return false;
    video[ch] = next;
    Event("video of channel " + std::to_string(ch) + " now " + std::to_string(next[0].width) + "x" +
          std::to_string(next[0].height) + " at " + std::to_string(next[0].fps) + " fps, " +
          std::to_string(next[0].bitrate_kbps) + " kbit/s, I-frame every " +
          std::to_string(next[0].gop));
    return true;
}

bool DeviceImpl::SameVideo(const std::array<VideoSettings, 2>& a,
                           const std::array<VideoSettings, 2>& b) {
    for (int k = 0; k < 2; ++k)
        if (a[k].width != b[k].width || a[k].height != b[k].height || a[k].fps != b[k].fps ||
            a[k].bitrate_kbps != b[k].bitrate_kbps || a[k].gop != b[k].gop)
            return false;
    return true;
}

void DeviceImpl::EncodeAgain(int ch) {
    if (loops.empty() || ch >= cfg.channel_count) return;  // not started: PrepareMedia encodes
    // Encoded after the reply has gone out, on the I/O thread, so every later
    // stream request finds the new loops.
    asio::post(shared->io, [this, ch] {
        VideoLoopKey keys[2];
        {
            Locked l(*this);
            if (shared->stopping) return;
            for (int kind = 0; kind < 2; ++kind) keys[kind] = LoopKey(ch, kind);
        }
        std::shared_ptr<const VideoLoop> fresh[2];
        std::string err;
        for (int kind = 0; kind < 2; ++kind) fresh[kind] = GetVideoLoop(keys[kind], &err);
        Locked l(*this);
        for (int kind = 0; kind < 2; ++kind) {
            if (fresh[kind])
                loops[{ch, kind}] = fresh[kind];
            else
                Event("cannot encode the new video of channel " + std::to_string(ch) + ": " + err);
        }
    });
}

VideoLoopKey DeviceImpl::LoopKey(int ch, int kind) const {
    const VideoSettings& v = video[ch][kind];
    VideoLoopKey key;
    key.width = v.width;
    key.height = v.height;
    key.fps = v.fps;
    key.bitrate_kbps = v.bitrate_kbps;
    key.gop = v.gop;
    key.loop_frames = v.gop * std::max(1, v.loop_gops);
    key.channel = ch;
    key.stream_kind = kind;
    return key;
}

}  // namespace devsim
