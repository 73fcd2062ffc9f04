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

// ---- The configuration control's LangChi devices ------------------------------
// Sessions on the same virtual devices, their configuration records
// (ordinal 126; read and write commands, stored per device and channel),
// PTZ, wireless list, serial records and live pictures.

#include <cstring>
#include <map>
#include <memory>

#include "vendors/emu/live_pictures.h"
#include "vendors/emu/record_book.h"
#include "vendors/net_client.h"

namespace {

using vendor_emu::DeviceFacts;
using vendor_emu::PutText;
using vendor_emu::PutU16;
using vendor_emu::PutU32;
using vendor_emu::RecordSpec;

void FillDeviceRecord(uint8_t* r, int, const DeviceFacts& f) {
    PutText(r, 0, 24, f.name);
    PutText(r, 24, 16, f.ip);
    PutText(r, 40, 16, f.mask);
    PutText(r, 56, 16, f.gateway);
    PutText(r, 72, 16, f.gateway);
    PutText(r, 88, 16, "235.1.1.1");
    PutU16(r, 104, static_cast<unsigned>(f.data_port));
    PutU16(r, 106, 6500);
    PutU16(r, 108, static_cast<unsigned>(f.web_port));
}
void FillDeviceId(uint8_t* r, int, const DeviceFacts& f) {
    PutText(r, 0, 48, f.serial);
}
void FillUsers(uint8_t* r, int, const DeviceFacts& f) {
    PutText(r, 0, 20, f.user);
    PutText(r, 20, 20, f.password);
}
void FillTime(uint8_t* r, int, const DeviceFacts&) {
    const std::tm t = vendor_emu::LocalNow();
    PutU32(r, 0, static_cast<uint32_t>(t.tm_year + 1900));
    r[4] = static_cast<uint8_t>(t.tm_mon + 1);
    r[5] = static_cast<uint8_t>(t.tm_mday);
    r[7] = static_cast<uint8_t>(t.tm_hour);
    r[8] = static_cast<uint8_t>(t.tm_min);
    r[9] = static_cast<uint8_t>(t.tm_sec);
}
void FillRtsp(uint8_t* r, int, const DeviceFacts&) {
    PutU32(r, 0, 1);
    PutU32(r, 4, 554);
    PutU32(r, 8, 6970);
}
void FillChannel(uint8_t* r, int ch, const DeviceFacts&) {
    PutText(r, 0, 20, "CH" + std::to_string(ch + 1));
    PutU32(r, 20, 3);   // D1
    PutU32(r, 24, 50);  // I-frame interval
    PutU32(r, 28, 25);  // frame rate
    PutU32(r, 32, 0);   // CBR
    PutU32(r, 44, 2048);
    for (int row = 0; row < 7; ++row) r[76 + 8 * row + 4] = 10;  // timer schedule: "close"
}
void FillSubChannel(uint8_t* r, int, const DeviceFacts&) {
    PutU32(r, 20, 1);  // CIF
    PutU32(r, 24, 25);
    PutU32(r, 28, 15);
    PutU32(r, 32, 1);
    PutU32(r, 44, 512);
}
void FillPictureBytes(uint8_t* r, int, const DeviceFacts&) {
    r[0] = 110;
    r[1] = 140;
    r[2] = 128;
    r[3] = 8;
}
// Overlay buffer (the control's layout): time shown at the top right, the
// name at the top left, no text.
void FillOverlay(uint8_t* r, int, const DeviceFacts&) {
    PutU32(r, 0, 1);
    PutU16(r, 4, 400);
    PutU16(r, 6, 16);
    PutU16(r, 8, 16);
    PutU16(r, 10, 16);
}
void FillMedia(uint8_t* r, int, const DeviceFacts&) {
    PutU32(r, 0, 1);
    PutU32(r, 4, 3);  // SD card
    PutU32(r, 68, 30436);
    PutU32(r, 100, 12000);
}
void FillSerial(uint8_t* r, int, const DeviceFacts&) {
    r[0] = 1;  // decoder address
    PutU32(r, 4, 9600);
    r[8] = 8;
}
// The PTZ protocol of a channel (ordinals 81 and 82): its name, 40 bytes.
void FillPtz(uint8_t* r, int, const DeviceFacts&) {
    PutText(r, 0, 40, "PELCO-D");
}
// FTP record: uploads off, every schedule row "close".
void FillFtpRecord(uint8_t* r, int, const DeviceFacts&) {
    for (int row = 0; row < 7; ++row) r[4 + 8 * row + 4] = 10;
}
// Sensor record: detection off, every schedule row of every sensor "close".
void FillSensors(uint8_t* r, int, const DeviceFacts&) {
    for (int s = 0; s < 8; ++s)
        for (int row = 0; row < 7; ++row) r[136 * s + 84 + 8 * row + 4] = 10;
}
// Motion record of a channel (layout: motion_param_dialog.h): detection off,
// middle sensitivity, every schedule row "close", the whole picture watched.
void FillMotion(uint8_t* r, int, const DeviceFacts&) {
    PutU32(r, 4, 2);
    for (int row = 0; row < 7; ++row) r[16 + 8 * row + 4] = 10;
    std::memset(r + 72, 1, 22 * 18);
}

const RecordSpec kRecords[] = {
    {6, 7, 376, FillDeviceRecord}, {27, 0, 48, FillDeviceId},     {29, 30, 840, FillUsers},
    {25, 26, 10, FillTime},        {96, 97, 4, nullptr},          {55, 56, 132, nullptr},
    {78, 79, 100, nullptr},        {277, 278, 12, FillRtsp},      {98, 99, 120, nullptr},
    {8, 9, 132, FillChannel},      {47, 48, 132, FillSubChannel}, {10, 11, 1092, FillSensors},
    {184, 185, 60, FillFtpRecord}, {394, 396, 372, nullptr},      {52, 0, 132, FillMedia},
    {21, 22, 4, FillPictureBytes}, {314, 315, 160, FillOverlay},  {12, 13, 468, FillMotion},
    {1056, 1057, 16, FillSerial},  // serial records of ordinals 56 and 57
    {1081, 1082, 40, FillPtz},     // PTZ protocol names of ordinals 81 and 82
};
// The overlay buffer answers to two pairs of commands.
int Canonical(int command) {
    return command == 17 ? 314 : command == 18 ? 315 : command;
}

struct LcSession {
    std::string ip;
    int port = 0;
};

struct LcStream {
    int session = 0;
    int channel = 0;
    std::unique_ptr<vendor_emu::LivePictures> live;
};

std::mutex g_lc_mu;
std::map<int, LcSession> g_lc_sessions;                    // guarded by g_lc_mu
std::map<int, std::unique_ptr<LcStream>> g_lc_streams;     // guarded by g_lc_mu
std::map<std::string, vendor_emu::RecordBook> g_lc_books;  // guarded by g_lc_mu
int g_lc_next = 1;                                         // guarded by g_lc_mu
NetClientWifiList g_wifi;                                  // returned by ordinal 171

std::string I(int v) {
    return std::to_string(v);
}
std::string Q(const char* t) {
    return vendor_emu::Quote(t);
}

DeviceFacts LcFacts(const Device& d) {
    DeviceFacts f;
    f.name = d.Text("name");
    f.serial = d.Text("serial").empty() ? "LC" + d.Text("mac") : d.Text("serial");
    f.ip = d.Text("ip");
    f.mask = d.Text("mask");
    f.gateway = d.Text("gateway");
    f.user = d.Text("user");
    f.password = d.Text("password");
    f.channels = d.Int("channels", 1);
    f.alarm_in = d.Int("alarm_in", 2);
    f.alarm_out = d.Int("alarm_out", 1);
    f.data_port = d.Int("data_port", 5000);
    f.web_port = d.Int("web_port", 80);
    return f;
}

// fn(facts, book) for the device at ip:port.
template <typename Fn>
bool WithDevice(const std::string& ip, int port, Fn fn) {
    DeviceFacts facts;
    if (!Store::Instance().With(ip, port, [&](Device& d) { facts = LcFacts(d); })) return false;
    std::lock_guard<std::mutex> lock(g_lc_mu);
    const std::string id = ip + "-" + std::to_string(port);
    auto it =
        g_lc_books
            .try_emplace(id, kRecords, sizeof kRecords / sizeof kRecords[0], "NetClient-" + id)
            .first;
    fn(facts, it->second);
    return true;
}

template <typename Fn>
bool WithLcSession(int session, Fn fn) {
    LcSession s;
    {
        std::lock_guard<std::mutex> lock(g_lc_mu);
        auto it = g_lc_sessions.find(session);
        if (it == g_lc_sessions.end()) return false;
        s = it->second;
    }
    return WithDevice(s.ip, s.port, fn);
}

// A device configured with "overlay=old" knows only the older overlay
// commands 17 and 18 and answers 314 and 315 with failure.
bool OldOverlayOnly(int session) {
    LcSession s;
    {
        std::lock_guard<std::mutex> lock(g_lc_mu);
        auto it = g_lc_sessions.find(session);
        if (it == g_lc_sessions.end()) return false;
        s = it->second;
    }
    bool old = false;
    Store::Instance().With(s.ip, s.port, [&](Device& d) { old = d.Text("overlay") == "old"; });
    return old;
}

bool Credentials(const char* ip, int port, const char* user, const char* password) {
    if (!ip || !user || !password) return false;
    bool ok = false;
    Store::Instance().With(ip, port, [&](Device& d) {
        ok = d.Text("login") != "fail" && d.Text("user") == user && d.Text("password") == password;
    });
    return ok;
}

}  // namespace

