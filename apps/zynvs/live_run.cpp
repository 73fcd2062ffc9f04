#include "apps/zynvs/live_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "apps/zynvs/console.h"
#include "apps/zynvs/live_window.h"
#include "apps/zynvs/options.h"
#include "apps/zynvs/recording_file.h"
#include "renderkit/play_video.h"
#include "zynvs/ZynDecodeKit.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"

namespace zynvs_app {
namespace {
constexpr int kMaxChannels = 4;  // the SDK tracks channels 0..3
// Session events of the message callback.
constexpr int kMessageLoggedIn = zyn::wire::kMsgLoggedIn;
constexpr int kMessageControlLost = zyn::wire::kMsgControlLost;
constexpr int kMessageStreamRestored = zyn::wire::kMsgStreamRestored;
constexpr int kMessageStreamLost = zyn::wire::kMsgStreamLost;
// The frame record's "XCXBV" prefix and fragment header before the frame data.
constexpr std::size_t kFramePrefixBytes = zyn::wire::kFrameRecordHeaderBytes;

struct Counters {
    std::atomic<unsigned long long> frames{0}, key_frames{0}, video_bytes{0};
    std::atomic<unsigned long long> audio_blocks{0}, audio_bytes{0};
};

// Filled by SDK threads, read by the main loop.
struct RunState {
    Counters channels[kMaxChannels];
    std::atomic<bool> closing{false};  // our own stop is not a loss
    int snapshot_channel = -1;
    CPlayVideo* snapshot_player = nullptr;  // fed from the frame callback
    std::mutex mutex;
    std::vector<std::pair<int, int>> events;  // (message, channel or -1), guarded by mutex
};

RunState* g_state = nullptr;

int ChannelFromText(const void* data, int length) {
    if (data == nullptr || length <= 0) return -1;
    char text[8] = {};
    std::memcpy(text, data, std::min<std::size_t>(static_cast<std::size_t>(length), 7));
    long v = 0;
    return ParseNumber(std::string(text, strnlen(text, 7)), 0, kMaxChannels - 1, &v)
               ? static_cast<int>(v)
               : -1;
}

void ZYNVS_CALL OnMessage(int, int message, void* data, int length, void*) {
    RunState* s = g_state;
    if (s == nullptr || s->closing) return;
    if (message != kMessageLoggedIn && message != kMessageControlLost &&
        message != kMessageStreamRestored && message != kMessageStreamLost)
        return;
    std::lock_guard lock(s->mutex);
    s->events.emplace_back(message, ChannelFromText(data, length));
}

void ZYNVS_CALL OnFullFrame(int, int channel, void* data, int length, int kind, int frame_type,
                            void*) {
    RunState* s = g_state;
    if (s == nullptr || channel < 0 || channel >= kMaxChannels ||
        length < static_cast<int>(kFramePrefixBytes))
        return;
    Counters& c = s->channels[channel];
    const int payload = length - static_cast<int>(kFramePrefixBytes);
    if (kind == 0) {
        c.frames++;
        if (frame_type == zyn::wire::kKeyFrameType) c.key_frames++;
        c.video_bytes += static_cast<unsigned long long>(payload);
        if (channel == s->snapshot_channel && s->snapshot_player)
            s->snapshot_player->SendOneFrame1(static_cast<const uint8_t*>(data) + kFramePrefixBytes,
                                              payload, static_cast<uint32_t>(c.frames.load()));
    } else {
        c.audio_blocks++;
        c.audio_bytes += static_cast<unsigned long long>(payload);
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

// Follows the connection state from the session events and prints each one.
class EventLog {
public:
    EventLog(LiveSummary* summary, const std::vector<int>& channels, bool tty)
        : summary_(summary), channels_(channels), tty_(tty) {
        for (int ch : channels) {
            ChannelSummary c;
            c.channel = ch;
            summary_->channels.push_back(c);
        }
    }

    void Apply(int message, int channel, double t) {
        switch (message) {
            case kMessageControlLost:
                ++summary_->control_losses;
                summary_->control_down_at_end = true;
                Line(t, "control connection lost");
                break;
            case kMessageLoggedIn:
                ++summary_->reconnects;
                summary_->control_down_at_end = false;
                Line(t, "logged in again (reconnect " + std::to_string(summary_->reconnects) + ")");
                break;
            case kMessageStreamLost:
                for (auto& c : summary_->channels) {
                    if (channel >= 0 && c.channel != channel) continue;
                    ++c.stream_losses;
                    c.stream_down_at_end = true;
                }
                Line(t, channel >= 0 ? "channel " + std::to_string(channel) + ": stream lost"
                                     : "stream connection lost");
                break;
            case kMessageStreamRestored:
                for (auto& c : summary_->channels) {
                    if (channel >= 0 && c.channel != channel) continue;
                    ++c.stream_restores;
                    c.stream_down_at_end = false;
                }
                Line(t, channel >= 0 ? "channel " + std::to_string(channel) + ": stream restored"
                                     : "stream restored");
                break;
        }
    }

private:
    void Line(double t, const std::string& text) {
        std::fprintf(stderr, "%s%6.1fs %s\n", tty_ ? "\r\033[K" : "", t, text.c_str());
    }
    LiveSummary* summary_;
    std::vector<int> channels_;
    bool tty_;
};
void ToggleMute(int device, int channel, bool* muted) {
    *muted = !*muted;
    const bool done = ZYNVS_SetMute(device, channel, *muted ? 1 : 0) == 1;
    std::fprintf(stderr, "\rsound of channel %d %s%s\n", channel, *muted ? "muted" : "on",
                 done ? "" : " (refused)");
}

// One picture per channel, as the SDK last drew it, named by channel and time.
void TakeSnapshots(int device, const std::vector<int>& channels) {
    const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    for (int ch : channels) {
        const std::string path = "zynvs-ch" + std::to_string(ch) + "-" +
                                 std::to_string(static_cast<long long>(now)) + ".bmp";
        ZYNVS_CapturePicture(device, ch, path.c_str());
        std::string why;
        if (FileSize(path) <= 0) {
            why = WriteProblem(path);
            if (why.empty()) why = "no picture decoded yet (the stream waits for a key frame)";
        }
        std::fprintf(stderr, "\rsnapshot %s%s%s\n", path.c_str(),
                     why.empty() ? "" : ": NOT written: ", why.c_str());
    }
}
}  // namespace

int RunLive(const LiveOptions& opt, LiveSummary* summary) {
    const auto& channels = opt.device.channels;
    // A recording that cannot be written is known before anything starts.
    for (const auto& path : opt.record_paths) {
        if (path.empty()) continue;
        const std::string why = WriteProblem(path);
        if (!why.empty()) {
            std::fprintf(stderr, "zynvs: cannot record to %s: %s\n", path.c_str(), why.c_str());
            summary->errors.push_back("cannot record to " + path + ": " + why);
            return kExitFailed;
        }
    }
    // Declared before the session: the SDK stops drawing before the window goes.
    LiveWindow window;
    bool windowed = false;
    if (opt.window != LiveOptions::Window::kNo) {
        std::string title = "zynvs live " + opt.device.host + ":" +
                            std::to_string(opt.device.port) +
                            (channels.size() > 1 ? " channels" : " channel");
        for (std::size_t i = 0; i < channels.size(); ++i)
            title += (i ? ", " : " ") + std::to_string(channels[i]);
        std::string why;
        windowed = window.Open(title, static_cast<int>(channels.size()), &why);
        if (!windowed && opt.window == LiveOptions::Window::kYes) {
            std::fprintf(stderr, "zynvs: cannot open a window: %s\n", why.c_str());
            summary->errors.push_back("no window: " + why);
            return kExitFailed;
        }
        if (windowed) {
            std::printf("window 0x%lx (keys: s snapshot, m mute, q quit)\n", window.window());
            std::fflush(stdout);
        }
    }
    std::fprintf(stderr, "zynvs: logging into %s:%d as %s ...\n", opt.device.host.c_str(),
                 opt.device.port, opt.device.user.c_str());
    DeviceSession session(opt.device, "live");
    summary->logged_in = session.ok();
    if (!session.ok()) {
        summary->errors.push_back("login failed");
        return kExitFailed;
    }
    if (!session.CheckChannels(channels)) return kExitUsage;

    RunState state;
    CPlayVideo snapshot_player;
    if (!opt.snapshot_path.empty()) {
        state.snapshot_channel = channels.front();
        snapshot_player.StartVideo(1280, 720, 1);  // decode only, no window
        state.snapshot_player = &snapshot_player;
    }
    g_state = &state;
    ZYNVS_RegisterMessageCallBack(OnMessage, nullptr);
    ZYNVS_RegisterFullFrameDataCallBack(OnFullFrame, nullptr);

    // Recordings open before the streams, so that each file begins with the
    // first frame the device sends (a key frame).
    for (std::size_t i = 0; i < channels.size() && i < opt.record_paths.size(); ++i) {
        if (opt.record_paths[i].empty()) continue;
        const int mode = i < opt.record_modes.size() ? opt.record_modes[i] : 0;
        ZYNVS_StartLoclRecord(session.id(), channels[i], opt.record_paths[i].c_str(), mode);
        if (FileSize(opt.record_paths[i]) < 0)
            summary->errors.push_back("recording " + opt.record_paths[i] + " did not start");
    }
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const int ch = channels[i];
        ClientInfo ci{};
        ci.window =
            static_cast<uint32_t>(windowed ? window.channel_window(static_cast<int>(i)) : 0);
        ci.stream_kind = 0;
        ci.channel = static_cast<uint8_t>(ch);
        ci.request_flag = 1;
        ci.link_value = static_cast<uint32_t>(100 + ch);
        ci.stream_transport = 0;
        ci.stream_port = static_cast<uint16_t>(opt.device.StreamPort());
        std::snprintf(ci.stream_address, sizeof ci.stream_address, "%s", opt.device.host.c_str());
        if (ZYNVS_RealPlay(session.id(), &ci) != 1)
            summary->errors.push_back("live video of channel " + std::to_string(ch) + " refused");
        // In a window the first channel is heard; the others' audio is counted.
        const bool heard = windowed && i == 0;
        if (opt.audio && (heard ? ZYNVS_OpenSound(session.id(), ch)
                                : ZYNVS_OpenSoundVoice(session.id(), ch, 0)) != 1)
            summary->errors.push_back("audio of channel " + std::to_string(ch) + " refused");
    }

    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(opt.seconds);
    // On a terminal the progress line rewrites itself; elsewhere one line a second.
    const bool tty = isatty(fileno(stderr));
    EventLog log(summary, channels, tty);
    int ticks = 0;
    bool muted = false;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        const double t = std::chrono::duration<double>(now - start).count();
        std::vector<std::pair<int, int>> events;
        {
            std::lock_guard lock(state.mutex);
            events.swap(state.events);
        }
        for (const auto& [message, channel] : events) log.Apply(message, channel, t);
        bool quit = false;
        for (LiveWindow::Key key : windowed ? window.Poll() : std::vector<LiveWindow::Key>{}) {
            if (key == LiveWindow::Key::kQuit)
                quit = true;
            else if (key == LiveWindow::Key::kMute)
                ToggleMute(session.id(), channels.front(), &muted);
            else
                TakeSnapshots(session.id(), channels);
        }
        if (now >= end || StopRequested() || quit) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!opt.progress || ++ticks % (tty ? 3 : 10) != 0) continue;
        std::string line = tty ? "\r" : "";
        char head[32];
        std::snprintf(head, sizeof head, "%5.1fs", t);
        line += head;
        for (int ch : channels) {
            char part[64];
            std::snprintf(part, sizeof part, " | ch%d %llu fr %s", ch,
                          state.channels[ch].frames.load(),
                          Human(state.channels[ch].video_bytes.load()).c_str());
            line += part;
        }
        std::fprintf(stderr, tty ? "%s   " : "%s\n", line.c_str());
    }
    if (opt.progress && tty) std::fprintf(stderr, "\n");
    summary->stop_signal = StopSignal();

