// Live ingest through the SDK, measured against a plain socket loop in the
// same run, and live latency of one 1080p channel.
//
//   decodekit_ingest_bench [seconds] [devices]
//
// Ingest: `devices` emulated devices (default 16) of 4 channels each send
// their main streams (about 4 Mbit/s each). First a plain socket loop logs
// in by hand and reads every stream connection (the baseline), then the SDK
// does the same with every channel recording to a native file and the
// full-frame callback counting, without display. Printed: CPU per Mbit/s of
// both and their ratio, frames lost (sent by the emulator, not seen by the
// callback), memory per channel.
//
// Latency: one device, one channel of 1920x1080 at 25 frames/s, opened with
// ZYNVS_RealPlay and a window: from the emulator sending a frame (the time
// in its fragment header, taken when it queues the frame's fragments) to the
// decoded picture reaching DecRealDataCallback. With DISPLAY set the player
// draws into a real X window; without it the player decodes only.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/devsim/devsim.h"
#include "zynvs/ZynDecodeKit.h"

// Last: Xlib defines None, Bool, Status, True and False.
#include <X11/Xlib.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kChannels = 4;

double ProcessCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec +
           ru.ru_stime.tv_usec / 1e6;
}

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

long RssKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// ---- the plain socket loop ----------------------------------------------------

