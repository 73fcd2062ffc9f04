// Emulated AntsNetSDK: logins to the "ants" virtual devices, their
// configuration records (read 1xx, write 2xx, stored per device and
// channel), live pictures, talk, disk format/expand and upgrade that run
// over time, and alarm and exception messages on the library's thread.
#include <cstdio>
#include <cstring>
#include <array>
#include <map>
#include <memory>

#include "vendors/ants_net_sdk.h"
#include "vendors/emu/live_pictures.h"
#include "vendors/emu/record_book.h"
#include "vendors/emu/virtual_devices.h"

using vendor_emu::Device;
using vendor_emu::DeviceFacts;
using vendor_emu::PutText;
using vendor_emu::PutU16;
using vendor_emu::PutU32;
using vendor_emu::RecordSpec;
using vendor_emu::Store;

namespace {

void FillDevice(uint8_t* r, int, const DeviceFacts& f) {
    PutU32(r, 0, 180);
    PutText(r, 4, 32, f.name);
    PutText(r, 44, 48, f.serial);
    r[116] = static_cast<uint8_t>(f.alarm_in);
    r[117] = static_cast<uint8_t>(f.alarm_out);
    r[124] = static_cast<uint8_t>(f.channels);
}
void FillNetwork(uint8_t* r, int, const DeviceFacts& f) {
    PutU32(r, 0, 1956);
    PutText(r, 4, 16, f.ip);
    PutText(r, 148, 16, f.mask);
    PutU16(r, 296, static_cast<unsigned>(f.data_port));
    PutText(r, 1052, 16, f.gateway);
    PutU16(r, 1406, static_cast<unsigned>(f.web_port));
    PutText(r, 1408, 16, "0.0.0.0");
    PutText(r, 1552, 16, f.gateway);
}
void FillPicture(uint8_t* r, int ch, const DeviceFacts&) {
    PutU32(r, 0, 7336);
    PutText(r, 4, 32, "Camera " + std::to_string(ch));
    r[40] = r[41] = r[42] = r[43] = 5;
    PutU32(r, 104, 1);
    PutU16(r, 108, 16);
    PutU16(r, 110, 16);
    PutU32(r, 7260, 1);
    PutU16(r, 7264, 400);
    PutU16(r, 7266, 16);
}
void FillCoding(uint8_t* r, int, const DeviceFacts&) {
    PutU32(r, 0, 116);
    r[5] = 19;  // HD720p
    r[6] = 0;
    PutU32(r, 8, 0x80000000u | 2048);
    PutU32(r, 12, 24);  // the 25th frame rate of the ability list: 25
    PutU16(r, 16, 50);
    r[89] = 1;  // CIF
    r[90] = 1;
    PutU32(r, 92, 15);  // code 15: 640 kbit/s
    PutU32(r, 96, 14);
    PutU16(r, 100, 25);
}
void FillAlarmIn(uint8_t* r, int input, const DeviceFacts&) {
    PutU32(r, 0, 592);
    PutText(r, 4, 32, "AlarmIn" + std::to_string(input + 1));
}
void FillAlarmOut(uint8_t* r, int output, const DeviceFacts&) {
    PutU32(r, 0, 280);
    PutText(r, 4, 32, "AlarmOut" + std::to_string(output + 1));
    PutU32(r, 36, 0);  // hold time index: 5 s
}
void FillTime(uint8_t* r, int, const DeviceFacts&) {
    const std::tm t = vendor_emu::LocalNow();
    const int v[6] = {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
    for (int i = 0; i < 6; ++i) PutU32(r, 4 * i, static_cast<uint32_t>(v[i]));
}
void FillUsers(uint8_t* r, int, const DeviceFacts& f) {
    PutU32(r, 0, 3268);
    PutText(r, 4, 32, f.user);
    PutText(r, 36, 16, f.password);
}
void FillDdns(uint8_t* r, int, const DeviceFacts&) {
    r[0] = 0;
    r[1] = 0;
}
void FillDisks(uint8_t* r, int, const DeviceFacts&) {
    PutU32(r, 0, 1160);
    PutU32(r, 4, 2);
    const uint32_t disks[2][6] = {{1, 953869, 401233, 0, 0, 1}, {2, 1907729, 1907729, 7, 0, 1}};
    for (int i = 0; i < 2; ++i) {
        uint8_t* e = r + 8 + 36 * i;
        PutU32(e, 0, disks[i][0]);
        PutU32(e, 4, disks[i][1]);
        PutU32(e, 8, disks[i][2]);
        PutU32(e, 12, disks[i][3]);
        e[16] = static_cast<uint8_t>(disks[i][4]);
        PutU32(e, 20, disks[i][5]);
    }
}
void FillDiskGroups(uint8_t* r, int, const DeviceFacts& f) {
    PutU32(r, 0, 456);
    PutU32(r, 4, 1);
    PutU32(r, 8, 1);  // group 1 holds every channel
    for (int c = 0; c < f.channels && c < 24; ++c) r[12 + c] = 1;
}
void FillIpChannels(uint8_t* r, int, const DeviceFacts&) {
    PutU32(r, 0, 11524);
}
void FillMotion(uint8_t* r, int, const DeviceFacts&) {
    std::memset(r, 1, 6144);  // every cell watched
    r[6144] = 2;              // sensitivity
}
void FillRtsp(uint8_t* r, int, const DeviceFacts&) {
    PutU32(r, 0, 60);
    PutU16(r, 4, 554);
}

// Read and write commands of the records; 201 writes both the device record
// (180 bytes) and the picture record (7336 bytes).
const RecordSpec kRecords[] = {
    {101, 201, 180, FillDevice},     {102, 202, 1956, FillNetwork},
    {103, 201, 7336, FillPicture},   {104, 204, 116, FillCoding},
    {108, 208, 592, FillAlarmIn},    {109, 209, 280, FillAlarmOut},
    {110, 210, 24, FillTime},        {113, 213, 3268, FillUsers},
    {142, 242, 1900, FillDdns},      {158, 257, 1160, FillDisks},
    {159, 258, 456, FillDiskGroups}, {200, 297, 11524, FillIpChannels},
    {306, 506, 6396, FillMotion},    {1, 2, 60, FillRtsp},  // RTSP record (own calls)
};

struct Session {
    std::string ip;
    int port = 0;
};

struct Play {
    int login = 0;
    int channel = 0;
    std::string effect_key;  // the device and channel whose picture values it shows
    ANTS_DataCallback cb = nullptr;
    void* user = nullptr;
    std::unique_ptr<vendor_emu::LivePictures> live;
};

struct Job {  // format, expand, upgrade
    vendor_emu::Upgrade run;
    int disk = 0;
};

std::mutex g_mu;
std::map<int, Session> g_sessions;                      // guarded by g_mu
std::map<int, std::unique_ptr<Play>> g_plays;           // guarded by g_mu
std::map<std::string, vendor_emu::RecordBook> g_books;  // guarded by g_mu; by ip-port
std::map<int, Job> g_jobs;                              // guarded by g_mu
std::map<std::string, std::array<int, 4>> g_effects;    // guarded by g_mu; by ip:port:channel
int g_next_handle = 1;                                  // guarded by g_mu
int g_voice = 0;                                        // guarded by g_mu
ANTS_MessageCallback g_message_cb = nullptr;            // guarded by g_mu
void* g_message_user = nullptr;
ANTS_ExceptionCallback g_exception_cb = nullptr;  // guarded by g_mu
void* g_exception_user = nullptr;
int g_exception_message = 0;
vendor_emu::Worker g_events;

DeviceFacts Facts(const Device& d) {
    DeviceFacts f;
    f.name = d.Text("name");
    f.serial = d.Text("serial");
    f.ip = d.Text("ip");
    f.mask = d.Text("mask");
    f.gateway = d.Text("gateway");
    f.user = d.Text("user");
    f.password = d.Text("password");
    f.channels = d.Int("channels", 4);
    f.alarm_in = d.Int("alarm_in", 4);
    f.alarm_out = d.Int("alarm_out", 2);
    f.data_port = d.Int("data_port", 8000);
    f.web_port = d.Int("web_port", 80);
    return f;
}

// Runs fn(facts, book) for a live session; false when there is none.
template <typename Fn>
bool WithSession(int login, Fn fn) {
    std::string ip;
    int port = 0;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        auto it = g_sessions.find(login);
        if (it == g_sessions.end()) return false;
        ip = it->second.ip;
        port = it->second.port;
    }
    DeviceFacts facts;
    if (!Store::Instance().With(ip, port, [&](Device& d) { facts = Facts(d); })) return false;
    std::lock_guard<std::mutex> lock(g_mu);
    const std::string id = ip + "-" + std::to_string(port);
    auto it =
        g_books.try_emplace(id, kRecords, sizeof kRecords / sizeof kRecords[0], "AntsNetSDK-" + id)
            .first;
    fn(facts, it->second);
    return true;
}

std::string I(int v) {
    return std::to_string(v);
}
std::string S(const char* t) {
    return vendor_emu::Quote(t);
}

bool PlayExists(int play) {
    std::lock_guard<std::mutex> lock(g_mu);
    return g_plays.count(play) != 0;
}

int NewJob(int duration_ms, int disk) {
    std::lock_guard<std::mutex> lock(g_mu);
    Job job;
    job.run.start = std::chrono::steady_clock::now();
    job.run.duration_ms = duration_ms;
    job.disk = disk;
    const int h = g_next_handle++;
    g_jobs[h] = job;
    return h;
}

bool JobOf(int handle, Job* out) {
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_jobs.find(handle);
    if (it == g_jobs.end()) return false;
    *out = it->second;
    return true;
}

int CloseJob(int handle) {
    std::lock_guard<std::mutex> lock(g_mu);
    return g_jobs.erase(handle) ? 1 : 0;
}

}  // namespace