ZYN_VENDOR_EXPORT int NetClient_Ord1(int port_base) {
    return Store::Instance().LogFails("NetClient_Ord1(" + I(port_base) + ")") ? 0 : 1;
}
ZYN_VENDOR_EXPORT int NetClient_Ord3(int a, int b) {
    return Store::Instance().LogFails("NetClient_Ord3(" + I(a) + "," + I(b) + ")") ? 0 : 1;
}
ZYN_VENDOR_EXPORT int NetClient_Ord4(void) {
    return Store::Instance().LogFails("NetClient_Ord4()") ? 0 : 1;
}
ZYN_VENDOR_EXPORT int NetClient_Ord233(int value) {
    return Store::Instance().LogFails("NetClient_Ord233(" + I(value) + ")") ? 0 : 1;
}
ZYN_VENDOR_EXPORT int NetClient_Ord187(void) {
    return Store::Instance().LogFails("NetClient_Ord187()") ? 0 : 1;
}

ZYN_VENDOR_EXPORT int NetClient_Ord124(const char* name, const char* name2, const char* host,
                                       const char* user, const char* password, int port) {
    if (Store::Instance().LogFails("NetClient_Ord124(" + Q(name) + "," + Q(name2) + "," + Q(host) +
                                   "," + Q(user) + "," + Q(password) + "," + I(port) + ")"))
        return -1;
    if (!Credentials(host, port, user, password)) return -1;
    std::lock_guard<std::mutex> lock(g_lc_mu);
    const int s = g_lc_next++;
    g_lc_sessions[s] = LcSession{host, port};
    return s;
}

