// The fields inside the parameter records of our own devices.
//
// The records keep the sizes of param_groups.h; this table says where each
// named field lies in them and how it is written and read as text. The
// emulator, `zynvs get/set` and the configuration control all go through it,
// so a field has one name, one place and one range everywhere. Bytes that no
// field covers are reserved: kept as they are, written as zero by defaults.
//
// Kinds (all little-endian):
//   int   unsigned (signed when min < 0) integer of 1, 2 or 4 bytes, range min..max
//   ip    IPv4 address, 4 bytes, first octet first ("192.168.1.10")
//   text  NUL-padded text; at most size - 1 bytes so a terminator always follows
//   bool  1 byte, 0 or 1 ("on"/"off", "1"/"0", "yes"/"no", "true"/"false")
//   enum  1 byte, one of the field's choices, by name or by number
//   bits  bit mask of 1, 2 or 4 bytes, printed in hex; bits above max are refused
//   span  a time window of the day: start and end minute (2 bytes each, 0..1440),
//         written "08:00-18:30"; "00:00-00:00" is an unused window
//
// Weekly schedules are 14 spans, two windows per day from Sunday: sun1, sun2,
// mon1, ... sat2. The motion grid is 22 columns by 18 rows: row0..row17, bit c
// of a row is column c (column 0 at the left, row 0 at the top).
//
// Time settings have no record of their own: the time zone, daylight saving
// and display formats are base fields, the time server network fields; the
// clock itself is set by the clock command and read as the base field "clock".
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "zynvs/wire/byte_order.h"
#include "zynvs/wire/param_groups.h"