const char* vendor_emu::LibraryMaker() {
    return "ants";
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_Login(const char* ip, uint16_t port, const char* user,
                                         const char* password, ANTS_DEVICEINFO* info) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_Login(" + S(ip) + "," + I(port) + "," + S(user) +
                                   "," + S(password) + ")"))
        return -1;
    if (!ip || !user || !password) return -1;
    bool ok = false;
    DeviceFacts facts;
    Store::Instance().With(ip, port, [&](Device& d) {
        ok = d.Text("login") != "fail" && d.Text("user") == user && d.Text("password") == password;
        facts = Facts(d);
    });
    if (!ok) return -1;
    if (info) {
        std::memset(info, 0, sizeof *info);
        std::snprintf(info->serial, sizeof info->serial, "%s", facts.serial.c_str());
        info->alarm_in_count = static_cast<uint8_t>(facts.alarm_in);
        info->alarm_out_count = static_cast<uint8_t>(facts.alarm_out);
        info->disk_count = 2;
        info->channel_count = static_cast<uint8_t>(facts.channels);
        info->start_channel = 1;
    }
    std::lock_guard<std::mutex> lock(g_mu);
    const int h = g_next_handle++;
    g_sessions[h] = Session{ip, port};
    return h;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_Logout(int login) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_Logout(" + I(login) + ")")) return 0;
    std::vector<std::unique_ptr<Play>> stopped;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        if (!g_sessions.erase(login)) return 0;
        for (auto it = g_plays.begin(); it != g_plays.end();) {
            if (it->second->login == login) {
                stopped.push_back(std::move(it->second));
                it = g_plays.erase(it);
            } else {
                ++it;
            }
        }
    }
    return 1;  // `stopped` joins the picture threads outside the lock
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_SetReconnect(int interval_s, int enable) {
    return Store::Instance().LogFails("ANTS_NET_DVR_SetReconnect(" + I(interval_s) + "," +
                                      I(enable) + ")")
               ? 0
               : 1;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_SetDVRMessageCallBack(ANTS_MessageCallback cb, void* user) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_SetDVRMessageCallBack()")) return 0;
    std::lock_guard<std::mutex> lock(g_mu);
    g_message_cb = cb;
    g_message_user = user;
    return 1;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_SetExceptionCallBack(int message, uint64_t,
                                                        ANTS_ExceptionCallback cb, void* user) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_SetExceptionCallBack(" + I(message) + ")"))
        return 0;
    std::lock_guard<std::mutex> lock(g_mu);
    g_exception_cb = cb;
    g_exception_user = user;
    g_exception_message = message;
    return 1;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_RealPlay(int login, const ANTS_CLIENTINFO* info,
                                            ANTS_DataCallback cb, void* user) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_RealPlay(" + I(login) + "," +
                                   I(info ? info->channel : -1) + "," +
                                   I(info ? static_cast<int>(info->link_mode >> 31) : -1) + ")"))
        return 0;
    if (!info) return 0;
    int channels = 0;
    if (!WithSession(login, [&](const DeviceFacts& f, auto&) { channels = f.channels; })) return 0;
    if (info->channel < 1 || info->channel > channels) return 0;
    std::string key;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        auto it = g_sessions.find(login);
        if (it != g_sessions.end())
            key = it->second.ip + ":" + I(it->second.port) + ":" + I(info->channel);
    }
    auto play = std::make_unique<Play>();
    play->effect_key = key;
    play->login = login;
    play->channel = info->channel;
    play->cb = cb;
    play->user = user;
    std::lock_guard<std::mutex> lock(g_mu);
    const int h = g_next_handle++;
    g_plays[h] = std::move(play);
    return h;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_SetStandardDataCallBack(int play, ANTS_DataCallback cb,
                                                           void* user) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_SetStandardDataCallBack(" + I(play) + ")"))
        return 0;
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_plays.find(play);
    if (it == g_plays.end()) return 0;
    Play& p = *it->second;
    p.cb = cb;
    p.user = user;
    p.live.reset();
    if (cb != nullptr) {
        p.live = std::make_unique<vendor_emu::LivePictures>(
            p.channel,
            [cb, user, play](const uint8_t* data, int length) { cb(play, 2, data, length, user); });
    }
    return 1;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_MakeKeyFrame(int login, int channel) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_MakeKeyFrame(" + I(login) + "," + I(channel) +
                                   ")"))
        return 0;
    return WithSession(login, [](auto&, auto&) {}) ? 1 : 0;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_MakeKeyFrameSub(int login, int channel) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_MakeKeyFrameSub(" + I(login) + "," + I(channel) +
                                   ")"))
        return 0;
    return WithSession(login, [](auto&, auto&) {}) ? 1 : 0;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_StopRealPlay(int play) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_StopRealPlay(" + I(play) + ")")) return 0;
    std::unique_ptr<Play> stopped;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        auto it = g_plays.find(play);
        if (it == g_plays.end()) return 0;
        stopped = std::move(it->second);
        g_plays.erase(it);
    }
    return 1;
}