ZYN_VENDOR_EXPORT int NetClient_Ord125(int session) {
    if (Store::Instance().LogFails("NetClient_Ord125(" + I(session) + ")")) return 0;
    std::vector<std::unique_ptr<LcStream>> closed;
    {
        std::lock_guard<std::mutex> lock(g_lc_mu);
        if (!g_lc_sessions.erase(session)) return 0;
        for (auto it = g_lc_streams.begin(); it != g_lc_streams.end();) {
            if (it->second->session == session) {
                closed.push_back(std::move(it->second));
                it = g_lc_streams.erase(it);
            } else {
                ++it;
            }
        }
    }
    return 1;
}

ZYN_VENDOR_EXPORT int NetClient_Ord126(int session, int command, intptr_t a, intptr_t b, intptr_t c,
                                       intptr_t d) {
    if (Store::Instance().LogFails("NetClient_Ord126(" + I(session) + "," + I(command) + "," +
                                   I(static_cast<int>(a)) + "," + I(static_cast<int>(c)) + ")"))
        return 0;
    (void)d;
    if ((command == 314 || command == 315) && OldOverlayOnly(session)) return 0;
    int ok = 0;
    std::vector<uint8_t> join;  // kept as the last block, outside the store's lock
    WithLcSession(session, [&](const DeviceFacts& f, vendor_emu::RecordBook& book) {
        if (command == 1) {  // counts
            if (!a || !b || !c) return;
            *reinterpret_cast<int32_t*>(a) = f.channels;
            *reinterpret_cast<int32_t*>(b) = f.alarm_in;
            *reinterpret_cast<int32_t*>(c) = f.alarm_out;
            ok = 1;
            return;
        }
        if (command == 53) {  // format medium a
            ok = 1;
            return;
        }
        if (command == 6 && c == 108 && a && b) {  // join a wireless network: two records
            join.resize(216);
            std::memcpy(join.data(), reinterpret_cast<const void*>(a), 108);
            std::memcpy(join.data() + 108, reinterpret_cast<const void*>(b), 108);
            ok = 1;
            return;
        }
        const int cmd = Canonical(command);
        const int channel = static_cast<int>(a);
        auto* record = reinterpret_cast<uint8_t*>(b);
        const auto size = static_cast<size_t>(c);
        if (record == nullptr) return;
        if (const RecordSpec* spec = book.ByRead(static_cast<uint32_t>(cmd))) {
            if (size < spec->bytes) return;
            const std::vector<uint8_t> rec = book.Read(*spec, channel, f);
            std::memcpy(record, rec.data(), rec.size());
            ok = 1;
        } else if (const RecordSpec* w = book.ByWrite(static_cast<uint32_t>(cmd), size)) {
            book.Write(*w, channel, record, size, f);
            ok = 1;
        }
    });
    if (!join.empty()) Store::Instance().SetLastBlock(join.data(), join.size());
    return ok;
}

