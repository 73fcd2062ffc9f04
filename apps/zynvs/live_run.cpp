#include "apps/zynvs/live_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "renderkit/play_video.h"
#include "zynvs/ZynDecodeKit.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"

namespace zynvs_app {
namespace {
constexpr int kDeviceId = 1;

struct Counters {
    std::atomic<unsigned long long> frames{0}, key_frames{0}, video_bytes{0};
    std::atomic<unsigned long long> audio_blocks{0}, audio_bytes{0};
};

struct RunState {
    Counters channels[4];
    std::atomic<int> logins{0};
    std::atomic<int> losses{0};
    std::atomic<int> restored{0};
    std::atomic<bool> closing{false};  // our own logout is not a loss
    int snapshot_channel = -1;
    CPlayVideo* snapshot_player = nullptr;  // fed from the frame callback
};

RunState* g_state = nullptr;

void ZYNVS_CALL OnMessage(int, int message, void*, int, void*) {
    if (!g_state) return;
    if (message == zyn::wire::kMsgLoggedIn) g_state->logins++;
    if (message == zyn::wire::kMsgControlLost && !g_state->closing) g_state->losses++;
    if (message == zyn::wire::kMsgStreamRestored) g_state->restored++;
}

void ZYNVS_CALL OnFullFrame(int, int channel, void* data, int length, int kind, int frame_type,
                            void*) {
    constexpr int kHead = static_cast<int>(zyn::wire::kFrameRecordHeaderBytes);
    if (!g_state || channel < 0 || channel > 3 || length < kHead) return;
    Counters& c = g_state->channels[channel];
    if (kind == 0) {
        c.frames++;
        if (frame_type == zyn::wire::kKeyFrameType) c.key_frames++;
        c.video_bytes += static_cast<unsigned long long>(length - kHead);
        if (channel == g_state->snapshot_channel && g_state->snapshot_player)
            g_state->snapshot_player->SendOneFrame1(static_cast<const uint8_t*>(data) + kHead,
                                                    length - kHead,
                                                    static_cast<uint32_t>(c.frames.load()));
    } else {
        c.audio_blocks++;
        c.audio_bytes += static_cast<unsigned long long>(length - kHead);
    }
}

long long FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

std::string Human(unsigned long long bytes) {
    char buf[32];
    if (bytes >= 1024ull * 1024)
        std::snprintf(buf, sizeof buf, "%.1f MB", bytes / 1048576.0);
    else if (bytes >= 1024)
        std::snprintf(buf, sizeof buf, "%.1f kB", bytes / 1024.0);
    else
        std::snprintf(buf, sizeof buf, "%llu B", bytes);
    return buf;
}
}  // namespace

int RunLive(const LiveOptions& opt, LiveSummary* summary) {
    RunState state;
    CPlayVideo snapshot_player;
    g_state = &state;
    if (!opt.snapshot_path.empty() && !opt.channels.empty()) {
        state.snapshot_channel = opt.channels.front();
        snapshot_player.StartVideo(1280, 720, 1);  // decode only, no window
        state.snapshot_player = &snapshot_player;
    }
    ZYNVS_RegisterMessageCallBack(OnMessage, nullptr);
    ZYNVS_RegisterFullFrameDataCallBack(OnFullFrame, nullptr);

    DeviceLoginInfo dev{};
    dev.device_id = kDeviceId;
    dev.device_kind = 1;
    dev.channel_count = opt.channel_count;
    std::snprintf(dev.control_address, sizeof dev.control_address, "%s", opt.host.c_str());
    dev.control_port = static_cast<uint16_t>(opt.port);
    dev.stream_port = static_cast<uint16_t>(opt.stream_port ? opt.stream_port : opt.port + 1);
    // The account block holds 8 bytes each, not necessarily terminated.
    std::memcpy(dev.user_name, opt.user.data(), std::min(opt.user.size(), sizeof dev.user_name));
    std::memcpy(dev.password, opt.password.data(),
                std::min(opt.password.size(), sizeof dev.password));

    std::fprintf(stderr, "zynvs: logging into %s:%d as %s ...\n", opt.host.c_str(), opt.port,
                 opt.user.c_str());
    summary->logged_in = ZYNVS_Login(&dev) == 1;
    if (!summary->logged_in) {
        summary->errors.push_back("login failed (no answer, wrong account or refused)");
        ZYNVS_DeleteDevice(kDeviceId);
        g_state = nullptr;
        return 1;
    }
    // Recordings open before the streams, so that each file begins with the
    // first frame the device sends (a key frame).
    for (std::size_t i = 0; i < opt.channels.size() && i < opt.record_paths.size(); ++i) {
        if (opt.record_paths[i].empty()) continue;
        int mode = i < opt.record_modes.size() ? opt.record_modes[i] : 0;
        ZYNVS_StartLoclRecord(kDeviceId, opt.channels[i], opt.record_paths[i].c_str(), mode);
    }
    for (std::size_t i = 0; i < opt.channels.size(); ++i) {
        const int ch = opt.channels[i];
        ClientInfo ci{};
        ci.stream_kind = 0;
        ci.channel = static_cast<uint8_t>(ch);
        ci.request_flag = 1;
        ci.link_value = static_cast<uint32_t>(100 + ch);
        ci.stream_transport = 0;
        ci.stream_port = dev.stream_port;
        std::snprintf(ci.stream_address, sizeof ci.stream_address, "%s", opt.host.c_str());
        if (ZYNVS_RealPlay(kDeviceId, &ci) != 1)
            summary->errors.push_back("live video of channel " + std::to_string(ch) + " refused");
        if (opt.audio && ZYNVS_OpenSoundVoice(kDeviceId, ch, 0) != 1)
            summary->errors.push_back("audio of channel " + std::to_string(ch) + " refused");
    }

    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(opt.seconds);
    // On a terminal the progress line rewrites itself; elsewhere one line a second.
    const bool tty = isatty(fileno(stderr));
    int ticks = 0;
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        if (!opt.progress || (!tty && ++ticks % 4 != 0)) continue;
        double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::string line;
        char head[32];
        std::snprintf(head, sizeof head, "%s%5.1fs", tty ? "\r" : "", t);
        line = head;
        for (int ch : opt.channels) {
            char part[64];
            std::snprintf(part, sizeof part, " | ch%d %llu fr %s", ch,
                          state.channels[ch & 3].frames.load(),
                          Human(state.channels[ch & 3].video_bytes.load()).c_str());
            line += part;
        }
        std::fprintf(stderr, tty ? "%s   " : "%s\n", line.c_str());
    }
    if (opt.progress && tty) std::fprintf(stderr, "\n");