#define ANTS_PLAY_CALL(name, args_text, ...)                                            \
    if (Store::Instance().LogFails(std::string(#name "(") + args_text + ")")) return 0; \
    return PlayExists(play) ? 1 : 0;

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_Volume(int play, int volume){
    ANTS_PLAY_CALL(ANTS_NET_DVR_Volume, I(play) + "," + I(volume))} ZYN_VENDOR_EXPORT
    int ANTS_NET_DVR_OpenSoundShare(int play){
        ANTS_PLAY_CALL(ANTS_NET_DVR_OpenSoundShare, I(play))} ZYN_VENDOR_EXPORT
    int ANTS_NET_DVR_CloseSoundShare(int play){
        ANTS_PLAY_CALL(ANTS_NET_DVR_CloseSoundShare, I(play))} ZYN_VENDOR_EXPORT
    int ANTS_NET_DVR_PTZControl_EX(int play, int command, int stop){
        ANTS_PLAY_CALL(ANTS_NET_DVR_PTZControl_EX,
                       I(play) + "," + I(command) + "," + I(stop))} ZYN_VENDOR_EXPORT
    int ANTS_NET_DVR_PTZControlWithSpeed(int play, int command, int stop, int speed){
        ANTS_PLAY_CALL(ANTS_NET_DVR_PTZControlWithSpeed, I(play) + "," + I(command) + "," +
                                                             I(stop) + "," +
                                                             I(speed))} ZYN_VENDOR_EXPORT
    int ANTS_NET_DVR_PTZPreset_EX(int play, int command, int preset){
        ANTS_PLAY_CALL(ANTS_NET_DVR_PTZPreset_EX,
                       I(play) + "," + I(command) + "," + I(preset))} ZYN_VENDOR_EXPORT
    int ANTS_NET_DVR_PTZTrack_EX(int play, int command){
        ANTS_PLAY_CALL(ANTS_NET_DVR_PTZTrack_EX, I(play) + "," + I(command))}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_CapturePicture(int play, const char* path) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_CapturePicture(" + I(play) + "," + S(path) + ")"))
        return 0;
    int channel = 0;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        auto it = g_plays.find(play);
        if (it == g_plays.end() || !path) return 0;
        channel = it->second->channel;
    }
    return vendor_emu::LivePictures::WriteBmp(path, channel, 0) ? 1 : 0;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_ClientSetVideoEffect(int play, int v1, int v2, int v3, int v4) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_ClientSetVideoEffect(" + I(play) + "," + I(v1) +
                                   "," + I(v2) + "," + I(v3) + "," + I(v4) + ")"))
        return 0;
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_plays.find(play);
    if (it == g_plays.end()) return 0;
    g_effects[it->second->effect_key] = {v1, v2, v3, v4};
    return 1;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_ClientGetVideoEffect(int play, int* v1, int* v2, int* v3,
                                                        int* v4) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_ClientGetVideoEffect(" + I(play) + ")")) return 0;
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_plays.find(play);
    if (it == g_plays.end() || !v1 || !v2 || !v3 || !v4) return 0;
    const auto e = g_effects.find(it->second->effect_key);
    const std::array<int, 4> v = e != g_effects.end() ? e->second : std::array<int, 4>{5, 5, 5, 5};
    *v1 = v[0];
    *v2 = v[1];
    *v3 = v[2];
    *v4 = v[3];
    return 1;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_RigisterDrawFun(int play, ANTS_DrawCallback, void*){
    ANTS_PLAY_CALL(ANTS_NET_DVR_RigisterDrawFun, I(play))} ZYN_VENDOR_EXPORT
    int ANTS_NET_DVR_RigisterDrawFunEx(int play, ANTS_DrawCallback, void*){
        ANTS_PLAY_CALL(ANTS_NET_DVR_RigisterDrawFunEx, I(play))}
#define ANTS_LOGIN_CALL(name, args_text)                                                \
    if (Store::Instance().LogFails(std::string(#name "(") + args_text + ")")) return 0; \
    return WithSession(login, [](auto&, auto&) {}) ? 1 : 0;

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_RestoreConfig(int login) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_RestoreConfig(" + I(login) + ")")) return 0;
    return WithSession(login, [](auto&, vendor_emu::RecordBook& book) { book.Clear(); }) ? 1 : 0;
}
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_RebootDVR(int login){
    ANTS_LOGIN_CALL(ANTS_NET_DVR_RebootDVR, I(login))}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_StartVoiceCom(int login, ANTS_VoiceCallback, void*) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_StartVoiceCom(" + I(login) + ")")) return 0;
    if (!WithSession(login, [](auto&, auto&) {})) return 0;
    std::lock_guard<std::mutex> lock(g_mu);
    g_voice = g_next_handle++;
    return g_voice;
}
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_SetVoiceComClientVolume(int voice, int volume) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_SetVoiceComClientVolume(" + I(voice) + "," +
                                   I(volume) + ")"))
        return 0;
    std::lock_guard<std::mutex> lock(g_mu);
    return voice == g_voice && voice != 0 ? 1 : 0;
}
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_StopVoiceCom(int voice) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_StopVoiceCom(" + I(voice) + ")")) return 0;
    std::lock_guard<std::mutex> lock(g_mu);
    if (voice != g_voice || voice == 0) return 0;
    g_voice = 0;
    return 1;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_GetDVRConfig(int login, int command, int channel, void* buffer,
                                                int size, int* returned) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_GetDVRConfig(" + I(login) + "," + I(command) +
                                   "," + I(channel) + "," + I(size) + ")"))
        return 0;
    int ok = 0;
    WithSession(login, [&](const DeviceFacts& f, vendor_emu::RecordBook& book) {
        const RecordSpec* spec = book.ByRead(static_cast<uint32_t>(command));
        if (spec == nullptr || buffer == nullptr || size < static_cast<int>(spec->bytes)) return;
        const std::vector<uint8_t> rec = book.Read(*spec, channel, f);
        std::memcpy(buffer, rec.data(), rec.size());
        if (returned) *returned = static_cast<int>(rec.size());
        ok = 1;
    });
    return ok;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_SetDVRConfig(int login, int command, int channel,
                                                const void* buffer, int size) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_SetDVRConfig(" + I(login) + "," + I(command) +
                                   "," + I(channel) + "," + I(size) + ")"))
        return 0;
    int ok = 0;
    WithSession(login, [&](const DeviceFacts& f, vendor_emu::RecordBook& book) {
        const RecordSpec* spec =
            book.ByWrite(static_cast<uint32_t>(command), static_cast<size_t>(size));
        if (spec == nullptr || buffer == nullptr || size != static_cast<int>(spec->bytes)) return;
        book.Write(*spec, channel, static_cast<const uint8_t*>(buffer), size, f);
        ok = 1;
    });
    if (ok) Store::Instance().SetLastBlock(buffer, static_cast<size_t>(size));
    return ok;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_GetRtspConfig(int login, void* buffer, int size) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_GetRtspConfig(" + I(login) + "," + I(size) + ")"))
        return 0;
    int ok = 0;
    WithSession(login, [&](const DeviceFacts& f, vendor_emu::RecordBook& book) {
        const RecordSpec* spec = book.ByRead(1);
        if (buffer == nullptr || size < 60) return;
        const std::vector<uint8_t> rec = book.Read(*spec, 0, f);
        std::memcpy(buffer, rec.data(), rec.size());
        ok = 1;
    });
    return ok;
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_SetRtspConfig(int login, const void* buffer, int size) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_SetRtspConfig(" + I(login) + "," + I(size) + ")"))
        return 0;
    int ok = 0;
    WithSession(login, [&](const DeviceFacts& f, vendor_emu::RecordBook& book) {
        if (buffer == nullptr || size != 60) return;
        book.Write(*book.ByRead(1), 0, static_cast<const uint8_t*>(buffer), 60, f);
        ok = 1;
    });
    return ok;
}