int Connect(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool SendMsg(int fd, uint16_t command, const uint8_t* payload, uint16_t length) {
    std::vector<uint8_t> m(8 + length);
    m[0] = m[1] = 0x11;
    Put16(&m[2], command);
    Put16(&m[6], length);
    if (length) std::memcpy(&m[8], payload, length);
    return send(fd, m.data(), m.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(m.size());
}

// Reads one message (blocking); false on error.
bool ReadMsg(int fd, uint16_t* command, std::vector<uint8_t>* payload) {
    uint8_t h[8];
    auto read_all = [&](uint8_t* p, size_t n) {
        while (n) {
            ssize_t r = recv(fd, p, n, 0);
            if (r <= 0) return false;
            p += r;
            n -= static_cast<size_t>(r);
        }
        return true;
    };
    if (!read_all(h, 8) || h[0] != 0x11 || h[1] != 0x11) return false;
    *command = Le16(h + 2);
    payload->resize(Le16(h + 6));
    return read_all(payload->data(), payload->size());
}

struct PlainDevice {
    int control = -1, stream = -1;
};

// Logs in and opens every channel's main stream by hand.
bool PlainOpen(devsim::Device& d, PlainDevice* out) {
    out->control = Connect(d.control_port());
    if (out->control < 0) return false;
    uint8_t login[40] = {};
    Put32(login, d.device_id());
    login[4] = kChannels;
    login[5] = 2;
    std::memcpy(login + 8, "admin", 5);
    std::memcpy(login + 16, "admin", 5);
    SendMsg(out->control, 0x0101, login, 40);
    uint16_t cmd = 0;
    std::vector<uint8_t> p;
    if (!ReadMsg(out->control, &cmd, &p) || p.size() < 2 || Le16(p.data()) != 0) return false;
    out->stream = Connect(d.stream_port());
    for (int ch = 0; ch < kChannels; ++ch) {
        uint8_t req[16] = {};
        req[1] = static_cast<uint8_t>(ch);
        req[2] = 1;
        Put16(req + 10, d.stream_port());
        Put32(req + 12, 0x7F000001);
        SendMsg(out->control, 0x0201, req, 16);
        if (!ReadMsg(out->control, &cmd, &p) || cmd != 0x8201 || Le16(p.data()) != 0) return false;
        uint8_t key[4] = {};
        Put32(key, Le16(p.data() + 2));
        SendMsg(out->stream, 0x0202, key, 4);
    }
    return true;
}

struct PlainResult {
    double cpu_s = 0;
    uint64_t bytes = 0;
    uint64_t frames = 0;
};

// Reads every stream connection until `stop`, counting bytes and completed
// frames (last fragments) from the message headers.
void PlainLoop(std::vector<PlainDevice>& devs, std::atomic<bool>& stop, PlainResult* r) {
    const double cpu0 = ThreadCpuSeconds();
    std::vector<pollfd> fds;
    struct Parse {
        std::vector<uint8_t> buf;
    };
    std::vector<Parse> parse(devs.size());
    for (auto& d : devs) fds.push_back({d.stream, POLLIN, 0});
    std::vector<uint8_t> chunk(1 << 16);
    while (!stop.load()) {
        if (poll(fds.data(), fds.size(), 50) <= 0) continue;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            ssize_t n = recv(fds[i].fd, chunk.data(), chunk.size(), MSG_DONTWAIT);
            if (n <= 0) continue;
            r->bytes += static_cast<uint64_t>(n);
            auto& b = parse[i].buf;
            b.insert(b.end(), chunk.begin(), chunk.begin() + n);
            size_t at = 0;
            while (b.size() - at >= 8) {
                const size_t len = Le16(&b[at + 6]);
                if (b.size() - at < 8 + len) break;
                if (Le16(&b[at + 2]) == 0x0301 && len >= 24) {
                    const uint8_t* h = &b[at + 8];
                    if (h[6] + 1 == h[7]) ++r->frames;  // index of the last fragment
                }
                at += 8 + len;
            }
            b.erase(b.begin(), b.begin() + at);
        }
    }
    r->cpu_s = ThreadCpuSeconds() - cpu0;
}

// ---- the SDK side -----------------------------------------------------------------

struct Counts {
    std::atomic<uint64_t> frames[64][kChannels];
    std::atomic<uint64_t> bytes[64][kChannels];
};
Counts* g_counts = nullptr;
int g_first_id = 1000;

void ZYNVS_CALL OnFullFrame(int device, int channel, void*, int length, int kind, int, void*) {
    const int d = device - g_first_id;
    if (!g_counts || kind != 0 || d < 0 || d >= 64 || channel < 0 || channel >= kChannels) return;
    g_counts->frames[d][channel]++;
    g_counts->bytes[d][channel] += static_cast<uint64_t>(length);
}

// ---- latency ------------------------------------------------------------------------

struct Latency {
    std::mutex mutex;
    std::deque<int64_t> sent_ms;  // send times of frames handed to the player, in order
    std::vector<double> samples;
    uint64_t assembled = 0, decoded = 0;
    uint32_t fill = 0, total = 0;
    bool open = false;
};
Latency* g_lat = nullptr;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Raw fragments arrive before the frame goes to the player: the fragment
// that completes a frame records the frame's send time.
void ZYNVS_CALL OnRealData(int, int, void* data, int length, void*) {
    if (!g_lat || length < 30) return;
    auto* p = static_cast<const uint8_t*>(data);
    if (std::memcmp(p, "XCXBV", 5) != 0) return;
    const uint8_t* h = p + 6;
    std::lock_guard<std::mutex> lock(g_lat->mutex);
    size_t frag;
    if (h[6] == 0) {
        frag = static_cast<size_t>(length) - 38;
        g_lat->fill = 0;
        g_lat->total = Le32(h + 12);
        g_lat->open = true;
    } else {
        frag = static_cast<size_t>(length) - 30;
    }
    if (!g_lat->open) return;
    g_lat->fill += static_cast<uint32_t>(frag);
    if (g_lat->fill == g_lat->total) {
        g_lat->open = false;
        g_lat->sent_ms.push_back(static_cast<int64_t>(Le32(h + 16)) * 1000 + Le16(h + 20));
        ++g_lat->assembled;
    }
}

void ZYNVS_CALL OnDecoded(unsigned int, int, void*, int, void*) {
    if (!g_lat) return;
    const int64_t now = NowMs();
    std::lock_guard<std::mutex> lock(g_lat->mutex);
    ++g_lat->decoded;
    if (g_lat->sent_ms.empty()) return;
    g_lat->samples.push_back(static_cast<double>(now - g_lat->sent_ms.front()));
    g_lat->sent_ms.pop_front();
}

double Percentile(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(q * (v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

int RunIngest(double seconds, int device_count) {
    std::printf("== ingest: %d devices x %d channels, main stream ~4 Mbit/s, %.0f s per phase ==\n",
                device_count, kChannels, seconds);
    devsim::Config cfg;
    cfg.keep_sent_frames = true;
    for (int i = 0; i < device_count; ++i) {
        devsim::DeviceConfig d;
        d.device_id = static_cast<uint32_t>(500 + i);
        d.channel_count = kChannels;
        d.main = {1280, 720, 25, 4000, 25, 1};
        d.sub = {176, 144, 25, 64, 25, 1};
        d.audio = false;
        d.fragment_bytes = 8192;
        cfg.devices.push_back(d);
    }
    devsim::Emulator emu(cfg);
    std::string error;
    const auto enc0 = Clock::now();
    if (!emu.Start(&error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        return 1;
    }
    auto loop = emu.device(0).Loop(0, 0);
    std::printf("emulator ready (%.1f s to encode the loops), loop bit rate %.0f kbit/s\n",
                std::chrono::duration<double>(Clock::now() - enc0).count(), loop->BitrateKbps());

    // Baseline: the plain socket loop.
    std::vector<PlainDevice> plain(device_count);
    for (int i = 0; i < device_count; ++i) {
        if (!PlainOpen(emu.device(i), &plain[i])) {
            std::fprintf(stderr, "plain login %d failed\n", i);
            return 1;
        }
    }
    PlainResult base;
    std::atomic<bool> stop{false};
    const double emu_cpu0 = emu.IoThreadCpuSeconds();
    const uint64_t emu_bytes0 = emu.StreamBytesSent();
    const auto p0 = Clock::now();
    std::thread reader([&] { PlainLoop(plain, stop, &base); });
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    reader.join();
    const double base_wall = std::chrono::duration<double>(Clock::now() - p0).count();
    const double emu_cpu_base = emu.IoThreadCpuSeconds() - emu_cpu0;
    const uint64_t emu_bytes_base = emu.StreamBytesSent() - emu_bytes0;
    for (auto& d : plain) {
        close(d.stream);
        close(d.control);
    }
    const double base_mbit = base.bytes * 8.0 / 1e6 / base_wall;

    // The SDK, every channel recording to a native file.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the emulator drops the plain sessions
    std::vector<size_t> sent_before(device_count);
    for (int i = 0; i < device_count; ++i) sent_before[i] = emu.device(i).SentFrames().size();
    auto counts = std::make_unique<Counts>();
    for (auto& row : counts->frames)
        for (auto& c : row) c = 0;
    for (auto& row : counts->bytes)
        for (auto& c : row) c = 0;
    g_counts = counts.get();
    ZYNVS_RegisterFullFrameDataCallBack(OnFullFrame, nullptr);
    char tmpl[] = "/tmp/zynvs-ingest-XXXXXX";
    const std::string dir = mkdtemp(tmpl) ? tmpl : "/tmp";

    const long rss0 = RssKiB();
    const double cpu0 = ProcessCpuSeconds();
    const double emu_cpu1 = emu.IoThreadCpuSeconds();
    const double main_cpu0 = ThreadCpuSeconds();
    const auto s0 = Clock::now();
    for (int i = 0; i < device_count; ++i) {
        DeviceLoginInfo r{};
        r.device_id = g_first_id + i;
        r.channel_count = kChannels;
        std::strcpy(r.control_address, "127.0.0.1");
        r.control_port = emu.device(i).control_port();
        r.stream_port = emu.device(i).stream_port();
        std::memcpy(r.user_name, "admin", 5);
        std::memcpy(r.password, "admin", 5);
        r.device_kind = 1;
        if (ZYNVS_Login(&r) != 1) {
            std::fprintf(stderr, "SDK login %d failed\n", i);
            return 1;
        }
        for (int ch = 0; ch < kChannels; ++ch) {
            std::string path = dir + "/d" + std::to_string(i) + "c" + std::to_string(ch) + ".zyn";
            ZYNVS_StartLoclRecord(r.device_id, ch, path.c_str(), 0);
            ClientInfo ci{};
            ci.channel = static_cast<uint8_t>(ch);
            ci.request_flag = 1;
            std::strcpy(ci.stream_address, "127.0.0.1");
            if (ZYNVS_RealPlay(r.device_id, &ci) != 1) {
                std::fprintf(stderr, "SDK stream %d/%d failed\n", i, ch);
                return 1;
            }
        }
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const long rss1 = RssKiB();
    // Stop the cameras, let the last frames drain, then compare.
    for (int i = 0; i < device_count; ++i)
        for (int ch = 0; ch < kChannels; ++ch) emu.device(i).StallChannel(ch, true);
    uint64_t last = 0;
    for (int k = 0; k < 50; ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        uint64_t now = 0;
        for (int i = 0; i < device_count; ++i)
            for (int ch = 0; ch < kChannels; ++ch) now += counts->frames[i][ch];
        if (now == last && k > 5) break;
        last = now;
    }
    const double sdk_wall = std::chrono::duration<double>(Clock::now() - s0).count();
    const double sdk_cpu = (ProcessCpuSeconds() - cpu0) - (emu.IoThreadCpuSeconds() - emu_cpu1) -
                           (ThreadCpuSeconds() - main_cpu0);

    uint64_t sent = 0, seen = 0, bytes = 0, lost = 0, file_mismatch = 0, backpressure = 0;
    for (int i = 0; i < device_count; ++i) {
        auto frames = emu.device(i).SentFrames();
        uint64_t per_ch[kChannels] = {};
        int64_t first[kChannels], lastn[kChannels];
        std::fill(first, first + kChannels, -1);
        for (size_t k = sent_before[i]; k < frames.size(); ++k) {
            if (frames[k].stream_kind != 0) continue;
            const int ch = frames[k].channel;
            per_ch[ch]++;
            if (first[ch] < 0) first[ch] = frames[k].frame_number;
            lastn[ch] = frames[k].frame_number;
        }
        // Frame numbers advance also for frames the emulator could not queue
        // (its per-connection limit): the gaps are frames never sent.
        for (int ch = 0; ch < kChannels; ++ch)
            if (first[ch] >= 0) backpressure += static_cast<uint64_t>(lastn[ch] - first[ch] + 1) - per_ch[ch];
        for (int ch = 0; ch < kChannels; ++ch) {
            const uint64_t got = counts->frames[i][ch];
            sent += per_ch[ch];
            seen += got;
            bytes += counts->bytes[i][ch];
            if (per_ch[ch] > got) lost += per_ch[ch] - got;
        }
    }
    for (int i = 0; i < device_count; ++i) {
        for (int ch = 0; ch < kChannels; ++ch) {
            ZYNVS_StopRealPlay(g_first_id + i, ch);
            ZYNVS_StopLoclRecord(g_first_id + i, ch);
            std::string path = dir + "/d" + std::to_string(i) + "c" + std::to_string(ch) + ".zyn";
            std::error_code ec;
            const auto size = std::filesystem::file_size(path, ec);
            if (ec || size != 512 + counts->bytes[i][ch]) ++file_mismatch;
        }
    }
    ZYNVS_UnInit();
    g_counts = nullptr;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);

    const double sdk_mbit = bytes * 8.0 / 1e6 / sdk_wall;
    const double base_per = base.cpu_s / base_wall / base_mbit * 100;  // % of a core per Mbit/s
    const double sdk_per = sdk_cpu / sdk_wall / sdk_mbit * 100;
    std::printf("\n%-34s %14s %14s\n", "", "plain loop", "SDK + record");
    std::printf("%-34s %14.1f %14.1f\n", "received Mbit/s", base_mbit, sdk_mbit);
    std::printf("%-34s %14.2f %14.2f\n", "CPU (cores)", base.cpu_s / base_wall, sdk_cpu / sdk_wall);
    std::printf("%-34s %14.4f %14.4f\n", "CPU % of a core per Mbit/s", base_per, sdk_per);
    std::printf("%-34s %14s %14.1f\n", "ratio SDK / plain loop", "", sdk_per / base_per);
    std::printf("%-34s %14.2f %14.2f\n", "emulator I/O thread (cores)", emu_cpu_base / base_wall,
                (emu.IoThreadCpuSeconds() - emu_cpu1) / sdk_wall);
    std::printf("%-34s %14llu %14llu\n", "frames (plain: completed, SDK: seen)",
                (unsigned long long)base.frames, (unsigned long long)seen);
    std::printf("\nframes sent by the emulator to the SDK: %llu, seen by the full-frame callback: %llu, "
                "lost: %llu\n",
                (unsigned long long)sent, (unsigned long long)seen, (unsigned long long)lost);
    std::printf("frames the emulator could not queue (reader too slow): %llu\n",
                (unsigned long long)backpressure);
    std::printf("recordings whose size is not 512 + the frames seen: %llu of %d\n",
                (unsigned long long)file_mismatch, device_count * kChannels);
    std::printf("emulator bytes in the plain phase: %.1f MB sent, %.1f MB read\n",
                emu_bytes_base / 1e6, base.bytes / 1e6);
    std::printf("memory: RSS %+ld KiB with %d channels streaming = %.0f KiB per channel "
                "(the emulator shares the process; the two 2,048,000-byte buffers per channel "
                "are reserved, touched only as far as frames fill them)\n",
                rss1 - rss0, device_count * kChannels,
                static_cast<double>(rss1 - rss0) / (device_count * kChannels));
    return lost == 0 && file_mismatch == 0 ? 0 : 2;
}

int RunLatency(double seconds) {
    std::printf("\n== latency: one channel 1920x1080 at 25 frames/s, RealPlay with a window ==\n");
    devsim::Config cfg;
    devsim::DeviceConfig d;
    d.device_id = 900;
    d.channel_count = 1;
    d.main = {1920, 1080, 25, 4000, 25, 1};
    d.sub = {176, 144, 25, 64, 25, 1};
    d.audio = false;
    d.fragment_bytes = 8192;
    cfg.devices.push_back(d);
    devsim::Emulator emu(cfg);
    std::string error;
    if (!emu.Start(&error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        return 1;
    }
    Display* display = getenv("DISPLAY") ? XOpenDisplay(nullptr) : nullptr;
    Window window = 0x100001;  // any id when there is no display: decode only
    if (display) {
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 960, 540, 0, 0, 0);
        XMapWindow(display, window);
        XSync(display, False);
    }
    std::printf("%s\n", display ? "drawing into an X window (DISPLAY set)"
                                : "no DISPLAY: the player decodes without drawing");
    Latency lat;
    g_lat = &lat;
    ZYNVS_RegisterRealDataCallBack(OnRealData, nullptr);
    ZYNVS_RegisterDecRealDataCallBack(OnDecoded, nullptr);
    DeviceLoginInfo r{};
    r.device_id = 77;
    r.channel_count = 1;
    std::strcpy(r.control_address, "127.0.0.1");
    r.control_port = emu.device(0).control_port();
    r.stream_port = emu.device(0).stream_port();
    std::memcpy(r.user_name, "admin", 5);
    std::memcpy(r.password, "admin", 5);
    r.device_kind = 1;
    ClientInfo ci{};
    ci.request_flag = 1;
    ci.display_flag = 1;
    std::strcpy(ci.stream_address, "127.0.0.1");
    ci.window = static_cast<uint32_t>(window);
    if (ZYNVS_Login(&r) != 1 || ZYNVS_RealPlay(77, &ci) != 1) {
        std::fprintf(stderr, "latency: login or RealPlay failed\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    ZYNVS_StopRealPlay(77, 0);
    ZYNVS_UnInit();
    ZYNVS_RegisterRealDataCallBack(nullptr, nullptr);
    ZYNVS_RegisterDecRealDataCallBack(nullptr, nullptr);
    g_lat = nullptr;
    if (display) {
        XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
    std::vector<double> s(lat.samples.begin() + std::min<size_t>(10, lat.samples.size()),
                          lat.samples.end());  // without the start-up
    std::printf("frames assembled %llu, pictures decoded %llu, samples %zu\n",
                (unsigned long long)lat.assembled, (unsigned long long)lat.decoded, s.size());
    std::printf("latency send -> decode callback: median %.0f ms, p99 %.0f ms, max %.0f ms "
                "(target: median <= 150 ms)\n",
                Percentile(s, 0.5), Percentile(s, 0.99), Percentile(s, 1.0));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 6.0;
    const int devices = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 64) : 16;
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    int rc = RunIngest(seconds, devices);
    int rc2 = RunLatency(seconds);
    return rc ? rc : rc2;
}