    // Streams end before the recordings, so every frame counted reached the
    // files too.
    state.closing = true;
    for (int ch : channels) {
        ZYNVS_StopRealPlay(session.id(), ch);
        if (opt.audio) ZYNVS_CloseSound(session.id(), ch);
    }
    for (int ch : channels) ZYNVS_StopLoclRecord(session.id(), ch);
    ZYNVS_RegisterFullFrameDataCallBack(nullptr, nullptr);
    ZYNVS_RegisterMessageCallBack(nullptr, nullptr);
    g_state = nullptr;

    if (state.snapshot_player) {
        snapshot_player.WaitIdle(3000);
        summary->snapshot_path = opt.snapshot_path;
        summary->snapshot_written = snapshot_player.CaptureBitmap(opt.snapshot_path.c_str()) == 1;
        if (!summary->snapshot_written) {
            std::string why = state.channels[state.snapshot_channel].frames == 0
                                  ? "no picture arrived"
                                  : WriteProblem(opt.snapshot_path);
            summary->errors.push_back("snapshot " + opt.snapshot_path + " not written" +
                                      (why.empty() ? "" : ": " + why));
        }
        snapshot_player.StopVideo();
    }
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const int ch = channels[i];
        ChannelSummary& c = summary->channels[i];
        c.frames = state.channels[ch].frames;
        c.key_frames = state.channels[ch].key_frames;
        c.video_bytes = state.channels[ch].video_bytes;
        c.audio_blocks = state.channels[ch].audio_blocks;
        c.audio_bytes = state.channels[ch].audio_bytes;
        if (c.frames == 0)
            summary->errors.push_back("no video frames on channel " + std::to_string(ch));
        if (c.stream_down_at_end)
            summary->errors.push_back("channel " + std::to_string(ch) +
                                      ": the stream was lost and not restored");
        if (i >= opt.record_paths.size() || opt.record_paths[i].empty()) continue;
        c.record_path = opt.record_paths[i];
        c.record_file_bytes = FileSize(c.record_path);
        const bool avi = i < opt.record_modes.size() && opt.record_modes[i] == 1;
        c.record_frames =
            avi ? AviFrameCount(c.record_path)
                : static_cast<long long>(InspectRecording(c.record_path).video_frames);
        if (c.record_frames < static_cast<long long>(c.frames)) {
            std::string why = WriteProblem(c.record_path);
            summary->errors.push_back(
                c.record_path + " holds " + std::to_string(std::max(0LL, c.record_frames)) +
                " of " + std::to_string(c.frames) + " frames: writing failed" +
                (why.empty() ? " (no space left on the device?)" : ": " + why));
        }
    }
    if (summary->control_down_at_end)
        summary->errors.push_back(
            "the control connection was lost and the device did not come back");
    return summary->errors.empty() ? kExitOk : kExitFailed;
}