// Disk format: progress over 3 s per disk; state 0 running, 1 done.
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_FormatDisk(int login, int disk) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_FormatDisk(" + I(login) + "," + I(disk) + ")"))
        return -1;
    if (!WithSession(login, [](auto&, auto&) {})) return -1;
    return NewJob(3000, disk);
}
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_GetFormatProgress(int handle, int* current, int* progress,
                                                     int* state) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_GetFormatProgress(" + I(handle) + ")")) return 0;
    Job job;
    if (!JobOf(handle, &job) || !current || !progress || !state) return 0;
    *current = job.disk == 255 ? 1 : job.disk;
    *progress = job.run.Progress();
    *state = job.run.Done() ? 1 : 0;
    return 1;
}
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_CloseFormatHandle(int handle) {
    Store::Instance().Log("ANTS_NET_DVR_CloseFormatHandle(" + I(handle) + ")");
    return CloseJob(handle);
}

// Disk expansion: progress 0..99 over 3 s, then 100.
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_ExpandDisk(int login, int disk) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_ExpandDisk(" + I(login) + "," + I(disk) + ")"))
        return -1;
    if (!WithSession(login, [](auto&, auto&) {})) return -1;
    return NewJob(3000, disk);
}
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_GetExpandProgress(int handle) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_GetExpandProgress(" + I(handle) + ")")) return 400;
    Job job;
    if (!JobOf(handle, &job)) return -1;
    return job.run.Progress();
}
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_CloseExpandHandle(int handle) {
    Store::Instance().Log("ANTS_NET_DVR_CloseExpandHandle(" + I(handle) + ")");
    return CloseJob(handle);
}