ZYN_VENDOR_EXPORT int NetClient_Ord20(int session, int channel, int command, int parameter,
                                      int speed) {
    if (Store::Instance().LogFails("NetClient_Ord20(" + I(session) + "," + I(channel) + "," +
                                   I(command) + "," + I(parameter) + "," + I(speed) + ")"))
        return 0;
    return WithLcSession(session, [](auto&, auto&) {}) ? 1 : 0;
}

ZYN_VENDOR_EXPORT const NetClientWifiList* NetClient_Ord171(const char* name, const char* ip,
                                                            const char* user, const char* password,
                                                            int port) {
    if (Store::Instance().LogFails("NetClient_Ord171(" + Q(name) + "," + Q(ip) + "," + Q(user) +
                                   "," + Q(password) + "," + I(port) + ")"))
        return nullptr;
    if (!Credentials(ip, port, user, password)) return nullptr;
    std::lock_guard<std::mutex> lock(g_lc_mu);
    std::memset(&g_wifi, 0, sizeof g_wifi);
    g_wifi.count = 2;
    std::strcpy(g_wifi.entries[0], "ZynLab");
    std::strcpy(g_wifi.entries[1], "ZynGuest");
    return &g_wifi;
}

ZYN_VENDOR_EXPORT int NetClient_Ord56(const char* name, const char* ip, int channel,
                                      const char* user, const char* password, void* record,
                                      int port) {
    if (Store::Instance().LogFails("NetClient_Ord56(" + Q(name) + "," + Q(ip) + "," + I(channel) +
                                   "," + I(port) + ")"))
        return 0;
    if (!record || !Credentials(ip, port, user, password)) return 0;
    return WithDevice(ip, port,
                      [&](const DeviceFacts& f, vendor_emu::RecordBook& book) {
                          const std::vector<uint8_t> rec =
                              book.Read(*book.ByRead(1056), channel, f);
                          std::memcpy(record, rec.data(), rec.size());
                      })
               ? 1
               : 0;
}

ZYN_VENDOR_EXPORT int NetClient_Ord57(const char* ip, const char* name, const char* ip2,
                                      int channel, const char* user, const char* password,
                                      const void* record, int port) {
    if (Store::Instance().LogFails("NetClient_Ord57(" + Q(ip) + "," + Q(name) + "," + Q(ip2) + "," +
                                   I(channel) + "," + I(port) + ")"))
        return 0;
    if (!record || !Credentials(ip, port, user, password)) return 0;
    return WithDevice(ip, port,
                      [&](const DeviceFacts& f, vendor_emu::RecordBook& book) {
                          book.Write(*book.ByRead(1056), channel,
                                     static_cast<const uint8_t*>(record), 16, f);
                      })
               ? 1
               : 0;
}

ZYN_VENDOR_EXPORT int NetClient_Ord81(const char* name, const char* ip, const char* user,
                                      const char* password, int channel, const char* path,
                                      int port) {
    if (Store::Instance().LogFails("NetClient_Ord81(" + Q(name) + "," + Q(ip) + "," + I(channel) +
                                   "," + Q(path) + "," + I(port) + ")"))
        return -1;
    if (!path || !Credentials(ip, port, user, password)) return -1;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return -1;
    std::fclose(file);
    std::string base = path;
    base = base.substr(base.find_last_of("/\\") + 1);
    base = base.substr(0, base.rfind('.'));
    base.resize(39, 0);  // the record's 40 bytes, terminated
    return WithDevice(ip, port,
                      [&](const DeviceFacts& f, vendor_emu::RecordBook& book) {
                          book.Write(*book.ByRead(1081), channel,
                                     reinterpret_cast<const uint8_t*>(base.c_str()), 40, f);
                      })
               ? 0
               : -1;
}

