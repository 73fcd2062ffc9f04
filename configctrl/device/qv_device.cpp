#include "configctrl/device/qv_device.h"

#include <cstdio>
#include <cstring>

#include "configctrl/device/vendor_registry.h"
#include "qvnet/qv_client.h"
#include "vendors/qv_player.h"

namespace configctrl {

namespace {

LiveRegistry<CQVDevice>& Registry() {
    static LiveRegistry<CQVDevice> registry;
    return registry;
}

void AudioTrampoline(int port, const int16_t*, int count, void* user) {
    Registry().With(user, [&](CQVDevice& d) { d.OnAudio(port, count); });
}

void PictureTrampoline(int port, const uint8_t* data, int length, void* user) {
    Registry().With(user, [&](CQVDevice& d) { d.OnPicture(port, data, length); });
}

// Pan-tilt-zoom request: three 32-bit values (channel, code, parameter).
constexpr uint32_t kCommandPtz = 513;

struct PtzCode {
    uint8_t command;
    int code;
    bool with_parameter;
};
constexpr PtzCode kPtzCodes[] = {
    {0, 0, false},     {1, 4097, true},   {2, 4098, true},   {3, 4099, true},
    {6, 4100, true},   {27, 4101, true},  {26, 4102, true},  {25, 4103, true},
    {24, 4104, true},  {23, 4105, true},  {22, 4106, true},  {9, 4110, false},
    {10, 4108, false}, {11, 4108, false}, {12, 4109, false}, {13, 4109, false},
};

}  // namespace

#define QV_CALL(name, ...) (player_ && player_->name ? player_->name(__VA_ARGS__) : -1)

CQVDevice::CQVDevice()
    : CDevice(kDeviceTypeQv), player_(vendors::QvPlayerLib::Load()), work_(1 << 20) {
    Registry().Add(this);
}

CQVDevice::~CQVDevice() {
    Registry().Remove(this);
    for (int ch = 0; ch < kQvStreams; ++ch) StopRealPlay(ch);
}

int CQVDevice::SetStreamInfo(const void*) {
    return 0;
}

int CQVDevice::Login() {
    auto client =
        std::make_unique<qvnet::QvClient>(GetAddress(), static_cast<uint16_t>(GetPort()),
                                          GetUserName(), GetPassword(), kQvConnectTimeoutMs);
    if (client->Login() != qvnet::kOk) return 0;
    {
        std::lock_guard<std::mutex> lock(mu_);
        client_ = std::move(client);
        closed_ = false;
    }
    set_logged_in(true);
    return 1;
}

// Releasing the connection cannot fail here (each exchange has its own
// connection); the result is success either way.
int CQVDevice::Logout(int) {
    for (int ch = 0; ch < kQvStreams; ++ch) StopRealPlay(ch);
    std::lock_guard<std::mutex> lock(mu_);
    closed_ = true;
    client_.reset();
    api_.Logout(0, 0);
    set_logged_in(false);
    return 1;
}

int CQVDevice::PlayerPort(int ch) {
    if (ch < 0 || ch >= kQvStreams) return -1;
    std::lock_guard<std::mutex> lock(mu_);
    return ports_[ch];
}

int CQVDevice::RealPlay(int ch, uintptr_t window, int, int substream) {
    if (!logged_in() || ch < 0 || ch >= kQvStreams) return 0;
    StopRealPlay(ch);
    const int port = QV_CALL(QV_PLAYER_OpenStream, GetAddress(), GetPort(), GetUserName(),
                             GetPassword(), ch, substream, window);
    if (port < 0) return 0;
    {
        std::lock_guard<std::mutex> lock(mu_);
        ports_[ch] = port;
    }
    QV_CALL(QV_PLAYER_SetPictureCallBack, port, PictureTrampoline, this);
    return 1;
}

void CQVDevice::OnPicture(int port, const uint8_t* data, int length) {
    int ch = -1;
    {
        std::lock_guard<std::mutex> lock(mu_);
        for (int c = 0; c < kQvStreams && ch < 0; ++c)
            if (ports_[c] == port) ch = c;
    }
    if (ch >= 0) EmitPicture(ch, data, length);
}

int CQVDevice::StopRealPlay(int ch) {
    if (ch < 0 || ch >= kQvStreams) return 0;
    int port;
    {
        std::lock_guard<std::mutex> lock(mu_);
        port = ports_[ch];
        ports_[ch] = -1;
    }
    record_.channel_play_flag[ch] = 0;
    return port < 0 ? 0 : QV_CALL(QV_PLAYER_CloseStream, port) == 0 ? 1 : 0;
}

int CQVDevice::StopRealPlayEx(int ch, int) {
    return StopRealPlay(ch);
}

int CQVDevice::OpenSound(int ch) {
    const int port = logged_in() ? PlayerPort(ch) : -1;
    if (port < 0) return 0;
    return QV_CALL(QV_PLAYER_SetAudioCallBack, port, AudioTrampoline, this) == 0 ? 1 : 0;
}

void CQVDevice::OnAudio(int, int count) {
    audio_samples_ += count;
}

int CQVDevice::CapturePicture(int ch, const char* path) {
    const int port = logged_in() && path ? PlayerPort(ch) : -1;
    if (port < 0) return 0;
    int written = 0;
    if (QV_CALL(QV_PLAYER_SnapBMP, port, work_.data(), static_cast<int>(work_.size()), &written) !=
            0 ||
        written <= 0 || written > static_cast<int>(work_.size()))
        return 0;
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return 0;
    const bool ok = std::fwrite(work_.data(), 1, static_cast<size_t>(written), f) ==
                    static_cast<size_t>(written);
    return std::fclose(f) == 0 && ok ? 1 : 0;
}

int CQVDevice::GetParam(int, int, void*) {
    return 1;
}
int CQVDevice::SetParam(int, int, void*) {
    return 1;
}

int CQVDevice::PTZControl(int ch, const uint8_t* command) {
    if (!logged_in() || command == nullptr || ch < 0 || ch >= kMaxChannels) return 0;
    for (const PtzCode& c : kPtzCodes) {
        if (c.command != command[0]) continue;
        const int32_t request[3] = {ch, c.code, c.with_parameter ? command[1] : 0};
        return SetQVConfig(0, kCommandPtz, 0, request, sizeof request) == 0 ? 1 : 0;
    }
    return 0;
}

int CQVDevice::StartTalk() {
    if (!logged_in()) return 0;
    return QV_CALL(QV_PLAYER_StartTalk, GetAddress(), GetPort(), GetUserName(), GetPassword()) == 0
               ? 1
               : 0;
}
int CQVDevice::StopTalk() {
    return QV_CALL(QV_PLAYER_StopTalk) == 0 ? 1 : 0;
}
int CQVDevice::WaitReply() {
    return 1;
}
int CQVDevice::GetReplyValue() {
    return 1;
}
int CQVDevice::UpdateRequest(int, void*) {
    return 1;
}
int CQVDevice::UpdateFile(int, void*, void*) {
    return 1;
}
int CQVDevice::ClearAlarm(int, int, void*) {
    return 1;
}
int CQVDevice::StartRemoteManRecord(int, int, void*) {
    return 1;
}
int CQVDevice::StopRemoteManRecord(int, int, void*) {
    return 1;
}

int CQVDevice::StartLocalRecord(int ch, const char* path, int) {
    const int port = logged_in() && path ? PlayerPort(ch) : -1;
    return port < 0 ? 0 : QV_CALL(QV_PLAYER_StartRecord, port, path) == 0 ? 1 : 0;
}
int CQVDevice::StopLocalRecord(int ch) {
    const int port = PlayerPort(ch);
    return port < 0 ? 0 : QV_CALL(QV_PLAYER_StopRecord, port) == 0 ? 1 : 0;
}

int CQVDevice::SetQVConfig(int, uint32_t command, int, const void* record, int size) {
    if (size < 0 || (record == nullptr && size > 0)) return qvnet::kBadArgument;
    std::lock_guard<std::mutex> lock(mu_);
    if (closed_ || !client_) return qvnet::kConnectFailed;
    const auto* p = static_cast<const uint8_t*>(record);
    const int r = client_->Request(command, std::vector<uint8_t>(p, p + (record ? size : 0)));
    // A device restarts without answering: a closed connection is success.
    return command == qvnet::kCommandReboot && r == qvnet::kBadReply ? qvnet::kOk : r;
}

// The caller's record goes out as the request (its size and channel fields
// tell the device what to read); the reply's payload comes back into it.
int CQVDevice::GetQVConfig(int, uint32_t command, int, void* record, int size, int* returned) {
    if (record == nullptr || size <= 0) return qvnet::kBadArgument;
    std::lock_guard<std::mutex> lock(mu_);
    if (closed_ || !client_) return qvnet::kConnectFailed;
    const auto* p = static_cast<const uint8_t*>(record);
    std::vector<uint8_t> reply;
    const int r = client_->Request(command, std::vector<uint8_t>(p, p + size), &reply);
    if (r != qvnet::kOk) return r;
    const size_t n = std::min(reply.size(), static_cast<size_t>(size));
    std::memcpy(record, reply.data(), n);
    if (returned) *returned = static_cast<int>(n);
    return qvnet::kOk;
}

int CQVDevice::Reserved3() {
    return 0;
}

}  // namespace configctrl