ZYN_VENDOR_EXPORT int ANTS_NET_DVR_SetNetworkEnvironment(int environment) {
    return Store::Instance().LogFails("ANTS_NET_DVR_SetNetworkEnvironment(" + I(environment) + ")")
               ? 0
               : 1;
}

// Upgrade: the device's upgrade_ms and upgrade_state; state 2 while running.
static int StartUpgrade(const char* call, int login, const char* path) {
    if (Store::Instance().LogFails(std::string(call) + "(" + I(login) + "," + S(path) + ")"))
        return -1;
    int duration_ms = 3000, final_state = 1;
    if (!path || !WithSession(login, [&](const DeviceFacts& f, auto&) {
            Store::Instance().With(f.ip, f.data_port, [&](Device& d) {
                duration_ms = d.Int("upgrade_ms", 3000);
                final_state = d.Int("upgrade_state", 1);
                d.Bump("upgrades");
            });
        }))
        return -1;
    const int h = NewJob(duration_ms, final_state);
    return h;
}
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_Upgrade(int login, const char* path) {
    return StartUpgrade("ANTS_NET_DVR_Upgrade", login, path);
}
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_AdapterUpgrade(int login, const char* path) {
    return StartUpgrade("ANTS_NET_DVR_AdapterUpgrade", login, path);
}
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_GetUpgradeState(int handle) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_GetUpgradeState(" + I(handle) + ")")) return -1;
    Job job;
    if (!JobOf(handle, &job)) return -1;
    return job.run.Done() ? job.disk : 2;  // disk holds the final state
}
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_GetUpgradeProgress(int handle) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_GetUpgradeProgress(" + I(handle) + ")")) return -1;
    Job job;
    return JobOf(handle, &job) ? job.run.Progress() : -1;
}
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_CloseUpgradeHandle(int handle) {
    Store::Instance().Log("ANTS_NET_DVR_CloseUpgradeHandle(" + I(handle) + ")");
    return CloseJob(handle);
}