ZYN_VENDOR_EXPORT int NetClient_Ord82(const char* name, const char* ip, int channel,
                                      const char* user, const char* password, char* text40,
                                      int port) {
    if (Store::Instance().LogFails("NetClient_Ord82(" + Q(name) + "," + Q(ip) + "," + I(channel) +
                                   "," + I(port) + ")"))
        return 0;
    if (!text40 || !Credentials(ip, port, user, password)) return 0;
    return WithDevice(
               ip, port,
               [&](const DeviceFacts& f, vendor_emu::RecordBook& book) {
                   const std::vector<uint8_t> rec = book.Read(*book.ByRead(1081), channel, f);
                   std::snprintf(text40, 40, "%s", reinterpret_cast<const char*>(rec.data()));
               })
               ? 1
               : 0;
}

ZYN_VENDOR_EXPORT int NetClient_Ord40(int session, int channel, int substream, uint64_t,
                                      NetClientStreamCallback cb, void* user) {
    if (Store::Instance().LogFails("NetClient_Ord40(" + I(session) + "," + I(channel) + "," +
                                   I(substream) + ")"))
        return -1;
    int channels = 0;
    if (!WithLcSession(session, [&](const DeviceFacts& f, auto&) { channels = f.channels; }))
        return -1;
    if (channel < 0 || channel >= channels) return -1;
    auto stream = std::make_unique<LcStream>();
    stream->session = session;
    stream->channel = channel;
    std::lock_guard<std::mutex> lock(g_lc_mu);
    const int h = g_lc_next++;
    if (cb != nullptr) {
        stream->live = std::make_unique<vendor_emu::LivePictures>(
            channel, [cb, user, h](const uint8_t* data, int length) { cb(h, data, length, user); });
    }
    g_lc_streams[h] = std::move(stream);
    return h;
}

ZYN_VENDOR_EXPORT int NetClient_Ord41(int stream) {
    if (Store::Instance().LogFails("NetClient_Ord41(" + I(stream) + ")")) return 0;
    std::unique_ptr<LcStream> closed;
    std::lock_guard<std::mutex> lock(g_lc_mu);
    auto it = g_lc_streams.find(stream);
    if (it == g_lc_streams.end()) return 0;
    closed = std::move(it->second);
    g_lc_streams.erase(it);
    // The picture thread's sink takes no lock of ours: joining it here is safe.
    return 1;
}

namespace {
int StreamCall(const std::string& text, int stream) {
    if (Store::Instance().LogFails(text)) return 0;
    std::lock_guard<std::mutex> lock(g_lc_mu);
    return g_lc_streams.count(stream) ? 1 : 0;
}
}  // namespace

ZYN_VENDOR_EXPORT int NetClient_Ord42(int stream, const char* path) {
    if (!StreamCall("NetClient_Ord42(" + I(stream) + "," + Q(path) + ")", stream) || !path)
        return 0;
    int channel = 0;
    {
        std::lock_guard<std::mutex> lock(g_lc_mu);
        auto it = g_lc_streams.find(stream);
        if (it == g_lc_streams.end()) return 0;
        channel = it->second->channel;
    }
    return vendor_emu::LivePictures::WriteBmp(path, channel, 0) ? 1 : 0;
}
ZYN_VENDOR_EXPORT int NetClient_Ord43(int stream, uint64_t, int flag) {
    return StreamCall("NetClient_Ord43(" + I(stream) + "," + I(flag) + ")", stream);
}
ZYN_VENDOR_EXPORT int NetClient_Ord44(int stream, const char* path) {
    return path ? StreamCall("NetClient_Ord44(" + I(stream) + "," + Q(path) + ")", stream) : 0;
}
ZYN_VENDOR_EXPORT int NetClient_Ord45(int stream) {
    return StreamCall("NetClient_Ord45(" + I(stream) + ")", stream);
}
ZYN_VENDOR_EXPORT int NetClient_Ord46(int stream, const void* rect) {
    return rect ? StreamCall("NetClient_Ord46(" + I(stream) + ")", stream) : 0;
}