namespace zyn::wire {

enum class FieldKind : uint8_t { kInt, kIp, kText, kBool, kEnum, kBits, kSpan };

struct FieldChoice {
    int value;
    const char* name;
};

struct ParamField {
    ParamGroup group;
    const char* name;
    uint16_t offset;
    uint8_t size;
    FieldKind kind;
    int32_t min = 0;                       // int: range; bits: unused
    int64_t max = 0;                       // int: range; bits: the widest allowed mask
    const FieldChoice* choices = nullptr;  // enum
    uint8_t choice_count = 0;
    bool read_only = false;  // the device fills it; writes are refused
};

inline constexpr FieldChoice kResolutionChoices[] = {
    {1, "qcif"}, {2, "cif"}, {3, "d1"}, {4, "720p"}, {5, "1080p"}};
inline constexpr FieldChoice kRateModeChoices[] = {{0, "cbr"}, {1, "vbr"}};
inline constexpr FieldChoice kVideoStandardChoices[] = {{0, "pal"}, {1, "ntsc"}};
inline constexpr FieldChoice kDateFormatChoices[] = {{0, "ymd"}, {1, "mdy"}, {2, "dmy"}};
inline constexpr FieldChoice kHourFormatChoices[] = {{0, "24h"}, {1, "12h"}};
inline constexpr FieldChoice kContactChoices[] = {{0, "open"}, {1, "closed"}};
inline constexpr FieldChoice kRecordModeChoices[] = {{0, "off"}, {1, "always"}, {2, "schedule"}};
inline constexpr FieldChoice kStreamChoices[] = {{0, "main"}, {1, "sub"}};
inline constexpr FieldChoice kUploadChoices[] = {{0, "none"}, {1, "ftp"}, {2, "mail"}};
inline constexpr FieldChoice kSecurityChoices[] = {
    {0, "open"}, {1, "wep"}, {2, "wpa"}, {3, "wpa2"}};

// Motion grid and weekly schedules.
inline constexpr int kMotionGridColumns = 22;
inline constexpr int kMotionGridRows = 18;
inline constexpr int kScheduleDays = 7;
inline constexpr int kScheduleWindows = 2;
inline constexpr int kMinutesPerDay = 1440;

namespace field_detail {
using G = ParamGroup;
using K = FieldKind;

constexpr ParamField Int(G g, const char* n, uint16_t off, uint8_t size, int32_t lo, int64_t hi,
                         bool ro = false) {
    return {g, n, off, size, K::kInt, lo, hi, nullptr, 0, ro};
}
constexpr ParamField Text(G g, const char* n, uint16_t off, uint8_t size, bool ro = false) {
    return {g, n, off, size, K::kText, 0, 0, nullptr, 0, ro};
}
constexpr ParamField Ip(G g, const char* n, uint16_t off) {
    return {g, n, off, 4, K::kIp};
}
constexpr ParamField Bool(G g, const char* n, uint16_t off) {
    return {g, n, off, 1, K::kBool, 0, 1};
}
template <std::size_t N>
constexpr ParamField Enum(G g, const char* n, uint16_t off, const FieldChoice (&c)[N]) {
    return {g, n, off, 1, K::kEnum, 0, 0, c, static_cast<uint8_t>(N)};
}
constexpr ParamField Bits(G g, const char* n, uint16_t off, uint8_t size, int64_t mask) {
    return {g, n, off, size, K::kBits, 0, mask};
}
constexpr ParamField Span(G g, const char* n, uint16_t off) {
    return {g, n, off, 4, K::kSpan, 0, kMinutesPerDay};
}
}  // namespace field_detail

#define ZYN_SCHEDULE_FIELDS(g, o)                                                         \
    field_detail::Span(g, "sun1", (o) + 0), field_detail::Span(g, "sun2", (o) + 4),       \
        field_detail::Span(g, "mon1", (o) + 8), field_detail::Span(g, "mon2", (o) + 12),  \
        field_detail::Span(g, "tue1", (o) + 16), field_detail::Span(g, "tue2", (o) + 20), \
        field_detail::Span(g, "wed1", (o) + 24), field_detail::Span(g, "wed2", (o) + 28), \
        field_detail::Span(g, "thu1", (o) + 32), field_detail::Span(g, "thu2", (o) + 36), \
        field_detail::Span(g, "fri1", (o) + 40), field_detail::Span(g, "fri2", (o) + 44), \
        field_detail::Span(g, "sat1", (o) + 48), field_detail::Span(g, "sat2", (o) + 52)
#define ZYN_GRID_ROW(r) field_detail::Bits(ParamGroup::kMotion, "row" #r, 68 + 4 * (r), 4, 0x3FFFFF)

inline constexpr ParamField kParamFields[] = {
    // Base, 88 bytes: who the device is, and how it shows time.
    field_detail::Text(ParamGroup::kBase, "name", 0, 32),
    field_detail::Text(ParamGroup::kBase, "serial", 32, 32, true),
    field_detail::Int(ParamGroup::kBase, "device_id", 64, 4, 0, 0xFFFFFFFF, true),
    field_detail::Int(ParamGroup::kBase, "channels", 68, 1, 0, 255, true),
    field_detail::Int(ParamGroup::kBase, "alarm_inputs", 69, 1, 0, 255, true),
    field_detail::Int(ParamGroup::kBase, "alarm_outputs", 70, 1, 0, 255, true),
    field_detail::Enum(ParamGroup::kBase, "video_standard", 71, kVideoStandardChoices),
    field_detail::Int(ParamGroup::kBase, "firmware", 72, 4, 0, 0xFFFFFFFF, true),
    field_detail::Int(ParamGroup::kBase, "timezone", 76, 2, -720, 840),  // minutes east of UTC
    field_detail::Bool(ParamGroup::kBase, "dst", 78),
    field_detail::Enum(ParamGroup::kBase, "date_format", 79, kDateFormatChoices),
    field_detail::Enum(ParamGroup::kBase, "hour_format", 80, kHourFormatChoices),
    // The device's clock, local time as seconds since 1970, filled in by the
    // device whenever the record is read (what it was set to is not kept).
    field_detail::Int(ParamGroup::kBase, "clock", 84, 4, 0, 0xFFFFFFFF, true),

    // Network, 328 bytes.
    field_detail::Bool(ParamGroup::kNetwork, "dhcp", 0),
    field_detail::Ip(ParamGroup::kNetwork, "address", 4),
    field_detail::Ip(ParamGroup::kNetwork, "mask", 8),
    field_detail::Ip(ParamGroup::kNetwork, "gateway", 12),
    field_detail::Ip(ParamGroup::kNetwork, "dns1", 16),
    field_detail::Ip(ParamGroup::kNetwork, "dns2", 20),
    field_detail::Int(ParamGroup::kNetwork, "control_port", 24, 2, 1, 65534),
    field_detail::Int(ParamGroup::kNetwork, "stream_port", 26, 2, 1, 65535),
    field_detail::Int(ParamGroup::kNetwork, "http_port", 28, 2, 1, 65535),
    field_detail::Bool(ParamGroup::kNetwork, "pppoe", 32),
    field_detail::Text(ParamGroup::kNetwork, "pppoe_user", 36, 32),
    field_detail::Text(ParamGroup::kNetwork, "pppoe_password", 68, 32),
    field_detail::Bool(ParamGroup::kNetwork, "ddns", 100),
    field_detail::Text(ParamGroup::kNetwork, "ddns_host", 104, 64),
    field_detail::Text(ParamGroup::kNetwork, "ddns_user", 168, 32),
    field_detail::Text(ParamGroup::kNetwork, "ddns_password", 200, 32),
    field_detail::Bool(ParamGroup::kNetwork, "ntp", 232),
    field_detail::Text(ParamGroup::kNetwork, "ntp_server", 236, 64),
    field_detail::Int(ParamGroup::kNetwork, "ntp_interval", 300, 2, 1, 1440),  // minutes
    field_detail::Ip(ParamGroup::kNetwork, "multicast_address", 304),
    field_detail::Int(ParamGroup::kNetwork, "multicast_port", 308, 2, 0, 65535),

    // Video, 92 bytes per channel: overlay, picture, main and sub stream.
    field_detail::Text(ParamGroup::kVideo, "title", 0, 32),
    field_detail::Bool(ParamGroup::kVideo, "show_title", 32),
    field_detail::Bool(ParamGroup::kVideo, "show_time", 33),
    field_detail::Int(ParamGroup::kVideo, "title_x", 34, 2, 0, 1920),
    field_detail::Int(ParamGroup::kVideo, "title_y", 36, 2, 0, 1080),
    field_detail::Int(ParamGroup::kVideo, "time_x", 38, 2, 0, 1920),
    field_detail::Int(ParamGroup::kVideo, "time_y", 40, 2, 0, 1080),
    field_detail::Int(ParamGroup::kVideo, "brightness", 42, 1, 0, 255),
    field_detail::Int(ParamGroup::kVideo, "contrast", 43, 1, 0, 255),
    field_detail::Int(ParamGroup::kVideo, "saturation", 44, 1, 0, 255),
    field_detail::Int(ParamGroup::kVideo, "hue", 45, 1, 0, 255),
    field_detail::Enum(ParamGroup::kVideo, "mode", 64, kRateModeChoices),
    field_detail::Int(ParamGroup::kVideo, "quality", 65, 1, 1, 6),  // vbr: 1 best
    field_detail::Int(ParamGroup::kVideo, "fps", 66, 1, 1, 30),
    field_detail::Int(ParamGroup::kVideo, "bitrate", 68, 2, 32, 16384),  // kbit/s
    field_detail::Int(ParamGroup::kVideo, "gop", 70, 2, 1, 250),         // I-frame interval, frames
    field_detail::Enum(ParamGroup::kVideo, "resolution", 72, kResolutionChoices),
    field_detail::Enum(ParamGroup::kVideo, "sub_resolution", 76, kResolutionChoices),
    field_detail::Enum(ParamGroup::kVideo, "sub_mode", 77, kRateModeChoices),
    field_detail::Int(ParamGroup::kVideo, "sub_quality", 78, 1, 1, 6),
    field_detail::Int(ParamGroup::kVideo, "sub_fps", 79, 1, 1, 30),
    field_detail::Int(ParamGroup::kVideo, "sub_bitrate", 80, 2, 32, 16384),
    field_detail::Int(ParamGroup::kVideo, "sub_gop", 82, 2, 1, 250),
    field_detail::Bool(ParamGroup::kVideo, "audio", 84),

    // Motion, 304 bytes per channel.
    field_detail::Bool(ParamGroup::kMotion, "enabled", 0),
    field_detail::Int(ParamGroup::kMotion, "sensitivity", 1, 1, 1, 6),  // 6 most sensitive
    field_detail::Bool(ParamGroup::kMotion, "record", 2),
    field_detail::Bool(ParamGroup::kMotion, "alarm_out", 3),
    field_detail::Bits(ParamGroup::kMotion, "record_channels", 4, 1, 0x0F),
    field_detail::Bool(ParamGroup::kMotion, "capture", 5),
    field_detail::Int(ParamGroup::kMotion, "hold", 6, 2, 0, 3600),  // seconds
    ZYN_SCHEDULE_FIELDS(ParamGroup::kMotion, 8),
    field_detail::Int(ParamGroup::kMotion, "grid_columns", 64, 1, 0, 255, true),
    field_detail::Int(ParamGroup::kMotion, "grid_rows", 65, 1, 0, 255, true), ZYN_GRID_ROW(0),
    ZYN_GRID_ROW(1), ZYN_GRID_ROW(2), ZYN_GRID_ROW(3), ZYN_GRID_ROW(4), ZYN_GRID_ROW(5),
    ZYN_GRID_ROW(6), ZYN_GRID_ROW(7), ZYN_GRID_ROW(8), ZYN_GRID_ROW(9), ZYN_GRID_ROW(10),
    ZYN_GRID_ROW(11), ZYN_GRID_ROW(12), ZYN_GRID_ROW(13), ZYN_GRID_ROW(14), ZYN_GRID_ROW(15),
    ZYN_GRID_ROW(16), ZYN_GRID_ROW(17),

    // Sensor (alarm input), 72 bytes per channel.
    field_detail::Bool(ParamGroup::kSensor, "enabled", 0),
    field_detail::Enum(ParamGroup::kSensor, "contact", 1, kContactChoices),  // at rest
    field_detail::Bool(ParamGroup::kSensor, "record", 2),
    field_detail::Bool(ParamGroup::kSensor, "alarm_out", 3),
    field_detail::Bits(ParamGroup::kSensor, "record_channels", 4, 1, 0x0F),
    field_detail::Bool(ParamGroup::kSensor, "capture", 5),
    field_detail::Int(ParamGroup::kSensor, "preset", 6, 1, 0, 255),  // 0: none
    field_detail::Int(ParamGroup::kSensor, "hold", 8, 2, 0, 3600),
    ZYN_SCHEDULE_FIELDS(ParamGroup::kSensor, 12),

    // Record, 72 bytes per channel.
    field_detail::Enum(ParamGroup::kRecord, "mode", 0, kRecordModeChoices),
    field_detail::Enum(ParamGroup::kRecord, "stream", 1, kStreamChoices),
    field_detail::Int(ParamGroup::kRecord, "prerecord", 2, 1, 0, 30),  // seconds
    field_detail::Bool(ParamGroup::kRecord, "audio", 3),
    field_detail::Int(ParamGroup::kRecord, "file_minutes", 4, 2, 1, 120),
    field_detail::Bool(ParamGroup::kRecord, "overwrite", 6),
    ZYN_SCHEDULE_FIELDS(ParamGroup::kRecord, 8),

    // Capture (still pictures), 84 bytes per channel.
    field_detail::Bool(ParamGroup::kCapture, "enabled", 0),
    field_detail::Enum(ParamGroup::kCapture, "resolution", 1, kResolutionChoices),
    field_detail::Int(ParamGroup::kCapture, "quality", 2, 1, 1, 100),
    field_detail::Int(ParamGroup::kCapture, "count", 3, 1, 1, 10),        // pictures per trigger
    field_detail::Int(ParamGroup::kCapture, "interval", 4, 4, 1, 86400),  // seconds
    field_detail::Enum(ParamGroup::kCapture, "upload", 8, kUploadChoices),
    ZYN_SCHEDULE_FIELDS(ParamGroup::kCapture, 12),

    // Wireless, 264 bytes.
    field_detail::Bool(ParamGroup::kWifi, "enabled", 0),
    field_detail::Enum(ParamGroup::kWifi, "security", 1, kSecurityChoices),
    field_detail::Bool(ParamGroup::kWifi, "dhcp", 2),
    field_detail::Text(ParamGroup::kWifi, "ssid", 4, 36),
    field_detail::Text(ParamGroup::kWifi, "key", 40, 68),
    field_detail::Ip(ParamGroup::kWifi, "address", 108),
    field_detail::Ip(ParamGroup::kWifi, "mask", 112),
    field_detail::Ip(ParamGroup::kWifi, "gateway", 116),
    field_detail::Ip(ParamGroup::kWifi, "dns", 120),
    field_detail::Int(ParamGroup::kWifi, "signal", 124, 1, 0, 100, true),  // percent
};
#undef ZYN_SCHEDULE_FIELDS
#undef ZYN_GRID_ROW

namespace field_detail {
constexpr bool SameName(const char* a, const char* b) {
    return std::string_view(a) == std::string_view(b);
}
// Fields lie inside their record, have a width their kind can hold, and
// neither overlap nor share a name with another field of their group.
constexpr bool FieldsWellFormed() {
    for (const ParamField& f : kParamFields) {
        if (f.offset + f.size > GroupInfo(f.group).record_bytes) return false;
        switch (f.kind) {
            case K::kInt:
            case K::kBits:
                if (f.size != 1 && f.size != 2 && f.size != 4) return false;
                break;
            case K::kIp:
            case K::kSpan:
                if (f.size != 4) return false;
                break;
            case K::kBool:
            case K::kEnum:
                if (f.size != 1) return false;
                break;
            case K::kText:
                if (f.size < 2) return false;
                break;
        }
        for (const ParamField& o : kParamFields) {
            if (&o == &f || o.group != f.group) continue;
            if (SameName(o.name, f.name)) return false;
            if (o.offset < f.offset + f.size && f.offset < o.offset + o.size) return false;
        }
    }
    return true;
}
}  // namespace field_detail
static_assert(field_detail::FieldsWellFormed(), "parameter fields overlap or overflow");

// Null when the group has no such field.
constexpr const ParamField* FindField(ParamGroup group, std::string_view name) {
    for (const ParamField& f : kParamFields)
        if (f.group == group && name == f.name) return &f;
    return nullptr;
}

// A field that must exist: a missing name fails to compile where this is
// used in a constant expression.
constexpr const ParamField& Field(ParamGroup group, std::string_view name) {
    const ParamField* f = FindField(group, name);
    if (f == nullptr) throw "no such parameter field";
    return *f;
}

static_assert(Field(ParamGroup::kVideo, "resolution").offset == kVideoRecordResolution);
static_assert(Field(ParamGroup::kMotion, "row17").offset + 4 <= 304);

constexpr bool GroupHasFields(ParamGroup group) {
    for (const ParamField& f : kParamFields)
        if (f.group == group) return true;
    return false;
}

// Integer view of int, bool, enum and bits fields (signed ints sign-extended).
inline int64_t FieldValue(const uint8_t* record, const ParamField& f) {
    const uint8_t* p = record + f.offset;
    uint32_t u = f.size == 1 ? p[0] : f.size == 2 ? LoadLe16(p) : LoadLe32(p);
    if (f.kind == FieldKind::kInt && f.min < 0) {
        if (f.size == 1) return static_cast<int8_t>(u);
        if (f.size == 2) return static_cast<int16_t>(u);
        return static_cast<int32_t>(u);
    }
    return u;
}

inline void SetFieldValue(uint8_t* record, const ParamField& f, int64_t value) {
    uint8_t* p = record + f.offset;
    const auto u = static_cast<uint32_t>(value);
    if (f.size == 1)
        p[0] = static_cast<uint8_t>(u);
    else if (f.size == 2)
        StoreLe16(p, static_cast<uint16_t>(u));
    else
        StoreLe32(p, u);
}

// The text of a text field: up to the first NUL, at most size - 1 bytes.
inline std::string FieldText(const uint8_t* record, const ParamField& f) {
    const char* p = reinterpret_cast<const char*>(record + f.offset);
    std::size_t n = 0;
    while (n + 1 < f.size && p[n] != '\0') ++n;
    return std::string(p, n);
}

inline void SetFieldText(uint8_t* record, const ParamField& f, std::string_view text) {
    uint8_t* p = record + f.offset;
    std::size_t n = text.size() < f.size ? text.size() : f.size - 1u;
    for (std::size_t i = 0; i < f.size; ++i) p[i] = i < n ? static_cast<uint8_t>(text[i]) : 0;
}

// Whether the stored value is one the field allows (text: always).
inline bool FieldValid(const uint8_t* record, const ParamField& f) {
    const uint8_t* p = record + f.offset;
    switch (f.kind) {
        case FieldKind::kInt: {
            int64_t v = FieldValue(record, f);
            return v >= f.min && v <= f.max;
        }
        case FieldKind::kBool:
            return p[0] <= 1;
        case FieldKind::kEnum:
            for (int i = 0; i < f.choice_count; ++i)
                if (f.choices[i].value == p[0]) return true;
            return false;
        case FieldKind::kBits:
            return (FieldValue(record, f) & ~f.max) == 0;
        case FieldKind::kSpan:
            return LoadLe16(p) <= kMinutesPerDay && LoadLe16(p + 2) <= kMinutesPerDay;
        case FieldKind::kIp:
        case FieldKind::kText:
            return true;
    }
    return false;
}

inline std::string FormatField(const uint8_t* record, const ParamField& f) {
    const uint8_t* p = record + f.offset;
    char buf[64];
    switch (f.kind) {
        case FieldKind::kInt:
            return std::to_string(FieldValue(record, f));
        case FieldKind::kIp:
            std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", p[0], p[1], p[2], p[3]);
            return buf;
        case FieldKind::kText:
            return FieldText(record, f);
        case FieldKind::kBool:
            return p[0] == 0 ? "off" : p[0] == 1 ? "on" : std::to_string(p[0]);
        case FieldKind::kEnum:
            for (int i = 0; i < f.choice_count; ++i)
                if (f.choices[i].value == p[0]) return f.choices[i].name;
            return std::to_string(p[0]);
        case FieldKind::kBits:
            std::snprintf(buf, sizeof buf,
                          f.size == 1   ? "0x%02llx"
                          : f.size == 2 ? "0x%04llx"
                                        : "0x%08llx",
                          static_cast<unsigned long long>(FieldValue(record, f)));
            return buf;
        case FieldKind::kSpan: {
            unsigned a = LoadLe16(p), b = LoadLe16(p + 2);
            std::snprintf(buf, sizeof buf, "%02u:%02u-%02u:%02u", a / 60, a % 60, b / 60, b % 60);
            return buf;
        }
    }
    return {};
}

// What a field accepts, for usage messages ("1..30", "qcif|cif|...", ...).
inline std::string FieldSyntax(const ParamField& f) {
    switch (f.kind) {
        case FieldKind::kInt:
            return std::to_string(f.min) + ".." + std::to_string(f.max);
        case FieldKind::kIp:
            return "a.b.c.d";
        case FieldKind::kText:
            return "text of at most " + std::to_string(f.size - 1) + " bytes";
        case FieldKind::kBool:
            return "on|off";
        case FieldKind::kEnum: {
            std::string s;
            for (int i = 0; i < f.choice_count; ++i)
                s += (i ? "|" : "") + std::string(f.choices[i].name);
            return s;
        }
        case FieldKind::kBits: {
            char buf[32];
            std::snprintf(buf, sizeof buf, "a mask within 0x%llx",
                          static_cast<unsigned long long>(f.max));
            return buf;
        }
        case FieldKind::kSpan:
            return "HH:MM-HH:MM";
    }
    return {};
}

namespace field_detail {
// A whole decimal (or 0x hex) number; false for anything else.
inline bool ParseNumber(std::string_view text, int64_t* out) {
    if (text.empty() || text.size() > 20) return false;
    std::string s(text);
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s.c_str(), &end, 0);
    if (errno != 0 || end != s.c_str() + s.size() || s[0] == ' ') return false;
    *out = v;
    return true;
}
inline bool ParseClock(std::string_view t, unsigned* minutes) {
    if (t.size() != 5 || t[2] != ':') return false;
    for (int i : {0, 1, 3, 4})
        if (t[i] < '0' || t[i] > '9') return false;
    unsigned h = (t[0] - '0') * 10u + (t[1] - '0'), m = (t[3] - '0') * 10u + (t[4] - '0');
    if (m > 59 || h * 60 + m > kMinutesPerDay) return false;
    *minutes = h * 60 + m;
    return true;
}
}  // namespace field_detail