    for (std::size_t i = 0; i < opt.channels.size(); ++i) {
        ZYNVS_StopLoclRecord(kDeviceId, opt.channels[i]);
        if (opt.audio) ZYNVS_CloseSound(kDeviceId, opt.channels[i]);
        ZYNVS_StopRealPlay(kDeviceId, opt.channels[i]);
    }
    state.closing = true;
    ZYNVS_Logout(kDeviceId, 1);
    ZYNVS_RegisterFullFrameDataCallBack(nullptr, nullptr);
    ZYNVS_RegisterMessageCallBack(nullptr, nullptr);

    if (state.snapshot_player) {
        snapshot_player.WaitIdle(3000);
        summary->snapshot_path = opt.snapshot_path;
        summary->snapshot_written = snapshot_player.CaptureBitmap(opt.snapshot_path.c_str()) == 1;
        if (!summary->snapshot_written) summary->errors.push_back("snapshot not written");
        snapshot_player.StopVideo();
    }
    summary->reconnects = state.logins.load() > 1 ? state.logins.load() - 1 : 0;
    summary->losses = state.losses.load();
    for (std::size_t i = 0; i < opt.channels.size(); ++i) {
        const int ch = opt.channels[i];
        ChannelSummary c;
        c.channel = ch;
        c.frames = state.channels[ch & 3].frames;
        c.key_frames = state.channels[ch & 3].key_frames;
        c.video_bytes = state.channels[ch & 3].video_bytes;
        c.audio_blocks = state.channels[ch & 3].audio_blocks;
        c.audio_bytes = state.channels[ch & 3].audio_bytes;
        if (i < opt.record_paths.size() && !opt.record_paths[i].empty()) {
            c.record_path = opt.record_paths[i];
            c.record_file_bytes = FileSize(c.record_path);
        }
        if (c.frames == 0)
            summary->errors.push_back("no video frames on channel " + std::to_string(ch));
        summary->channels.push_back(c);
    }
    g_state = nullptr;
    return summary->errors.empty() ? 0 : 1;
}

void PrintSummary(const LiveSummary& s) {
    std::printf("\n== zynvs summary ==\n");
    std::printf("login: %s, connection losses: %d, reconnects: %d\n", s.logged_in ? "ok" : "FAILED",
                s.losses, s.reconnects);
    for (const auto& c : s.channels) {
        std::printf("channel %d: %llu video frames (%llu key) %s, %llu audio blocks %s\n",
                    c.channel, c.frames, c.key_frames, Human(c.video_bytes).c_str(), c.audio_blocks,
                    Human(c.audio_bytes).c_str());
        if (!c.record_path.empty())
            std::printf("  recorded to %s (%s)\n", c.record_path.c_str(),
                        c.record_file_bytes >= 0
                            ? Human(static_cast<unsigned long long>(c.record_file_bytes)).c_str()
                            : "missing");
    }
    if (!s.snapshot_path.empty())
        std::printf("snapshot: %s%s\n", s.snapshot_path.c_str(),
                    s.snapshot_written ? "" : " (NOT written)");
    for (const auto& e : s.errors) std::printf("problem: %s\n", e.c_str());
    std::printf("%s\n", s.errors.empty() ? "result: ok" : "result: problems above");
}
}  // namespace zynvs_app
