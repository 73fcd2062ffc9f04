#include "configctrl/device/langchi_device.h"

#include "configctrl/device/vendor_registry.h"
#include "vendors/net_client.h"

namespace configctrl {

namespace {

LiveRegistry<CLangChiDevice>& Registry() {
    static LiveRegistry<CLangChiDevice> registry;
    return registry;
}

constexpr int kLibraryPortBase = 6024;

void StreamTrampoline(int stream, const uint8_t* data, int length, void* user) {
    Registry().With(user, [&](CLangChiDevice& d) { d.OnStreamData(stream, data, length); });
}

}  // namespace

#define LC_CALL(name, ...) (lib_ && lib_->name ? lib_->name(__VA_ARGS__) : 0)

CLangChiDevice::CLangChiDevice()
    : CDevice(kDeviceTypeLangChi), lib_(vendors::NetClientLib::Load()), work_(1 << 20) {
    Registry().Add(this);
}

CLangChiDevice::~CLangChiDevice() {
    Registry().Remove(this);
    for (int ch = 0; ch < kLangChiStreams; ++ch) StopRealPlay(ch);
}

int CLangChiDevice::SetStreamInfo(const void*) {
    return 0;
}

int CLangChiDevice::Login() {
    if (!lib_ || !lib_->NetClient_Ord124) return 0;
    LC_CALL(NetClient_Ord1, kLibraryPortBase);
    const int session = lib_->NetClient_Ord124(GetDeviceName(), GetDeviceName(), GetHostName(),
                                               GetUserName(), GetPassword(), GetPort());
    if (session == -1) return 0;
    {
        std::lock_guard<std::mutex> lock(mu_);
        session_ = session;
        closing_ = false;
    }
    LC_CALL(NetClient_Ord3, 4, 1);
    set_logged_in(true);
    return 1;
}

int CLangChiDevice::Logout(int) {
    int session;
    {
        std::lock_guard<std::mutex> lock(mu_);
        closing_ = true;
        session = session_;
        session_ = -1;
    }
    for (int ch = 0; ch < kLangChiStreams; ++ch) StopRealPlay(ch);
    if (session == -1) return 0;
    const int ok = LC_CALL(NetClient_Ord125, session);
    LC_CALL(NetClient_Ord233, 0);
    LC_CALL(NetClient_Ord187);
    LC_CALL(NetClient_Ord4);
    api_.Logout(session, 0);
    if (ok != 0) set_logged_in(false);
    return ok;
}

int CLangChiDevice::RealPlay(int ch, uintptr_t window, int, int substream) {
    if (!logged_in() || ch < 0 || ch >= kLangChiStreams) return 0;
    StopRealPlay(ch);
    int session;
    {
        std::lock_guard<std::mutex> lock(mu_);
        session = session_;
    }
    if (session == -1) return 0;
    const int stream =
        LC_CALL(NetClient_Ord40, session, ch, substream, window, StreamTrampoline, this);
    if (stream == -1 || stream == 0) return 0;
    std::lock_guard<std::mutex> lock(mu_);
    streams_[ch] = stream;
    return 1;
}

int CLangChiDevice::StopRealPlay(int ch) {
    if (ch < 0 || ch >= kLangChiStreams) return 0;
    int stream;
    {
        std::lock_guard<std::mutex> lock(mu_);
        stream = streams_[ch];
        streams_[ch] = -1;
    }
    record_.channel_play_flag[ch] = 0;
    return stream == -1 ? 0 : LC_CALL(NetClient_Ord41, stream);
}

int CLangChiDevice::StopRealPlayEx(int ch, int) {
    return StopRealPlay(ch);
}

int CLangChiDevice::StreamHandle(int ch) {
    if (ch < 0 || ch >= kLangChiStreams) return -1;
    std::lock_guard<std::mutex> lock(mu_);
    return streams_[ch];
}

void CLangChiDevice::OnStreamData(int stream, const uint8_t* data, int length) {
    int ch = -1;
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (closing_) return;
        for (int c = 0; c < kLangChiStreams && ch < 0; ++c)
            if (streams_[c] == stream) ch = c;
        if (ch < 0) return;
        ++pictures_;
    }
    EmitPicture(ch, data, length);
}

int CLangChiDevice::ChangeWindow(int ch, uintptr_t window, int flag) {
    const int s = logged_in() ? StreamHandle(ch) : -1;
    return s == -1 ? 0 : LC_CALL(NetClient_Ord43, s, window, flag);
}
int CLangChiDevice::SetVolume(int ch, int) {
    return ch >= 0 && ch < kLangChiStreams ? 1 : 0;
}
int CLangChiDevice::SetMute(int ch, int) {
    return ch >= 0 && ch < kLangChiStreams ? 1 : 0;
}
int CLangChiDevice::CapturePicture(int ch, const char* path) {
    const int s = logged_in() && path ? StreamHandle(ch) : -1;
    return s == -1 ? 0 : LC_CALL(NetClient_Ord42, s, path);
}
int CLangChiDevice::GetParam(int, int, void*) {
    return 1;
}
int CLangChiDevice::SetParam(int, int, void*) {
    return 1;
}

int CLangChiDevice::PTZControl(int ch, const uint8_t* command) {
    if (!logged_in() || command == nullptr || ch < 0 || ch >= kMaxChannels) return 0;
    int session;
    {
        std::lock_guard<std::mutex> lock(mu_);
        session = session_;
    }
    return session == -1
               ? 0
               : LC_CALL(NetClient_Ord20, session, ch, command[0], command[1], command[2]);
}

int CLangChiDevice::StartTalk() {
    return 1;
}
int CLangChiDevice::StopTalk() {
    return 1;
}
int CLangChiDevice::WaitReply() {
    return 1;
}
int CLangChiDevice::GetReplyValue() {
    return 1;
}
int CLangChiDevice::UpdateRequest(int, void*) {
    return 1;
}
int CLangChiDevice::UpdateFile(int, void*, void*) {
    return 1;
}

int CLangChiDevice::SetSrcRect(int, int b, void* rect) {
    const int s = logged_in() && rect ? StreamHandle(b) : -1;
    return s == -1 ? 0 : LC_CALL(NetClient_Ord46, s, rect);
}
// The library has no read of the shown part: the whole picture.
int CLangChiDevice::GetSrcRect(int, int, void* rect) {
    if (rect == nullptr) return 0;
    int32_t* r = static_cast<int32_t*>(rect);
    r[0] = r[1] = 0;
    r[2] = 704;
    r[3] = 576;
    return 1;
}
int CLangChiDevice::ClearAlarm(int, int, void*) {
    return 1;
}
int CLangChiDevice::StartRemoteManRecord(int, int, void*) {
    return 1;
}
int CLangChiDevice::StopRemoteManRecord(int, int, void*) {
    return 1;
}

int CLangChiDevice::StartLocalRecord(int ch, const char* path, int) {
    const int s = logged_in() && path ? StreamHandle(ch) : -1;
    return s == -1 ? 0 : LC_CALL(NetClient_Ord44, s, path);
}
int CLangChiDevice::StopLocalRecord(int ch) {
    const int s = StreamHandle(ch);
    return s == -1 ? 0 : LC_CALL(NetClient_Ord45, s);
}

int CLangChiDevice::LangChiConfig(int, int command, intptr_t a, intptr_t b, intptr_t c,
                                  intptr_t d) {
    int session;
    {
        std::lock_guard<std::mutex> lock(mu_);
        session = session_;
    }
    if (session == -1) return 1;
    return LC_CALL(NetClient_Ord126, session, command, a, b, c, d);
}

}  // namespace configctrl