// Ability 1024: the frame-rate list "1" .. "25" (a 32-bit section count at
// 4; sections of 13352 bytes from 8; type 4 holds the count at 36 and
// entries of 52 bytes from 44).
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_GetDeviceAbility(int login, int ability, const void*, int,
                                                    void* out, int out_size) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_GetDeviceAbility(" + I(login) + "," + I(ability) +
                                   ")"))
        return 0;
    if (ability != 1024 || !out || out_size < 8 + 13352 || !WithSession(login, [](auto&, auto&) {}))
        return 0;
    auto* b = static_cast<uint8_t*>(out);
    std::memset(b, 0, static_cast<size_t>(out_size));
    PutU32(b, 4, 1);
    uint8_t* section = b + 8;
    PutU32(section, 0, 4);
    PutU32(section, 36, 25);
    for (int i = 0; i < 25; ++i) PutText(section, 44 + 52 * i, 52, std::to_string(i + 1));
    return 1;
}

// Protocol list: a 32-bit count, then entries of a 32-bit code and a 32-byte name.
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_GetIPCProtoList(int login, void* buffer, int size) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_GetIPCProtoList(" + I(login) + ")")) return 0;
    const char* const names[] = {"ANTS", "ONVIF", "RTSP"};
    if (!buffer || size < 4 + 3 * 36 || !WithSession(login, [](auto&, auto&) {})) return 0;
    auto* b = static_cast<uint8_t*>(buffer);
    PutU32(b, 0, 3);
    for (int i = 0; i < 3; ++i) {
        PutU32(b, 4 + 36 * i, static_cast<uint32_t>(i));
        PutText(b, 8 + 36 * i, 32, names[i]);
    }
    return 1;
}

