// Emulated QVPlayer: player ports that show generated pictures (no network:
// the stream of a QV device is not carried over the wire here), BMP
// snapshots of the current picture, local recording of the pictures to a
// file, talk on or off, and an audio callback fed with silence.
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "vendors/emu/live_pictures.h"
#include "vendors/emu/virtual_devices.h"
#include "vendors/qv_player.h"

using vendor_emu::Store;

namespace {

struct Port {
    int channel = 0;
    uint32_t frames = 0;                      // guarded by g_mu
    std::FILE* record = nullptr;              // guarded by g_mu
    QV_PLAYER_AudioCallback audio = nullptr;  // guarded by g_mu
    void* audio_user = nullptr;
    QV_PLAYER_PictureCallback picture = nullptr;  // guarded by g_mu
    void* picture_user = nullptr;
    std::unique_ptr<vendor_emu::LivePictures> live;
};

std::mutex g_mu;
std::map<int, std::unique_ptr<Port>> g_ports;  // guarded by g_mu
int g_next = 0;                                // guarded by g_mu
bool g_talking = false;                        // guarded by g_mu

std::string I(int v) {
    return std::to_string(v);
}
std::string Q(const char* t) {
    return vendor_emu::Quote(t);
}

void OnPicture(int port, const uint8_t* data, int length) {
    QV_PLAYER_AudioCallback audio = nullptr;
    void* user = nullptr;
    QV_PLAYER_PictureCallback picture = nullptr;
    void* picture_user = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        auto it = g_ports.find(port);
        if (it == g_ports.end()) return;
        Port& p = *it->second;
        ++p.frames;
        if (p.record) std::fwrite(data, 1, static_cast<size_t>(length), p.record);
        audio = p.audio;
        user = p.audio_user;
        picture = p.picture;
        picture_user = p.picture_user;
    }
    if (picture) picture(port, data, length, picture_user);
    if (audio) {
        int16_t silence[320] = {};
        audio(port, silence, 320, user);
    }
}

}  // namespace

const char* vendor_emu::LibraryMaker() {
    return "qv";
}

ZYN_VENDOR_EXPORT int QV_PLAYER_OpenStream(const char* ip, int port, const char* user,
                                           const char* password, int channel, int substream,
                                           uint64_t) {
    if (Store::Instance().LogFails("QV_PLAYER_OpenStream(" + Q(ip) + "," + I(port) + "," + Q(user) +
                                   "," + Q(password) + "," + I(channel) + "," + I(substream) + ")"))
        return -1;
    if (!ip || channel < 0) return -1;
    std::lock_guard<std::mutex> lock(g_mu);
    const int h = g_next++;
    auto p = std::make_unique<Port>();
    p->channel = channel;
    p->live = std::make_unique<vendor_emu::LivePictures>(
        channel, [h](const uint8_t* data, int length) { OnPicture(h, data, length); });
    g_ports[h] = std::move(p);
    return h;
}

ZYN_VENDOR_EXPORT int QV_PLAYER_CloseStream(int player_port) {
    if (Store::Instance().LogFails("QV_PLAYER_CloseStream(" + I(player_port) + ")")) return -1;
    std::unique_ptr<Port> closed;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        auto it = g_ports.find(player_port);
        if (it == g_ports.end()) return -1;
        closed = std::move(it->second);
        g_ports.erase(it);
    }
    closed->live.reset();  // joins the picture thread (it takes g_mu)
    if (closed->record) std::fclose(closed->record);
    return 0;
}

ZYN_VENDOR_EXPORT int QV_PLAYER_SetAudioCallBack(int player_port, QV_PLAYER_AudioCallback cb,
                                                 void* user) {
    if (Store::Instance().LogFails("QV_PLAYER_SetAudioCallBack(" + I(player_port) + ")")) return -1;
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_ports.find(player_port);
    if (it == g_ports.end()) return -1;
    it->second->audio = cb;
    it->second->audio_user = user;
    return 0;
}

ZYN_VENDOR_EXPORT int QV_PLAYER_SetPictureCallBack(int player_port, QV_PLAYER_PictureCallback cb,
                                                   void* user) {
    if (Store::Instance().LogFails("QV_PLAYER_SetPictureCallBack(" + I(player_port) + ")"))
        return -1;
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_ports.find(player_port);
    if (it == g_ports.end()) return -1;
    it->second->picture = cb;
    it->second->picture_user = user;
    return 0;
}

ZYN_VENDOR_EXPORT int QV_PLAYER_SnapBMP(int player_port, uint8_t* buffer, int size, int* written) {
    if (Store::Instance().LogFails("QV_PLAYER_SnapBMP(" + I(player_port) + "," + I(size) + ")"))
        return -1;
    int channel = 0;
    uint32_t frame = 0;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        auto it = g_ports.find(player_port);
        if (it == g_ports.end()) return -1;
        channel = it->second->channel;
        frame = it->second->frames;
    }
    const std::vector<uint8_t> bmp = vendor_emu::LivePictures::Bmp(channel, frame);
    if (!buffer || size < static_cast<int>(bmp.size())) return -1;
    std::memcpy(buffer, bmp.data(), bmp.size());
    if (written) *written = static_cast<int>(bmp.size());
    return 0;
}

ZYN_VENDOR_EXPORT int QV_PLAYER_StartRecord(int player_port, const char* path) {
    if (Store::Instance().LogFails("QV_PLAYER_StartRecord(" + I(player_port) + "," + Q(path) + ")"))
        return -1;
    if (!path) return -1;
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_ports.find(player_port);
    if (it == g_ports.end() || it->second->record) return -1;
    it->second->record = std::fopen(path, "wb");
    return it->second->record ? 0 : -1;
}

ZYN_VENDOR_EXPORT int QV_PLAYER_StopRecord(int player_port) {
    if (Store::Instance().LogFails("QV_PLAYER_StopRecord(" + I(player_port) + ")")) return -1;
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_ports.find(player_port);
    if (it == g_ports.end() || !it->second->record) return -1;
    std::fclose(it->second->record);
    it->second->record = nullptr;
    return 0;
}

ZYN_VENDOR_EXPORT int QV_PLAYER_StartTalk(const char* ip, int port, const char* user,
                                          const char* password) {
    if (Store::Instance().LogFails("QV_PLAYER_StartTalk(" + Q(ip) + "," + I(port) + "," + Q(user) +
                                   "," + Q(password) + ")"))
        return -1;
    std::lock_guard<std::mutex> lock(g_mu);
    if (!ip || g_talking) return -1;
    g_talking = true;
    return 0;
}

ZYN_VENDOR_EXPORT int QV_PLAYER_StopTalk(void) {
    if (Store::Instance().LogFails("QV_PLAYER_StopTalk()")) return -1;
    std::lock_guard<std::mutex> lock(g_mu);
    if (!g_talking) return -1;
    g_talking = false;
    return 0;
}