void PrintSummary(const LiveSummary& s) {
    std::printf("\n== zynvs summary ==\n");
    std::printf("login: %s, control connection losses: %d, reconnects: %d\n",
                s.logged_in ? "ok" : "FAILED", s.control_losses, s.reconnects);
    if (s.stop_signal != 0)
        std::printf("stopped early by %s\n", s.stop_signal == 2 ? "Ctrl-C (SIGINT)" : "SIGTERM");
    for (const auto& c : s.channels) {
        std::printf("channel %d: %llu video frames (%llu key) %s, %llu audio blocks %s", c.channel,
                    c.frames, c.key_frames, Human(c.video_bytes).c_str(), c.audio_blocks,
                    Human(c.audio_bytes).c_str());
        if (c.stream_losses || c.stream_restores)
            std::printf(", stream lost %d time(s), restored %d time(s)", c.stream_losses,
                        c.stream_restores);
        std::printf("\n");
        if (c.record_path.empty()) continue;
        if (c.record_file_bytes < 0)
            std::printf("  recording %s: missing\n", c.record_path.c_str());
        else
            std::printf("  recorded to %s (%s, %lld frames)\n", c.record_path.c_str(),
                        Human(static_cast<unsigned long long>(c.record_file_bytes)).c_str(),
                        std::max(0LL, c.record_frames));
    }
    if (!s.snapshot_path.empty())
        std::printf("snapshot: %s%s\n", s.snapshot_path.c_str(),
                    s.snapshot_written ? "" : " (NOT written)");
    for (const auto& e : s.errors) std::printf("problem: %s\n", e.c_str());
    std::printf("%s\n", s.errors.empty() ? "result: ok" : "result: FAILED (problems above)");
}
}  // namespace zynvs_app