// LAN search: the device's lan_cameras cameras (2 unless set) at
// 127.0.0.81 and on (addresses are data, reported, never used).
ZYN_VENDOR_EXPORT int ANTS_NET_DVR_SearchDeviceOnLAN(int login, int, int, void* buffer, int entries,
                                                     int* count) {
    if (Store::Instance().LogFails("ANTS_NET_DVR_SearchDeviceOnLAN(" + I(login) + ")")) return 0;
    int cameras = 2;
    if (!buffer || entries <= 0 || !WithSession(login, [&](const DeviceFacts& f, auto&) {
            Store::Instance().With(f.ip, f.data_port,
                                   [&](Device& d) { cameras = d.Int("lan_cameras", 2); });
        }))
        return 0;
    cameras = std::clamp(cameras, 0, std::min(entries, 100));
    auto* b = static_cast<uint8_t*>(buffer);
    std::memset(b, 0, static_cast<size_t>(entries) * 756);
    for (int i = 0; i < cameras; ++i) {
        uint8_t* e = b + 756 * i;
        PutU32(e, 4, static_cast<uint32_t>(i % 3));
        PutU32(e, 8, 8000);
        PutText(e, 264, 64, "IPC-" + std::to_string(i + 1));
        PutText(e, 328, 32, "admin");
        PutText(e, 368, 32, "12345");
        PutText(e, 420, 16, "127.0.0." + std::to_string(81 + i));
    }
    if (count) *count = cameras;
    return 1;
}