// Writes `text` into the field. False (record untouched) when the text is no
// value of the field; read-only fields are the caller's to refuse.
inline bool ParseField(std::string_view text, const ParamField& f, uint8_t* record) {
    int64_t v = 0;
    switch (f.kind) {
        case FieldKind::kInt:
            if (!field_detail::ParseNumber(text, &v) || v < f.min || v > f.max) return false;
            SetFieldValue(record, f, v);
            return true;
        case FieldKind::kIp: {
            unsigned a[4];
            char tail;
            std::string s(text);
            if (std::sscanf(s.c_str(), "%3u.%3u.%3u.%3u%c", &a[0], &a[1], &a[2], &a[3], &tail) != 4)
                return false;
            for (unsigned x : a)
                if (x > 255) return false;
            for (int i = 0; i < 4; ++i) record[f.offset + i] = static_cast<uint8_t>(a[i]);
            return true;
        }
        case FieldKind::kText:
            if (text.size() > f.size - 1u || text.find('\0') != std::string_view::npos)
                return false;
            SetFieldText(record, f, text);
            return true;
        case FieldKind::kBool:
            if (text == "on" || text == "1" || text == "yes" || text == "true")
                record[f.offset] = 1;
            else if (text == "off" || text == "0" || text == "no" || text == "false")
                record[f.offset] = 0;
            else
                return false;
            return true;
        case FieldKind::kEnum:
            for (int i = 0; i < f.choice_count; ++i) {
                if (text == f.choices[i].name ||
                    (field_detail::ParseNumber(text, &v) && v == f.choices[i].value)) {
                    record[f.offset] = static_cast<uint8_t>(f.choices[i].value);
                    return true;
                }
            }
            return false;
        case FieldKind::kBits:
            if (!field_detail::ParseNumber(text, &v) || v < 0 || (v & ~f.max) != 0) return false;
            SetFieldValue(record, f, v);
            return true;
        case FieldKind::kSpan: {
            unsigned a = 0, b = 0;
            if (text.size() != 11 || text[5] != '-' ||
                !field_detail::ParseClock(text.substr(0, 5), &a) ||
                !field_detail::ParseClock(text.substr(6), &b))
                return false;
            StoreLe16(record + f.offset, static_cast<uint16_t>(a));
            StoreLe16(record + f.offset + 2, static_cast<uint16_t>(b));
            return true;
        }
    }
    return false;
}

// A field by name, as text: what FormatField gives, or empty when the group
// has no such field.
inline std::string GetField(ParamGroup group, const uint8_t* record, std::string_view name) {
    const ParamField* f = FindField(group, name);
    return f ? FormatField(record, *f) : std::string();
}

// Writes `text` into the named field. False (record untouched) when the group
// has no such field, the field is read-only or the text is no value of it.
inline bool SetField(ParamGroup group, uint8_t* record, std::string_view name,
                     std::string_view text) {
    const ParamField* f = FindField(group, name);
    return f != nullptr && !f->read_only && ParseField(text, *f, record);
}

}  // namespace zyn::wire