// kind 1: alarm message of type `value`; kind 2: exception `value`. Both
// on the library's thread, to every session; 0x9000 (disconnected) ends them.
ZYN_VENDOR_EXPORT int ZynVendorEmu_Event(int kind, int value) {
    std::vector<int> logins;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        for (const auto& [h, s] : g_sessions) logins.push_back(h);
    }
    g_events.Start([kind, value, logins](vendor_emu::Worker&) {
        ANTS_MessageCallback mcb;
        ANTS_ExceptionCallback ecb;
        void *muser, *euser;
        int message;
        {
            std::lock_guard<std::mutex> lock(g_mu);
            mcb = g_message_cb;
            muser = g_message_user;
            ecb = g_exception_cb;
            euser = g_exception_user;
            message = g_exception_message;
        }
        for (int login : logins) {
            if (kind == 1 && mcb) {
                ANTS_ALARMINFO a{};
                a.alarm_type = value;
                mcb(ANTS_MESSAGE_ALARM, login, reinterpret_cast<const char*>(&a), sizeof a, muser);
            } else if (kind == 2 && ecb) {
                ecb(message, value, login, euser);
            }
        }
        if (kind == 2 && value == ANTS_EXCEPTION_DISCONNECTED) {  // the sessions are gone
            std::lock_guard<std::mutex> lock(g_mu);
            for (int login : logins) g_sessions.erase(login);
        }
    });
    return static_cast<int>(logins.size());
}
